#pragma once
// The system's error text and reads and writes that go on over interruptions: what every
// file reader and writer here builds on.

#include <cstddef>
#include <cstdint>
#include <string>

namespace framesifter {

// The system's text for an errno value.
std::string SystemError(int code);
// Sets `error` and returns false, for `return Fail(error, "reason");`.
bool Fail(std::string& error, std::string reason);

// These two are the system calls over interruptions and, like them, leave the reason in
// errno: their callers go on to close, fsync or unlink, and word the failure with the
// operation they were doing (SystemReason) or branch on the code.
//
// Up to `size` bytes from `offset`, fewer only at the end of the file; `got` says how many.
// False (errno set) on a read error.
[[nodiscard]] bool ReadAt(int fd, void* data, std::size_t size, std::uint64_t offset,
                          std::size_t& got);
// As much of the same as the system holds in memory, read without waiting for the disk: how
// many bytes (0 too when the file system cannot tell).
std::size_t ReadCachedAt(int fd, void* data, std::size_t size, std::uint64_t offset);
// Writes all `size` bytes, going on after short writes and interruptions. False (errno set)
// on a write error.
[[nodiscard]] bool WriteAll(int fd, const void* data, std::size_t size);

}  // namespace framesifter
