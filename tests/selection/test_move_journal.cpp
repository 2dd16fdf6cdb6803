#include "child_process.h"
#include "file_move.h"
#include "move_journal.h"
#include "ser_test_files.h"
#include "mounted_tmpfs.h"
#include "temp_dir.h"
#include "frame_refs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace framesifter;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Pattern(char tag, std::size_t size = 3000) {
    std::vector<std::uint8_t> b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = std::uint8_t(tag + i * 13);
    return b;
}

// A capture's modification time, to see that a file comes back with it.
constexpr timespec kTaken[2] = {{1100000000, 5}, {1000000000, 123456789}};

struct stat StatOf(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st;
}

std::vector<std::string> Records(const fs::path& good) {
    const fs::path folder = good / kMoveJournalFolder;
    return fs::exists(folder) ? FolderNames(folder) : std::vector<std::string>{};
}

// What each recorded entry became, in the order of the undo.
std::vector<UndoState> States(const UndoReport& r) {
    std::vector<UndoState> states;
    for (const UndoItem& i : r.items) states.push_back(i.state);
    return states;
}

}  // namespace

TEST(UndoMoves, PutsBackWhatTheMoveTook) {
    using S = UndoState;
    const struct {
        const char* name;
        int killAfter;  // the moving child ends after this many files; 0: it completes
        std::function<void(const TempDir&)> meddle;  // between the move and the undo
        std::vector<S> states;                       // c, b, a: the newest entry first
        bool cleared;
    } cases[] = {
        {"complete move", 0, nullptr, {S::MovedBack, S::MovedBack, S::MovedBack}, true},
        {"killed after one file", 1, nullptr, {S::NotMoved, S::NotMoved, S::MovedBack}, true},
        {"an origin taken again",
         0,
         [](const TempDir& d) { d.write("b.fit", std::string("new")); },
         {S::MovedBack, S::Kept, S::MovedBack},
         false},
        {"a file taken out of Good",
         0,
         [](const TempDir& d) { fs::remove(d.file("Good/c.fit")); },
         {S::Missing, S::MovedBack, S::MovedBack},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::vector<std::string> sources;
        for (char t : {'a', 'b', 'c'}) {
            sources.push_back(dir.write(std::string(1, t) + ".fit", Pattern(t)));
            utimensat(AT_FDCWD, sources.back().c_str(), kTaken, 0);
        }
        int status = 0;
        RunInChild(
            [&]() -> std::string {
                MoveControl control;
                control.progress = [&](int done, int) {
                    if (done == c.killAfter) _exit(9);
                };
                MovePassedFiles(FrameRefs(sources), control);
                return "";
            },
            status);
        ASSERT_EQ(status, c.killAfter ? 9 : 0);
        ASSERT_EQ(Records(dir.path() / "Good").size(), 1u);
        if (c.meddle) c.meddle(dir);

        UndoReport report;
        std::string error;
        ASSERT_TRUE(UndoMoves(dir.file("Good"), report, error)) << error;
        EXPECT_EQ(States(report), c.states);
        EXPECT_EQ(report.incomplete(), !c.cleared);
        EXPECT_EQ(report.cleared, c.cleared ? 1 : 0);
        for (std::size_t k = 0; k < 3; ++k) {
            const UndoItem& item = report.items[2 - k];
            EXPECT_EQ(item.entry.origin, sources[k]);
            if (item.state == S::Kept) {
                // Neither the newcomer nor the moved file is touched.
                EXPECT_EQ(ReadAll(sources[k]), std::vector<std::uint8_t>({'n', 'e', 'w'}));
                EXPECT_EQ(ReadAll(item.inGood), Pattern(char('a' + k)));
                EXPECT_NE(item.error.find("exists again"), std::string::npos) << item.error;
            } else if (item.state != S::Missing) {
                EXPECT_EQ(ReadAll(sources[k]), Pattern(char('a' + k)));
                EXPECT_EQ(StatOf(sources[k]).st_mtim.tv_nsec, kTaken[1].tv_nsec);
            }
        }
        // The record goes once all is back; Good stays.
        EXPECT_EQ(Records(dir.path() / "Good").size(), c.cleared ? 0u : 1u);
        EXPECT_TRUE(fs::is_directory(dir.path() / "Good"));
        ASSERT_TRUE(UndoMoves(dir.file("Good"), report, error));
        EXPECT_EQ(report.records, c.cleared ? 0 : 1);
        EXPECT_EQ(ReadAll(sources[0]), Pattern('a'));
    }
}

TEST(UndoMoves, RemovesAWrittenVideoOnlyWhenUnchanged) {
    const struct {
        const char* name;
        std::function<void(const std::string& written, const std::string& record)> meddle;
        bool removed;
        const char* whyPart;
    } cases[] = {
        {"unchanged", nullptr, true, ""},
        {"one byte longer",
         [](const std::string& w, const std::string&) { std::ofstream(w, std::ios::app) << 'x'; },
         false, "changed"},
        {"same size, written again",
         [](const std::string& w, const std::string&) {
             const timespec later[2] = {{2000000000, 0}, {2000000000, 0}};
             utimensat(AT_FDCWD, w.c_str(), later, 0);
         },
         false, "changed"},
        // Killed before its size was recorded: what it holds decides.
        {"its size line cut off",
         [](const std::string&, const std::string& record) {
             fs::resize_file(record, fs::file_size(record) - 1);
         },
         true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ser_test_files::SerLayout layout;
        layout.count = 4;
        const auto bytes = ser_test_files::SerBytes(
            layout, [](int f, int x, int, int) { return std::uint16_t(f * 10 + x); });
        const std::string video = dir.write("v.ser", bytes);
        const auto outcomes = MovePassedFiles(
            FrameRefs({video + "#2", dir.write("still.bmp", Pattern('s')), video + "#4"}));
        for (const MoveOutcome& o : outcomes) ASSERT_TRUE(o.moved) << o.error;
        const std::string written = dir.file("Good/v.ser");
        const auto records = Records(dir.path() / "Good");
        ASSERT_EQ(records.size(), 1u);
        if (c.meddle)
            c.meddle(written, (dir.path() / "Good" / kMoveJournalFolder / records[0]).string());

        UndoReport report;
        std::string error;
        ASSERT_TRUE(UndoMoves(dir.file("Good"), report, error)) << error;
        ASSERT_EQ(report.items.size(), 2u);
        EXPECT_EQ(report.items[0].state, UndoState::MovedBack);
        EXPECT_EQ(report.items[1].state, c.removed ? UndoState::Removed : UndoState::Kept);
        EXPECT_NE(report.items[1].error.find(c.whyPart), std::string::npos)
            << report.items[1].error;
        EXPECT_EQ(fs::exists(written), !c.removed);
        EXPECT_EQ(ReadAll(video), bytes);
        EXPECT_EQ(ReadAll(dir.file("still.bmp")), Pattern('s'));
    }
}

TEST(MoveRecord, ReadsUpToItsLastCompleteLine) {
    const std::string head = "framesifter-moves 1\n";
    const struct {
        const char* name;
        std::string text;
        bool isRecord;
        std::vector<std::string> names;  // of the entries read
    } cases[] = {
        {"whole",
         head + "file\t/f/a.fit\ta.fit\nfile\t/f/b.fit\tb.fit\n",
         true,
         {"a.fit", "b.fit"}},
        {"cut in a line", head + "file\t/f/a.fit\ta.fit\nfile\t/f/b.fit\tb.f", true, {"a.fit"}},
        {"cut in the header", "framesifter-mo", false, {}},
        {"another file", "notes\nfile\t/f/a.fit\ta.fit\n", false, {}},
        {"escaped names",
         head + "file\t/f/t\\tx\\\\\\ny.fit\tt\\tx\\\\\\ny.fit\n",
         true,
         {"t\tx\\\ny.fit"}},
        {"names that leave Good, relative origins, bad escapes",
         head + "file\t/f/a\t../a\nfile\t/f/b\tx/b\nfile\tf/c\tc\nfile\t/f/d\td\\q\n"
                "video\t/f/v.ser\tv.ser\n",
         true,
         {"v.ser"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<JournalEntry> entries;
        std::string error;
        EXPECT_EQ(ParseMoveRecord(c.text, entries, nullptr, error), c.isRecord);
        EXPECT_EQ(error.empty(), c.isRecord) << error;
        std::vector<std::string> names;
        for (const JournalEntry& e : entries) names.push_back(e.name);
        EXPECT_EQ(names, c.names);
    }
}

TEST(UndoMoves, AcrossFileSystemsKeepsBytesAndTimes) {
    MountedTmpfs frames;
    if (!frames.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
    TempDir dir;
    fs::create_directory(dir.path() / "Good");
    fs::create_directory_symlink(dir.path() / "Good", frames.path() + "/Good");
    const std::string source = frames.path() + "/a.fit";
    std::ofstream(source, std::ios::binary) << std::string(200000, 'q');
    chmod(source.c_str(), 0640);
    utimensat(AT_FDCWD, source.c_str(), kTaken, 0);
    ASSERT_TRUE(MovePassedFiles(FrameRefs({source}))[0].moved);

    UndoReport report;
    std::string error;
    ASSERT_TRUE(UndoMoves(frames.path() + "/Good", report, error)) << error;
    ASSERT_EQ(report.items.size(), 1u);
    EXPECT_EQ(report.items[0].state, UndoState::MovedBack) << report.items[0].error;
    const struct stat st = StatOf(source);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, kTaken[1].tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, kTaken[1].tv_nsec);
    EXPECT_EQ(ReadAll(source), std::vector<std::uint8_t>(200000, 'q'));
    EXPECT_TRUE(fs::is_empty(dir.path() / "Good"));
    EXPECT_EQ(FolderNames(frames.path()), (std::vector<std::string>{"Good", "a.fit"}));
}

namespace {

// A record written as a forger would, into Good's record folder under `name`.
void PutRecord(const fs::path& good, const std::string& name, const std::string& text) {
    fs::create_directories(good / kMoveJournalFolder);
    std::ofstream((good / kMoveJournalFolder / name).string(), std::ios::binary) << text;
}

// "written NAME SIZE MTIME" for a file as it is now.
std::string WrittenLine(const std::string& path, const std::string& name) {
    const struct stat st = StatOf(path);
    return "written\t" + name + "\t" + std::to_string(st.st_size) + "\t" +
           std::to_string(std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec) + "\n";
}

std::vector<std::uint8_t> Video(int count, int seed) {
    ser_test_files::SerLayout layout;
    layout.count = count;
    return ser_test_files::SerBytes(
        layout, [seed](int f, int x, int y, int) { return std::uint16_t(seed + f * 31 + x + y); });
}

}  // namespace

TEST(UndoMoves, GoesByGoodsOwnFolderAndTrustsNoRecord) {
    using S = UndoState;
    // Frames in F, moved into F/Good; each case forges or alters a record there.
    struct Paths {
        std::string folder, good, elsewhere;
    };
    const struct {
        const char* name;
        std::function<std::string(const Paths&)> arrange;  // returns the record's text
        S state;
        const char* whyPart;
        std::function<bool(const Paths&)> holds;
    } cases[] = {
        {"a file line naming a folder elsewhere",
         [](const Paths& p) {
             std::ofstream(p.good + "/a.fit") << "frame";
             return "framesifter-moves 1\nfile\t" + p.elsewhere + "/keys\ta.fit\n";
         },
         S::MovedBack, "",
         [](const Paths& p) {
             return ReadAll(p.folder + "/a.fit").size() == 5 && !fs::exists(p.elsewhere);
         }},
        {"a name that leaves Good",
         [](const Paths& p) {
             std::ofstream(p.folder + "/outside") << "theirs";
             return "framesifter-moves 2\nfile\t/x/y\t../outside\t6\t0\n";
         },
         S::Ignored, "line 2: \"../outside\" is not a name in Good",
         [](const Paths& p) { return ReadAll(p.folder + "/outside").size() == 6; }},
        {"a file that changed in Good since",
         [](const Paths& p) {
             std::ofstream(p.good + "/a.fit") << "frame, edited";
             return "framesifter-moves 2\nfile\t/f/a.fit\ta.fit\t5\t0\n";
         },
         S::Kept, "changed in Good",
         [](const Paths& p) { return !fs::exists(p.folder + "/a.fit"); }},
        {"a file line with a time far from any",
         [](const Paths& p) {
             std::ofstream(p.good + "/a.fit") << "frame";
             return "framesifter-moves 2\nfile\t/f/a.fit\ta.fit\t5\t-9223372036854775807\n";
         },
         S::Kept, "changed in Good",
         [](const Paths& p) { return !fs::exists(p.folder + "/a.fit"); }},
        {"a video line naming a moved frame",
         [](const Paths& p) {
             std::ofstream(p.good + "/a.fit") << "frame";
             std::ofstream(p.folder + "/a.fit") << "frame";
             return "framesifter-moves 1\nvideo\t/f/a.fit\ta.fit\n" +
                    WrittenLine(p.good + "/a.fit", "a.fit");
         },
         S::Kept, "not a SER video",
         [](const Paths& p) { return ReadAll(p.good + "/a.fit").size() == 5; }},
        {"a video of frames its video does not have",
         [](const Paths& p) {
             std::ofstream(p.folder + "/v.ser", std::ios::binary)
                 .write(reinterpret_cast<const char*>(Video(3, 0).data()), 178 + 3 * 12);
             const auto other = Video(1, 100);
             std::ofstream(p.good + "/v.ser", std::ios::binary)
                 .write(reinterpret_cast<const char*>(other.data()), std::streamsize(other.size()));
             return "framesifter-moves 1\nvideo\t/f/v.ser\tv.ser\n" +
                    WrittenLine(p.good + "/v.ser", "v.ser");
         },
         S::Kept, "is not one of its video's",
         [](const Paths& p) { return fs::exists(p.good + "/v.ser"); }},
        {"frames of a video that is gone", nullptr, S::Kept, "may be the only copy",
         [](const Paths& p) { return fs::exists(p.good + "/v.ser"); }},
        {"frames of its video, version 1", nullptr, S::Removed, "",
         [](const Paths& p) { return !fs::exists(p.good + "/v.ser"); }},
        {"frames of its video, version 2", nullptr, S::Removed, "",
         [](const Paths& p) { return !fs::exists(p.good + "/v.ser"); }},
        {"version 2 frames other than its own", nullptr, S::Kept,
         "its frame 2 is not frame 2 of its video",
         [](const Paths& p) { return fs::exists(p.good + "/v.ser"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const Paths p{dir.file("F"), dir.file("F/Good"), dir.file("elsewhere")};
        fs::create_directories(p.good);
        std::string text;
        if (c.arrange) {
            text = c.arrange(p);
        } else {
            // Frames 1 and 3 of a real video, written as a move writes them.
            const std::string video = dir.write("F/v.ser", Video(3, 0));
            ASSERT_TRUE(MovePassedFiles({{video, 1}, {video, 3}})[0].moved);
            const std::string name = Records(p.good)[0];
            std::ifstream in(p.good + "/" + kMoveJournalFolder + "/" + name);
            text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            fs::remove(p.good + "/" + kMoveJournalFolder + "/" + name);
            ASSERT_NE(text.find("\t1,3\n"), std::string::npos) << text;
            const std::string name_ = c.name;
            if (name_ == "frames of a video that is gone") fs::remove(video);
            if (name_ == "frames of its video, version 1")
                text = "framesifter-moves 1\nvideo\t/f/v.ser\tv.ser\n" +
                       WrittenLine(p.good + "/v.ser", "v.ser");
            if (name_ == "version 2 frames other than its own")
                text.replace(text.find("\t1,3\n"), 5, "\t1,2\n");
        }
        PutRecord(p.good, "20240101T000000.000000000Z-1.txt", text);
        UndoReport report;
        std::string error;
        ASSERT_TRUE(UndoMoves(p.good, report, error)) << error;
        ASSERT_FALSE(report.items.empty());
        EXPECT_EQ(report.items[0].state, c.state) << report.items[0].error;
        EXPECT_NE(report.items[0].error.find(c.whyPart), std::string::npos)
            << report.items[0].error;
        EXPECT_TRUE(c.holds(p));
    }
}

TEST(UndoMoves, ReadsRecordsSafely) {
    const struct {
        const char* name;  // the record's
        std::function<void(const std::string& path)> make;
        int records;          // read as records
        const char* whyPart;  // of the one item, when ignored
    } cases[] = {
        {"z.txt", [](const std::string& p) { std::ofstream(p) << "framesifter-moves 2\n"; }, 1,
         nullptr},
        {"pipe.txt", [](const std::string& p) { mkfifo(p.c_str(), 0644); }, 0,
         "not a regular file"},
        {"huge.txt",
         [](const std::string& p) {
             std::ofstream(p) << "framesifter-moves 2\n";
             fs::resize_file(p, kMaxMoveRecordBytes + 1);
         },
         0, "larger than 64 MB"},
        {"notes.txt", [](const std::string& p) { std::ofstream(p) << "my notes\n"; }, 0,
         "not a move record"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fs::create_directories(dir.path() / "Good" / kMoveJournalFolder);
        c.make((dir.path() / "Good" / kMoveJournalFolder / c.name).string());
        // In a child that a hang cannot stop the tests with.
        int status = 0;
        const std::string reply = RunInChild(
            [&]() -> std::string {
                alarm(20);
                UndoReport report;
                std::string error;
                if (!UndoMoves(dir.file("Good"), report, error)) return "failed: " + error;
                std::string items;
                for (const UndoItem& i : report.items) items += i.error + "\n";
                return std::to_string(report.records) + "\n" + items;
            },
            status);
        ASSERT_EQ(status, 0) << reply;
        EXPECT_EQ(reply.substr(0, reply.find('\n')), std::to_string(c.records)) << reply;
        if (c.whyPart) {
            EXPECT_NE(reply.find(c.whyPart), std::string::npos) << reply;
        }
    }
}

TEST(MoveRecord, ReadsALongRecordInLinearTime) {
    std::string text = "framesifter-moves 2\n";
    constexpr int kVideos = 120000;
    for (int i = 0; i < kVideos; ++i)
        text += "video\t/f/v" + std::to_string(i) + ".ser\tv" + std::to_string(i) + ".ser\t1\n";
    for (int i = 0; i < kVideos; ++i)
        text += "written\tv" + std::to_string(i) + ".ser\t190\t" + std::to_string(i) + "\n";
    std::vector<JournalEntry> entries;
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    ASSERT_TRUE(ParseMoveRecord(text, entries, nullptr, error)) << error;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(entries.size(), std::size_t(kVideos));
    EXPECT_TRUE(entries.back().sizeKnown);
    EXPECT_EQ(entries.back().mtimeNs, kVideos - 1);
    EXPECT_LT(seconds, 3.0);
}

TEST(MoveRecord, AForgedRecordCannotMakeMemoryGrowWithoutBound) {
    const struct {
        const char* name;
        std::string line;  // repeated
        int times;
        std::size_t entries, ignored;
        const char* lastIgnored;
    } cases[] = {
        {"junk lines", "junk\n", 300, 0, 101, "200 more lines ignored"},
        {"more entries than any move makes", "file\t/f\tNAME\n", 250001, 250000, 1,
         "line 250002: more than 250000 files and videos"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = "framesifter-moves 2\n";
        for (int i = 0; i < c.times; ++i) {
            std::string line = c.line;
            const std::size_t at = line.find("NAME");
            if (at != std::string::npos) line.replace(at, 4, std::to_string(i));
            text += line;
        }
        std::vector<JournalEntry> entries;
        std::vector<std::string> ignored;
        std::string error;
        ASSERT_TRUE(ParseMoveRecord(text, entries, &ignored, error)) << error;
        EXPECT_EQ(entries.size(), c.entries);
        ASSERT_EQ(ignored.size(), c.ignored);
        EXPECT_NE(ignored.back().find(c.lastIgnored), std::string::npos) << ignored.back();
    }
}

TEST(UndoMoves, StopsBetweenFilesAndTellsItsProgress) {
    const struct {
        const char* name;
        int stopAfter;  // the stop comes once this many files are done; -1: never
        int back;
    } cases[] = {
        {"stopped before the first file", 0, 0},
        {"stopped halfway", 2, 2},
        {"never stopped", -1, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::vector<std::string> sources;
        for (char t : {'a', 'b', 'c', 'd'})
            sources.push_back(dir.write(std::string(1, t) + ".fit", Pattern(t)));
        for (const MoveOutcome& o : MovePassedFiles(FrameRefs(sources), MoveControl()))
            ASSERT_TRUE(o.moved) << o.error;

        std::atomic<bool> stop{c.stopAfter == 0};
        std::vector<std::pair<int, int>> told;
        MoveControl control;
        control.stop = &stop;
        control.progress = [&](int done, int total) {
            told.emplace_back(done, total);
            if (done == c.stopAfter) stop = true;
        };
        UndoReport report;
        std::string error;
        ASSERT_TRUE(UndoMoves(dir.file("Good"), control, report, error)) << error;
        const int done = c.stopAfter < 0 ? 4 : c.stopAfter;
        ASSERT_EQ(int(told.size()), done);
        for (int k = 0; k < done; ++k) EXPECT_EQ(told[k], std::make_pair(k + 1, 4));
        EXPECT_EQ(report.stopped, c.stopAfter >= 0);
        EXPECT_EQ(report.notTried, 4 - done);
        EXPECT_EQ(report.incomplete(), c.back < 4);
        int atOrigin = 0;
        for (const std::string& s : sources) atOrigin += fs::exists(s);
        EXPECT_EQ(atOrigin, c.back);
        // What a stop left goes back with the next undo.
        EXPECT_EQ(Records(dir.path() / "Good").size(), c.back < 4 ? 1u : 0u);
        ASSERT_TRUE(UndoMoves(dir.file("Good"), report, error)) << error;
        EXPECT_FALSE(report.incomplete());
        for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(ReadAll(sources[k]), Pattern(char('a' + k)));
    }
}
