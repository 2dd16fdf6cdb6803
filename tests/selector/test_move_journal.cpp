#include "child_process.h"
#include "file_move.h"
#include "move_journal.h"
#include "ser_test_files.h"
#include "mounted_tmpfs.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

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
                MovePassedFiles(sources, control);
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
                EXPECT_NE(item.why.find("exists again"), std::string::npos) << item.why;
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
        {"its size line cut off",
         [](const std::string&, const std::string& record) {
             fs::resize_file(record, fs::file_size(record) - 1);
         },
         false, "may have changed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ser_test_files::SerLayout layout;
        layout.count = 4;
        const auto bytes = ser_test_files::SerBytes(
            layout, [](int f, int x, int, int) { return std::uint16_t(f * 10 + x); });
        const std::string video = dir.write("v.ser", bytes);
        const auto outcomes =
            MovePassedFiles({video + "#2", dir.write("still.bmp", Pattern('s')), video + "#4"});
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
        EXPECT_NE(report.items[1].why.find(c.whyPart), std::string::npos) << report.items[1].why;
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
        EXPECT_EQ(ParseMoveRecord(c.text, entries), c.isRecord);
        std::vector<std::string> names;
        for (const JournalEntry& e : entries) names.push_back(e.name);
        EXPECT_EQ(names, c.names);
    }
}

namespace {}  // namespace

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
    ASSERT_TRUE(MovePassedFiles({source})[0].moved);

    UndoReport report;
    std::string error;
    ASSERT_TRUE(UndoMoves(frames.path() + "/Good", report, error)) << error;
    ASSERT_EQ(report.items.size(), 1u);
    EXPECT_EQ(report.items[0].state, UndoState::MovedBack) << report.items[0].why;
    const struct stat st = StatOf(source);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, kTaken[1].tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, kTaken[1].tv_nsec);
    EXPECT_EQ(ReadAll(source), std::vector<std::uint8_t>(200000, 'q'));
    EXPECT_TRUE(fs::is_empty(dir.path() / "Good"));
    EXPECT_EQ(FolderNames(frames.path()), (std::vector<std::string>{"Good", "a.fit"}));
}
