#pragma once
// The selection as one model: the listed frames, the window mode, the last completed run, the
// band, the pass rule's level, what is left out, the threshold and the passes. The windows
// draw from it and send every command through it, so that none keeps a copy that can drift.

#include "analysis_results.h"
#include "band_suggestion.h"
#include "frame_list.h"
#include "frame_scores.h"
#include "frame_ref.h"
#include "ranking.h"
#include "window_mode.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

class SelectionSession : public QObject {
    Q_OBJECT
public:
    // A listed frame: what the list shows, and the frame.
    struct Entry {
        QString name;
        FrameRef frame;
    };
    // A passed frame. Once moved, `origin` is where it was and `frame` where it lies now: in
    // Good for a still file; a video's frame was copied into Good and stays in its video.
    struct Pass {
        int entry = -1;  // its list position; -1 once it has left the list
        QString name;
        FrameRef frame, origin;
        bool moved = false;
        std::uint64_t id = 0;  // the id of the entry it came from
    };
    enum class SelectOutcome { Selected, NoEntries, StaleResults };

    explicit SelectionSession(QObject* parent = nullptr);

    // What the list shows of each entry, and its frame, in list order.
    const std::vector<QString>& names() const { return names_; }
    const std::vector<FrameRef>& frames() const { return frames_; }
    // Each entry's id, never given to another entry of this session.
    const std::vector<std::uint64_t>& ids() const { return ids_; }
    WindowMode mode() const { return mode_; }
    // The last completed run (its files empty when there is none).
    const AnalysisResults& results() const { return results_; }
    // Scratch for the one frame the graph shows: no other state depends on it.
    double* frameProfile() { return results_.frameProfile; }
    // The run went to its end over exactly the listed frames in the current mode: only then
    // do its scores belong to them.
    bool resultsMatch() const { return matches_; }
    // The run's range of window values, one grey scale for the frames it analysed: for the
    // listed frames while the results match them, for the passes (which are always the
    // run's) while there is a run. False when there is none to give.
    bool runValueRange(bool passes, double& low, double& high) const;
    const BandSuggestion& suggestion() const { return suggestion_; }
    Band band() const { return band_; }
    ScoreKind scoreKind() const { return scoreKind_; }
    int level() const { return level_; }
    bool excludeFlagged() const { return excludeFlagged_; }
    double threshold() const { return threshold_; }
    const std::vector<Pass>& passes() const { return passes_; }

    // The run's left-out frames, and its flagged ones when they are excluded.
    std::vector<LeftOutFrame> selectionLeftOut() const;
    // One score per listed frame, of the chosen kind, kept from the last change of run, list,
    // mode, band or kind; empty when the results do not match the list.
    const std::vector<double>& scores() const { return scores_; }
    // 1 for each listed frame in the pass list.
    std::vector<char> passedFlags() const;
    // Whether `frame` is in the pass list.
    bool isPassed(const FrameRef& frame) const;
    // The list of `kind` as it is now. The scores order holds the frames the run scored, in the
    // order last set by setScoresOrder (list order until then); nothing while the results are
    // not the list's.
    FrameList frameList(FrameListKind kind) const;
    // The list positions in the order the scores table shows them.
    void setScoresOrder(std::vector<int> order);

    // A new list, mode, run, band or score kind clears the passes.
    void setEntries(std::vector<Entry> entries);
    void setMode(WindowMode mode);
    // Swaps in a completed run's results and suggests a band from them.
    void takeRun(AnalysisResults& run);
    // A run that failed or was stopped leaves no results behind, nor the memory they held.
    void dropResults();
    void setBand(Band band);
    void setScoreKind(ScoreKind kind);
    // The level and exclusions count from the next selection on; the passes stay.
    void setLevel(int level);
    void setExcludeFlagged(bool exclude);

    // The passes under `rule` (the level for PassRule::Kind::Level) replace the pass list.
    SelectOutcome select(const PassRule& rule);
    // Takes the first pass of `frame` out of the list (until the next selection).
    bool dropPass(const FrameRef& frame);
    // Pass `pass` went to `target` in Good. A still file leaves the list, with its row of the
    // results, and its pass points into Good; a video stays where it was, so its frames stay
    // listed and their passes keep pointing at them. The remaining results still match.
    void markMoved(const std::vector<std::pair<std::size_t, FrameRef>>& moved);
    // These moved passes are back where they were.
    void markReturned(const std::vector<std::size_t>& passes);

signals:
    // One signal per part that changed, then `changed` once after the whole command, for a
    // view that redraws everything at once. A new level alone changes nothing shown until
    // the next selection: it has no `changed`.
    void entriesChanged();
    void modeChanged();
    void resultsChanged();
    void bandChanged();
    void scoreKindChanged();
    void levelChanged();
    void exclusionsChanged();
    void thresholdChanged();
    void passesChanged();
    void changed();
    // The scores order was set; nothing else changed.
    void scoresOrderChanged();

private:
    // Whether the results are the list's, and their scores.
    void updateMatch();
    void updateScores();
    void clearPasses();
    // Takes the entries flagged in `leaving` out of the list, with their rows of the results.
    void removeEntries(const std::vector<char>& leaving);
    // The threshold the current level gives over the current band and exclusions.
    void setLevelThreshold();
    void setThreshold(double threshold);

    // Apart, so that runs take the frames as they are.
    std::vector<QString> names_;
    std::vector<FrameRef> frames_;
    std::vector<std::uint64_t> ids_;
    std::uint64_t nextId_ = 1;
    std::vector<int> scoresOrder_;  // empty: list order
    WindowMode mode_ = WindowMode::Centre;
    AnalysisResults results_;
    bool matches_ = false;
    std::vector<double> scores_;
    BandSuggestion suggestion_;
    Band band_;
    ScoreKind scoreKind_ = ScoreKind::Band;
    int level_ = 5;
    bool excludeFlagged_ = false;
    double threshold_ = 0;
    std::vector<Pass> passes_;
};

}  // namespace framesifter
