#pragma once

#include <QImage>

// The 24-bit bitmap of the pipeline: rows from the top, pixels blue, green, red.
inline constexpr QImage::Format kBitmapFormat = QImage::Format_BGR888;

// Converts any image to kBitmapFormat. Palettes are expanded; alpha is dropped, keeping the
// color channels as stored (never blended or premultiplied). An image already in
// kBitmapFormat is returned as a shallow copy.
QImage toBgr888(const QImage& image);
