#include "demo_frames.h"
#include "frame_scores.h"
#include "cli_runner.h"
#include "fits_writer.h"
#include "frame.h"
#include "fits_library_writer.h"
#include "frame_formats.h"
#include "gzip_bytes.h"
#include "analysis_results.h"
#include "band_suggestion.h"
#include "ranking.h"
#include "ser_test_files.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <random>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace framesifter;

namespace fs = std::filesystem;

namespace {

// Writes a demo sequence through the program and returns the frame paths in order.
std::vector<std::string> MakeDemo(const std::string& dir, int count, const char* format = "fits") {
    const CliResult r = RunCli({"demo", dir, "--count", std::to_string(count), "--format", format});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> paths;
    const FrameFormat f = std::string(format) == "fits"  ? FrameFormat::Fits
                          : std::string(format) == "bmp" ? FrameFormat::Bmp
                                                         : FrameFormat::Jpeg;
    for (int k = 0; k < count; ++k) paths.push_back((fs::path(dir) / DemoFileName(k, f)).string());
    return paths;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct SelectRow {
    std::string file;
    long long score;
    bool passed;
    std::string flags;
};

std::vector<SelectRow> SelectRows(const CliResult& r) {
    const auto csv = ParseCsv(r.out);
    EXPECT_FALSE(csv.empty());
    if (csv.empty()) return {};
    EXPECT_EQ(csv[0], (std::vector<std::string>{"file", "score", "passed", "flags"}));
    std::vector<SelectRow> rows;
    for (std::size_t i = 1; i < csv.size(); ++i) {
        EXPECT_EQ(csv[i].size(), 4u);
        if (csv[i].size() != 4) continue;
        EXPECT_TRUE(csv[i][2] == "0" || csv[i][2] == "1") << csv[i][2];
        rows.push_back({csv[i][0], std::stoll(csv[i][1]), csv[i][2] == "1", csv[i][3]});
    }
    return rows;
}

std::vector<double> Ranks(const std::vector<double>& v) {
    std::vector<std::size_t> order(v.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return v[a] < v[b]; });
    std::vector<double> rank(v.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i;
        while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]]) ++j;
        for (std::size_t t = i; t <= j; ++t) rank[order[t]] = (double(i) + double(j)) / 2;
        i = j + 1;
    }
    return rank;
}

double Spearman(const std::vector<double>& a, const std::vector<double>& b) {
    const auto ra = Ranks(a), rb = Ranks(b);
    const double n = double(a.size()), mean = (n - 1) / 2;
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sab += (ra[i] - mean) * (rb[i] - mean);
        saa += (ra[i] - mean) * (ra[i] - mean);
        sbb += (rb[i] - mean) * (rb[i] - mean);
    }
    return sab / std::sqrt(saa * sbb);
}

void WriteSmallFits(const std::string& path, int width, int height) {
    std::vector<std::uint16_t> v(std::size_t(width) * std::size_t(height), 30000);
    std::string error;
    ASSERT_TRUE(WriteFits16(path, v.data(), width, height, error)) << error;
}

}  // namespace

TEST(CliUsage, WrongUsageExitsTwoBeforeReadingAnything) {
    TempDir dir;
    const std::string missing = dir.file("missing.fit");  // would be exit 1 if read
    const std::string demoDir = dir.file("demo");
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{}, "no command"},
        {{"frobnicate", missing}, "unknown command"},
        {{"profile"}, "at least one FILE"},
        {{"profile", "--level", "5", missing}, "unknown option"},
        {{"profile", "-p", missing}, "unknown option"},
        {{"select"}, "at least one FILE"},
        {{"select", missing, "--level"}, "needs a value"},
        {{"select", "--peak=1", missing}, "takes no value"},
        {{"select", "--level", "11", missing}, "--level"},
        {{"select", "--level", "-1", missing}, "--level"},
        {{"select", "--level", "5x", missing}, "--level"},
        {{"select", "--level", " 5", missing}, "--level"},
        {{"select", "--level", "+5", missing}, "--level"},
        {{"select", "--level=", missing}, "--level"},
        {{"select", "--band", "25-50", missing}, "--band"},
        {{"select", "--band", "10:256", missing}, "--band"},
        {{"select", "--band", "50:25", missing}, "--band"},
        {{"select", "--band", ":50", missing}, "--band"},
        {{"select", "--band", "1:2:3", missing}, "--band"},
        {{"select", "--band", "181:200", missing}, "at most 180"},
        {{"select", "--band=255:255", missing}, "at most 180"},
        {{"select", "--band", "Auto", missing}, "or auto"},
        {{"select", missing, dir.file("b.fit"), dir.file("./missing.fit")},
         "missing.fit is listed twice"},
        {{"select", "--move", "v.ser", "./v.ser#2"},
         "./v.ser#2 is listed twice: by itself and "
         "within v.ser"},
        {{"select", "v.ser#2", dir.file("b.fit"), "./v.ser#2"}, "listed twice"},
        {{"demo", ""}, "not an empty name"},
        {{"undo"}, "one folder GOOD_DIR"},
        {{"undo", demoDir, missing}, "one folder GOOD_DIR"},
        {{"select", "--threads", "0", missing}, "--threads"},
        {{"select", "--best", "3", "--level", "5", missing}, "choose one"},
        {{"select", "--best-percent=5", "--best", "3", missing}, "choose one"},
        {{"select", "--level=0", "--best-percent", "5", missing}, "choose one"},
        {{"select", "--best", "0", missing}, "--best"},
        {{"select", "--best", "-3", missing}, "--best"},
        {{"select", "--best", "3.0", missing}, "--best"},
        {{"select", "--best-percent", "0", missing}, "--best-percent"},
        {{"select", "--best-percent", "100.01", missing}, "--best-percent"},
        {{"select", "--best-percent", "1e1", missing}, "--best-percent"},
        {{"select", "--best-percent", "5%", missing}, "--best-percent"},
        {{"select", "--threads", "17", missing}, "--threads"},
        {{"select", "--score", "sharpness", missing}, "--score takes band or normalised"},
        {{"select", "--score", "normalised", "--band", "25:150", missing}, "at most 127"},
        {{"demo"}, "needs a folder"},
        {{"demo", demoDir, dir.file("other")}, "one folder"},
        {{"demo", demoDir, "--count", "0"}, "--count"},
        {{"demo", demoDir, "--count", "4001"}, "--count"},
        {{"demo", demoDir, "--count", "1e3"}, "--count"},
        {{"demo", demoDir, "--format", "png"}, "--format"},
        {{"demo", demoDir, "--format", "FITS"}, "--format"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& a : c.args) shown += " [" + a + "]";
        const CliResult r = RunCli(c.args);
        EXPECT_EQ(r.exitCode, 2) << shown << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << shown << "\n" << r.err;
        EXPECT_NE(r.err.find("usage: framesifter-cli"), std::string::npos) << shown;
        EXPECT_TRUE(r.out.empty()) << shown;
    }
    EXPECT_FALSE(fs::exists(demoDir));
    EXPECT_NE(RunCli({"--help"}).out.find("Only bins 0 to 180 can"), std::string::npos);

    std::vector<std::string> tooMany{"select"};
    for (int k = 0; k <= kMaxFiles; ++k) tooMany.push_back(missing);
    const CliResult r = RunCli(tooMany);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("at most 4000"), std::string::npos) << r.err;
}

// The help and the manual page list the extensions the format table reads, no more, no less.
TEST(CliUsage, HelpAndManualNameEveryFormatsExtensions) {
    std::ifstream manual(FRAMESIFTER_MANUAL);
    const std::string page((std::istreambuf_iterator<char>(manual)), {});
    ASSERT_FALSE(page.empty()) << FRAMESIFTER_MANUAL;
    const std::string help = RunCli({"--help"}).out;
    for (bool videos : {false, true}) {
        const std::string listed = ExtensionList(videos);
        EXPECT_NE(help.find("(" + listed + ")"), std::string::npos) << listed;
        std::string roff = listed;
        for (std::size_t at = 0; (at = roff.find(' ', at)) != std::string::npos; at += 6)
            roff.replace(at, 1, " \", \" ");
        EXPECT_NE(page.find(".RI ( " + roff + " )"), std::string::npos) << roff;
    }
}

TEST(CliProfile, DemoFramesGiveFullRoundTripRows) {
    for (const char* format : {"fits", "bmp", "jpg"}) {
        SCOPED_TRACE(format);
        TempDir dir;
        const auto frames = MakeDemo(dir.file("seq"), 3, format);
        // Out of order on purpose: rows follow the command line.
        const std::vector<std::string> order{frames[2], frames[0], frames[1]};
        const CliResult centre = RunCli(Concat({"profile"}, order));
        ASSERT_EQ(centre.exitCode, 0) << centre.err;
        EXPECT_EQ(centre.err.find('\r'), std::string::npos) << "no bar when stderr is a file";
        const auto csv = ParseCsv(centre.out);
        ASSERT_EQ(csv.size(), 4u);
        ASSERT_EQ(csv[0].size(), 257u);
        EXPECT_EQ(csv[0][0], "file");
        EXPECT_EQ(csv[0][1], "b0");
        EXPECT_EQ(csv[0][256], "b255");
        for (std::size_t i = 1; i < csv.size(); ++i) {
            ASSERT_EQ(csv[i].size(), 257u);
            EXPECT_EQ(csv[i][0], order[i - 1]);
            for (std::size_t b = 1; b < 257; ++b) {
                char* end = nullptr;
                const double v = std::strtod(csv[i][b].c_str(), &end);
                EXPECT_EQ(*end, '\0') << csv[i][b];
                EXPECT_GE(v, 0);
                if (b == 1) {
                    EXPECT_GT(v, 0);
                }
                if (b - 1 > 180) {
                    EXPECT_EQ(v, 0) << "bin " << b - 1;
                }
            }
            // Round trip: 17 significant digits reproduce the double exactly.
            char again[40];
            std::snprintf(again, sizeof again, "%.17g", std::strtod(csv[i][30].c_str(), nullptr));
            EXPECT_EQ(csv[i][30], again);
        }
        // On a terminal a bar shows the progress and is wiped before the CSV is complete.
        const CliResult onTerminal = RunCli(Concat({"profile"}, order), true);
        EXPECT_EQ(onTerminal.out, centre.out);
        EXPECT_NE(onTerminal.err.find("[" + std::string(40, '.') + "]   0%"), std::string::npos)
            << onTerminal.err;
        EXPECT_NE(onTerminal.err.find("]  66%"), std::string::npos) << onTerminal.err;
        EXPECT_EQ(onTerminal.err.back(), '\r') << "the line is left clean";
        const CliResult peak = RunCli(Concat({"profile", "--peak"}, order));
        ASSERT_EQ(peak.exitCode, 0) << peak.err;
        EXPECT_NE(ParseCsv(peak.out)[1], csv[1]) << "--peak takes another window";
    }
}

TEST(CliSelect, ScoresAndPassesFollowTheLevelInInputOrder) {
    TempDir dir;
    const auto frames = MakeDemo(dir.file("seq"), 8);
    const std::vector<std::string> order{frames[5], frames[1], frames[7], frames[0],
                                         frames[3], frames[6], frames[2], frames[4]};

    // Scores are the band sums of the truncated profile bins.
    const auto profile = ParseCsv(RunCli(Concat({"profile"}, order)).out);
    ASSERT_EQ(profile.size(), order.size() + 1);
    auto bandSum = [&](std::size_t row, int low, int high) {
        long long s = 0;
        for (int b = low; b <= high; ++b)
            s += (long long)std::strtod(profile[row + 1][std::size_t(b) + 1].c_str(), nullptr);
        return s;
    };

    struct Case {
        std::vector<std::string> options;
        int low, high, level;
    };
    const Case cases[] = {
        {{}, 25, 50, 5},
        {{"--level", "0"}, 25, 50, 0},
        {{"--level=10"}, 25, 50, 10},
        {{"--band", "30:40", "--level", "3"}, 30, 40, 3},
        {{"--band=7:7", "--level", "8"}, 7, 7, 8},
        {{"--threads", "1"}, 25, 50, 5},
        {{"--threads=3", "--level", "6"}, 25, 50, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("level " + std::to_string(c.level) + " band " + std::to_string(c.low));
        const CliResult r = RunCli(Concat(Concat({"select"}, c.options), order));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto rows = SelectRows(r);
        ASSERT_EQ(rows.size(), order.size());
        long long lo = rows[0].score, hi = rows[0].score;
        for (const auto& row : rows) {
            lo = std::min(lo, row.score);
            hi = std::max(hi, row.score);
        }
        ASSERT_LT(lo, hi) << "the demo frames must differ";
        const double threshold = ((10 - c.level) * double(lo) + c.level * double(hi)) * 0.1;
        int passed = 0;
        for (std::size_t k = 0; k < rows.size(); ++k) {
            EXPECT_EQ(rows[k].file, order[k]);
            EXPECT_EQ(rows[k].score, bandSum(k, c.low, c.high));
            EXPECT_EQ(rows[k].passed, double(rows[k].score) >= threshold) << k;
            passed += rows[k].passed;
        }
        if (c.level == 0) {
            EXPECT_EQ(passed, int(order.size()));
        }
        if (c.level == 10) {
            EXPECT_EQ(passed, 1);
        }
        EXPECT_NE(r.err.find(std::to_string(passed) + " of 8 frames passed"), std::string::npos)
            << r.err;
        for (const auto& f : frames) EXPECT_TRUE(fs::exists(f)) << "nothing moves without --move";
    }
}

TEST(CliSelect, BandAutoScoresOverTheSuggestedBandAndNamesIt) {
    TempDir dir;
    const auto frames = MakeDemo(dir.file("seq"), 12, "bmp");
    const auto profile = ParseCsv(RunCli(Concat({"profile"}, frames)).out);
    ASSERT_EQ(profile.size(), frames.size() + 1);
    for (const std::size_t count : {frames.size(), std::size_t(kSuggestMinFrames - 1)}) {
        const std::vector<std::string> used(frames.begin(), frames.begin() + long(count));
        AnalysisResults table;
        std::string error;
        ASSERT_TRUE(CreateAnalysisResults(table, int(count), error)) << error;
        for (std::size_t k = 0; k < count; ++k)
            for (int b = 0; b < kTableBins; ++b) {
                const double bin = std::strtod(profile[k + 1][std::size_t(b) + 1].c_str(), nullptr);
                table.profileTable[b][int(k)] = int(bin);
                if (b < kExactBins) table.exactBins[k * kExactBins + std::size_t(b)] = float(bin);
            }
        const BandSuggestion suggestion = SuggestBand(table, int(count));
        EXPECT_EQ(suggestion.found, count >= std::size_t(kSuggestMinFrames));
        const Band band = suggestion.found ? suggestion.band : Band{};
        const CliResult r = RunCli(Concat({"select", "--band", "auto"}, used));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto rows = SelectRows(r);
        ASSERT_EQ(rows.size(), count);
        const std::vector<double> scores = BandScores(table, int(count), band);
        for (std::size_t k = 0; k < count; ++k) EXPECT_EQ(rows[k].score, (long long)scores[k]);
        const std::string named = "band " + std::to_string(band.low) + ":" +
                                  std::to_string(band.high) +
                                  (suggestion.found ? " suggested" : ", none suggested");
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    }
}

TEST(CliSelect, TheChosenScoreFillsTheCsvDrivesThePassesAndIsNamed) {
    TempDir dir;
    const auto frames = MakeDemo(dir.file("seq"), 10, "bmp");
    const auto profile = ParseCsv(RunCli(Concat({"profile"}, frames)).out);
    ASSERT_EQ(profile.size(), frames.size() + 1);
    AnalysisResults table;
    std::string error;
    ASSERT_TRUE(CreateAnalysisResults(table, int(frames.size()), error)) << error;
    for (std::size_t k = 0; k < frames.size(); ++k)
        for (int b = 0; b < kTableBins; ++b) {
            const double bin = std::strtod(profile[k + 1][std::size_t(b) + 1].c_str(), nullptr);
            table.profileTable[b][int(k)] = int(bin);
            if (b < kExactBins) table.exactBins[k * kExactBins + std::size_t(b)] = float(bin);
        }
    const Band band{20, 60};
    const struct {
        std::vector<std::string> options;
        ScoreKind kind;
    } cases[] = {
        {{"--band", "20:60"}, ScoreKind::Band},
        {{"--band", "20:60", "--score", "band"}, ScoreKind::Band},
        {{"--band", "20:60", "--score", "normalised"}, ScoreKind::Normalised},
    };
    for (const auto& c : cases) {
        const CliResult r =
            RunCli(Concat(Concat(Concat({"select"}, c.options), {"--best", "3"}), frames));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto rows = ParseCsv(r.out);
        ASSERT_EQ(rows.size(), frames.size() + 1);
        const std::vector<double> scores = FrameScores(table, int(frames.size()), band, c.kind);
        std::vector<double> sorted = scores;
        std::sort(sorted.rbegin(), sorted.rend());
        for (std::size_t k = 0; k < frames.size(); ++k) {
            // Read back to the very double: the CSV keeps every digit a score has.
            EXPECT_EQ(std::strtod(rows[k + 1][1].c_str(), nullptr), scores[k]) << rows[k + 1][1];
            EXPECT_EQ(rows[k + 1][2], scores[k] >= sorted[2] ? "1" : "0") << k;
        }
        EXPECT_NE(r.err.find(std::string(", ") + ScoreKindName(c.kind) + " score,"),
                  std::string::npos)
            << r.err;
    }
}

TEST(CliSelect, BestNAndBestPercentPassTheHighestScores) {
    TempDir dir;
    const auto frames = MakeDemo(dir.file("seq"), 8);
    const std::vector<std::string> order{frames[6], frames[2], frames[0], frames[7],
                                         frames[4], frames[1], frames[5], frames[3]};
    const struct {
        std::vector<std::string> options;
        std::size_t passes;
    } cases[] = {
        {{"--best", "3"}, 3},           {{"--best=1"}, 1},
        {{"--best", "9"}, 8},           {{"--best-percent", "25"}, 2},
        {{"--best-percent=0.1"}, 1},    {{"--best-percent", "12.51"}, 2},
        {{"--best-percent", "100"}, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options[0]);
        const CliResult r = RunCli(Concat(Concat({"select"}, c.options), order));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto rows = SelectRows(r);
        ASSERT_EQ(rows.size(), order.size());
        std::size_t passed = 0;
        for (std::size_t k = 0; k < rows.size(); ++k) {
            EXPECT_EQ(rows[k].file, order[k]);
            std::size_t better = 0;  // ordinal rank - 1, ties to the earlier frame
            for (std::size_t j = 0; j < rows.size(); ++j)
                better +=
                    rows[j].score > rows[k].score || (rows[j].score == rows[k].score && j < k);
            EXPECT_EQ(rows[k].passed, better < c.passes) << k;
            passed += rows[k].passed;
        }
        EXPECT_EQ(passed, c.passes);
        EXPECT_NE(r.err.find(std::to_string(c.passes) + " of 8 frames passed (best"),
                  std::string::npos)
            << r.err;
    }
}

TEST(CliSelect, SharperFramesScoreHigher) {
    // The whole point of the tool: less seeing blur, more detail in the band.
    struct Case {
        const char* format;
        const char* mode;
        double least;  // rank correlation of score with sharpness
    };
    const Case cases[] = {
        {"fits", "--band=25:50", 0.9}, {"bmp", "--band=25:50", 0.9}, {"jpg", "--band=25:50", 0.9},
        {"bmp", "--peak", 0.9},        {"jpg", "--peak", 0.9},       {"fits", "--peak", 0.9},
    };
    const int count = 30;
    std::map<std::string, std::vector<std::string>> sequences;
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.mode);
        auto& frames = sequences[c.format];
        if (frames.empty()) frames = MakeDemo(dir.file(c.format), count, c.format);
        const CliResult r = RunCli(Concat({"select", c.mode}, frames));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto rows = SelectRows(r);
        ASSERT_EQ(rows.size(), std::size_t(count));
        std::vector<double> scores, sharpness;
        for (int k = 0; k < count; ++k) {
            scores.push_back(double(rows[std::size_t(k)].score));
            sharpness.push_back(-DemoFrameParameters(kDemoSeed, k).blurSigma);
        }
        EXPECT_GT(Spearman(scores, sharpness), c.least);
        // The sharpest frame is the one that passes at level 10.
        const auto best = std::max_element(sharpness.begin(), sharpness.end()) - sharpness.begin();
        const auto top = SelectRows(RunCli(Concat({"select", "--level", "10", c.mode}, frames)));
        ASSERT_EQ(top.size(), std::size_t(count));
        EXPECT_TRUE(top[std::size_t(best)].passed);
    }
}

TEST(CliFailures, ABadFrameStopsTheRunNamingTheFile) {
    TempDir dir;
    const auto frames = MakeDemo(dir.file("seq"), 3);
    const std::string small = dir.file("small.fit");
    WriteSmallFits(small, 200, 300);
    const std::string narrow = dir.file("narrow.fit");
    WriteSmallFits(narrow, 255, 480);
    const std::string garbage = dir.write("garbage.fit", std::string(5000, 'x'));
    const std::string notJpeg = dir.write("fake.jpg", std::string("\xff\xd8\xff\xe0 cut", 9));
    const std::string text = dir.write("notes.txt", std::string("hello"));
    const std::string missing = dir.file("missing.bmp");
    const std::vector<char> truncatedBytes = [&] {
        auto b = ReadAll(frames[0]);
        return std::vector<char>(b.begin(), b.begin() + long(b.size() / 2));
    }();
    const std::string truncated =
        dir.write("truncated.fit", std::string(truncatedBytes.begin(), truncatedBytes.end()));

    struct Case {
        std::string bad;
        const char* says;
    };
    const std::string gz = GzipBytes(ReadAll(frames[0]));
    std::string damaged = gz;
    for (std::size_t k = 200; k < 260; ++k) damaged[k] = char(~damaged[k]);
    const std::string gzCut = dir.write("cut.fit.gz", gz.substr(0, gz.size() / 2));
    const std::string gzDamaged = dir.write("damaged.fits.gz", damaged);
    const std::string gzText = dir.write("text.fit.gz", GzipBytes(std::string(5000, 'x')));
    // Zeros past the run's memory, in a file of a few hundred kilobytes.
    const std::string bomb =
        dir.write("bomb.fts.gz", GzipBytes(std::string(std::size_t(200) << 20, '\0'), 1));
    const Case cases[] = {
        {small, "200 x 300"},
        {narrow, "255 x 480"},
        {garbage, ""},
        {notJpeg, ""},
        {text, ""},
        {missing, ""},
        {truncated, "truncated"},
        {gzCut, "truncated: the gzip data end"},
        {gzDamaged, "damaged gzip data"},
        {gzText, "not a FITS file"},
        {bomb, "expands to more than 192 MB"},
    };
    for (const Case& c : cases) {
        for (const char* command : {"select", "profile"}) {
            SCOPED_TRACE(c.bad + " " + command);
            const CliResult r = RunCli({command, frames[0], frames[1], c.bad, frames[2]});
            EXPECT_EQ(r.exitCode, 1) << r.err;
            EXPECT_NE(r.err.find(c.bad), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
            EXPECT_TRUE(r.out.empty()) << "no partial CSV";
        }
    }
    // Nothing was moved by a failed run, even with --move.
    const CliResult r = RunCli({"select", "--move", "--level", "0", frames[0], small});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(fs::exists(dir.file("seq/Good")));
    EXPECT_TRUE(fs::exists(frames[0]));
}

TEST(CliMove, MovesExactlyThePassedFilesAndLosesNothing) {
    for (bool occupied : {false, true}) {
        SCOPED_TRACE(occupied ? "a passed name already in Good" : "empty Good");
        TempDir dir;
        const auto frames = MakeDemo(dir.file("seq"), 6);
        std::map<std::string, std::vector<std::uint8_t>> before;
        for (const auto& f : frames) before[f] = ReadAll(f);
        const auto dry = SelectRows(RunCli(Concat({"select"}, frames)));
        ASSERT_EQ(dry.size(), frames.size());
        std::string blocked;
        for (const auto& row : dry)
            if (row.passed && blocked.empty()) blocked = row.file;
        ASSERT_FALSE(blocked.empty());
        const fs::path good = fs::path(dir.file("seq")) / "Good";
        const std::string mine = "an unrelated file the user keeps";
        if (occupied) {
            fs::create_directory(good);
            dir.write("seq/Good/" + fs::path(blocked).filename().string(), mine);
        }

        const CliResult r = RunCli(Concat({"select", "--move"}, frames));
        EXPECT_EQ(r.exitCode, occupied ? 1 : 0) << r.err;
        const auto rows = SelectRows(r);
        ASSERT_EQ(rows.size(), frames.size());
        for (std::size_t k = 0; k < rows.size(); ++k) {
            EXPECT_EQ(rows[k].passed, dry[k].passed);
            const fs::path inGood = good / fs::path(frames[k]).filename();
            const bool stays = !rows[k].passed || (occupied && frames[k] == blocked);
            EXPECT_EQ(fs::exists(frames[k]), stays) << frames[k];
            if (stays) {
                EXPECT_EQ(ReadAll(frames[k]), before[frames[k]]);
            } else {
                EXPECT_EQ(ReadAll(inGood.string()), before[frames[k]]);
            }
            if (!rows[k].passed) {
                EXPECT_FALSE(fs::exists(inGood));
            }
        }
        if (occupied) {
            EXPECT_EQ(SlurpFile((good / fs::path(blocked).filename()).string()), mine);
            EXPECT_NE(r.err.find(blocked + ": not moved"), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err.find("not moved"), std::string::npos) << r.err;
        }

        // Undo: a place taken again keeps its file in Good (exit 1) until it is free; the
        // user's own file in Good was never the move's.
        if (!occupied) std::ofstream(blocked) << "new";
        const CliResult u = RunCli({"undo", good.string()});
        EXPECT_EQ(u.exitCode, occupied ? 0 : 1) << u.err;
        if (!occupied) {
            EXPECT_NE(u.err.find("Good/" + fs::path(blocked).filename().string() + ": stays"),
                      std::string::npos)
                << u.err;
            EXPECT_EQ(SlurpFile(blocked), "new");
            fs::remove(blocked);
            EXPECT_EQ(RunCli({"undo", good.string()}).exitCode, 0);
        }
        for (const auto& f : frames) EXPECT_EQ(ReadAll(f), before[f]) << f;
        const CliResult again = RunCli({"undo", good.string()});
        EXPECT_EQ(again.exitCode, 0);
        EXPECT_NE(again.err.find("no moves are recorded"), std::string::npos) << again.err;
        EXPECT_EQ(RunCli({"undo", frames[0]}).exitCode, 1);
    }
}

TEST(CliMove, AGoodFolderInUseIsRefusedAtOnce) {
    TempDir dir;
    const auto frames = MakeDemo(dir.file("seq"), 3);
    const std::string good = dir.file("seq/Good");
    fs::create_directory(good);
    // Another move or undo at work: it holds Good's lock.
    const int held = open(good.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    for (const auto& args : {Concat({"select", "--move", "--level", "0"}, frames),
                             std::vector<std::string>{"undo", good}}) {
        SCOPED_TRACE(args[0]);
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("another move or undo is working in \"" + good + "\""),
                  std::string::npos)
            << r.err;
    }
    close(held);
    for (const auto& f : frames) EXPECT_TRUE(fs::exists(f)) << f;
    EXPECT_TRUE(fs::is_empty(good));
}

TEST(CliSelect, OddFileNamesAreQuotedAndReadBack) {
    TempDir dir;
    const std::string odd = dir.file("night 3, \"Jupiter\"");
    const auto frames = MakeDemo(odd, 2, "bmp");
    // A name that starts with a dash is reached after "--".
    fs::copy_file(frames[0], dir.file("-dash.bmp"));
    const std::vector<std::string> order{frames[0], frames[1], "--", dir.file("-dash.bmp")};
    const CliResult r = RunCli(Concat({"select", "--level", "0"}, order));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"" + dir.file("night 3, \"\"Jupiter\"\"") + "/frame_0001.bmp\","),
              std::string::npos)
        << r.out;
    const auto rows = SelectRows(r);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].file, frames[0]);
    EXPECT_EQ(rows[1].file, frames[1]);
    EXPECT_EQ(rows[2].file, dir.file("-dash.bmp"));
    EXPECT_EQ(rows[2].score, rows[0].score) << "same pixels, same score";

    const auto profile = ParseCsv(RunCli({"profile", frames[1]}).out);
    ASSERT_EQ(profile.size(), 2u);
    EXPECT_EQ(profile[1][0], frames[1]);
    EXPECT_EQ(profile[1].size(), 257u);
}

TEST(CliDemo, WritesAReproducibleSequenceAndNeverOverwrites) {
    TempDir dir;
    struct Case {
        const char* format;
        const char* name;
    };
    const Case cases[] = {
        {"fits", "frame_0001.fit"}, {"bmp", "frame_0001.bmp"}, {"jpg", "frame_0001.jpg"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const std::string a = dir.file(std::string("a/nested/") + c.format);
        const std::string b = dir.file(std::string("b/") + c.format);
        MakeDemo(a, 3, c.format);
        MakeDemo(b, 3, c.format);
        EXPECT_EQ(std::distance(fs::directory_iterator(a), fs::directory_iterator()), 3);
        EXPECT_FALSE(ReadAll(a + "/" + c.name).empty());
        EXPECT_EQ(ReadAll(a + "/" + c.name), ReadAll(b + "/" + c.name));
        EXPECT_NE(ReadAll(a + "/frame_0002" + fs::path(c.name).extension().string()),
                  ReadAll(a + "/" + c.name));
        Frame frame;
        JpegImage decoder;
        std::string error;
        ASSERT_TRUE(LoadFrameForAnalysis(a + "/" + c.name, fs::path(c.name).extension().string(),
                                         decoder, frame, error))
            << error;
        EXPECT_EQ(frame.width, 640);
        EXPECT_EQ(frame.height, 480);
        const auto perms = fs::status(a + "/" + c.name).permissions();
        EXPECT_NE(perms & fs::perms::owner_read, fs::perms::none);
    }

    // An existing frame name anywhere in the range: refused, nothing written, nothing changed.
    const std::string seq = dir.file("seq");
    fs::create_directory(seq);
    const std::string mine = "the user's own file";
    dir.write("seq/frame_0003.fit", mine);
    const CliResult r = RunCli({"demo", seq, "--count", "5"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(seq + "/frame_0003.fit"), std::string::npos) << r.err;
    EXPECT_EQ(SlurpFile(seq + "/frame_0003.fit"), mine);
    EXPECT_EQ(std::distance(fs::directory_iterator(seq), fs::directory_iterator()), 1);

    // Another format beside it is fine; a file in place of the folder is not.
    EXPECT_EQ(RunCli({"demo", seq, "--count", "5", "--format", "bmp"}).exitCode, 0);
    const std::string plain = dir.write("plain", mine);
    const CliResult onFile = RunCli({"demo", plain, "--count", "1"});
    EXPECT_EQ(onFile.exitCode, 1);
    EXPECT_NE(onFile.err.find(plain), std::string::npos);
    EXPECT_EQ(SlurpFile(plain), mine);
}

TEST(CliMove, AGoodFolderFaultIsReportedOncePerFolder) {
    TempDir dir;
    const auto frames = MakeDemo(dir.file("seq"), 5);
    dir.write("seq/Good", std::string("a plain file"));
    const CliResult r = RunCli(Concat({"select", "--move", "--level", "0"}, frames));
    EXPECT_EQ(r.exitCode, 1);
    const std::string fault = "\"" + dir.file("seq/Good") + "\" exists but is not a folder";
    EXPECT_NE(r.err.find(fault + "; 5 files not moved\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(fault), r.err.rfind(fault)) << r.err;
    for (const auto& f : frames) EXPECT_TRUE(fs::exists(f));
}

TEST(CliMessages, ControlCharactersInNamesCannotForgeLines) {
    TempDir dir;
    const std::string bad =
        dir.write("x\nframesifter-cli: moved 9 files into Good\x1b[2J.fit", std::string(5000, 'x'));
    const std::string shown = dir.file("x\\nframesifter-cli: moved 9 files into Good\\x1b[2J.fit");
    for (const char* command : {"select", "profile"}) {
        SCOPED_TRACE(command);
        const CliResult r = RunCli({command, bad});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(shown), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
        EXPECT_EQ(r.err.find("\nframesifter-cli: moved"), std::string::npos) << r.err;
    }
}

TEST(CliDemo, TheHintPastesBackIntoAShell) {
    TempDir dir;
    const fs::path old = fs::current_path();
    fs::current_path(dir.path());
    const std::string folders[] = {"plain", "with space", "it's $HOME `x`", "-dash",
                                   "nl\nesc\x1b[1m"};
    for (const std::string& folder : folders) {
        SCOPED_TRACE(folder);
        const CliResult r = RunCli({"demo", "--count", "2", "--", folder});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string lead = "\n  next: framesifter-cli select ";
        const auto at = r.err.find(lead);
        ASSERT_NE(at, std::string::npos) << r.err;
        const std::string words =
            r.err.substr(at + lead.size(), r.err.size() - at - lead.size() - 1);
        EXPECT_EQ(words.find('\n'), std::string::npos) << "one line";
        dir.write("hint.sh", "printf '%s|' " + words + "\n");
        ASSERT_EQ(std::system("bash hint.sh > pasted"), 0);
        const std::string prefix = folder[0] == '-' ? "./" + folder : folder;
        EXPECT_EQ(SlurpFile("pasted"), prefix + "/frame_0001.fit|" + prefix + "/frame_0002.fit|");
        if (folder == "plain") {
            EXPECT_EQ(words, "plain/frame_*.fit");
        }
    }
    fs::current_path(old);
}

TEST(CliVideo, FramesAreNamedInTheCsvAndPassedOnesGoIntoANewVideo) {
    using ser_test_files::SerLayout;
    const int amplitudes[6] = {10, 50, 20, 60, 30, 40};  // frames 2, 4 and 6 pass at level 5
    SerLayout layout;
    layout.width = layout.height = 256;
    layout.count = 6;
    layout.trailer = true;  // times 1000 + frame
    const auto video = ser_test_files::SerBytes(layout, [&](int f, int x, int, int) {
        return std::uint16_t(std::lround(100 + amplitudes[f] * std::cos(2 * M_PI * 30 * x / 256)));
    });
    SerLayout kept = layout;
    kept.count = 3;
    std::vector<std::uint8_t> expected = ser_test_files::SerHeaderBytes(kept);
    for (int f : {1, 3, 5}) {
        const auto frame = video.begin() + 178 + f * 256 * 256;
        expected.insert(expected.end(), frame, frame + 256 * 256);
    }
    for (std::uint64_t t : {1001, 1003, 1005}) ser_test_files::PutLe(expected, t, 8);

    for (bool occupied : {false, true}) {
        SCOPED_TRACE(occupied ? "Good/clip.ser exists" : "no Good/clip.ser");
        TempDir dir;
        const std::string clip = dir.write("clip.ser", video);
        const std::string mine = "an unrelated file the user keeps";
        if (occupied) {
            fs::create_directory(dir.file("Good"));
            dir.write("Good/clip.ser", mine);
        }
        const CliResult profile = RunCli({"profile", clip});
        const CliResult r = RunCli({"select", "--move", clip});
        const auto csv = ParseCsv(profile.out);
        ASSERT_EQ(csv.size(), 7u) << profile.err;
        const auto rows = SelectRows(r);
        ASSERT_EQ(rows.size(), 6u) << r.err;
        for (int f = 0; f < 6; ++f) {
            const std::string entry = clip + "#" + std::to_string(f + 1);
            EXPECT_EQ(csv[std::size_t(f) + 1][0], entry);
            EXPECT_EQ(rows[std::size_t(f)].file, entry);
            EXPECT_EQ(rows[std::size_t(f)].passed, f % 2 == 1) << entry;
        }
        EXPECT_EQ(ReadAll(clip), video);
        EXPECT_EQ(r.exitCode, occupied ? 1 : 0) << r.err;
        if (occupied) {
            EXPECT_EQ(SlurpFile(dir.file("Good/clip.ser")), mine);
            EXPECT_NE(r.err.find(clip + ": not moved: \"" + dir.file("Good/clip.ser") +
                                 "\" already exists"),
                      std::string::npos)
                << r.err;
        } else {
            EXPECT_EQ(ReadAll(dir.file("Good/clip.ser")), expected);
        }
    }

    // Videos count as their frames against the list's limit, and the message names the video.
    TempDir dir;
    layout.width = layout.height = 1;
    layout.trailer = false;
    std::vector<std::string> args{"select"};
    for (int count : {60000, 40001}) {
        layout.count = count;
        args.push_back(
            dir.write("v" + std::to_string(count) + ".ser",
                      ser_test_files::SerBytes(layout, [](int, int, int, int) { return 0; })));
    }
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(args[2] + ": its 40001 frames would make more than 100000"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST(CliMixed, FramesThatDifferAreNamedAndTheRunGoesOn) {
    TempDir dir;
    const auto fits = MakeDemo(dir.file("f"), 23);
    const auto bmp = MakeDemo(dir.file("b"), 22, "bmp");
    const std::string most = "differ from most (640 x 480 16-bit FITS):\n";
    const std::string odd = ": 640 x 480 24-bit colour BMP\n";
    const struct {
        std::vector<std::string> args;
        std::string warning;  // "" when none
    } cases[] = {
        {Concat({"select"}, {fits[0], bmp[0], fits[1], fits[2], bmp[1]}),
         "framesifter-cli: warning: 2 of 5 frames " + most + "  " + bmp[0] + odd + "  " + bmp[1] +
             odd},
        {Concat({"profile"}, {fits[0], bmp[0], fits[1]}),
         "framesifter-cli: warning: 1 of 3 frames " + most + "  " + bmp[0] + odd},
        {Concat({"select", "--level", "0"}, Concat(fits, bmp)),
         "framesifter-cli: warning: 22 of 45 frames " + most},
        {Concat({"select"}, fits), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + std::to_string(c.args.size()));
        const CliResult r = RunCli(c.args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_FALSE(r.out.empty());
        EXPECT_EQ(r.err.find("warning") != std::string::npos, !c.warning.empty()) << r.err;
        EXPECT_EQ(r.err.rfind(c.warning, 0), 0u) << r.err;
    }
    // Twenty odd frames are named, and the rest counted.
    const CliResult r = RunCli(Concat({"select"}, Concat(fits, bmp)));
    EXPECT_NE(r.err.find(bmp[19] + odd + "  and 2 more\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(bmp[20]), std::string::npos) << r.err;
}

TEST(CliSelect, FlaggedFramesAreMarkedAndCanBeLeftOut) {
    TempDir dir;
    std::vector<std::string> paths = MakeDemo(dir.file("demo"), 6);
    // A repeat of the last frame, and a noisy frame with a tenth of its pixels burnt out,
    // whose score would beat every real frame.
    paths.push_back(dir.file("repeat.fit"));
    fs::copy_file(paths[5], paths.back());
    std::vector<std::uint16_t> v(640 * 480);
    std::mt19937 rng(3);
    for (std::uint16_t& x : v) x = rng() % 10 == 0 ? 65535 : std::uint16_t(rng() % 20000);
    paths.push_back(dir.file("noise.fit"));
    std::string error;
    ASSERT_TRUE(WriteFits16(paths.back(), v.data(), 640, 480, error)) << error;

    const struct {
        std::vector<std::string> args;
        bool noisePasses;
    } cases[] = {{{"select", "--best", "1"}, true},
                 {{"select", "--best", "1", "--exclude-flagged"}, false}};
    for (const auto& c : cases) {
        const CliResult r = RunCli(Concat(c.args, paths));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::vector<SelectRow> rows = SelectRows(r);
        ASSERT_EQ(rows.size(), paths.size());
        for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(rows[k].flags, "") << k;
        EXPECT_EQ(rows[6].flags, "duplicate");
        EXPECT_NE(rows[7].flags.find("saturated"), std::string::npos) << rows[7].flags;
        EXPECT_EQ(rows[7].passed, c.noisePasses);
        int passed = 0;
        for (const SelectRow& row : rows) passed += row.passed;
        EXPECT_EQ(passed, 1);
    }
}

TEST(CliGzip, CompressedFramesScoreAsTheirPlainFilesAndMoveAsTheyAre) {
    TempDir dir;
    const auto demo = MakeDemo(dir.file("seq"), 2);
    Written floating;
    floating.bitpix = -32;
    const std::string floats = dir.file("floats.fits");
    ASSERT_TRUE(WriteWithLibrary(floats, floating, 300, 280,
                                 [](int x, int y, int) { return 0.25 * x * x - 3.5 * y; }));
    const std::vector<std::string> plain{demo[0], demo[1], floats};
    const std::vector<std::string> packed{dir.file("seq/a.fit.gz"), dir.file("seq/b.FTS.GZ"),
                                          dir.file("seq/floats.fits.gz")};
    std::map<std::string, std::vector<std::uint8_t>> before;
    for (std::size_t k = 0; k < plain.size(); ++k) {
        std::ofstream(packed[k], std::ios::binary) << GzipBytes(ReadAll(plain[k]));
        before[packed[k]] = ReadAll(packed[k]);
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"profile"}, {"profile", "--peak"}}) {
            auto a = ParseCsv(RunCli(Concat(command, {plain[k]})).out);
            auto b = ParseCsv(RunCli(Concat(command, {packed[k]})).out);
            ASSERT_EQ(a.size(), 2u);
            ASSERT_EQ(b.size(), 2u);
            EXPECT_EQ(b[1][0], packed[k]);
            a[1][0] = b[1][0];
            EXPECT_EQ(a[1], b[1]) << command.size();
        }
    }
    // Moved into Good and back byte for byte: never expanded or compressed again.
    ASSERT_EQ(RunCli(Concat({"select", "--level", "0", "--move"}, packed)).exitCode, 0);
    const fs::path good = fs::path(dir.file("seq")) / "Good";
    for (const auto& f : packed)
        EXPECT_EQ(ReadAll((good / fs::path(f).filename()).string()), before[f]) << f;
    ASSERT_EQ(RunCli({"undo", good.string()}).exitCode, 0);
    for (const auto& f : packed) EXPECT_EQ(ReadAll(f), before[f]) << f;
}
