#include "frame_list.h"
#include "selection_session.h"

#include <QString>

#include <algorithm>
#include <functional>
#include <map>

#include <gtest/gtest.h>

using namespace framesifter;

namespace {

// Stills between the frames of one video. The run scores frame k as 3k mod 8 + 1 over the band
// (s3 by its exact column, + 0.5) and leaves v.ser #4 out: the best 4 are v.ser #3, s1, s2 and
// v.ser #1; best first, the scores table reads rows 5, 2, 4, 1, 6, 3, 0.
const std::vector<FrameRef> kFrames = {{"/d/s0.bmp", 0}, {"/d/v.ser", 1},  {"/d/s1.bmp", 0},
                                       {"/d/v.ser", 2},  {"/d/s2.bmp", 0}, {"/d/v.ser", 3},
                                       {"/d/s3.bmp", 0}, {"/d/v.ser", 4}};

PassRule Best(int n) {
    PassRule rule;
    rule.kind = PassRule::Kind::Best;
    rule.best = n;
    return rule;
}

void SelectBest4(SelectionSession& s) {
    std::vector<SelectionSession::Entry> entries;
    for (const FrameRef& f : kFrames) entries.push_back({QString::fromStdString(f.file), f});
    s.setEntries(entries);
    AnalysisResults run;
    std::string error;
    ASSERT_TRUE(CreateAnalysisResults(run, 8, error));
    for (int k = 0; k < 8; ++k)
        for (int bin = 0; bin < kTableBins; ++bin) run.profileTable[bin][k] = (k * 3) % 8 + 1;
    run.files = kFrames;
    run.leftOut.push_back({7, kFrames[7], "cannot read", 0, 0});
    run.flags.assign(8, 0);
    run.exactColumns[6].fill(3.5);
    s.takeRun(run);
    ASSERT_EQ(s.select(Best(4)), SelectionSession::SelectOutcome::Selected);
    s.setScoresOrder({5, 2, 4, 1, 6, 3, 0});
}

// Every pass into Good, as a move reports it.
void MoveAll(SelectionSession& s) {
    std::vector<std::pair<std::size_t, FrameRef>> moved;
    for (std::size_t i = 0; i < s.passes().size(); ++i) {
        const FrameRef& f = s.passes()[i].frame;
        moved.emplace_back(i,
                           FrameRef{"/d/Good/" + f.file.substr(3), f.inVideo() ? int(i) + 1 : 0});
    }
    s.markMoved(moved);
}

}  // namespace

// After each change a window of a list keeps its frame wherever the list puts it, or closes
// (where the user took the frame out, the next one takes its place); the entries that stay keep
// their scores (no new run), the scores table its order, and each pass its entry.
TEST(FrameLists, ListsAfterAChange) {
    const auto undo = [](SelectionSession& s) {
        MoveAll(s);
        s.markReturned({0, 1, 2, 3});
    };
    const struct {
        const char* name;
        std::function<void(SelectionSession&)> change;
        FrameListKind kind;
        int shown;  // the window's frame, in kFrames
        int stays;  // 0: closes; 1: keeps it; 2: shows the next one
        std::size_t listed, passes;
        int changes;
    } cases[] = {
        {"after a move, a moved still", MoveAll, FrameListKind::Files, 2, 0, 6, 4, 1},
        {"after a move, a video frame", MoveAll, FrameListKind::Files, 5, 1, 6, 4, 1},
        {"after a move, in the pass list", MoveAll, FrameListKind::Passes, 2, 1, 6, 4, 1},
        {"after an undo", undo, FrameListKind::Passes, 4, 1, 6, 4, 2},
        {"drop from the scores order", [](SelectionSession& s) { s.dropPass(kFrames[2]); },
         FrameListKind::Scores, 2, 1, 8, 3, 1},
        {"not passed", [](SelectionSession& s) { EXPECT_FALSE(s.dropPass(kFrames[0])); },
         FrameListKind::Scores, 0, 1, 8, 4, 0},
        {"a new selection without it", [](SelectionSession& s) { s.select(Best(1)); },
         FrameListKind::Passes, 2, 0, 8, 1, 1},
        {"a new list", [](SelectionSession& s) { s.setEntries({}); }, FrameListKind::Scores, 0, 0,
         0, 0, 1},
        {"taken out in the pass list", [](SelectionSession& s) { s.dropPass(kFrames[2]); },
         FrameListKind::Passes, 2, 2, 8, 3, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SelectionSession s;
        SelectBest4(s);
        std::map<std::uint64_t, double> scoreOf;
        for (std::size_t k = 0; k < kFrames.size(); ++k) scoreOf[s.ids()[k]] = s.scores()[k];
        const FrameList before = s.frameList(c.kind);
        const FrameList scoresBefore = s.frameList(FrameListKind::Scores);
        const int shown = int(
            std::find(before.frames.begin(), before.frames.end(), kFrames[std::size_t(c.shown)]) -
            before.frames.begin());
        int changes = 0;
        QObject::connect(&s, &SelectionSession::changed, [&] { ++changes; });
        c.change(s);

        EXPECT_EQ(changes, c.changes);
        EXPECT_EQ(s.frames().size(), c.listed);
        EXPECT_EQ(s.passes().size(), c.passes);
        const FrameList after = s.frameList(c.kind);
        const FollowedFrame f = FollowFrameList(before, shown, after, c.stays == 2);
        EXPECT_EQ(f.index >= 0, c.stays > 0);
        EXPECT_EQ(f.sameFrame, c.stays == 1);
        if (f.index >= 0) {
            EXPECT_EQ(after.ids[std::size_t(f.index)],
                      before.ids[std::size_t(shown + c.stays - 1)]);
        }
        EXPECT_EQ(s.resultsMatch(), c.listed > 0);
        for (std::size_t k = 0; k < s.frames().size(); ++k)
            EXPECT_EQ(s.scores()[k], scoreOf[s.ids()[k]]) << k;
        for (const LeftOutFrame& out : s.results().leftOut) {
            if (s.resultsMatch()) {
                EXPECT_EQ(s.frames()[std::size_t(out.index)], out.frame);
            }
        }
        std::vector<FrameRef> order;
        for (const FrameRef& frame : scoresBefore.frames)
            if (std::count(s.frames().begin(), s.frames().end(), frame)) order.push_back(frame);
        EXPECT_EQ(s.frameList(FrameListKind::Scores).frames, order);
        // A still that moved lies in Good; a video's frame stays in its video, and listed.
        for (const SelectionSession::Pass& p : s.passes()) {
            EXPECT_EQ(p.frame.file.rfind("/d/Good/", 0) == 0, p.moved && !p.frame.inVideo());
            if (p.frame.inVideo()) {
                EXPECT_GE(p.entry, 0);
            }
            if (p.entry >= 0) {
                EXPECT_EQ(s.frames()[std::size_t(p.entry)], p.frame);
            }
        }
    }
}
