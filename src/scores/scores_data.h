#pragma once
// What the scores window shows, given to it whole: it knows nothing of the selector window.

#include "analysis_results.h"
#include "band_suggestion.h"
#include "frame_ref.h"
#include "selection_session.h"

#include <string>
#include <vector>

struct ScoresData {
    std::vector<framesifter::FrameRef> files;  // in list order
    std::vector<double> scores;                // one per file, of `scoreKind`
    std::vector<char> passed;                  // 1 for a passed file
    double threshold = 0;                      // the level's score line
    int cut = 0;  // how many of the best pass: the cut on the sorted plot
    // Frames the run could not read: they have no score, so they stay out of the plots, the
    // table and the export, and the others rank from 1 among themselves.
    std::vector<framesifter::LeftOutFrame> leftOut;
    // The frames the selection leaves out: the run's, and the flagged ones while they are
    // excluded. They rank nothing.
    std::vector<framesifter::LeftOutFrame> unranked;
    bool excludeFlagged = false;      // whether flagged frames are left out
    std::vector<std::uint8_t> flags;  // one FrameFlag set per file (none when empty)
    framesifter::Band band;           // the band the scores are taken over
    framesifter::ScoreKind scoreKind = framesifter::ScoreKind::Band;
    framesifter::BandSuggestion suggestion;  // the run's own band, offered to the user
};

// What the session shows: its scores, passes and threshold while its results belong to the
// listed frames, nothing otherwise; its exclusion and score kind always.
ScoresData ScoresDataOf(const framesifter::SelectionSession& session);
