#pragma once
// The program's one way of reading and writing files: whole-file reads under one size limit,
// complete reads and writes over interruptions, the system's error text, and files placed
// only once complete, either never replacing anything or replacing atomically.

#include "byte_source.h"
#include "system_calls.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace framesifter {

// Larger than any frame of at most 16000 x 16000 pixels in the supported formats can be.
constexpr std::uint64_t kMaxFrameFileBytes = 1ULL << 30;

// The whole of a source into `bytes` (capacity kept from call to call); refuses sources
// larger than kMaxFrameFileBytes.
[[nodiscard]] bool ReadAllBytes(const ByteSource& source, std::vector<std::uint8_t>& bytes,
                                std::string& error);
// The same from a path; folders, pipes and devices are refused as ByteSource refuses them.
[[nodiscard]] bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes,
                                 std::string& error);

// Writes `size` bytes under a temporary name beside `path`, flushes them to the disk and
// gives them the name `path` only if nothing has it ("already exists" otherwise). No
// failure leaves a file behind.
[[nodiscard]] bool WriteNewFile(const std::string& path, const void* data, std::size_t size,
                                std::string& error);
// Writes what fill(fd, error) writes to the open temporary file, then as WriteNewFile; fill
// returns false with a reason to give up, and the temporary file is removed.
using FileFiller = std::function<bool(int fd, std::string& error)>;
[[nodiscard]] bool WriteNewFileBy(const std::string& path, const FileFiller& fill,
                                  std::string& error);
// The same as WriteNewFile, but whatever `path` names is replaced in one step once the new file is
// complete.
[[nodiscard]] bool ReplaceFile(const std::string& path, const void* data, std::size_t size,
                               std::string& error);

// Flushes `folder`'s entries (names just created, renamed or removed) to the disk; false with
// the system's reason when it cannot be opened or flushed.
[[nodiscard]] bool SyncFolder(const std::string& folder, std::string& error);

// The most bytes a file name may hold on the usual file systems.
constexpr std::size_t kMaxFileNameBytes = 255;
// "." + name + suffix, the name cut short where the whole would pass kMaxFileNameBytes: the
// hidden names of files being written beside the one they will become.
std::string HiddenName(const std::string& name, const std::string& suffix);

// The temporary files of these writers are held (locked) for their whole life and renamed
// only while their name still holds what was written. True when `entry` is a name such a
// temporary file has, ".NAME.<pid>-<n>.tmp": `stem` is NAME, or its start when the whole
// was cut short to fit 255 bytes (`cut`).
bool SplitTemporaryName(const std::string& entry, std::string& stem, bool& cut);
// True when `entry` is a name such a temporary file of `name` has.
bool IsTemporaryNameOf(const std::string& entry, const std::string& name);
// Removes the temporary files of `names` in `folder` that killed writers left: those no
// live writer holds; one look at the folder for all. What cannot be removed stays: it is in
// no new write's way.
void RemoveTemporaryLeftovers(const std::string& folder, std::vector<std::string> names);

}  // namespace framesifter
