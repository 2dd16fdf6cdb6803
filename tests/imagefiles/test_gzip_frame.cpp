#include "gzip_frame.h"

#include "gzip_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace framesifter;

TEST(ExpandGzip, GivesTheBytesWithinTheBoundOrAReason) {
    std::string plain(300000, '\0');
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = char((i * 7 + i / 977) & 0xff);
    const std::string gz = GzipBytes(plain), zeros(std::size_t(3) << 20, '\0');
    std::string damaged = gz;
    for (std::size_t k = 100; k < 140; ++k) damaged[k] = char(~damaged[k]);
    const std::size_t mib = std::size_t(1) << 20;
    const struct {
        const char* what;
        std::string file;
        bool headOnly;
        std::string expanded;
        const char* reason;  // a part of the reason when refused
    } cases[] = {
        {"whole", gz, false, plain, nullptr},
        {"two members", gz + GzipBytes("tail"), false, plain + "tail", nullptr},
        {"zeros after", gz + std::string(50, '\0'), false, plain, nullptr},
        {"head only", GzipBytes(zeros), true, zeros.substr(0, mib), nullptr},
        {"cut short", gz.substr(0, gz.size() / 2), false, "", "truncated: the gzip data end"},
        {"damaged", damaged, false, "", "damaged gzip data: "},
        {"a wrong length", WithClaimedSize(gz, 10), false, "", "incorrect length check"},
        {"not gzip", plain, false, "", "not a gzip file"},
        {"junk after", gz + "junk", false, "", "data that are not gzip follow"},
        // The trailer wraps at 4 GB: the bound holds while expanding all the same.
        {"past the bound", WithClaimedSize(GzipBytes(zeros), 100), false, "", "more than 1 MB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::size_t largest = 0;
        const ExpansionBound bound{mib, c.headOnly, [&largest](std::size_t bytes, std::string&) {
                                       largest = std::max(largest, bytes);
                                       return true;
                                   }};
        const ByteSource source(reinterpret_cast<const std::uint8_t*>(c.file.data()),
                                c.file.size());
        std::vector<std::uint8_t> out;
        std::string error;
        const bool read = ExpandGzip(source, bound, out, error);
        EXPECT_LE(largest, mib) << "memory asked for beyond the bound";
        EXPECT_EQ(read, !c.reason) << error;
        if (c.reason) {
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        }
        EXPECT_TRUE(!read || std::string(out.begin(), out.end()) == c.expanded);
    }
}
