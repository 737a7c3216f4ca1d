#pragma once

#include <QImage>
#include <QString>

// Writes a bitmap as a baseline JPEG file: three components from its red, green and blue,
// libjpeg's default compression settings (JFIF header, standard tables, 2x2 luma
// subsampling), quality 100 with baseline tables, sequential. The file is replaced
// atomically: it is either the complete new JPEG or left as it was. Any other format than
// 24-bit blue-green-red is converted first (alpha dropped). Every failure, an empty bitmap
// included, throws a PictureError naming the file.
void writeJpeg(const QImage& bgr888Bitmap, const QString& path);
