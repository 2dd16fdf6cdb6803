#include "file_move.h"
#include "checked_move.h"
#include "child_process.h"
#include "mounted_tmpfs.h"
#include "move_journal.h"
#include "ser_test_files.h"
#include "temp_dir.h"
#include "frame_refs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace framesifter;

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Bytes(char tag, std::size_t size = 5000) {
    std::vector<std::uint8_t> b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = std::uint8_t(tag + i * 7);
    return b;
}

}  // namespace

TEST(MoveToGood, MovesIntoGoodBesideTheFile) {
    TempDir dir;
    const auto a = dir.write("a.bmp", Bytes('a'));
    dir.write("b.fit", Bytes('b'));
    // One Good reached by two spellings, held once.
    const std::string b = (dir.path() / "." / "b.fit").string();
    const auto outcomes = MovePassedFiles(FrameRefs({a, b}));
    ASSERT_EQ(outcomes.size(), 2u);
    for (const auto& o : outcomes) EXPECT_TRUE(o.moved) << o.error;
    EXPECT_EQ(outcomes[0].target, (FrameRef{dir.file("Good/a.bmp"), 0}));
    EXPECT_EQ(ReadAll(dir.file("Good/a.bmp")), Bytes('a'));
    EXPECT_EQ(ReadAll(dir.file("Good/b.fit")), Bytes('b'));
    EXPECT_FALSE(fs::exists(a));
    EXPECT_FALSE(fs::exists(b));
}

TEST(MoveToGood, NeverLosesAFile) {
    struct Case {
        const char* name;
        std::function<std::string(const TempDir&)> arrange;  // returns the source path
        const char* errorPart;
    };
    const Case cases[] = {
        {"a file of the same name already in Good",
         [](const TempDir& d) {
             fs::create_directory(d.path() / "Good");
             d.write("Good/a.fit", Bytes('x'));
             return d.write("a.fit", Bytes('a'));
         },
         "already exists"},
        {"Good is a plain file",
         [](const TempDir& d) {
             d.write("Good", Bytes('g'));
             return d.write("a.fit", Bytes('a'));
         },
         "not a folder"},
        {"the source vanished", [](const TempDir& d) { return d.file("gone.fit"); },
         "no longer exists"},
        {"the source is a folder",
         [](const TempDir& d) {
             fs::create_directory(d.path() / "frame.fit");
             return d.file("frame.fit");
         },
         "not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string source = c.arrange(dir);
        const bool existed = fs::exists(source);
        const auto before =
            existed && fs::is_regular_file(source) ? ReadAll(source) : std::vector<std::uint8_t>{};
        const auto goodBefore = fs::is_regular_file(dir.file("Good/a.fit"))
                                    ? ReadAll(dir.file("Good/a.fit"))
                                    : std::vector<std::uint8_t>{};
        const MoveOutcome o = MoveToGood(source);
        EXPECT_FALSE(o.moved);
        EXPECT_NE(o.error.find(c.errorPart), std::string::npos) << o.error;
        EXPECT_EQ(fs::exists(source), existed);
        if (!before.empty()) {
            EXPECT_EQ(ReadAll(source), before);
        }
        if (!goodBefore.empty()) {
            EXPECT_EQ(ReadAll(dir.file("Good/a.fit")), goodBefore);
        }
    }
}

// Runs MoveToGood in a child process that may give up root's privileges (so that folder
// permissions bind), lower its file-size limit (so that a copy fails part-way) and watch the
// copy's progress.
MoveOutcome MoveInChild(const std::string& source, bool asNobody, rlim_t fileSizeLimit,
                        void (*watch)(std::uint64_t) = nullptr) {
    int status = 0;
    const std::string reply = RunInChild(
        [&]() -> std::string {
            MoveControl control;
            if (watch) control.blockCopied = watch;
            signal(SIGXFSZ, SIG_IGN);
            if (fileSizeLimit != RLIM_INFINITY) {
                rlimit limit{fileSizeLimit, fileSizeLimit};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            if (asNobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
            const MoveOutcome o = MoveToGood(source, control);
            return std::string(o.moved ? "1" : "0") + o.error;
        },
        status);
    MoveOutcome o;
    o.moved = !reply.empty() && reply[0] == '1';
    o.error = reply.empty() ? "child failed" : reply.substr(1);
    return o;
}

void HandTo(const fs::path& path, uid_t uid) {
    if (geteuid() == 0 && chown(path.c_str(), uid, uid) != 0) FAIL() << "chown " << path;
}

TEST(MoveToGood, PermissionFaultsKeepTheFile) {
    struct Case {
        const char* name;
        mode_t folderMode;  // the frames' folder
        bool goodExists;
        mode_t goodMode;
    };
    const Case cases[] = {
        {"read-only folder, no Good yet", 0555, false, 0},
        {"read-only Good", 0755, true, 0555},
        {"read-only folder with a writable Good", 0555, true, 0755},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path folder = dir.path() / "frames";
        fs::create_directory(folder);
        std::ofstream(folder / "a.fit", std::ios::binary) << "frame bytes";
        HandTo(dir.path(), 65534);
        HandTo(folder, 65534);
        HandTo(folder / "a.fit", 65534);
        if (c.goodExists) {
            fs::create_directory(folder / "Good");
            HandTo(folder / "Good", 65534);
            chmod((folder / "Good").c_str(), c.goodMode);
        }
        chmod(folder.c_str(), c.folderMode);
        const MoveOutcome o = MoveInChild((folder / "a.fit").string(), true, RLIM_INFINITY);
        chmod(folder.c_str(), 0755);
        EXPECT_FALSE(o.moved);
        EXPECT_NE(o.error.find("ermission denied"), std::string::npos) << o.error;
        const auto kept = ReadAll((folder / "a.fit").string());
        EXPECT_EQ(std::string(kept.begin(), kept.end()), "frame bytes");
        EXPECT_FALSE(fs::exists(folder / "Good" / "a.fit"));
    }
}

namespace {

// The copy under its temporary name, which the damaging hook below spoils.
std::string g_partialCopy;

// A write that went wrong unnoticed: the first byte of the copy changes after it was written.
void DamageTheCopy(std::uint64_t) {
    const int fd = open(g_partialCopy.c_str(), O_WRONLY | O_CLOEXEC);
    const char wrong = '\xff';
    if (fd < 0 || pwrite(fd, &wrong, 1, 0) != 1) _exit(5);
    close(fd);
}

// Another program puts a file of its own under the copy's temporary name.
void ReplaceTheCopy(std::uint64_t) {
    if (unlink(g_partialCopy.c_str()) != 0) _exit(5);
    std::ofstream(g_partialCopy) << "not the frame";
}

}  // namespace

TEST(MoveToGood, AcrossFileSystemsCopiesThenRemoves) {
    // /dev/shm is a tmpfs on Linux; when the temporary folder is on another file system,
    // a rename between them fails with EXDEV. Good is a symbolic link to a folder there.
    TempDir dir;
    struct stat a {
    }, b{};
    if (stat("/dev/shm", &a) != 0 || stat(dir.path().c_str(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system at hand";
    const struct {
        const char* name;
        rlim_t fileSizeLimit;  // a copy larger than this fails part-way
        void (*watch)(std::uint64_t);
        bool sourceFolderReadOnly;  // the copy succeeds but the source cannot go
        bool moves;
        const char* errorPart;
    } cases[] = {
        {"complete copy", RLIM_INFINITY, nullptr, false, true, ""},
        {"copy fails part-way", 100000, nullptr, false, false, "copying it"},
        {"copy differs from the source", RLIM_INFINITY, DamageTheCopy, false, false, "copying it"},
        {"source cannot be removed", RLIM_INFINITY, nullptr, true, false, "cannot remove"},
        {"another file took the copy's name", RLIM_INFINITY, ReplaceTheCopy, false, false,
         "was replaced while it was written"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string work = "/dev/shm/fsmove-" + std::to_string(getpid());
        fs::remove_all(work);
        fs::create_directory(work);
        const std::string source = work + "/a.fit";
        {
            std::ofstream out(source, std::ios::binary);
            const auto bytes = Bytes('a', 300000);
            out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        }
        const fs::path good = dir.path() / c.name;
        fs::create_directory(good);
        fs::create_directory_symlink(good, work + "/Good");
        g_partialCopy = (good / PartialCopyName("a.fit")).string();
        // Root removes files from read-only folders: the move then runs as nobody.
        if (c.sourceFolderReadOnly) {
            HandTo(dir.path(), 65534);
            HandTo(work, 65534);
            HandTo(source, 65534);
            HandTo(good, 65534);
            chmod(work.c_str(), 0555);
        }
        const MoveOutcome o = MoveInChild(source, c.sourceFolderReadOnly, c.fileSizeLimit, c.watch);
        chmod(work.c_str(), 0755);
        EXPECT_EQ(o.moved, c.moves) << o.error;
        EXPECT_NE(o.error.find(c.errorPart), std::string::npos) << o.error;
        // Exactly one complete copy, wherever it is, and no partial one.
        if (c.moves) {
            EXPECT_FALSE(fs::exists(source));
            EXPECT_EQ(ReadAll((good / "a.fit").string()), Bytes('a', 300000));
        } else {
            EXPECT_EQ(ReadAll(source), Bytes('a', 300000));
            // Another's file is not this move's to place or to remove.
            EXPECT_EQ(FolderNames(good), c.watch == ReplaceTheCopy
                                             ? std::vector<std::string>{PartialCopyName("a.fit")}
                                             : std::vector<std::string>{});
        }
        fs::remove_all(work);
    }
}

TEST(MoveToGood, BareNamesUseTheCurrentFolder) {
    TempDir dir;
    dir.write("c.bmp", Bytes('c'));
    const fs::path old = fs::current_path();
    fs::current_path(dir.path());
    const MoveOutcome o = MoveToGood("c.bmp");
    fs::current_path(old);
    EXPECT_TRUE(o.moved) << o.error;
    EXPECT_EQ(o.target, (FrameRef{"./Good/c.bmp", 0}));
    EXPECT_TRUE(fs::exists(dir.file("Good/c.bmp")));
}

TEST(MoveToGood, AKilledCopyLeavesNoFrameAndTheNextMoveCompletes) {
    MountedTmpfs other;
    if (!other.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
    TempDir dir;
    const std::string source = other.path() + "/a.fit";
    const auto bytes = Bytes('a', 300000);
    std::ofstream(source, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    chmod(source.c_str(), 0640);
    const fs::path good = dir.path() / "Good";
    fs::create_directory(good);
    fs::create_directory_symlink(good, other.path() + "/Good");

    int status = 0;
    RunInChild(
        [&]() -> std::string {
            MoveControl kill;
            kill.blockCopied = [](std::uint64_t) { _exit(9); };
            (void)MoveToGood(source, kill);
            return "";
        },
        status);
    ASSERT_EQ(status, 9) << "killed during the copy";
    EXPECT_EQ(ReadAll(source), bytes);
    EXPECT_EQ(FolderNames(good), std::vector<std::string>{PartialCopyName("a.fit")});

    // A capture's times: set now, as the killed attempt's reading touched the access time.
    const struct timespec captured[2] = {{1000000000, 123456789}, {999999999, 987654321}};
    ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), captured, 0), 0);
    const MoveOutcome o = MoveToGood(source);
    ASSERT_TRUE(o.moved) << o.error;
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(FolderNames(good), std::vector<std::string>{"a.fit"});
    struct stat st {};  // before reading it, which may touch its access time
    ASSERT_EQ(stat((good / "a.fit").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, captured[1].tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, captured[1].tv_nsec);
    EXPECT_EQ(st.st_atim.tv_sec, captured[0].tv_sec);
    EXPECT_EQ(ReadAll((good / "a.fit").string()), bytes);
}

TEST(MoveToGood, ASymbolicLinkMovesAsALink) {
    MountedTmpfs other;
    for (bool across : {false, true}) {
        SCOPED_TRACE(across ? "across file systems" : "same file system");
        if (across && !other.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
        TempDir dir;
        const std::string real = dir.write("real.fit", Bytes('r'));
        const std::string folder = across ? other.path() : dir.path().string();
        const std::string link = folder + "/l.fit";
        fs::create_symlink(real, link);
        if (across) {
            fs::create_directory(dir.path() / "Good");
            fs::create_directory_symlink(dir.path() / "Good", folder + "/Good");
        }
        const MoveOutcome o = MoveToGood(link);
        EXPECT_TRUE(o.moved) << o.error;
        EXPECT_FALSE(fs::is_symlink(link));
        EXPECT_TRUE(fs::is_symlink(folder + "/Good/l.fit"));
        EXPECT_EQ(fs::read_symlink(folder + "/Good/l.fit"), real);
        EXPECT_EQ(ReadAll(real), Bytes('r'));
        fs::remove_all(folder + "/Good");
    }
}

TEST(MoveToGood, AGoodFolderFaultIsOneFailure) {
    TempDir dir;
    fs::create_directory(dir.path() / "blocked");
    fs::create_directory(dir.path() / "open");
    dir.write("blocked/Good", Bytes('g'));
    fs::create_directory(dir.path() / "open" / "Good");
    dir.write("open/Good/taken.fit", Bytes('t'));
    const auto outcomes = MovePassedFiles(FrameRefs(
        {dir.write("blocked/a.fit", Bytes('a')), dir.write("open/taken.fit", Bytes('x')),
         dir.write("blocked/b.fit", Bytes('b')), dir.write("open/free.fit", Bytes('f'))}));
    const auto failures = SummariseFailures(outcomes);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_TRUE(failures[0].folderFault);
    EXPECT_EQ(failures[0].subject, dir.file("blocked/Good"));
    EXPECT_EQ(failures[0].files, 2);
    EXPECT_FALSE(failures[1].folderFault);
    EXPECT_EQ(failures[1].subject, dir.file("open/taken.fit"));
    EXPECT_NE(failures[1].error.find("already exists"), std::string::npos);
}

TEST(MoveToGood, AStopBetweenFilesLeavesTheRestInPlace) {
    const struct {
        int stopAfter;  // files done when the stop comes; -1: before the first
        std::vector<bool> moved;
    } cases[] = {{-1, {false, false, false}}, {1, {true, false, false}}, {3, {true, true, true}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stopAfter);
        TempDir dir;
        const std::vector<std::string> sources = {dir.write("a.fit", Bytes('a')),
                                                  dir.write("b.fit", Bytes('b')),
                                                  dir.write("c.fit", Bytes('c'))};
        std::atomic<bool> stop{c.stopAfter < 0};
        std::vector<int> counts;
        MoveControl control;
        control.stop = &stop;
        control.progress = [&](int done, int total) {
            EXPECT_EQ(total, 3);
            counts.push_back(done);
            if (done == c.stopAfter) stop = true;
        };
        const auto outcomes = MovePassedFiles(FrameRefs(sources), control);
        ASSERT_EQ(outcomes.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(outcomes[i].moved, c.moved[i]) << i;
            EXPECT_EQ(outcomes[i].stopped, !c.moved[i]) << i;
            EXPECT_EQ(fs::exists(sources[i]), !c.moved[i]) << i;
        }
        EXPECT_EQ(int(counts.size()), std::max(c.stopAfter, 0));
    }
}

namespace {

std::atomic<bool> g_stopMove{false};

}  // namespace

TEST(MoveToGood, AStopDuringACopyRemovesThePartAndKeepsTheSource) {
    MountedTmpfs other;
    if (!other.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
    TempDir dir;
    const std::string source = other.path() + "/a.fit";
    const auto bytes = Bytes('a', 300000);
    std::ofstream(source, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const fs::path good = dir.path() / "Good";
    fs::create_directory(good);
    fs::create_directory_symlink(good, other.path() + "/Good");

    g_stopMove = false;
    MoveControl control;
    control.stop = &g_stopMove;
    control.blockCopied = [](std::uint64_t) { g_stopMove = true; };  // after one block
    const MoveOutcome o = MoveToGood(source, control);
    EXPECT_FALSE(o.moved);
    EXPECT_TRUE(o.stopped);
    EXPECT_NE(o.error.find("stopped"), std::string::npos) << o.error;
    EXPECT_EQ(ReadAll(source), bytes);
    EXPECT_TRUE(fs::is_empty(good));
    // Nothing stays in the way of the next attempt.
    g_stopMove = false;
    control.blockCopied = nullptr;
    EXPECT_TRUE(MoveToGood(source, control).moved);
    EXPECT_EQ(ReadAll((good / "a.fit").string()), bytes);
}

namespace {

// A process paused inside its copy: it says so on g_ready, then waits for a byte on g_go.
int g_ready = -1, g_go = -1;

void PauseOnce(std::uint64_t) {
    if (g_ready < 0) return;
    const char c = 1;
    char d = 0;
    if (write(g_ready, &c, 1) != 1 || read(g_go, &d, 1) != 1) _exit(6);
    g_ready = -1;
}

}  // namespace

TEST(MoveToGood, TwoAtOnceNeitherDamageNorLoseAFrame) {
    MountedTmpfs other;
    if (!other.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
    using Action = std::function<std::string(const std::string& source, const std::string& good,
                                             const MoveControl& control)>;
    const Action move = [](const std::string& source, const std::string&,
                           const MoveControl& control) {
        const MoveOutcome o = MovePassedFiles(FrameRefs({source}), control)[0];
        return o.moved ? "moved" : o.error + (o.goodInUse ? " (in use)" : "");
    };
    const Action undo = [](const std::string&, const std::string& good,
                           const MoveControl& control) {
        UndoReport report;
        std::string error;
        return UndoMoves(good, control, report, error)
                   ? "undone"
                   : error + (report.goodInUse ? " (in use)" : "");
    };
    const Action copy = [](const std::string& source, const std::string& good,
                           const MoveControl& control) {
        std::string error;
        return MoveNoReplacing(source, good + "/big.fit", control, false, error) ? "moved" : error;
    };
    const char* const kRefused = "another move or undo is working in";
    const struct {
        const char* name;
        bool firstUndoes;  // the paused process undoes a move instead of moving
        Action second;     // run while the first is paused in its copy
        const char* refusal;
    } cases[] = {
        {"a second move", false, move, kRefused},
        {"an undo during a move", false, undo, kRefused},
        {"a copy that does not hold Good", false, copy, "another move is copying it"},
        {"a second undo", true, undo, kRefused},
        {"a move during an undo", true, move, kRefused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string source = other.path() + "/big.fit";
        const auto bytes = Bytes('z', 1 << 20);
        std::ofstream(source, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        const fs::path good = dir.path() / "Good";
        fs::create_directory(good);
        fs::create_directory_symlink(good, other.path() + "/Good");
        const std::string goodPath = other.path() + "/Good";
        if (c.firstUndoes) {
            ASSERT_TRUE(MovePassedFiles(FrameRefs({source}))[0].moved);
        }

        int ready[2], go[2];
        ASSERT_EQ(pipe(ready), 0);
        ASSERT_EQ(pipe(go), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            g_ready = ready[1];
            g_go = go[0];
            MoveControl pause;
            pause.blockCopied = PauseOnce;
            _exit((c.firstUndoes ? undo : move)(source, goodPath, pause) ==
                          (c.firstUndoes ? "undone" : "moved")
                      ? 0
                      : 1);
        }
        char byte = 0;
        ASSERT_EQ(read(ready[0], &byte, 1), 1) << "the first never started copying";
        const std::string second = c.second(source, goodPath, MoveControl());
        EXPECT_NE(second.find(c.refusal), std::string::npos) << second;
        ASSERT_EQ(write(go[1], &byte, 1), 1);
        int status = 0;
        waitpid(pid, &status, 0);
        for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the first did not complete";
        // The frame is whole in exactly one place, and no part file is left.
        const std::string there = c.firstUndoes ? source : (good / "big.fit").string();
        const std::string gone = c.firstUndoes ? (good / "big.fit").string() : source;
        EXPECT_EQ(ReadAll(there), bytes);
        EXPECT_FALSE(fs::exists(gone));
        EXPECT_FALSE(fs::exists(good / PartialCopyName("big.fit")));
        EXPECT_FALSE(fs::exists(other.path() + "/" + PartialCopyName("big.fit")));
        fs::remove_all(other.path() + "/Good");
        fs::remove(source);
    }
}

TEST(MoveToGood, AMoveKilledBeforeItsSourceWentIsCompleted) {
    using S = UndoState;
    const struct {
        const char* name;
        bool recorded;                  // a record in Good lists the file as moved in
        bool same;                      // the copy in Good holds the source's bytes
        bool undo;                      // undo instead of moving again
        bool done;                      // the frame ends in exactly one place
        std::vector<std::string> left;  // of "source", "good"
    } cases[] = {
        {"move again, the record's copy", true, true, false, true, {"good"}},
        {"move again, other bytes in Good", true, false, false, false, {"source", "good"}},
        {"move again, no record names it", false, true, false, false, {"source", "good"}},
        {"undo, the record's copy", true, true, true, true, {"source"}},
        {"undo, other bytes in Good", true, false, true, false, {"source", "good"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string source = dir.write("a.fit", Bytes('a'));
        fs::create_directory(dir.path() / "Good");
        const std::string inGood = dir.write("Good/a.fit", Bytes(c.same ? 'a' : 'b'));
        if (c.recorded) {
            JournalEntry e;
            e.origin = source;
            e.name = "a.fit";
            MoveRecord record;
            std::string error;
            ASSERT_TRUE(record.start(dir.file("Good"), {e}, error)) << error;
        }
        if (c.undo) {
            UndoReport report;
            std::string error;
            ASSERT_TRUE(UndoMoves(dir.file("Good"), report, error)) << error;
            ASSERT_EQ(report.items.size(), 1u);
            EXPECT_EQ(report.items[0].state, c.done ? S::MovedBack : S::Kept);
        } else {
            const MoveOutcome o = MovePassedFiles(FrameRefs({source}))[0];
            EXPECT_EQ(o.moved, c.done) << o.error;
            if (!c.done) {
                EXPECT_NE(o.error.find("already exists"), std::string::npos) << o.error;
            }
        }
        std::vector<std::string> left;
        if (fs::exists(source)) left.push_back("source");
        if (fs::exists(inGood)) left.push_back("good");
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(ReadAll(fs::exists(source) ? source : inGood), Bytes('a'));
    }
}

TEST(MoveToGood, AFailedPlacementNamesWhatIsGone) {
    TempDir dir;
    const std::string source = dir.write("a.fit", Bytes('a'));
    const struct {
        std::string from, to;
        std::string error;
    } cases[] = {
        {dir.file("gone.fit"), dir.file("b.fit"), "it no longer exists"},
        {source, dir.file("gone/a.fit"),
         "the folder \"" + dir.file("gone") + "\" no longer exists; it stays where it is"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(MoveNoReplacing(c.from, c.to, error));
        EXPECT_EQ(error, c.error);
    }
    EXPECT_EQ(ReadAll(source), Bytes('a'));
}

TEST(MoveToGood, VideoExtractsClearKilledTemporariesAndTakeLongNames) {
    for (const std::string& name : {std::string("v.ser"), std::string(240, 'v') + ".ser"}) {
        SCOPED_TRACE(name.size());
        TempDir dir;
        ser_test_files::SerLayout layout;
        layout.count = 3;
        const std::string video = dir.write(
            name, ser_test_files::SerBytes(
                      layout, [](int f, int x, int, int) { return std::uint16_t(f * 7 + x); }));
        fs::create_directory(dir.path() / "Good");
        // Killed writers' temporaries, one of a name cut short as a long name's is, and one
        // a live writer holds.
        const auto temporary = [&](const std::string& tail) {
            return dir.file("Good/." + name.substr(0, 255 - 2 - tail.size()) + "." + tail);
        };
        const std::string killed = dir.write(temporary("999999-0.tmp"), "part");
        const std::string live = dir.write(temporary("999998-1.tmp"), "live");
        const std::string others = dir.write("Good/.w.ser.999997-0.tmp", "not this video's");
        const int held = open(live.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_EQ(flock(held, LOCK_EX), 0);

        const auto outcomes = MovePassedFiles({{video, 1}, {video, 3}});
        for (const MoveOutcome& o : outcomes) EXPECT_TRUE(o.moved) << o.error;
        EXPECT_FALSE(fs::exists(killed));
        EXPECT_TRUE(fs::exists(live));
        EXPECT_TRUE(fs::exists(others));
        close(held);
        EXPECT_EQ(fs::file_size(dir.file("Good/" + name)), 178u + 2 * 12);
    }
}
