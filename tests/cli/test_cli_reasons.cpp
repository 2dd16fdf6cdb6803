// The command line keeps its English reasons, word for word, whatever the windows show.

#include "cli_runner.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace {

// A FITS header of 8-bit 300 x 300 pixels, one block long.
std::string FitsHeader300() {
    std::string header;
    const auto card = [&](const std::string& key, const std::string& value) {
        std::string c = key;
        c.resize(8, ' ');
        if (!value.empty()) {
            c += "= ";
            c += std::string(20 - value.size(), ' ') + value;
        }
        c.resize(80, ' ');
        header += c;
    };
    card("SIMPLE", "T");
    card("BITPIX", "8");
    card("NAXIS", "2");
    card("NAXIS1", "300");
    card("NAXIS2", "300");
    card("END", "");
    header.resize(2880, ' ');
    return header;
}

}  // namespace

TEST(CliReasons, FailuresReadAsTheyAlwaysHave) {
    TempDir dir;
    struct Case {
        std::string file;
        const char* reason;
    };
    const Case cases[] = {
        {dir.write("cut.fit", FitsHeader300() + std::string(1000, '\x10')),
         "truncated: 1000 of 90000 data bytes present"},
        {dir.write("text.fits", std::string(5000, 'x')),
         "not a FITS file (it does not start with a SIMPLE card)"},
        {dir.file("missing.fit"), "cannot open: No such file or directory"},
        {dir.write("empty.fit", std::string()), "empty file"},
    };
    for (const Case& c : cases) {
        for (const char* command : {"select", "profile"}) {
            SCOPED_TRACE(c.file + " " + command);
            const CliResult r = RunCli({command, c.file});
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.err, "framesifter-cli: " + c.file + ": " + c.reason + "\n");
        }
    }
}
