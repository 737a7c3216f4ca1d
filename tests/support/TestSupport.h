#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>
#include <string>

// The shared sample pictures with their reference decodes.
QString corpusDir();
// Files the tests keep in the repository (tests/data).
QString testDataDir();
// A fresh empty folder inside the test run's program folder.
QString freshFolder(const QString& name);

// A 24-bit blue-green-red bitmap filled with one color.
QImage solidBitmap(int width, int height, uint8_t r, uint8_t g, uint8_t b);
// A 24-bit bitmap of pseudo-random pixels, the same for the same seed.
QImage randomBitmap(int width, int height, uint32_t seed);

// Pixel (x, y) of a 24-bit blue-green-red bitmap as 0xRRGGBB.
uint32_t rgbAt(const QImage& bitmap, int x, int y);

// An empty string when both 24-bit bitmaps have the same size and bytes, else a
// description of the first difference.
std::string bitmapDifference(const QImage& expected, const QImage& actual);

QByteArray readFileBytes(const QString& path);
void writeFileBytes(const QString& path, const QByteArray& bytes);
