#pragma once
// The scores that order frames: one number per frame, higher for a sharper one. Selection,
// ranking, the CSV and the windows take the scores as a vector, so that another kind of score
// is another function here.

#include "analysis_results.h"

#include <string>
#include <vector>

namespace framesifter {

// The band of spatial frequencies that scores a frame, in profile bins.
struct Band {
    int low = 25;
    int high = 50;
};

// Band: the sum of the band's bins in the table, as it always was. Normalised: the band's
// amplitude above the frame's noise, against the frame's mean level, so that a frame dimmed
// by cloud or a noisier one is judged by its detail alone.
enum class ScoreKind { Band, Normalised };

// "band" and "normalised": the CLI's words and the preferences' values.
const char* ScoreKindName(ScoreKind kind);
[[nodiscard]] bool ParseScoreKind(const std::string& text, ScoreKind& kind);

// Where the normalised score takes each frame's noise from: rings this far out hold, at the
// sharpness lucky imaging reaches, little but noise, whose amplitude grows with the ring's
// radius up to the window's edge.
constexpr int kNoiseFloorFirstBin = 110;
constexpr int kNoiseFloorLastBin = kExactBins - 1;

// The stored profiles: the int table, the whole columns of frames whose values are not
// integers, which score in place of their truncated ones, and every frame's first bins as
// computed.
struct ProfileColumns {
    ProfileColumns(const IntPlane& table) : table(table) {}
    ProfileColumns(const AnalysisResults& results)
        : table(results.profileTable), exact(&results.exactColumns),
          exactBins(results.exactBins.empty() ? nullptr : results.exactBins.data()),
          exactFrames(int(results.exactBins.size() / kExactBins)) {}
    const IntPlane& table;
    const std::map<int, std::array<double, kTableBins>>* exact = nullptr;
    const float* exactBins = nullptr;
    int exactFrames = 0;
};

// Bin `bin` of frame `frame`: from its whole column where it has one, else as computed where
// kept, else from the table.
double ProfileBin(const ProfileColumns& profiles, int bin, int frame);

// One score per frame 0..count-1 (at most the table's columns), in list order: the sum of
// its bins from the band's low to its high bin, whichever is lower, within the table.
std::vector<double> BandScores(const ProfileColumns& profiles, int count, Band band);

// Each frame's noise per unit of ring radius, 0 for a frame without light. The median of
// bin / radius over kNoiseFloorFirstBin..kNoiseFloorLastBin measures it; since one frame's
// measure is itself noisy, the frames' measures are fitted as noise power growing linearly
// with the frame's level (bin 0), and each frame takes the fit at its level. Frames of one
// level thus share one floor, and a frame dimmed by cloud gets the floor its light gives.
std::vector<double> NoiseFloors(const ProfileColumns& profiles, int count);

// One normalised score per frame 0..count-1, in list order: over the band's bins within
// 0..kExactBins-1, (sum of bins - floor x sum of their radii) / bin 0. 0 for a frame
// without light.
std::vector<double> NormalisedScores(const ProfileColumns& profiles, int count, Band band);

// The scores of `kind`.
std::vector<double> FrameScores(const ProfileColumns& profiles, int count, Band band,
                                ScoreKind kind);

}  // namespace framesifter
