#include "selection_session.h"

#include "selection.h"

#include <algorithm>
#include <utility>

namespace framesifter {

// No table until a run is taken: nothing reads one before a run's results match the list.
SelectionSession::SelectionSession(QObject* parent) : QObject(parent) {}

std::vector<LeftOutFrame> SelectionSession::selectionLeftOut() const {
    return excludeFlagged_ ? LeftOutWithFlagged(results_.leftOut, results_.flags)
                           : results_.leftOut;
}

bool SelectionSession::isPassed(const FrameRef& frame) const {
    return std::any_of(passes_.begin(), passes_.end(),
                       [&](const Pass& p) { return p.frame == frame; });
}

FrameList SelectionSession::frameList(FrameListKind kind) const {
    FrameList list;
    list.kind = kind;
    switch (kind) {
    case FrameListKind::Own:
        break;
    case FrameListKind::Files:
        list.frames = frames_;
        list.ids = ids_;
        break;
    case FrameListKind::Passes:
        for (const Pass& p : passes_) {
            list.frames.push_back(p.frame);
            list.ids.push_back(p.id);
        }
        break;
    case FrameListKind::Scores: {
        if (!matches_) break;
        // Left-out frames have no score: the table never shows them.
        std::vector<char> shown(frames_.size(), 1);
        for (const LeftOutFrame& f : results_.leftOut)
            if (f.index >= 0 && std::size_t(f.index) < shown.size())
                shown[std::size_t(f.index)] = 0;
        const auto add = [&](int k) {
            if (k < 0 || std::size_t(k) >= shown.size() || !shown[std::size_t(k)]) return;
            shown[std::size_t(k)] = 0;
            list.frames.push_back(frames_[std::size_t(k)]);
            list.ids.push_back(ids_[std::size_t(k)]);
        };
        // Frames the order does not hold yet (it is set after the table shows a change) follow
        // in list order.
        for (int k : scoresOrder_) add(k);
        for (std::size_t k = 0; k < frames_.size(); ++k) add(int(k));
        break;
    }
    }
    return list;
}

void SelectionSession::setScoresOrder(std::vector<int> order) {
    if (order == scoresOrder_) return;
    scoresOrder_ = std::move(order);
    emit scoresOrderChanged();
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
    ids_.clear();
    scoresOrder_.clear();
    names_.reserve(entries.size());
    frames_.reserve(entries.size());
    ids_.reserve(entries.size());
    for (Entry& e : entries) {
        names_.push_back(std::move(e.name));
        frames_.push_back(std::move(e.frame));
        ids_.push_back(nextId_++);
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
        passes_.push_back({k, names_[i], frames_[i], FrameRef(), false, ids_[i]});
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
    std::vector<char> leaving(frames_.size(), 0);
    bool anyLeaving = false;
    for (const auto& [index, target] : moved) {
        if (index >= passes_.size() || passes_[index].moved) continue;
        Pass& p = passes_[index];
        p.origin = p.frame;
        p.moved = anyMoved = true;
        if (p.frame.inVideo()) continue;
        p.frame = target;
        if (p.entry >= 0 && std::size_t(p.entry) < leaving.size())
            leaving[std::size_t(p.entry)] = anyLeaving = true;
    }
    if (!anyMoved) return;
    if (anyLeaving) removeEntries(leaving);
    emit passesChanged();
    emit changed();
}

void SelectionSession::removeEntries(const std::vector<char>& leaving) {
    std::vector<int> kept, newIndex(frames_.size(), -1);
    for (std::size_t k = 0; k < frames_.size(); ++k) {
        if (leaving[k]) continue;
        newIndex[k] = int(kept.size());
        kept.push_back(int(k));
    }
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const std::size_t from = std::size_t(kept[k]);
        if (from == k) continue;
        names_[k] = std::move(names_[from]);
        frames_[k] = std::move(frames_[from]);
        ids_[k] = ids_[from];
    }
    names_.resize(kept.size());
    frames_.resize(kept.size());
    ids_.resize(kept.size());
    // The run's rows go with their entries, so that the others keep their scores.
    if (matches_) KeepResultColumns(results_, kept);
    for (Pass& p : passes_)
        p.entry = p.entry >= 0 && std::size_t(p.entry) < newIndex.size()
                      ? newIndex[std::size_t(p.entry)]
                      : -1;
    std::vector<int> order;
    for (int k : scoresOrder_)
        if (k >= 0 && std::size_t(k) < newIndex.size() && newIndex[std::size_t(k)] >= 0)
            order.push_back(newIndex[std::size_t(k)]);
    scoresOrder_ = std::move(order);
    updateMatch();
    emit entriesChanged();
    emit resultsChanged();
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
