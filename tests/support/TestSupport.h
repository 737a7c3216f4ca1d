#pragma once

#include "Corpus.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Skips the running test, naming the folder, when the shared sample pictures are absent.
// Every test that reads the corpus starts with it.
#define SKIP_WITHOUT_CORPUS()                                   \
    do {                                                        \
        if (!corpusPresent())                                   \
            GTEST_SKIP() << corpusMissingLine().toStdString();  \
    } while (false)

// The bytes of an array, as a decoder reads them.
std::span<const uint8_t> spanOf(const QByteArray& bytes);

// Files the tests keep in the repository (tests/data).
QString testDataDir();
// A fresh empty folder inside the test run's program folder.
QString freshFolder(const QString& name);

// A 24-bit blue-green-red bitmap filled with one color.
QImage solidBitmap(int width, int height, uint8_t r, uint8_t g, uint8_t b);
// A 24-bit bitmap of pseudo-random pixels, the same for the same seed.
QImage randomBitmap(int width, int height, uint32_t seed);

// The largest difference of any channel between two 24-bit bitmaps, or -1 when their sizes
// differ.
int maxChannelDifference(const QImage& a, const QImage& b);
// Pixel (x, y) of a 24-bit blue-green-red bitmap as 0xRRGGBB.
uint32_t rgbAt(const QImage& bitmap, int x, int y);
// Every pixel of a 24-bit bitmap as 0xRRGGBB, top row first.
std::vector<uint32_t> pixelsOf(const QImage& bitmap);

// An empty string when both 24-bit bitmaps have the same size and no sample differs by more
// than tolerance (0: the same bytes), else a description of the first difference.
std::string bitmapDifference(const QImage& expected, const QImage& actual, int tolerance = 0);

// The mean absolute difference per sample of two 24-bit bitmaps of the same size.
double meanSampleDifference(const QImage& a, const QImage& b);

// The file's bytes; a file that cannot be read fails the test, naming it, and gives none.
QByteArray readFileBytes(const QString& path);
void writeFileBytes(const QString& path, const QByteArray& bytes);

// A corpus file by its path below the corpus folder, such as "tga/sample.tga"; a missing file
// fails the test, naming it.
QString corpusFile(const char* relative);
// The picture files of corpus/<ext>/ (reference decodes left out), sorted by name; a missing
// folder fails the test, naming it.
QStringList corpusFiles(const QString& extension);
// A JPEG file's bytes with an APP1 EXIF segment recording the orientation right after its
// start marker, as cameras write it.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation);
// Writes the picture as a JPEG recording the orientation; returns the path.
QString writeJpegWithOrientation(const QString& path, const QImage& picture, int orientation);

// The reference decode of a corpus file: for a picture decoded upright, NAME.upright.ref.png
// where it exists (a file recording its camera's orientation); else NAME.ref-rgb.png where it
// exists (alpha dropped), else NAME.ref.png (the pixels as stored), else an empty string.
QString referenceFor(const QString& pictureFile, bool upright = true);
// Reads a reference PNG as a 24-bit blue-green-red bitmap, without gamma correction.
QImage loadReference(const QString& referenceFile);
// Writes a decode that did not match next to the build, for inspection; returns its path.
QString keepMismatch(const QString& pictureFile, const QImage& actual);
