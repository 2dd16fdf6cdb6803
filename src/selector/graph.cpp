#include "graph.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace framesifter {

namespace {

// Points further off than this are clipped by QPainter like any other; the limit only
// keeps the integer conversion and the rasteriser's fixed-point arithmetic in range.
constexpr double kFarOff = 100000.0;

void DrawLine(QPainter& painter, int x0, int y0, int x1, int y1) {
    painter.drawLine(QPoint(x0, y0), QPoint(x1, y1));
}

QPen OnePixelPen(QRgb colour) {
    QPen pen{QColor(colour)};
    pen.setWidth(1);
    pen.setCosmetic(true);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

}  // namespace

QRgb GraphAverageColour() { return qRgb(0, 128, 0); }
QRgb GraphLargestColour() { return qRgb(255, 0, 0); }
QRgb GraphSmallestColour() { return qRgb(0, 0, 255); }
QRgb GraphFrameColour() { return qRgb(255, 0, 255); }
QRgb GraphMarkerColour() { return qRgb(0, 0, 0); }

QImage NewGraphImage() {
    QImage image(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

void ClearGraph(QImage& image) { image.fill(Qt::white); }

int GraphRow(double v, double scale, int height) {
    double y = double(height) - scale * v;
    if (std::isnan(y)) return int(kFarOff);  // no number: below the surface, unseen
    if (y > kFarOff) y = kFarOff;
    if (y < -kFarOff) y = -kFarOff;
    return int(y);  // truncates toward zero
}

void DrawProfileCurve(QImage& image, const double* values, int bins, double scale, QRgb colour) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(OnePixelPen(colour));
    const int h = image.height();
    int previous = GraphRow(values[0], scale, h);
    for (int r = 1; r < bins; ++r) {
        const int y = GraphRow(values[r], scale, h);
        // Bins beyond the right edge are clipped anyway; stop drawing them.
        if (2 * r - 2 >= image.width()) break;
        DrawLine(painter, 2 * r - 2, previous, 2 * r, y);
        previous = y;
    }
}

void DrawGraph(QImage& image, const AnalysisResults& results, const GraphView& view,
               GraphForm form) {
    ClearGraph(image);
    auto curve = [&](const double* v, QRgb c) {
        DrawProfileCurve(image, v, kProfileBins, view.scale, c);
    };
    switch (form) {
    case GraphForm::Summary:
        curve(results.mean, GraphAverageColour());
        curve(results.largest, GraphLargestColour());
        curve(results.smallest, GraphSmallestColour());
        break;
    case GraphForm::Scale:
        curve(results.frameProfile, GraphFrameColour());
        curve(results.mean, GraphAverageColour());
        curve(results.largest, GraphLargestColour());
        curve(results.smallest, GraphSmallestColour());
        break;
    case GraphForm::Frame:
        curve(results.mean, GraphAverageColour());
        curve(results.largest, GraphLargestColour());
        curve(results.smallest, GraphSmallestColour());
        curve(results.frameProfile, GraphFrameColour());
        break;
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(OnePixelPen(GraphMarkerColour()));
    const int h = image.height();
    DrawLine(painter, 2 * view.band.high, 0, 2 * view.band.high, h);
    DrawLine(painter, 2 * view.band.low, 0, 2 * view.band.low, h);
}

bool ApplyGraphPress(GraphView& view, Qt::MouseButton button, int x) {
    // Keep the band on the graph whatever column the caller reports.
    if (x < 0) x = 0;
    if (x > kGraphWidth - 1) x = kGraphWidth - 1;
    const int bin = x / 2;
    if (button == Qt::LeftButton) {
        view.band.low = bin;
        return true;
    }
    if (button == Qt::RightButton) {
        view.band.high = bin;
        return true;
    }
    return false;
}

bool EnlargeGraph(GraphView& view) {
    if (!(view.scale < kGraphScaleMax)) return false;
    view.scale *= 2;
    return true;
}

bool ShrinkGraph(GraphView& view) {
    if (!(view.scale > kGraphScaleMin)) return false;
    view.scale /= 2;
    return true;
}

double FittingGraphScale(const AnalysisResults& results, int fromBin) {
    fromBin = std::clamp(fromBin, 0, kGraphLastBin);
    double tallest = 0;
    for (const double* curve : {results.mean, results.largest, results.smallest})
        for (int b = fromBin; b <= kGraphLastBin; ++b)
            if (curve[b] > tallest) tallest = curve[b];  // skips NaN
    double fitting = kGraphScaleMin;
    for (double scale = kGraphScaleMin; scale <= kGraphScaleMax; scale *= 2)
        if (scale * tallest <= kGraphHeight) fitting = scale;
    return fitting;
}

int MarkerLabelLeft(int markerX, int otherX, int labelWidth) {
    const int gap = 2;
    const int right = markerX + gap;
    const bool meetsOther = otherX > markerX && otherX <= right + labelWidth + gap;
    if (right + labelWidth <= kGraphWidth && !meetsOther) return right;
    return std::max(0, markerX - gap - labelWidth);
}

}  // namespace framesifter
