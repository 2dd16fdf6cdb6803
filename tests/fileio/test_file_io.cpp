#include "file_io.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace framesifter;

namespace {

const std::vector<std::uint8_t> kNew = {'n', 'e', 'w'};

}  // namespace

TEST(FileIo, NewFilesNeverReplaceAndFailuresLeaveNothing) {
    TempDir dir;
    const std::string kept = dir.write("kept.fit", std::string("old"));
    ASSERT_EQ(::symlink("nowhere", dir.file("link.fit").c_str()), 0);
    struct Case {
        std::string path;
        const char* reason;  // null: written
    };
    const Case cases[] = {
        {dir.file("fresh.fit"), nullptr},
        {kept, "already exists"},
        {dir.file("link.fit"), "already exists"},  // a dangling link is a name in use
        {dir.file("no/such/a.fit"),
         "cannot create a file in its folder: No such file or directory"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(WriteNewFile(c.path, kNew.data(), kNew.size(), error), c.reason == nullptr)
            << c.path;
        if (c.reason) {
            EXPECT_EQ(error, c.reason);
        }
    }
    EXPECT_EQ(ReadAll(dir.file("fresh.fit")), kNew);
    EXPECT_EQ(ReadAll(kept), std::vector<std::uint8_t>({'o', 'l', 'd'}));
    EXPECT_EQ(FolderNames(dir.path()),
              (std::vector<std::string>{"fresh.fit", "kept.fit", "link.fit"}));
}

TEST(FileIo, ReplacingKeepsOneNameAndTheUsualPermissions) {
    TempDir dir;
    const std::string path = dir.write("frame.fit", std::string("older contents"));
    std::string error;
    ASSERT_TRUE(ReplaceFile(path, kNew.data(), kNew.size(), error)) << error;
    EXPECT_EQ(ReadAll(path), kNew);
    EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"frame.fit"});

    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

    EXPECT_FALSE(ReplaceFile(dir.file("no/such/b.fit"), kNew.data(), kNew.size(), error));
    EXPECT_EQ(error, "cannot create a file in its folder: No such file or directory");
}

TEST(FileIo, WholeFileReadsStopAtTheSizeLimitAndRefuseFolders) {
    TempDir dir;
    const std::string big = dir.file("big.fit");
    {
        // Sparse: the limit is checked before anything is read.
        const int fd = ::open(big.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t(kMaxFrameFileBytes + 1)), 0);
        ::close(fd);
    }
    const std::string small = dir.write("small.fit", kNew);
    struct Case {
        std::string path;
        const char* reason;  // null: read
    };
    const Case cases[] = {
        {small, nullptr},
        {big, "file too large: 1073741825 bytes"},
        {dir.path().string(), "cannot open: Is a directory"},
        {dir.file("absent.fit"), "cannot open: No such file or directory"},
    };
    std::vector<std::uint8_t> bytes;
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(ReadWholeFile(c.path, bytes, error), c.reason == nullptr) << c.path;
        if (c.reason) {
            EXPECT_EQ(error, c.reason);
        } else {
            EXPECT_EQ(bytes, kNew);
        }
    }
}

TEST(FileIo, ReadAtGoesOnToTheEndAndReportsWhatItGot) {
    TempDir dir;
    const std::string path = dir.write("ten.bin", std::string("0123456789"));
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    char buffer[16] = {};
    std::size_t got = 0;
    ASSERT_TRUE(ReadAt(fd, buffer, 4, 3, got));
    EXPECT_EQ(std::string(buffer, got), "3456");
    ASSERT_TRUE(ReadAt(fd, buffer, sizeof buffer, 7, got));
    EXPECT_EQ(std::string(buffer, got), "789");
    ::close(fd);
    EXPECT_FALSE(ReadAt(fd, buffer, 4, 0, got));  // closed: a read error, not an end
}

TEST(FileIo, TemporaryFilesFitLongNamesAndOnlyUnheldOnesAreLeftovers) {
    TempDir dir;
    const std::string longName(250, 'n');
    std::string error;
    ASSERT_TRUE(WriteNewFile(dir.file(longName), kNew.data(), kNew.size(), error)) << error;
    EXPECT_EQ(ReadAll(dir.file(longName)), kNew);

    const std::string cut = "." + longName.substr(0, 240) + ".1234567-0.tmp";  // 255 bytes
    const struct {
        std::string entry, name;
        bool matches;
    } names[] = {
        {".a.fit.123-0.tmp", "a.fit", true},
        {".a.fit.123-0.tmp", "a.fi", false},
        {".a.fit.12x-0.tmp", "a.fit", false},
        {"a.fit.123-0.tmp", "a.fit", false},
        {cut, longName, true},
        {cut.substr(0, 100) + ".1-0.tmp", longName, false},  // cut short without need
    };
    for (const auto& n : names) EXPECT_EQ(IsTemporaryNameOf(n.entry, n.name), n.matches) << n.entry;

    // A writer holds its own temporary file: a clearing while it writes leaves it alone.
    const std::string path = dir.file("v.ser");
    ASSERT_TRUE(WriteNewFileBy(
        path,
        [&](int fd, std::string&) {
            RemoveTemporaryLeftovers(dir.path().string(), {"v.ser"});
            return WriteAll(fd, kNew.data(), kNew.size());
        },
        error))
        << error;
    EXPECT_EQ(ReadAll(path), kNew);
    const std::string killed = dir.write(".v.ser.99999-0.tmp", std::string("part"));
    const std::string live = dir.write(".v.ser.99998-0.tmp", std::string("live"));
    const std::string user = dir.write(".v.ser.notes.tmp", std::string("the user's"));
    const std::string cutShort = dir.write(cut, std::string("part"));
    const std::string unlisted = dir.write(".x.ser.99999-0.tmp", std::string("part"));
    const int held = ::open(live.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    RemoveTemporaryLeftovers(dir.path().string(), {"v.ser", "w.ser", longName});
    ::close(held);
    EXPECT_FALSE(std::filesystem::exists(killed));
    EXPECT_TRUE(std::filesystem::exists(live));
    EXPECT_TRUE(std::filesystem::exists(user));
    EXPECT_FALSE(std::filesystem::exists(cutShort));
    EXPECT_TRUE(std::filesystem::exists(unlisted));
}

TEST(FileIo, SyncFolderFlushesFoldersAndSaysWhyNotOthers) {
    TempDir dir;
    const std::string file = dir.file("plain.fit");
    std::string written;
    ASSERT_TRUE(WriteNewFile(file, "x", 1, written)) << written;
    const struct {
        std::string folder;
        bool ok;
        const char* reason;
    } cases[] = {
        {dir.path().string(), true, ""},
        {dir.file("missing"), false, "No such file"},
        {file, false, "Not a directory"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(SyncFolder(c.folder, error), c.ok) << c.folder;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.folder << ": " << error;
        EXPECT_EQ(error.empty(), c.ok) << c.folder;
    }
}
