#pragma once
// The selection as one model: the listed frames, the window mode, the last completed run, the
// band, the pass rule's level, what is left out, the threshold and the passes. The windows
// draw from it and send every command through it, so that none keeps a copy that can drift.

#include "analysis_results.h"
#include "band_suggestion.h"
#include "frame_scores.h"
#include "frame_ref.h"
#include "ranking.h"
#include "window_mode.h"

#include <QObject>
#include <QString>

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
    // A passed frame. Once moved, `frame` is where it lies in Good and `origin` where it was.
    struct Pass {
        int entry = -1;  // its list position; -1 once the list it came from is gone
        QString name;
        FrameRef frame, origin;
        bool moved = false;
    };
    enum class SelectOutcome { Selected, NoEntries, StaleResults };

    explicit SelectionSession(QObject* parent = nullptr);

    // What the list shows of each entry, and its frame, in list order.
    const std::vector<QString>& names() const { return names_; }
    const std::vector<FrameRef>& frames() const { return frames_; }
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
    // Pass `pass` now lies at `target` in Good.
    void markMoved(const std::vector<std::pair<std::size_t, FrameRef>>& moved);
    // These moved passes are back where they were.
    void markReturned(const std::vector<std::size_t>& passes);
    // The list is emptied after a move; the passes stay to show where the frames went.
    void clearEntriesKeepingPasses();

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

private:
    // Whether the results are the list's, and their scores.
    void updateMatch();
    void updateScores();
    void clearPasses();
    // The threshold the current level gives over the current band and exclusions.
    void setLevelThreshold();
    void setThreshold(double threshold);

    // Apart, so that runs take the frames as they are.
    std::vector<QString> names_;
    std::vector<FrameRef> frames_;
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
