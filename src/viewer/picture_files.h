#pragma once
// Reading image files into pictures and writing pictures to files, without windows.
// Every failure comes back as a short reason; callers name the file.

#include "frame_formats.h"
#include "frame_ref.h"

#include <QImage>
#include <QString>

// BMP entry: ".jpg"/".jpeg" names are decoded as JPEG (24-bit), anything else as BMP in the
// file's own pixel format (an 8-bit palette stays 8-bit).
bool LoadBmpEntry(const QString& path, QImage& picture, QString& error);
// JPEG entry: decoded through libjpeg into a 24-bit picture.
bool LoadJpeg(const QString& path, QImage& picture, QString& error);
// FITS entry: 16-bit FITS values as a 24-bit grey picture, the largest value white.
bool LoadFits(const QString& path, QImage& picture, QString& error);
// A SER video's frame. Samples of up to 8 bits are shown as they are (scaled to 0..255),
// deeper ones with the frame's largest value white, as FITS frames are; Bayer frames show
// their raw values in grey.
bool LoadSerFrame(const framesifter::FrameRef& frame, QImage& picture, QString& error);
// A still file, or a video's frame, read as `format` says.
bool LoadPicture(const framesifter::FrameRef& frame, framesifter::FrameFormat format,
                 QImage& picture, QString& error);

// BMP in the picture's own format (8-bit palettes stay 8-bit, the rest 24-bit). The target
// is replaced only once the new file is complete.
bool SaveBmp(const QString& path, const QImage& picture, QString& error);
// Colour baseline JPEG at `quality`. The target is replaced only once the new file is
// complete.
bool SaveJpeg(const QString& path, const QImage& picture, int quality, QString& error);
