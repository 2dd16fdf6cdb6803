// The files the program is started with, as file managers pass them.

#include "command_line_files.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLineFiles, PathsAndFileUrlsBecomeLocalFilesFromTheCurrentFolder) {
    struct Case {
        QStringList arguments;
        QStringList files;
    };
    const Case cases[] = {
        {{}, {}},
        {{"/data/moon/frame_1.fit"}, {"/data/moon/frame_1.fit"}},
        {{"frame_1.bmp", "sub/../frame 2.jpg"},
         {"/home/u/shots/frame_1.bmp", "/home/u/shots/frame 2.jpg"}},
        {{"../jupiter.ser"}, {"/home/u/jupiter.ser"}},
        {{"file:///data/Mond%20%C3%BC/a.fits"}, {"/data/Mond ü/a.fits"}},
        {{"", "https://example.org/a.bmp", "smb://host/share/b.bmp", "c.bmp"},
         {"/home/u/shots/c.bmp"}},
        {{"月/フレーム.bmp"}, {"/home/u/shots/月/フレーム.bmp"}},
    };
    for (const Case& c : cases) {
        QStringList files;
        for (const QUrl& url : CommandLineFiles(c.arguments, "/home/u/shots")) {
            EXPECT_TRUE(url.isLocalFile()) << url.toString().toStdString();
            files << url.toLocalFile();
        }
        EXPECT_EQ(files.join('|').toStdString(), c.files.join('|').toStdString())
            << c.arguments.join(' ').toStdString();
    }
}

}  // namespace
