#include "Compositing.h"

#include "WatermarkFont.h"
#include "formats/ImageLimits.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cstdint>

// The coverage of the text is white on black; the photo is blended toward the font's color
// in proportion to it. Coverage is only drawn inside a box around the text: everywhere else
// it is black, which leaves the photo as it is.
void DoWatermark(QImage& bitmap, const PhotoSettings& info)
{
    if (info.Watermark.isEmpty())
        return;
    const int width = bitmap.width();
    const int height = bitmap.height();
    if (bitmap.isNull() || width == 0 || height == 0)
        return;
    // Weight of full coverage, 0..255 for opacities in range. At 0 nothing changes.
    const int64_t strength = 255 - int64_t(info.Opacity);
    if (strength == 0)
        return;

    const QFont font = watermarkFont(info.Font);
    const QFontMetrics metrics(font);
    const QSize size = watermarkTextSize(font, info.Watermark);
    const QPoint origin = watermarkOrigin(width, height, size.width(), size.height(), info);

    // Ink may reach beyond the advance box (italic overhang, bearings, underline); the padding
    // of a whole character height covers that and the antialiased fringe.
    QRect box(origin, size);
    box |= metrics.boundingRect(info.Watermark).translated(origin.x(), origin.y() + metrics.ascent());
    const int pad = font.pixelSize() + 2;
    box.adjust(-pad, -pad, pad, pad);
    box &= QRect(0, 0, width, height);
    if (box.isEmpty())
        return;

    QImage coverage = allocateRenderedBitmap(box.width(), box.height(), QImage::Format_RGB32);
    coverage.fill(Qt::black);
    {
        QPainter painter(&coverage);
        drawWatermarkText(painter, font, info.Watermark, origin - box.topLeft());
    }

    writablePixels(bitmap);

    std::array<int64_t, 256> weight{};
    for (int t = 0; t < 256; ++t)
        weight[size_t(t)] = t * strength / 255;
    const int64_t font3[3] = {colorBlue(info.Font.Color), colorGreen(info.Font.Color), colorRed(info.Font.Color)};

    for (int row = 0; row < box.height(); ++row) {
        const QRgb* t = reinterpret_cast<const QRgb*>(coverage.constScanLine(row));
        uint8_t* p = bitmap.scanLine(box.top() + row) + size_t(box.left()) * 3;
        for (int x = 0; x < box.width(); ++x, p += 3) {
            const int cover = (qRed(t[x]) + qGreen(t[x]) + qBlue(t[x])) / 3;
            if (cover == 0)
                continue;
            const int64_t a = weight[size_t(cover)];
            for (int c = 0; c < 3; ++c)
                p[c] = uint8_t(std::clamp<int64_t>(((255 - a) * p[c] + a * font3[c]) / 255, 0, 255));
        }
    }
}
