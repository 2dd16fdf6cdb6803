#pragma once
// Window-free rules of the viewer: turning FITS values into a grey picture, naming the
// file a save writes, and the zoom text.

#include "frame_formats.h"
#include "frame_ref.h"
#include "planes.h"

#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <string>

// One grey scale for a list of frames: `low` black, `high` white.
struct ValueScale {
    double low = 0;
    double high = 0;
};

// Grey level of value v on `scale`: 255 * (v - low) / (high - low) truncated toward zero,
// limited to 0..255. A scale without a span (high <= low) shows v black below high and white
// from it, as an image of one value is shown on its own.
std::uint8_t ScaledGrey(double v, const ValueScale& scale);

// Grey level of value v when the largest value is `max`: 255 * v / max truncated toward
// zero, limited to 0..255. A `max` of 0 or less (an image with nothing above 0) gives black.
std::uint8_t GreyLevel(std::int32_t v, double max);

// Largest value of the plane, starting from 0 (so an image without positive values gives 0).
double LargestValue(const framesifter::IntPlane& plane, int width, int height);

// Writes the grey picture of plane[x][y] as BGR rows (three equal bytes per pixel) into
// `bgr`, row y at bgr + y * stride. False with a reason when the plane is smaller than the
// size.
[[nodiscard]] bool FitsToGrey(const framesifter::IntPlane& plane, int width, int height,
                              std::uint8_t* bgr, std::size_t stride, std::string& error);
// The same on a given scale (ScaledGrey); a null scale is the image's own, as above.
[[nodiscard]] bool FitsToGrey(const framesifter::IntPlane& plane, int width, int height,
                              const ValueScale* scale, std::uint8_t* bgr, std::size_t stride,
                              std::string& error);

// The same for values in rows (values[y * width + x]). Whole numbers within the int range
// map as FitsToGrey does; any other values map from the smallest (black) to the largest
// (white), and a flat image is black.
void FitsValuesToGrey(const double* values, int width, int height, std::uint8_t* bgr,
                      std::size_t stride);
// The same on a given scale (ScaledGrey); a null scale is the image's own, as above.
void FitsValuesToGrey(const double* values, int width, int height, const ValueScale* scale,
                      std::uint8_t* bgr, std::size_t stride);

// The open dialog's entry (the format table's row) that a file of this name is read as, by
// its extension in any case (a video's frame "PATH#N" as its video); -1 for any other name.
int OpenFilterForName(const QString& name);
// The format of the open dialog's entry `index`; BMP for an index out of range.
framesifter::FrameFormat DialogEntryFormat(int index);

// The name a save writes. `extensions` are the chosen entry's (".jpg", ".jpeg"), the first
// being its own. A chosen name whose extension (its last path component from the last dot
// on) is one of them, in any case, is kept as typed; any other extension is replaced by
// the first, and a name without one gets it appended.
QString SaveTargetName(const QString& chosen, const QStringList& extensions);

// "%2.1lf%" of factor * 100: 8 -> "800.0%", 0.125 -> "12.5%".
QString ZoomText(double factor);

// Where a new image window of `window` size goes in an area of `area` size: one `step` right
// of and below the newest window still open (at `newest`, or none). When that would reach
// past the area's right or bottom edge, a new round begins at the top edge one step right of
// the newest window's round, or at the top left corner when that does not fit either. So new
// windows cascade, each one's title bar stays in sight, and rounds do not cover one another.
QPoint CascadePosition(const QPoint* newest, QSize window, QSize area, int step);

// The zoom exponent (0 or less) of the largest power-of-two view of a `picture` that fits in
// `room` whole; 0 when it fits at 100 % or the room is empty.
int WholeViewExponent(QSize picture, QSize room);

// A frame list's position after stepping `delta` from `index`, held within 0..count-1.
int SteppedFrame(int index, int delta, int count);

// The caption of a window showing frame `index` (0-based) of `count`: "name (k / count)".
QString FrameCaption(const QString& name, int index, int count);
