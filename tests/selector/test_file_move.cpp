#include "file_move.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

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
        std::function<std::string(const TempDir&)> arrange;   // returns the source path
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
        const auto before = existed && fs::is_regular_file(source) ? ReadAll(source)
                                                                   : std::vector<std::uint8_t>{};
        const auto goodBefore = fs::is_regular_file(dir.file("Good/a.fit"))
                                    ? ReadAll(dir.file("Good/a.fit"))
                                    : std::vector<std::uint8_t>{};
        const MoveOutcome o = MoveToGood(source);
        EXPECT_FALSE(o.moved);
        EXPECT_NE(o.error.find(c.errorPart), std::string::npos) << o.error;
        EXPECT_EQ(fs::exists(source), existed);
        if (!before.empty()) EXPECT_EQ(ReadAll(source), before);
        if (!goodBefore.empty()) EXPECT_EQ(ReadAll(dir.file("Good/a.fit")), goodBefore);
    }
}

TEST(MoveToGood, ReadOnlyFolderKeepsTheFile) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    TempDir dir;
    const auto a = dir.write("a.fit", Bytes('a'));
    fs::create_directory(dir.path() / "Good");
    chmod(dir.path().c_str(), 0555);
    const MoveOutcome o = MoveToGood(a);
    chmod(dir.path().c_str(), 0755);
    EXPECT_FALSE(o.moved);
    EXPECT_EQ(ReadAll(a), Bytes('a'));
}

TEST(MoveToGood, AcrossFileSystemsCopiesThenRemoves) {
    // /dev/shm is a tmpfs on Linux; when the temporary folder is on another file system,
    // a rename between them fails with EXDEV.
    TempDir dir;
    const fs::path shm = "/dev/shm";
    struct stat a {}, b {};
    if (stat(shm.c_str(), &a) != 0 || stat(dir.path().c_str(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system at hand";
    const std::string work = (shm / ("fsmove-" + std::to_string(getpid()))).string();
    fs::create_directory(work);
    const std::string source = work + "/a.fit";
    {
        std::ofstream out(source, std::ios::binary);
        const auto bytes = Bytes('a', 300000);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    // Good is a symbolic link to a folder on the other file system.
    fs::create_directory(dir.path() / "realgood");
    fs::create_directory_symlink(dir.path() / "realgood", work + "/Good");
    const MoveOutcome o = MoveToGood(source);
    EXPECT_TRUE(o.moved) << o.error;
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(ReadAll(dir.file("realgood/a.fit")), Bytes('a', 300000));
    fs::remove_all(work);
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
