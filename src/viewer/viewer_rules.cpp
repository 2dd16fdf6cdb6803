#include "viewer_rules.h"
#include "reason.h"

#include "fits_general.h"
#include "frame_formats.h"

#include <algorithm>
#include <cstdio>
#include <string>

using namespace framesifter;

std::uint8_t GreyLevel(std::int32_t v, double max) {
    if (!(max > 0.0)) return 0;
    // The product in 64 bits so that no 32-bit value can overflow it.
    const double g = double(std::int64_t(v) * 255) / max;
    if (g >= 255.0) return 255;
    if (g <= 0.0) return 0;
    return std::uint8_t(g);  // truncation toward zero
}

std::uint8_t ScaledGrey(double v, const ValueScale& scale) {
    const double span = scale.high - scale.low;
    if (!(span > 0)) return v >= scale.high ? 255 : 0;
    const double g = (v - scale.low) / span * 255.0;
    if (g >= 255.0) return 255;
    if (!(g > 0.0)) return 0;  // NaN too
    return std::uint8_t(g);
}

double LargestValue(const IntPlane& plane, int width, int height) {
    double max = 0.0;
    for (int x = 0; x < width; ++x) {
        const std::int32_t* column = plane[x];
        for (int y = 0; y < height; ++y)
            if (column[y] > max) max = column[y];
    }
    return max;
}

bool FitsToGrey(const IntPlane& plane, int width, int height, std::uint8_t* bgr, std::size_t stride,
                std::string& error) {
    return FitsToGrey(plane, width, height, nullptr, bgr, stride, error);
}

bool FitsToGrey(const IntPlane& plane, int width, int height, const ValueScale* scale,
                std::uint8_t* bgr, std::size_t stride, std::string& error) {
    if (width <= 0 || height <= 0 || plane.first() < width || plane.second() < height) {
        error = Reason(ReasonKind::DataSizeMismatch, {width, height});

        return false;
    }
    const double max = scale ? 0.0 : LargestValue(plane, width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bgr + std::size_t(y) * stride;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t g =
                scale ? ScaledGrey(plane[x][y], *scale) : GreyLevel(plane[x][y], max);
            row[3 * x] = g;
            row[3 * x + 1] = g;
            row[3 * x + 2] = g;
        }
    }
    return true;
}

void FitsValuesToGrey(const double* values, int width, int height, std::uint8_t* bgr,
                      std::size_t stride) {
    FitsValuesToGrey(values, width, height, nullptr, bgr, stride);
}

void FitsValuesToGrey(const double* values, int width, int height, const ValueScale* scale,
                      std::uint8_t* bgr, std::size_t stride) {
    if (scale) {
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = bgr + std::size_t(y) * stride;
            const double* v = values + std::size_t(y) * std::size_t(width);
            for (int x = 0; x < width; ++x)
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = ScaledGrey(v[x], *scale);
        }
        return;
    }
    const std::size_t count = std::size_t(width) * std::size_t(height);
    const bool integers = AllIntegers(values, count);
    double low = 0, high = 0;
    if (count > 0) {
        const auto [min, max] = std::minmax_element(values, values + count);
        low = integers ? 0.0 : *min;
        high = std::max(integers ? 0.0 : *min, *max);
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bgr + std::size_t(y) * stride;
        const double* v = values + std::size_t(y) * std::size_t(width);
        for (int x = 0; x < width; ++x) {
            std::uint8_t g = 0;
            if (integers)
                g = GreyLevel(std::int32_t(v[x]), high);
            else if (high > low)
                g = std::uint8_t(std::min(255.0, (v[x] - low) / (high - low) * 255.0));
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = g;
        }
    }
}

int OpenFilterForName(const QString& name) {
    const std::string text = name.toStdString();
    const FrameRef ref = ParseFrameRef(text);
    const FrameFormat format = FrameFormatOf(ref.file);
    const std::vector<FrameFormatRow>& rows = FrameFormatRows();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (format != FrameFormat::Unknown && rows[i].format == format) return int(i);
    return -1;
}

FrameFormat DialogEntryFormat(int index) {
    const std::vector<FrameFormatRow>& rows = FrameFormatRows();
    return index >= 0 && std::size_t(index) < rows.size() ? rows[std::size_t(index)].format
                                                          : FrameFormat::Bmp;
}

QString SaveTargetName(const QString& chosen, const QStringList& extensions) {
    if (extensions.isEmpty()) return chosen;
    const int slash = chosen.lastIndexOf(QLatin1Char('/'));
    const int dot = chosen.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash) return chosen + extensions.first();
    if (extensions.contains(chosen.mid(dot), Qt::CaseInsensitive)) return chosen;
    return chosen.left(dot) + extensions.first();
}

QString ZoomText(double factor) {
    // The C library's rounding (6.25 -> "6.2"), which QString::asprintf does not share.
    char text[64];
    std::snprintf(text, sizeof text, "%2.1f%%", factor * 100.0);
    return QString::fromLatin1(text);
}

QPoint CascadePosition(const QPoint* newest, QSize window, QSize area, int step) {
    if (!newest) return QPoint(0, 0);
    const auto fits = [&](QPoint at) {
        return at.x() + window.width() <= area.width() && at.y() + window.height() <= area.height();
    };
    const QPoint next(std::max(0, newest->x()) + step, std::max(0, newest->y()) + step);
    if (fits(next)) return next;
    // A new round along the top edge, one step right of where the newest window's round
    // began (its diagonal meets the top there), so that rounds do not cover one another.
    const QPoint round(std::max(0, newest->x() - newest->y()) + step, 0);
    return fits(round) ? round : QPoint(0, 0);
}

int WholeViewExponent(QSize picture, QSize room) {
    if (picture.isEmpty() || room.isEmpty()) return 0;
    int exponent = 0;
    // Stops where one more halving would leave less than a pixel.
    for (qint64 w = picture.width(), h = picture.height();
         (w > room.width() || h > room.height()) && w > 1 && h > 1; w /= 2, h /= 2)
        --exponent;
    return exponent;
}

int SteppedFrame(int index, int delta, int count) {
    if (count <= 0) return 0;
    return int(std::clamp<qint64>(qint64(index) + delta, 0, count - 1));
}

QString FrameCaption(const QString& name, int index, int count) {
    return QStringLiteral("%1 (%2 / %3)").arg(name).arg(index + 1).arg(count);
}
