#pragma once

#include "PictureError.h"

#include <QByteArray>
#include <QImage>
#include <QString>

// The range of the JPEG quality setting; 100 is what every file was written at before the
// setting existed.
inline constexpr int kJpegQualityMin = 1;
inline constexpr int kJpegQualityMax = 100;

// Compresses a bitmap as a baseline JPEG stream: three components from its red, green and
// blue, libjpeg's default compression settings (JFIF header, standard tables, 2x2 luma
// subsampling), then the quality (clamped to 1..100) with baseline tables, sequential. No
// metadata of any source goes into it. Any other format than 24-bit blue-green-red is
// converted first (alpha dropped). Every failure, an empty bitmap included, throws a
// PictureError.
QByteArray encodeJpeg(const QImage& bgr888Bitmap, int quality = kJpegQualityMax);

// What encodeJpeg throws: "Unable to compress the picture as JPEG: <reason>", with the
// reason alone for a writer that names its file.
class JpegCompressionError : public PictureError {
public:
    explicit JpegCompressionError(const QString& reason);
    QString reason() const { return reason_; }

private:
    QString reason_;
};

// Writes encodeJpeg(bgr888Bitmap, quality) as a file, so a file is byte for byte the stream
// encodeJpeg gives. The file is replaced atomically: it is either the complete new JPEG or
// left as it was. Every failure throws a PictureError naming the file.
void writeJpeg(const QImage& bgr888Bitmap, const QString& path, int quality = kJpegQualityMax);

// Writes an already compressed stream the same way (atomically, a failure naming the file).
void writeJpegBytes(const QByteArray& jpeg, const QString& path);
