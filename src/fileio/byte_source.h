#pragma once
// Random access to a file's bytes, or to bytes already in memory, for readers that need only
// a part of a file: a header first, then the rows of one window. A file is opened without
// blocking and refused unless it is a regular file, so a named pipe or a device named like a
// frame cannot hang a reader.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

class ByteSource {
public:
    ByteSource() = default;
    ByteSource(const std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
    ~ByteSource();
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    // Opens `path` for reading. False with a short reason ("not a regular file",
    // "cannot open: Is a directory", "cannot open: <system message>").
    [[nodiscard]] bool open(const std::string& path, std::string& error);
    // Makes the source these bytes, kept by the source itself (a file expanded in memory).
    void adopt(std::vector<std::uint8_t>&& bytes);

    std::uint64_t size() const { return size_; }
    // The whole content when the source is memory; null for a file.
    const std::uint8_t* memory() const { return bytes_; }
    // The open file's descriptor; -1 for memory.
    int descriptor() const { return fd_; }

    // Exactly n bytes from `offset` into `to`. False with a reason, as for view().
    [[nodiscard]] bool readInto(std::uint64_t offset, std::size_t n, std::uint8_t* to,
                                std::string& error) const;

    // Tells the system that bytes [offset, offset + n) will be read soon, so that it reads
    // them in the background (a hint: nothing happens for memory or on failure).
    void willNeed(std::uint64_t offset, std::uint64_t n) const;

    // Exactly n bytes from `offset`: a pointer into memory, or into `scratch` after a read
    // from the file. Null with a reason when the range lies beyond the end or the read fails.
    [[nodiscard]] const std::uint8_t* view(std::uint64_t offset, std::size_t n,
                                           std::vector<std::uint8_t>& scratch,
                                           std::string& error) const;
    // The same, telling whether the read had to wait for the disk: it takes what the system
    // holds in memory first (`fromDisk` false when that was all of it).
    [[nodiscard]] const std::uint8_t* view(std::uint64_t offset, std::size_t n,
                                           std::vector<std::uint8_t>& scratch, std::string& error,
                                           bool& fromDisk) const;

private:
    // True when [offset, offset + n) lies within the source; else the reason.
    bool within(std::uint64_t offset, std::size_t n, std::string& error) const;
    // n bytes of the open file into `to` (what is in memory first with `cachedFirst`).
    bool fill(std::uint64_t offset, std::size_t n, std::uint8_t* to, std::string& error,
              bool cachedFirst, bool& fromDisk) const;
    const std::uint8_t* read(std::uint64_t offset, std::size_t n,
                             std::vector<std::uint8_t>& scratch, std::string& error,
                             bool cachedFirst, bool& fromDisk) const;

    std::vector<std::uint8_t> owned_;
    const std::uint8_t* bytes_ = nullptr;
    std::uint64_t size_ = 0;
    int fd_ = -1;
};

}  // namespace framesifter
