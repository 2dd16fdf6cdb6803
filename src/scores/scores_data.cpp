#include "scores_data.h"

#include <algorithm>

ScoresData ScoresDataOf(const framesifter::SelectionSession& session) {
    ScoresData data;
    data.excludeFlagged = session.excludeFlagged();
    data.scoreKind = session.scoreKind();
    if (!session.resultsMatch()) return data;
    const framesifter::AnalysisResults& results = session.results();
    data.files = results.files;
    data.scores = session.scores();
    data.passed = session.passedFlags();
    data.threshold = session.threshold();
    data.cut = int(std::count(data.passed.begin(), data.passed.end(), 1));
    data.leftOut = results.leftOut;
    data.unranked = session.selectionLeftOut();
    data.flags = results.flags;
    data.band = session.band();
    data.suggestion = session.suggestion();
    return data;
}
