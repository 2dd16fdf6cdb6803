#include "fits_writer.h"

#include "no_replace.h"

#include "fits_reader.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A card with the value right-justified to column 30 (the FITS fixed format).
void AppendCard(std::string& out, const char* keyword, const std::string& value)
{
    char card[kFitsCardBytes + 1];
    std::snprintf(card, sizeof card, "%-8.8s= %20s", keyword, value.c_str());
    std::string text(card);
    text.resize(kFitsCardBytes, ' ');
    out += text;
}

int Fail(std::string& error, std::string reason)
{
    error = std::move(reason);
    return 1;
}

std::string OsError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// Places the finished temporary file at `path`, refusing an existing target.
int LinkWithoutReplacing(const std::string& temp, const std::string& path, std::string& error)
{
    const int code = RenameNoReplace(temp, path);
    if (code == 0) return 0;
    errno = code;
    return Fail(error, code == EEXIST ? std::string("already exists") : OsError("cannot create"));
}

}  // namespace

int WriteFits16(const std::string& path, const std::uint16_t* values, int width, int height,
                std::string& error, bool replace)
{
    if (!values || width < 1 || height < 1 || width > kFitsMaxSide || height > kFitsMaxSide)
        return Fail(error, "image size " + std::to_string(width) + " x " +
                               std::to_string(height) + " cannot be written");
    struct stat st {};
    if (!replace && ::lstat(path.c_str(), &st) == 0) return Fail(error, "already exists");

    std::string head;
    AppendCard(head, "SIMPLE", "T");
    AppendCard(head, "BITPIX", "16");
    AppendCard(head, "NAXIS", "2");
    AppendCard(head, "NAXIS1", std::to_string(width));
    AppendCard(head, "NAXIS2", std::to_string(height));
    AppendCard(head, "BZERO", "32768");
    AppendCard(head, "BSCALE", "1");
    head += "END";
    head.resize((head.size() + kFitsBlockBytes - 1) / kFitsBlockBytes * kFitsBlockBytes, ' ');

    const std::size_t count = std::size_t(width) * std::size_t(height);
    const std::size_t dataBytes =
        (count * 2 + kFitsBlockBytes - 1) / kFitsBlockBytes * kFitsBlockBytes;
    std::vector<std::uint8_t> bytes(head.size() + dataBytes, 0);
    std::memcpy(bytes.data(), head.data(), head.size());
    std::uint8_t* p = bytes.data() + head.size();
    for (std::size_t i = 0; i < count; ++i, p += 2) {
        // Stored as the signed value v - 32768, which flips the top bit.
        const std::uint16_t word = values[i] ^ 0x8000u;
        p[0] = std::uint8_t(word >> 8);
        p[1] = std::uint8_t(word & 0xFF);
    }

    // Written under a temporary name beside the target, so that no half-written file ever
    // carries the target's name.
    static std::atomic<unsigned> serial{0};
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "." + base + "." + std::to_string(::getpid()) + "-" +
               std::to_string(serial++) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return Fail(error, OsError("cannot create a file in its folder"));

    const bool written = WriteAll(fd, bytes.data(), bytes.size());
    const int writeErrno = errno;
    if (::close(fd) != 0 || !written) {
        if (!written) errno = writeErrno;
        const std::string reason = OsError("write error");
        ::unlink(temp.c_str());
        return Fail(error, reason);
    }

    if (replace) {
        if (::rename(temp.c_str(), path.c_str()) != 0) {
            const std::string reason = OsError("cannot create");
            ::unlink(temp.c_str());
            return Fail(error, reason);
        }
        return 0;
    }
    if (LinkWithoutReplacing(temp, path, error)) {
        ::unlink(temp.c_str());
        return 1;
    }
    return 0;
}
