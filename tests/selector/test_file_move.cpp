#include "file_move.h"
#include "child_process.h"
#include "mounted_tmpfs.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
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
    const auto b = dir.write("b.fit", Bytes('b'));
    const auto outcomes = MovePassedFiles({a, b});
    ASSERT_EQ(outcomes.size(), 2u);
    for (const auto& o : outcomes) EXPECT_TRUE(o.moved) << o.error;
    EXPECT_EQ(outcomes[0].target, dir.file("Good/a.bmp"));
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
                        CopyProgressHook hook = nullptr) {
    int status = 0;
    const std::string reply = RunInChild(
        [&]() -> std::string {
            SetCopyProgressHookForTests(hook);
            signal(SIGXFSZ, SIG_IGN);
            if (fileSizeLimit != RLIM_INFINITY) {
                rlimit limit{fileSizeLimit, fileSizeLimit};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            if (asNobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
            const MoveOutcome o = MoveToGood(source);
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
        CopyProgressHook hook;
        bool sourceFolderReadOnly;  // the copy succeeds but the source cannot go
        bool moves;
        const char* errorPart;
    } cases[] = {
        {"complete copy", RLIM_INFINITY, nullptr, false, true, ""},
        {"copy fails part-way", 100000, nullptr, false, false, "copying it"},
        {"copy differs from the source", RLIM_INFINITY, DamageTheCopy, false, false, "copying it"},
        {"source cannot be removed", RLIM_INFINITY, nullptr, true, false, "cannot remove"},
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
        const MoveOutcome o = MoveInChild(source, c.sourceFolderReadOnly, c.fileSizeLimit, c.hook);
        chmod(work.c_str(), 0755);
        EXPECT_EQ(o.moved, c.moves) << o.error;
        EXPECT_NE(o.error.find(c.errorPart), std::string::npos) << o.error;
        // Exactly one complete copy, wherever it is, and no partial one.
        if (c.moves) {
            EXPECT_FALSE(fs::exists(source));
            EXPECT_EQ(ReadAll((good / "a.fit").string()), Bytes('a', 300000));
        } else {
            EXPECT_EQ(ReadAll(source), Bytes('a', 300000));
            EXPECT_TRUE(fs::is_empty(good));
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
    EXPECT_EQ(o.target, "./Good/c.bmp");
    EXPECT_TRUE(fs::exists(dir.file("Good/c.bmp")));
}

namespace {}  // namespace

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
            SetCopyProgressHookForTests([](std::uint64_t) { _exit(9); });
            MoveToGood(source);
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
    const auto outcomes = MovePassedFiles(
        {dir.write("blocked/a.fit", Bytes('a')), dir.write("open/taken.fit", Bytes('x')),
         dir.write("blocked/b.fit", Bytes('b')), dir.write("open/free.fit", Bytes('f'))});
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
        const auto outcomes = MovePassedFiles(sources, control);
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
    SetCopyProgressHookForTests([](std::uint64_t) { g_stopMove = true; });  // after one block
    const MoveOutcome o = MoveToGood(source, &g_stopMove);
    SetCopyProgressHookForTests(nullptr);
    EXPECT_FALSE(o.moved);
    EXPECT_TRUE(o.stopped);
    EXPECT_NE(o.error.find("stopped"), std::string::npos) << o.error;
    EXPECT_EQ(ReadAll(source), bytes);
    EXPECT_TRUE(fs::is_empty(good));
    // Nothing stays in the way of the next attempt.
    g_stopMove = false;
    EXPECT_TRUE(MoveToGood(source, &g_stopMove).moved);
    EXPECT_EQ(ReadAll((good / "a.fit").string()), bytes);
}
