#include "gzip_frame.h"

#include "gzip_bytes.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace framesifter;

namespace {

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = char((i * 7 + i / 977) & 0xff);
    return s;
}

}  // namespace

TEST(ExpandGzip, GivesTheBytesWithinTheBoundOrAReason) {
    const std::string plain = Pattern(300000);
    const std::string gz = GzipBytes(plain);
    const std::string zeros(std::size_t(3) << 20, '\0');
    std::string damaged = gz;
    for (std::size_t k = 100; k < 140; ++k) damaged[k] = char(damaged[k] ^ 0x5a);
    std::string badCrc = gz;
    badCrc[gz.size() - 6] = char(badCrc[gz.size() - 6] ^ 1);
    const std::size_t mib = std::size_t(1) << 20;
    struct Case {
        const char* what;
        std::string file;
        std::size_t limit;
        bool headOnly;
        std::string expanded;  // when read
        const char* reason;    // a part of the reason when refused
    } cases[] = {
        {"whole", gz, mib, false, plain, nullptr},
        {"two members", gz + GzipBytes("tail"), mib, false, plain + "tail", nullptr},
        {"zeros after", gz + std::string(50, '\0'), mib, false, plain, nullptr},
        {"a wrong length", WithClaimedSize(gz, 10), mib, false, "",
         "damaged gzip data: incorrect length check"},
        {"head only", GzipBytes(zeros), mib, true, zeros.substr(0, mib), nullptr},
        {"cut short", gz.substr(0, gz.size() / 2), mib, false, "", "truncated: the gzip data end"},
        {"cut in the trailer", gz.substr(0, gz.size() - 3), mib, false, "", "truncated"},
        {"damaged", damaged, mib, false, "", "damaged gzip data: "},
        {"wrong check", badCrc, mib, false, "", "damaged gzip data: incorrect data check"},
        {"not gzip", plain, mib, false, "", "not a gzip file"},
        {"empty", "", mib, false, "", "truncated"},
        {"junk after", gz + "junk", mib, false, "", "data that are not gzip follow"},
        {"larger than claimed", GzipBytes(zeros), 2 * mib, false, "", "more than 2 MB"},
        // The trailer wraps at 4 GB: the bound holds while expanding all the same.
        {"a small claim", WithClaimedSize(GzipBytes(zeros), 100), 2 * mib, false, "",
         "more than 2 MB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::size_t largest = 0;
        ExpansionBound bound;
        bound.limit = c.limit;
        bound.headOnly = c.headOnly;
        bound.check = [&largest](std::size_t bytes, std::string&) {
            largest = std::max(largest, bytes);
            return true;
        };
        const ByteSource source(reinterpret_cast<const std::uint8_t*>(c.file.data()),
                                c.file.size());
        std::vector<std::uint8_t> out;
        std::string error;
        const bool read = ExpandGzip(source, bound, out, error);
        EXPECT_LE(largest, c.limit) << "memory asked for beyond the bound";
        if (!c.reason) {
            ASSERT_TRUE(read) << error;
            EXPECT_TRUE(std::string(out.begin(), out.end()) == c.expanded);
            continue;
        }
        EXPECT_FALSE(read);
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(ExpandGzip, ARefusedCheckStopsTheExpansion) {
    const std::string gz = GzipBytes(std::string(std::size_t(4) << 20, 'a'));
    for (std::size_t allowed : {std::size_t(0), std::size_t(1) << 20}) {
        ExpansionBound bound = FrameExpansionBound();
        std::size_t asked = 0;
        bound.check = [&](std::size_t bytes, std::string& error) {
            asked = bytes;
            if (bytes <= allowed) return true;
            error = "held back";
            return false;
        };
        const ByteSource source(reinterpret_cast<const std::uint8_t*>(gz.data()), gz.size());
        std::vector<std::uint8_t> out;
        std::string error;
        EXPECT_FALSE(ExpandGzip(source, bound, out, error));
        EXPECT_EQ(error, "held back");
        EXPECT_GT(asked, allowed);
    }
}

TEST(OpenFrameFile, ExpandsOnlyCompressedNames) {
    TempDir dir;
    const std::string plain = Pattern(5000);
    const struct {
        const char* name;
        std::string bytes;
        bool inMemory;
    } cases[] = {
        {"a.fit.gz", GzipBytes(plain), true},
        {"b.FITS.GZ", GzipBytes(plain), true},
        {"c.fts.gz", GzipBytes(plain), true},
        {"d.fit", plain, false},
        {"e.gz", plain, false},  // not a frame's name: opened as it is, refused by its reader
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ByteSource source;
        std::string error;
        ASSERT_TRUE(OpenFrameFile(dir.write(c.name, c.bytes), source, error)) << error;
        EXPECT_EQ(source.memory() != nullptr, c.inMemory);
        std::vector<std::uint8_t> got(std::size_t(source.size()));
        ASSERT_TRUE(source.readInto(0, got.size(), got.data(), error)) << error;
        EXPECT_TRUE(std::string(got.begin(), got.end()) == (c.inMemory ? plain : c.bytes));
    }
}
