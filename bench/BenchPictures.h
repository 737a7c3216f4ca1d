#pragma once

// Pictures the benchmarks work on, made in the run rather than shipped.
#include <QImage>
#include <QString>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>

// width x height of photo-like content: smooth gradients under fine grain, so that encoders
// and decoders meet the amount of detail of a real photo.
inline QImage photoLikePicture(int width = 6000, int height = 4000)
{
    QImage image(width, height, QImage::Format_BGR888);
    uint32_t noise = 12345;
    for (int y = 0; y < image.height(); ++y) {
        uint8_t* p = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = int(noise >> 28) - 8;
            p[3 * x] = uint8_t(std::clamp(60 + y / 30 + grain, 0, 255));
            p[3 * x + 1] = uint8_t(std::clamp(90 + (x + y) / 60 + grain, 0, 255));
            p[3 * x + 2] = uint8_t(std::clamp(40 + x / 40 + grain, 0, 255));
        }
    }
    return image;
}

// A photo-like BMP of width x height, written once per run into a temporary folder that
// lasts until the program ends.
inline QString photoLikeBmp(int width, int height)
{
    static QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("photo-%1x%2.bmp").arg(width).arg(height));
    if (!QFile::exists(path))
        photoLikePicture(width, height).save(path);
    return path;
}
