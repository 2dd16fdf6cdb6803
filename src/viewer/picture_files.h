#pragma once
// Reading image files into pictures and writing pictures to files, without windows.
// Every failure comes back as a short reason; callers name the file.

#include "frame_formats.h"
#include "frame_ref.h"
#include "viewer_rules.h"

#include <QImage>
#include <QString>

#include <string>

// BMP entry: ".jpg"/".jpeg" names are decoded as JPEG (24-bit), anything else as BMP in the
// file's own pixel format (an 8-bit palette stays 8-bit).
[[nodiscard]] bool LoadBmpEntry(const QString& path, QImage& picture, std::string& error);
// JPEG entry: decoded through libjpeg into a 24-bit picture.
[[nodiscard]] bool LoadJpeg(const QString& path, QImage& picture, std::string& error);
// FITS entry: 16-bit FITS values as a 24-bit grey picture, the largest value white.
[[nodiscard]] bool LoadFits(const QString& path, QImage& picture, std::string& error);
// The same on a scale shared with other frames (null: the frame's own).
[[nodiscard]] bool LoadFits(const QString& path, const ValueScale* scale, QImage& picture,
                            std::string& error);
// A SER video's frame. Samples of up to 8 bits are shown as they are (scaled to 0..255),
// deeper ones with the frame's largest value white, as FITS frames are; Bayer frames show
// their raw values in grey.
[[nodiscard]] bool LoadSerFrame(const framesifter::FrameRef& frame, QImage& picture,
                                std::string& error);
// The same with deeper samples on a scale shared with other frames (null: the frame's own).
[[nodiscard]] bool LoadSerFrame(const framesifter::FrameRef& frame, const ValueScale* scale,
                                QImage& picture, std::string& error);
// A still file, or a video's frame, read as `format` says.
[[nodiscard]] bool LoadPicture(const framesifter::FrameRef& frame, framesifter::FrameFormat format,
                               QImage& picture, std::string& error);
// The same with the frames that are stretched to their own values (FITS, SER deeper than 8
// bits) on `scale` instead, when there is one; the others are shown as they are either way.
[[nodiscard]] bool LoadPicture(const framesifter::FrameRef& frame, framesifter::FrameFormat format,
                               const ValueScale* scale, QImage& picture, std::string& error);

// BMP in the picture's own format (8-bit palettes stay 8-bit, the rest 24-bit). The target
// is replaced only once the new file is complete.
[[nodiscard]] bool SaveBmp(const QString& path, const QImage& picture, std::string& error);
// Colour baseline JPEG at `quality`. The target is replaced only once the new file is
// complete.
[[nodiscard]] bool SaveJpeg(const QString& path, const QImage& picture, int quality,
                            std::string& error);
