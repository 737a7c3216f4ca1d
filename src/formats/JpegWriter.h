#pragma once

#include <QImage>
#include <QString>

// Writes a 24-bit blue-green-red bitmap as a baseline JPEG of quality 100 (libjpeg's
// defaults for RGB input, baseline tables forced), atomically. Throws an error naming the
// file when the bitmap is empty or the file cannot be written.
void writeJpeg(const QImage& bitmap, const QString& path);
