#pragma once
// The system's error text and reads and writes that go on over interruptions: what every
// file reader and writer here builds on.

#include <cstddef>
#include <cstdint>
#include <string>

namespace framesifter {

// The system's text for an errno value.
std::string SystemError(int code);
// "<what>: <the system's text for errno>"
std::string OsError(const std::string& what);
// Sets `error` and returns false, for `return Fail(error, "reason");`.
bool Fail(std::string& error, std::string reason);

// Up to `size` bytes from `offset`, fewer only at the end of the file; `got` says how many.
// False (errno set) on a read error.
bool ReadAt(int fd, void* data, std::size_t size, std::uint64_t offset, std::size_t& got);
// Writes all `size` bytes, going on after short writes and interruptions.
bool WriteAll(int fd, const void* data, std::size_t size);

}  // namespace framesifter
