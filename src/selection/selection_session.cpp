#include "selection_session.h"

#include "selection.h"

#include <utility>

namespace framesifter {

// No table until a run is taken: nothing reads one before a run's results match the list.
SelectionSession::SelectionSession(QObject* parent) : QObject(parent) {}

std::vector<LeftOutFrame> SelectionSession::selectionLeftOut() const {
    return excludeFlagged_ ? LeftOutWithFlagged(results_.leftOut, results_.flags)
                           : results_.leftOut;
}

std::vector<char> SelectionSession::passedFlags() const {
    std::vector<char> passed(frames_.size(), 0);
    for (const Pass& p : passes_)
        if (p.entry >= 0 && std::size_t(p.entry) < passed.size()) passed[std::size_t(p.entry)] = 1;
    return passed;
}

void SelectionSession::setEntries(std::vector<Entry> entries) {
    names_.clear();
    frames_.clear();
    names_.reserve(entries.size());
    frames_.reserve(entries.size());
    for (Entry& e : entries) {
        names_.push_back(std::move(e.name));
        frames_.push_back(std::move(e.frame));
    }
    updateMatch();
    clearPasses();
    emit entriesChanged();
    emit changed();
}

void SelectionSession::setMode(WindowMode mode) {
    if (mode == mode_) return;
    mode_ = mode;
    updateMatch();
    clearPasses();
    emit modeChanged();
    emit changed();
}

void SelectionSession::takeRun(AnalysisResults& run) {
    std::swap(results_, run);
    updateMatch();
    suggestion_ = SuggestBand(results_, int(results_.files.size()), results_.leftOut);
    clearPasses();
    setLevelThreshold();
    emit resultsChanged();
    emit changed();
}

void SelectionSession::dropResults() {
    results_ = AnalysisResults();
    suggestion_ = BandSuggestion();
    updateMatch();
    clearPasses();
    emit resultsChanged();
    emit changed();
}

void SelectionSession::setBand(Band band) {
    if (band.low == band_.low && band.high == band_.high) return;
    band_ = band;
    updateScores();
    clearPasses();
    setLevelThreshold();
    emit bandChanged();
    emit changed();
}

void SelectionSession::setScoreKind(ScoreKind kind) {
    if (kind == scoreKind_) return;
    scoreKind_ = kind;
    updateScores();
    clearPasses();
    setLevelThreshold();
    emit scoreKindChanged();
    emit changed();
}

void SelectionSession::setLevel(int level) {
    if (level == level_) return;
    level_ = level;
    emit levelChanged();
}

void SelectionSession::setExcludeFlagged(bool exclude) {
    if (exclude == excludeFlagged_) return;
    excludeFlagged_ = exclude;
    emit exclusionsChanged();
    emit changed();
}

SelectionSession::SelectOutcome SelectionSession::select(const PassRule& rule) {
    if (frames_.empty()) return SelectOutcome::NoEntries;
    if (!matches_) return SelectOutcome::StaleResults;
    const SelectionResult result = SelectByRule(scores_, level_, rule, selectionLeftOut());
    passes_.clear();
    for (int k : result.passed) {
        const std::size_t i = std::size_t(k);
        passes_.push_back({k, names_[i], frames_[i], FrameRef(), false});
    }
    emit passesChanged();
    setThreshold(result.threshold);
    emit changed();
    return SelectOutcome::Selected;
}

bool SelectionSession::dropPass(const FrameRef& frame) {
    for (auto p = passes_.begin(); p != passes_.end(); ++p) {
        if (p->frame != frame) continue;
        passes_.erase(p);
        emit passesChanged();
        emit changed();
        return true;
    }
    return false;
}

void SelectionSession::markMoved(const std::vector<std::pair<std::size_t, FrameRef>>& moved) {
    bool anyMoved = false;
    for (const auto& [index, target] : moved) {
        if (index >= passes_.size() || passes_[index].moved) continue;
        Pass& p = passes_[index];
        p.origin = p.frame;
        p.frame = target;
        p.moved = anyMoved = true;
    }
    if (anyMoved) {
        emit passesChanged();
        emit changed();
    }
}

void SelectionSession::markReturned(const std::vector<std::size_t>& passes) {
    bool returned = false;
    for (std::size_t index : passes) {
        if (index >= passes_.size() || !passes_[index].moved) continue;
        Pass& p = passes_[index];
        p.frame = p.origin;
        p.origin = FrameRef();
        p.moved = false;
        returned = true;
    }
    if (returned) {
        emit passesChanged();
        emit changed();
    }
}

void SelectionSession::clearEntriesKeepingPasses() {
    names_.clear();
    frames_.clear();
    for (Pass& p : passes_) p.entry = -1;
    updateMatch();
    emit entriesChanged();
    emit passesChanged();
    emit changed();
}

bool SelectionSession::runValueRange(bool passes, double& low, double& high) const {
    if (results_.files.empty() || !(passes || matches_)) return false;
    low = results_.valueLow;
    high = results_.valueHigh;
    return true;
}

void SelectionSession::updateMatch() {
    matches_ = ResultsMatch(results_, frames_, mode_);
    updateScores();
}

void SelectionSession::updateScores() {
    scores_ = matches_ ? FrameScores(results_, int(frames_.size()), band_, scoreKind_)
                       : std::vector<double>();
}

void SelectionSession::clearPasses() {
    if (passes_.empty()) return;
    passes_.clear();
    emit passesChanged();
}

void SelectionSession::setLevelThreshold() {
    if (!matches_) return;
    setThreshold(SelectFrames(scores_, level_, selectionLeftOut()).threshold);
}

void SelectionSession::setThreshold(double threshold) {
    threshold_ = threshold;
    emit thresholdChanged();
}

}  // namespace framesifter
