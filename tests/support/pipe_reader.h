#pragma once
// Runs a reader on a named pipe it must refuse at once: a reader that opens the pipe for
// reading would wait for a writer for ever, so after a few seconds a writer is let in and the
// wait counts as a failure.

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// read(path) returns whether it succeeded. Returns that, after failing the test if it waited.
template <typename Read>
bool ReadPipeWithoutWaiting(const std::string& path, Read read) {
    if (mkfifo(path.c_str(), 0600) != 0) {
        ADD_FAILURE() << "mkfifo " << path;
        return true;
    }
    auto result = std::async(std::launch::async, [&] { return read(path); });
    if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "waited for a writer";
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);  // lets the reader end
        if (fd >= 0) ::close(fd);
    }
    return result.get();
}
