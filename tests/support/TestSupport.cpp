#include "TestSupport.h"

#include "formats/ImageConversion.h"
#include "formats/JpegWriter.h"
#include "model/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>

QString testDataDir()
{
    return QString::fromUtf8(LUMATRIM_TEST_DATA_DIR);
}

QString freshFolder(const QString& name)
{
    QDir dir(programFolder());
    dir.mkpath(name);
    QDir sub(dir.filePath(name));
    sub.removeRecursively();
    dir.mkpath(name);
    return dir.filePath(name);
}

QImage solidBitmap(int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    QImage image(width, height, kBitmapFormat);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image.scanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    }
    return image;
}

QImage randomBitmap(int width, int height, uint32_t seed)
{
    std::mt19937 rng(seed);
    QImage image(width, height, kBitmapFormat);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image.scanLine(y);
        for (int x = 0; x < width * 3; ++x)
            p[x] = uint8_t(rng());
    }
    return image;
}

uint32_t rgbAt(const QImage& bitmap, int x, int y)
{
    const uint8_t* p = bitmap.constScanLine(y) + 3 * x;
    return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

int maxChannelDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return -1;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uint8_t* p = a.constScanLine(y);
        const uint8_t* q = b.constScanLine(y);
        for (int x = 0; x < a.width() * 3; ++x)
            worst = std::max(worst, std::abs(int(p[x]) - int(q[x])));
    }
    return worst;
}

std::vector<uint32_t> pixelsOf(const QImage& bitmap)
{
    std::vector<uint32_t> pixels;
    pixels.reserve(size_t(bitmap.width()) * size_t(bitmap.height()));
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x)
            pixels.push_back(rgbAt(bitmap, x, y));
    return pixels;
}

std::string bitmapDifference(const QImage& expected, const QImage& actual, int tolerance)
{
    std::ostringstream out;
    if (expected.size() != actual.size()) {
        out << "size " << actual.width() << "x" << actual.height() << ", expected " << expected.width() << "x"
            << expected.height();
        return out.str();
    }
    const QImage e = toBgr888(expected);
    const QImage a = toBgr888(actual);
    for (int y = 0; y < e.height(); ++y) {
        if (std::memcmp(e.constScanLine(y), a.constScanLine(y), size_t(e.width()) * 3) == 0)
            continue;
        const uint8_t* er = e.constScanLine(y);
        const uint8_t* ar = a.constScanLine(y);
        for (int x = 0; x < e.width(); ++x) {
            const bool near = std::abs(er[3 * x] - ar[3 * x]) <= tolerance &&
                              std::abs(er[3 * x + 1] - ar[3 * x + 1]) <= tolerance &&
                              std::abs(er[3 * x + 2] - ar[3 * x + 2]) <= tolerance;
            if (!near) {
                out << "pixel (" << x << ", " << y << ") is #" << std::hex << rgbAt(a, x, y) << ", expected #"
                    << rgbAt(e, x, y);
                return out.str();
            }
        }
    }
    return {};
}

double meanSampleDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uint8_t* p = a.constScanLine(y);
        const uint8_t* q = b.constScanLine(y);
        for (int i = 0; i < a.width() * 3; ++i)
            sum += std::abs(int(p[i]) - int(q[i]));
    }
    return sum / (double(a.width()) * a.height() * 3);
}

QByteArray readFileBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return f.readAll();
}

void writeFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}


QString corpusFile(const char* relative)
{
    const QString path = corpusDir() + QLatin1Char('/') + QString::fromUtf8(relative);
    if (!QFileInfo::exists(path))
        ADD_FAILURE() << "corpus file missing: " << path.toStdString();
    return path;
}

QStringList corpusFiles(const QString& extension)
{
    QDir dir(corpusDir() + QLatin1Char('/') + extension);
    if (!dir.exists())
        ADD_FAILURE() << "corpus folder missing: " << dir.path().toStdString();
    QStringList files;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        if (name.endsWith(QLatin1String(".ref.png")) || name.endsWith(QLatin1String(".ref-rgb.png")))
            continue;
        files << dir.filePath(name);
    }
    return files;
}

QString referenceFor(const QString& pictureFile, bool upright)
{
    if (const QString turned = pictureFile + QLatin1String(".upright.ref.png"); upright && QFile::exists(turned))
        return turned;
    for (const char* suffix : {".ref-rgb.png", ".ref.png"}) {
        const QString candidate = pictureFile + QLatin1String(suffix);
        if (QFile::exists(candidate))
            return candidate;
    }
    return {};
}

QImage loadReference(const QString& referenceFile)
{
    QImageReader reader(referenceFile, "png");
    reader.setAutoTransform(false);
    return toBgr888(reader.read());
}

QString keepMismatch(const QString& pictureFile, const QImage& actual)
{
    QDir dir(QString::fromUtf8(LUMATRIM_BINARY_DIR));
    dir.mkpath(QStringLiteral("mismatches"));
    const QString out = dir.filePath(QStringLiteral("mismatches/") + QFileInfo(pictureFile).fileName() + QStringLiteral(".actual.png"));
    actual.save(out, "png");
    return out;
}

QByteArray withExifOrientation(const QByteArray& jpeg, int orientation)
{
    // "Exif", a little-endian TIFF header and one directory holding Orientation as a short.
    const char segment[] = {'\xFF', '\xE1', 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                            1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, char(orientation), 0, 0, 0, 0, 0, 0, 0};
    return jpeg.left(2) + QByteArray(segment, sizeof segment) + jpeg.mid(2);
}

QString writeJpegWithOrientation(const QString& path, const QImage& picture, int orientation)
{
    writeJpeg(picture, path);
    writeFileBytes(path, withExifOrientation(readFileBytes(path), orientation));
    return path;
}

std::span<const uint8_t> spanOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())};
}
