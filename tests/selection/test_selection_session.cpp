#include "frame_flags.h"
#include "frame_scores.h"
#include "selection_session.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>

#include <gtest/gtest.h>

using namespace framesifter;

namespace {

constexpr int kFrames = 12;
const Band kBestBand{70, 90};  // where the frames rank otherwise than over the default band

std::vector<SelectionSession::Entry> Entries(const QString& folder) {
    std::vector<SelectionSession::Entry> entries;
    for (int k = 0; k < kFrames; ++k) {
        const QString name = QStringLiteral("f%1.fit").arg(k);
        entries.push_back(
            {name, {QFile::encodeName(folder + QLatin1Char('/') + name).toStdString(), 0}});
    }
    return entries;
}

// A completed run over `entries` in `mode`: scores that rank the frames differently per mode
// and per band, frame 3 left out, frame 5 flagged, frame 7 real-valued (its exact column
// scores, not the table's truncated one).
AnalysisResults CompletedRun(const std::vector<FrameRef>& frames, WindowMode mode) {
    AnalysisResults run;
    std::string error;
    if (!CreateAnalysisResults(run, kFrames, error)) throw std::runtime_error(error);
    const int step = mode == WindowMode::Centre ? 5 : 7;
    for (int k = 0; k < kFrames; ++k) {
        for (int bin = 0; bin < kTableBins; ++bin)
            run.profileTable[bin][k] = bin < 60 ? (k * step) % kFrames + 1 : (k * 11) % 13 + 1;
        run.files.push_back(frames[std::size_t(k)]);
    }
    run.mode = mode;
    run.leftOut.push_back({3, run.files[3], "cannot read", 0, 0});
    run.flags.assign(kFrames, 0);
    run.flags[5] = kFlagSaturated;
    std::array<double, kTableBins> exact{};
    for (int bin = 0; bin < kTableBins; ++bin)
        exact[std::size_t(bin)] = run.profileTable[bin][7] + 0.75;
    run.exactColumns[7] = exact;
    return run;
}

PassRule Best(int n) {
    PassRule rule;
    rule.kind = PassRule::Kind::Best;
    rule.best = n;
    return rule;
}

class Session : public ::testing::Test {
public:
    void SetUp() override {
        emitted.clear();
        session = std::make_unique<SelectionSession>();
        using Change = void (SelectionSession::*)();
        const std::pair<Change, const char*> changes[] = {
            {&SelectionSession::entriesChanged, "entries"},
            {&SelectionSession::modeChanged, "mode"},
            {&SelectionSession::resultsChanged, "results"},
            {&SelectionSession::bandChanged, "band"},
            {&SelectionSession::levelChanged, "level"},
            {&SelectionSession::exclusionsChanged, "exclusions"},
            {&SelectionSession::thresholdChanged, "threshold"},
            {&SelectionSession::passesChanged, "passes"},
            {&SelectionSession::changed, "changed"}};
        for (const auto& [change, name] : changes)
            QObject::connect(session.get(), change, [this, name = name] { ++emitted[name]; });
        session->setEntries(Entries("/d"));
        runOver(WindowMode::Centre);
    }
    void runOver(WindowMode mode) {
        session->setMode(mode);
        AnalysisResults run = CompletedRun(session->frames(), mode);
        session->takeRun(run);
    }
    std::set<int> passedEntries() const {
        std::set<int> passed;
        for (const auto& p : session->passes()) passed.insert(p.entry);
        return passed;
    }
    // What the pass list, the flags and the threshold say must agree: every pass reaches the
    // threshold and, under a level, every other scored frame stays below it.
    void expectConsistent(bool level) const {
        const std::vector<double> scores = session->scores();
        const std::vector<char> flags = session->passedFlags();
        const std::set<int> passed = passedEntries();
        std::set<int> out;
        for (const LeftOutFrame& f : session->selectionLeftOut()) out.insert(f.index);
        for (int k = 0; k < kFrames; ++k) {
            EXPECT_EQ(flags[std::size_t(k)] != 0, passed.count(k) == 1) << k;
            if (passed.count(k)) {
                EXPECT_EQ(out.count(k), 0u) << k;
                EXPECT_GE(scores[std::size_t(k)], session->threshold()) << k;
            } else if (level && !out.count(k)) {
                EXPECT_LT(scores[std::size_t(k)], session->threshold()) << k;
            }
        }
    }

    std::unique_ptr<SelectionSession> session;
    std::map<std::string, int> emitted;
};

}  // namespace

// A new run, list, window mode or band clears the passes at once; the scores the windows
// show then belong to the new state, and a new selection agrees with its own threshold.
TEST_F(Session, WhatClearsThePasses) {
    const struct {
        const char* name;
        PassRule rule;
        std::function<void(Session&)> change;
        const char* signal;
        bool resultsMatch;
    } cases[] = {
        {"peak mode, then its run",
         {},
         [](Session& s) { s.runOver(WindowMode::Peak); },
         "results",
         true},
        {"run again over the same list", Best(3), [](Session& s) { s.runOver(WindowMode::Centre); },
         "results", true},
        {"mode switched",
         {},
         [](Session& s) { s.session->setMode(WindowMode::Peak); },
         "mode",
         false},
        {"another folder opened",
         {},
         [](Session& s) { s.session->setEntries(Entries("/other")); },
         "entries",
         false},
        {"band taken from the suggestion", Best(5),
         [](Session& s) { s.session->setBand(kBestBand); }, "band", true},
        {"failed run", {}, [](Session& s) { s.session->dropResults(); }, "results", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        session->setLevel(9);
        ASSERT_EQ(session->select(c.rule), SelectionSession::SelectOutcome::Selected);
        ASSERT_FALSE(session->passes().empty());
        emitted.clear();
        c.change(*this);
        EXPECT_TRUE(session->passes().empty());
        EXPECT_EQ(emitted["passes"], 1);
        EXPECT_EQ(emitted[c.signal], 1);
        // One redraw per command: the peak-mode row is two of them.
        EXPECT_EQ(emitted["changed"], c.name == std::string("peak mode, then its run") ? 2 : 1);
        const std::vector<char> flags = session->passedFlags();
        EXPECT_EQ(std::count(flags.begin(), flags.end(), 1), 0);
        EXPECT_EQ(session->resultsMatch(), c.resultsMatch);
        // The scores shown are the new ones, or none when the run is not the list's.
        EXPECT_EQ(session->scores(), c.resultsMatch
                                         ? BandScores(session->results(), kFrames, session->band())
                                         : std::vector<double>());
        if (!c.resultsMatch) {
            EXPECT_EQ(session->select(c.rule), SelectionSession::SelectOutcome::StaleResults);
            continue;
        }
        ASSERT_EQ(session->select(c.rule), SelectionSession::SelectOutcome::Selected);
        expectConsistent(c.rule.kind == PassRule::Kind::Level);
        if (c.rule.kind == PassRule::Kind::Best) {
            // Exactly the best N by the current band's scores, ranked without left-out ones.
            const std::vector<int> ranks = Ranks(session->scores(), session->selectionLeftOut());
            std::set<int> best;
            for (int k = 0; k < kFrames; ++k)
                if (ranks[std::size_t(k)] >= 1 && ranks[std::size_t(k)] <= c.rule.best)
                    best.insert(k);
            EXPECT_EQ(passedEntries(), best);
        }
    }
}

// The threshold drawn after a band change is the one Select then uses: over the exact
// columns, without left-out frames, and without flagged frames when they are excluded.
TEST_F(Session, ThresholdComesFromTheSelection) {
    for (bool exclude : {false, true}) {
        for (Band band : {Band{25, 50}, kBestBand, Band{90, 55}}) {
            SCOPED_TRACE(testing::Message() << exclude << " " << band.low << "-" << band.high);
            SetUp();
            session->setExcludeFlagged(exclude);
            session->setLevel(6);
            session->setBand({1, 2});
            session->setBand(band);
            const double drawn = session->threshold();
            ASSERT_EQ(session->select(PassRule{}), SelectionSession::SelectOutcome::Selected);
            EXPECT_EQ(session->threshold(), drawn);
            expectConsistent(true);
        }
    }
}

// The level and exclusions wait for the next selection; Delete takes a frame out until then.
TEST_F(Session, WhatWaitsForTheNextSelection) {
    const struct {
        const char* name;
        std::function<void(Session&)> change;
        const char* signal;
        int redraws;  // the level changes nothing the scores window shows
    } cases[] = {
        {"level", [](Session& s) { s.session->setLevel(0); }, "level", 0},
        {"flagged excluded", [](Session& s) { s.session->setExcludeFlagged(true); }, "exclusions",
         1},
        {"mode set to itself", [](Session& s) { s.session->setMode(WindowMode::Centre); }, nullptr,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        session->setLevel(4);
        ASSERT_EQ(session->select(PassRule{}), SelectionSession::SelectOutcome::Selected);
        const std::set<int> selected = passedEntries();
        ASSERT_GE(selected.size(), 2u);
        const int droppedEntry = session->passes().front().entry;
        const FrameRef dropped = session->passes().front().frame;
        EXPECT_TRUE(session->dropPass(dropped));
        EXPECT_FALSE(session->dropPass(dropped));
        const double threshold = session->threshold();
        emitted.clear();
        c.change(*this);
        std::set<int> expected = selected;
        expected.erase(droppedEntry);
        EXPECT_EQ(passedEntries(), expected);
        EXPECT_EQ(session->threshold(), threshold);
        EXPECT_EQ(emitted["passes"], 0);
        if (c.signal) {
            EXPECT_EQ(emitted[c.signal], 1);
        }
        EXPECT_EQ(emitted["changed"], c.redraws);
        // The next selection brings the dropped frame back and applies what changed.
        ASSERT_EQ(session->select(PassRule{}), SelectionSession::SelectOutcome::Selected);
        const auto out = session->selectionLeftOut();
        const bool excluded = std::any_of(
            out.begin(), out.end(), [&](const LeftOutFrame& f) { return f.index == droppedEntry; });
        EXPECT_EQ(passedEntries().count(droppedEntry), excluded ? 0u : 1u);
        expectConsistent(true);
    }
}
