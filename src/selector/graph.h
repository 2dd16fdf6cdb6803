#pragma once
// The frequency graph: profiles drawn as one-pixel curves onto a 256 x 200 picture, with
// the two band markers. Pure drawing on a QImage, so it can be checked pixel by pixel.

#include "analysis_results.h"
#include "selection.h"

#include <QImage>
#include <Qt>

namespace framesifter {

constexpr int kGraphWidth = 256;
constexpr int kGraphHeight = 200;
constexpr double kGraphScaleMax = 51.2;
constexpr double kGraphScaleMin = 0.0125;
constexpr int kGraphLastBin = kGraphWidth / 2 - 1;  // the bin drawn at the right edge

// What the user set on the graph: the band's markers and the vertical scale.
struct GraphView {
    Band band;
    double scale = 0.1;
};

// Which curves a redraw shows, in drawing order (later ones on top):
//   Summary: mean, largest, smallest
//   Scale:   last frame's profile, mean, largest, smallest
//   Frame:   mean, largest, smallest, last frame's profile
enum class GraphForm { Summary, Scale, Frame };

// The curve colours.
QRgb GraphAverageColour();   // green 0,128,0
QRgb GraphLargestColour();   // red
QRgb GraphSmallestColour();  // blue
QRgb GraphFrameColour();     // magenta
QRgb GraphMarkerColour();    // black

// A white picture of the graph's size.
QImage NewGraphImage();
void ClearGraph(QImage& image);

// Row of value v: trunc(height - scale * v), kept within a range far off the surface so
// that huge, infinite or NaN values neither overflow nor come back onto it.
int GraphRow(double v, double scale, int height = kGraphHeight);

// One curve: bin r at x = 2r, segments joining bins r-1 and r for r = 1..bins-1.
void DrawProfileCurve(QImage& image, const double* values, int bins, double scale, QRgb colour);

// Clears the picture and draws the form's curves, then the marker at 2 * band.high and the
// marker at 2 * band.low.
void DrawGraph(QImage& image, const AnalysisResults& results, const GraphView& view,
               GraphForm form);

// A press at column x: left sets the band's low, right its high bin to x div 2. Returns
// whether the band changed (true for left and right, false for any other button).
bool ApplyGraphPress(GraphView& view, Qt::MouseButton button, int x);

// "+" doubles and "-" halves the scale within 0.0125..51.2; false when already at the
// limit (nothing changes then).
bool EnlargeGraph(GraphView& view);
bool ShrinkGraph(GraphView& view);

// The largest scale of the "+" / "-" ladder (kGraphScaleMin doubled up to kGraphScaleMax)
// at which the mean, largest and smallest curves stay on the graph (scale * value <= height)
// from bin fromBin to the right edge; kGraphScaleMin when none does. Values that are not
// numbers are never drawn and so never stand in the way.
double FittingGraphScale(const AnalysisResults& results, int fromBin);

// Left edge of a marker's label of the given width at the top of the graph: right of the
// marker at markerX, or left of it when that would leave the graph or meet the other marker.
int MarkerLabelLeft(int markerX, int otherX, int labelWidth);

}  // namespace framesifter
