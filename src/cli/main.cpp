// framesifter-cli: the frame analysis and selection for scripts and headless use.
//   profile  prints each frame's frequency characteristic
//   select   scores frames over a band, prints which pass, and can move them into Good
//   demo     writes a synthetic sequence to try the rest on
//   undo     puts back what moves into a Good folder took out of its folder

#include "band_suggestion.h"
#include "batch_run.h"
#include "cli_support.h"
#include "demo_frames.h"
#include "file_move.h"
#include "frame_flags.h"
#include "frame_formats.h"
#include "frame_ref.h"
#include "frame_scores.h"
#include "frame_signature.h"
#include "large_buffers.h"
#include "move_journal.h"
#include "printable_name.h"
#include "ranking.h"
#include "same_entry.h"
#include "score_csv.h"
#include "selection.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace framesifter;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// The farthest cell of a 256x256 spectrum lies 180.3 bins from its middle.
constexpr int kLastContentBin = 180;

const char kUsage[] =
    "usage: framesifter-cli profile [--peak] FILE...\n"
    "       framesifter-cli select [--peak] [--band LOW:HIGH|auto] [--score band|normalised]\n"
    "                              [--level L | --best N | --best-percent P] [--move]\n"
    "                              [--exclude-flagged] [--threads T] FILE...\n"
    "       framesifter-cli demo DIR [--count N] [--format fits|bmp|jpg]\n"
    "       framesifter-cli undo GOOD_DIR\n";

// The formats and their extensions come from the format table, so the help cannot fall
// behind what is read.
std::string FormatsHelp() {
    return "\nFrames are " + FormatNames(false) + " files\n(" + ExtensionList(false) +
           ")\nof at least 256x256 pixels (gzip-compressed FITS files are expanded in memory).\n"
           "Each frame's 256x256 window is taken at the frame's centre, or with --peak around\n"
           "its brightest point (BMP, JPEG) or its intensity centroid (FITS).\nA " +
           FormatNames(true) + " video (" + ExtensionList(true) +
           ") stands for all its frames, named PATH#1, PATH#2, ... in the output;\n";
}

const char kHelp[] =
    "one frame alone can be given as PATH#N. At most 4000 FILEs are given, and at most\n"
    "100000 frames in all once videos are counted as their frames.\n"
    "Frames of another kind, size or sample depth than most of the list's score on a scale\n"
    "of their own: they are named in a warning before the run, which goes on.\n"
    "\n"
    "profile  CSV of the frequency characteristic, bins 0..255, one row per frame.\n"
    "select   CSV file,score,passed,flags: score = sum of the characteristic's bins LOW..HIGH\n"
    "         (default 25:50); a frame passes when its score reaches the threshold of\n"
    "         level L (0 = lowest score, 10 = highest; default 5). --best N passes the N\n"
    "         highest scores instead, --best-percent P the ceil(P x frames / 100) highest\n"
    "         (P a decimal number above 0, at most 100); at a tie on that cut the frame\n"
    "         earlier in the list passes; a larger N than frames passes all.\n"
    "         Only bins 0 to 180 can hold content in a 256x256 window, so LOW is at most\n"
    "         180. --band auto scores over the band the frames themselves suggest: the\n"
    "         run of bins from 3 to 127 that follows the frames' common sharpness most\n"
    "         against their noise (the default band when fewer than 5 frames, or no\n"
    "         detail, cannot tell one); the summary names the band used.\n"
    "         --score normalised scores each frame by its band of bins (within 0 to 127)\n"
    "         less the frame's noise, over bin 0 (the window's mean level): a frame\n"
    "         dimmed by thin cloud or noisier is judged by its detail alone. The noise is\n"
    "         each bin's radius times the median of bin / radius over bins 110 to 127.\n"
    "         --score band (the default) is the sum above. The score column holds the\n"
    "         chosen score; the summary names it. --move moves\n"
    "         the passed files into a folder Good beside them; an existing file there\n"
    "         is never replaced (one that a record there lists as moved in and that\n"
    "         holds the same bytes is the copy of a move killed before its source went:\n"
    "         the source is removed then). The passed frames of a video are\n"
    "         written, in order, into a new video Good/NAME.ser beside it (the same header\n"
    "         but the frame count, the frames and their capture times as they are); the\n"
    "         video itself stays, and an existing Good/NAME.ser is never replaced.\n"
    "         The last column, flags, marks frames whose score may mislead (saturated,\n"
    "         edge, brightness, duplicate, odd; ';' between several, empty for none).\n"
    "         --exclude-flagged leaves marked frames out: they never pass, and the\n"
    "         threshold, the best N and the percentage are taken over the others.\n"
    "         --threads T reads and analyses frames on T threads (default: one per\n"
    "         processor); the results are the same for any T.\n"
    "demo     writes N (default 100, at most 4000) synthetic 640x480 frames of a planet under\n"
    "         changing seeing into DIR, which is created when missing.\n"
    "undo     undoes every move recorded in GOOD_DIR (a folder Good that select --move or\n"
    "         the selector filled), newest first: each moved file goes back into the\n"
    "         folder that holds GOOD_DIR, and each video written there is removed if it is\n"
    "         unchanged and holds only frames of its video, which still exists. A file\n"
    "         whose place is taken again stays in Good and is named; nothing is replaced.\n"
    "         Record lines that undo does not act on are named. A move or undo into a\n"
    "         Good folder that another one is working in is refused.\n"
    "\n"
    "Exit status: 0 success, 1 a frame could not be read, was too small, or a file could\n"
    "not be written or moved (or, for undo, stayed in Good or a record line was\n"
    "ignored), 2 wrong usage.\n";

// Every message goes through here, so that no file name can forge a line or a terminal
// sequence.
void Report(const std::string& message) {
    std::fprintf(stderr, "framesifter-cli: %s\n", PrintableName(message).c_str());
}

// Frames of other kinds, sizes or depths score on scales of their own: said before the run,
// which goes on as usual. They are flagged after it.
MixedFrames WarnAboutOddFrames(const std::vector<FrameRef>& frames, int threads) {
    std::vector<EntrySignature> signatures;
    // Without a stop it always reads them all; a frame without one is told by the run.
    (void)ReadSignatures(frames, signatures, {}, threads);
    const MixedFrames mixed = FindOddFrames(signatures);
    if (mixed.odd.empty()) return mixed;
    Report("warning: " + std::to_string(mixed.odd.size()) + " of " + std::to_string(frames.size()) +
           " frames differ from most (" + DescribeSignature(mixed.majority) + "):");
    for (std::size_t k = 0; k < mixed.odd.size() && k < kOddFramesNamed; ++k)
        std::fprintf(stderr, "  %s: %s\n",
                     PrintableName(FrameRefText(frames[mixed.odd[k].index])).c_str(),
                     DescribeSignature(mixed.odd[k].signature).c_str());
    if (mixed.odd.size() > kOddFramesNamed)
        std::fprintf(stderr, "  and %zu more\n", mixed.odd.size() - kOddFramesNamed);
    return mixed;
}

int UsageError(const std::string& message) {
    Report(message);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

struct OptionRule {
    const char* name;
    bool takesValue;
};

struct Arguments {
    std::map<std::string, std::string> values;  // options with a value: last one wins
    std::map<std::string, bool> flags;
    std::vector<std::string> positional;
    bool has(const char* name) const { return flags.count(name) != 0 || values.count(name) != 0; }
};

// Options may stand anywhere among the operands; "--" ends them, so that a file whose name
// starts with "-" can be given.
bool ParseArguments(int argc, char** argv, int first, const std::vector<OptionRule>& rules,
                    Arguments& args, std::string& error) {
    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            args.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        const auto eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        const OptionRule* rule = nullptr;
        for (const OptionRule& s : rules)
            if (name == s.name) rule = &s;
        if (!rule) {
            error = "unknown option '" + name + "'";
            return false;
        }
        if (!rule->takesValue) {
            if (inlineValue) {
                error = "option " + name + " takes no value";
                return false;
            }
            args.flags[name] = true;
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        args.values[name] = value;
    }
    return true;
}

// The operands as frames: "PATH#N" names frame N of the video PATH.
std::vector<FrameRef> FrameOperands(const std::vector<std::string>& operands) {
    std::vector<FrameRef> frames;
    frames.reserve(operands.size());
    for (const std::string& operand : operands) frames.push_back(ParseFrameRef(operand));
    return frames;
}

// "" when there are at most kMaxFiles paths, else the usage error.
std::string TooManyFiles(const char* command, const std::vector<std::string>& paths) {
    if (paths.size() <= std::size_t(kMaxFiles)) return "";
    return std::string(command) + " takes at most " + std::to_string(kMaxFiles) + " files, not " +
           std::to_string(paths.size());
}

bool CheckStdout() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "framesifter-cli: cannot write the output: %s\n",
                     std::strerror(errno));
        return false;
    }
    return true;
}

int Profile(int argc, char** argv) {
    Arguments args;
    std::string error;
    if (!ParseArguments(argc, argv, 2, {{"--peak", false}}, args, error)) return UsageError(error);
    if (args.positional.empty()) return UsageError("profile needs at least one FILE");
    if (const std::string many = TooManyFiles("profile", args.positional); !many.empty())
        return UsageError(many);
    const WindowMode mode = args.has("--peak") ? WindowMode::Peak : WindowMode::Centre;
    std::vector<FrameRef> frames;
    if (!ExpandFrameEntries(FrameOperands(args.positional), frames, error)) {
        Report(error);
        return kExitFailure;
    }
    WarnAboutOddFrames(frames, 0);

    const FftPlan plan(kWindowSize);
    FrameReader reader;
    TerminalProgress bar(stderr, "analysing");
    const std::size_t count = frames.size();
    // Rows are held back until every frame has been read: a failing run prints no CSV. A
    // video's frames make too many rows to hold in memory, so they wait in a scratch file.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> rows(std::tmpfile(), &std::fclose);
    if (!rows) {
        Report(std::string("cannot create a scratch file: ") + std::strerror(errno));
        return kExitFailure;
    }
    std::string row;
    char number[40];
    double profile[kProfileBins];
    for (std::size_t k = 0; k < count; ++k) {
        bar.setPosition(int(double(k) / double(count) * 100));
        const std::string path = FrameRefText(frames[k]);
        if (!AnalyseSingleFrame(frames[k], mode, plan, reader, profile, error)) {
            bar.finish();
            Report(path + ": " + error);
            return kExitFailure;
        }
        row = CsvField(path);
        for (int b = 0; b < kTableBins; ++b) {
            std::snprintf(number, sizeof number, ",%.17g", profile[b]);
            row += number;
        }
        row += '\n';
        std::fwrite(row.data(), 1, row.size(), rows.get());
    }
    bar.finish();
    if (std::fflush(rows.get()) != 0 || std::ferror(rows.get())) {
        Report(std::string("cannot write a scratch file: ") + std::strerror(errno));
        return kExitFailure;
    }

    std::fputs("file", stdout);
    for (int b = 0; b < kTableBins; ++b) std::printf(",b%d", b);
    std::fputc('\n', stdout);
    std::rewind(rows.get());
    char block[1 << 16];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, rows.get())) > 0;)
        std::fwrite(block, 1, n, stdout);
    return CheckStdout() ? 0 : kExitFailure;
}

struct SelectOptions {
    Band band;
    bool autoBand = false;  // --band auto
    ScoreKind score = ScoreKind::Band;
    int level = 5;
    int best = 0;  // --best N, or 0
    bool bestPercent = false;
    Percent percent;
    int threads = 0;
    WindowMode mode = WindowMode::Centre;
    bool move = false;
    bool excludeFlagged = false;
};

// The options and files of `select`; "" when they are sound, else the usage error.
std::string ParseSelect(int argc, char** argv, SelectOptions& options,
                        std::vector<FrameRef>& frames) {
    Arguments args;
    std::string error;
    const std::vector<OptionRule> rules = {{"--peak", false},        {"--band", true},
                                           {"--level", true},        {"--best", true},
                                           {"--best-percent", true}, {"--move", false},
                                           {"--threads", true},      {"--exclude-flagged", false},
                                           {"--score", true}};
    if (!ParseArguments(argc, argv, 2, rules, args, error)) return error;
    options.autoBand = args.values.count("--band") && args.values["--band"] == "auto";
    if (args.values.count("--band") && !options.autoBand &&
        !ParseBand(args.values["--band"], options.band.low, options.band.high))
        return "--band takes LOW:HIGH, two bins from 0 to 255 with LOW <= HIGH, or auto, not '" +
               args.values["--band"] + "'";
    if (options.band.low > kLastContentBin)
        return "--band: only bins 0 to " + std::to_string(kLastContentBin) +
               " can hold content, so LOW must be at most " + std::to_string(kLastContentBin) +
               ", not '" + args.values["--band"] + "'";
    if (args.values.count("--score") && !ParseScoreKind(args.values["--score"], options.score))
        return "--score takes band or normalised, not '" + args.values["--score"] + "'";
    if (options.score == ScoreKind::Normalised && !options.autoBand &&
        options.band.high >= kExactBins)
        return "--score normalised reads bins 0 to " + std::to_string(kExactBins - 1) +
               ", so HIGH must be at most " + std::to_string(kExactBins - 1) + ", not '" +
               args.values["--band"] + "'";
    if (args.values.count("--level") &&
        !ParseBoundedInt(args.values["--level"], 0, 10, options.level))
        return "--level takes a whole number from 0 to 10, not '" + args.values["--level"] + "'";
    const int rulesGiven = int(args.values.count("--level")) + int(args.values.count("--best")) +
                           int(args.values.count("--best-percent"));
    if (rulesGiven > 1) return "choose one of --level, --best and --best-percent";
    if (args.values.count("--best") &&
        !ParseBoundedInt(args.values["--best"], 1, 999999999, options.best))
        return "--best takes a whole number of frames from 1, not '" + args.values["--best"] + "'";
    if (args.values.count("--best-percent")) {
        if (!ParsePercent(args.values["--best-percent"], options.percent))
            return "--best-percent takes a decimal number above 0 and at most 100, not '" +
                   args.values["--best-percent"] + "'";
        options.bestPercent = true;
    }
    if (args.values.count("--threads") &&
        !ParseBoundedInt(args.values["--threads"], 1, 16, options.threads))
        return "--threads takes a whole number from 1 to 16, not '" + args.values["--threads"] +
               "'";
    if (args.positional.empty()) return "select needs at least one FILE";
    if (const std::string many = TooManyFiles("select", args.positional); !many.empty())
        return many;
    frames = FrameOperands(args.positional);
    const RepeatedEntry repeated = FindRepeatedEntry(frames);
    if (repeated.first >= 0) return RepeatedEntryText(frames, repeated);
    options.mode = args.has("--peak") ? WindowMode::Peak : WindowMode::Centre;
    options.move = args.has("--move");
    options.excludeFlagged = args.has("--exclude-flagged");
    return "";
}

// A run that did not complete, as the message that names the frame.
std::string RunFailure(const BatchResult& run) {
    if (run.status == BatchStatus::NoMemory) return run.reason;
    if (run.status == BatchStatus::TooSmall)
        return FrameRefText(run.failedFrame) + ": the frame is " + std::to_string(run.width) +
               " x " + std::to_string(run.height) + " pixels; at least " +
               std::to_string(kWindowSize) + " x " + std::to_string(kWindowSize) + " are needed";
    return FrameRefText(run.failedFrame) + ": " + run.reason;
}

void PrintScores(const std::vector<FrameRef>& frames, const std::vector<double>& scores,
                 const std::vector<std::uint8_t>& flags, const SelectionResult& selection) {
    std::vector<char> passed(frames.size(), 0);
    for (int k : selection.passed) passed[std::size_t(k)] = 1;
    const std::string csv = ScoresCsv(frames, scores, passed, nullptr, &flags);
    std::fwrite(csv.data(), 1, csv.size(), stdout);
}

// Moves the passed frames into Good; the exit status.
int MovePassed(const std::vector<FrameRef>& frames, const SelectionResult& selection) {
    std::vector<FrameRef> sources;
    for (int k : selection.passed) sources.push_back(frames[std::size_t(k)]);
    const std::vector<MoveOutcome> outcomes = MovePassedFiles(sources);
    int moved = 0, written = 0;
    for (const MoveOutcome& outcome : outcomes)
        (outcome.source.inVideo() ? written : moved) += outcome.moved;
    const int failed = int(outcomes.size()) - moved - written;
    for (const MoveFailure& f : SummariseFailures(outcomes)) {
        if (f.folderFault)
            Report(f.error + "; " + std::to_string(f.files) + " file" + (f.files == 1 ? "" : "s") +
                   " not moved");
        else
            Report(f.subject + ": not moved: " + f.error);
    }
    std::fprintf(stderr, "framesifter-cli: moved %d file%s into Good", moved,
                 moved == 1 ? "" : "s");
    if (written)
        std::fprintf(stderr, "; wrote %d video frame%s into Good", written,
                     written == 1 ? "" : "s");
    if (failed) std::fprintf(stderr, "; %d not moved", failed);
    std::fputc('\n', stderr);
    return failed ? kExitFailure : 0;
}

int Select(int argc, char** argv) {
    SelectOptions options;
    std::vector<FrameRef> given;
    const std::string usage = ParseSelect(argc, argv, options, given);
    if (!usage.empty()) return UsageError(usage);

    std::string error;
    std::vector<FrameRef> frames;
    if (!ExpandFrameEntries(given, frames, error)) {
        Report(error);
        return kExitFailure;
    }
    const MixedFrames mixed = WarnAboutOddFrames(frames, options.threads);
    AnalysisResults results;
    if (!CreateAnalysisResults(results, int(frames.size()), error)) {
        Report(error);
        return kExitFailure;
    }
    TerminalProgress bar(stderr, "analysing");
    const BatchResult run = RunBatch(results, frames, options.mode, &bar, options.threads);
    bar.finish();
    if (run.status != BatchStatus::Completed) {
        Report(RunFailure(run));
        return kExitFailure;
    }

    MarkOddFrames(results.flags, mixed);
    const int count = int(frames.size());
    const std::vector<LeftOutFrame> excluded =
        options.excludeFlagged ? LeftOutWithFlagged(results.leftOut, results.flags)
                               : results.leftOut;
    const char* bandSource = "";
    if (options.autoBand) {
        const BandSuggestion suggestion = SuggestBand(results, count, excluded);
        options.band = suggestion.found ? suggestion.band : Band{};
        bandSource = suggestion.found ? " suggested" : ", none suggested";
    }
    const std::vector<double> scores = FrameScores(results, count, options.band, options.score);
    std::string rule = "level " + std::to_string(options.level);
    SelectionResult selection;
    if (options.best > 0 || options.bestPercent) {
        const int best = options.bestPercent
                             ? CountForPercent(options.percent, count - int(excluded.size()))
                             : options.best;
        rule = "best " + std::to_string(best);
        selection = SelectBest(scores, best, excluded);
    } else {
        selection = SelectFrames(scores, options.level, excluded);
    }
    if (!excluded.empty()) rule += ", " + std::to_string(excluded.size()) + " flagged left out";
    PrintScores(frames, scores, results.flags, selection);
    if (!CheckStdout()) return kExitFailure;
    std::fprintf(
        stderr,
        "framesifter-cli: %zu of %d frames passed (%s, band %d:%d%s, %s score, "
        "threshold %s, scores %s to %s)\n",
        selection.passed.size(), count, rule.c_str(), options.band.low, options.band.high,
        bandSource, ScoreKindName(options.score), ShortScoreText(selection.threshold).c_str(),
        ShortScoreText(selection.minimum).c_str(), ShortScoreText(selection.maximum).c_str());
    return options.move ? MovePassed(frames, selection) : 0;
}

int Demo(int argc, char** argv) {
    Arguments args;
    std::string error;
    if (!ParseArguments(argc, argv, 2, {{"--count", true}, {"--format", true}}, args, error))
        return UsageError(error);
    if (args.positional.size() != 1)
        return UsageError(args.positional.empty() ? "demo needs a folder DIR"
                                                  : "demo takes one folder DIR");
    DemoOptions options;
    if (args.values.count("--count") &&
        !ParseBoundedInt(args.values["--count"], 1, kMaxFiles, options.count))
        return UsageError("--count takes a whole number from 1 to " + std::to_string(kMaxFiles) +
                          ", not '" + args.values["--count"] + "'");
    std::string reason;
    if (args.values.count("--format") &&
        !ParseDemoFormat(args.values["--format"], options.format, reason))
        return UsageError("--format " + reason);
    const std::string& dir = args.positional[0];
    if (dir.empty()) return UsageError("demo needs a folder DIR, not an empty name");

    TerminalProgress bar(stderr, "writing");
    std::vector<std::string> written;
    const bool wrote = WriteDemoSequence(dir, options, &bar, written, error);
    bar.finish();
    if (!wrote) {
        Report(error);
        if (!written.empty())
            std::fprintf(stderr, "framesifter-cli: %zu frames were written before that\n",
                         written.size());
        return kExitFailure;
    }
    const std::string ext = DemoExtension(options.format);
    Report("wrote " + std::to_string(options.count) + " frames of " +
           std::to_string(options.width) + "x" + std::to_string(options.height) + " into " + dir);
    // Pasted back into a shell, the hint must name this folder and no option.
    const std::string shown = ShellWord(dir[0] == '-' ? "./" + dir : dir);
    std::fprintf(stderr, "  next: framesifter-cli select %s/frame_*%s\n", shown.c_str(),
                 ext.c_str());
    return 0;
}

int Undo(int argc, char** argv) {
    Arguments args;
    std::string error;
    if (!ParseArguments(argc, argv, 2, {}, args, error)) return UsageError(error);
    if (args.positional.size() != 1 || args.positional[0].empty())
        return UsageError("undo takes one folder GOOD_DIR");
    const std::string& good = args.positional[0];
    UndoReport report;
    // Across file systems every file is copied back: thousands take a while.
    TerminalProgress bar(stderr, "undoing");
    MoveControl control;
    control.progress = [&bar](int done, int total) {
        bar.setPosition(total > 0 ? int(std::int64_t(done) * 100 / total) : 0);
    };
    const bool undone = UndoMoves(good, control, report, error);
    bar.finish();
    if (!undone) {
        Report(error);
        return kExitFailure;
    }
    if (report.items.empty()) {
        Report("no moves are recorded in " + good);
        return 0;
    }
    int back = 0, removed = 0, stayed = 0, ignored = 0;
    for (const UndoItem& item : report.items) {
        back += item.state == UndoState::MovedBack;
        removed += item.state == UndoState::Removed;
        ignored += item.state == UndoState::Ignored;
        if (item.state == UndoState::Ignored) Report(item.inGood + ": ignored: " + item.error);
        if (item.state == UndoState::Kept || item.state == UndoState::Missing) {
            ++stayed;
            Report(item.inGood + ": " + (item.state == UndoState::Kept ? "stays: " : "") +
                   item.error);
        }
    }
    std::fprintf(stderr, "framesifter-cli: moved %d file%s back, removed %d video%s", back,
                 back == 1 ? "" : "s", removed, removed == 1 ? "" : "s");
    if (stayed) std::fprintf(stderr, "; %d stay%s in Good", stayed, stayed == 1 ? "s" : "");
    if (ignored) std::fprintf(stderr, "; %d ignored in the records", ignored);
    std::fputc('\n', stderr);
    return stayed || ignored ? kExitFailure : 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any run: a run's threads free large frame buffers that must leave the process.
    ReturnLargeBuffersToTheSystem();
    if (argc < 2) return UsageError("no command given");
    const std::string command = argv[1];
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            std::fputs(FormatsHelp().c_str(), stdout);
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    if (command == "profile") return Profile(argc, argv);
    if (command == "select") return Select(argc, argv);
    if (command == "demo") return Demo(argc, argv);
    if (command == "undo") return Undo(argc, argv);
    return UsageError("unknown command '" + command + "'");
}
