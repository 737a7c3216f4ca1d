#include "Compositing.h"

#include "formats/ImageConversion.h"
#include "formats/Picture.h"

#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <new>

namespace {

// A negative border width (only a hand-edited settings file holds one) enlarges the mask's
// rectangle beyond the photo; beyond this it is limited so the rectangle stays representable.
constexpr int kMaxOutset = 1 << 20;

// Coverage is drawn in bands of about this many pixels, so a large photo never needs a
// coverage bitmap of its own size.
constexpr int kBandPixels = 1 << 20;

void fillRow(uint8_t* p, int count, const uint8_t color[3])
{
    for (int x = 0; x < count; ++x, p += 3) {
        p[0] = color[0];
        p[1] = color[1];
        p[2] = color[2];
    }
}

} // namespace

// Coverage is white in the border, black inside it, with the mask picture drawn stretched
// over the inside; the photo is blended toward the background color in proportion to it.
void DoMask(QImage& bitmap, const Picture* maskPicture, const PhotoSettings& info)
{
    if (info.Mask.isEmpty() && info.BorderWidth <= 0)
        return;
    const int width = bitmap.width();
    const int height = bitmap.height();
    if (bitmap.isNull() || width == 0 || height == 0)
        return;

    const int b = std::max(std::min(info.BorderWidth, std::min(width, height) / 2), -kMaxOutset);
    const QRect inner(b, b, width - 2 * b, height - 2 * b);
    const bool drawPicture = maskPicture && maskPicture->width() > 0 && maskPicture->height() > 0
        && !inner.isEmpty();
    if (b <= 0 && !drawPicture)
        return; // all coverage black

    if (bitmap.format() != kBitmapFormat)
        bitmap = toBgr888(bitmap);
    if (!bitmap.bits())
        throw std::bad_alloc(); // the copy of a shared bitmap failed
    const uint8_t background[3] = {uint8_t(colorBlue(info.BackgroundColor)),
                                   uint8_t(colorGreen(info.BackgroundColor)),
                                   uint8_t(colorRed(info.BackgroundColor))};

    if (!drawPicture) {
        // Only the border: full coverage there gives exactly the background color.
        for (int y = 0; y < height; ++y) {
            uint8_t* p = bitmap.scanLine(y);
            if (y < b || y >= height - b) {
                fillRow(p, width, background);
            } else {
                fillRow(p, b, background);
                fillRow(p + size_t(width - b) * 3, b, background);
            }
        }
        return;
    }

    const int bandRows = std::clamp(kBandPixels / width, 1, height);
    QImage band(width, bandRows, QImage::Format_RGB32);
    if (band.isNull())
        throw std::bad_alloc();
    for (int top = 0; top < height; top += bandRows) {
        const int rows = std::min(bandRows, height - top);
        band.fill(Qt::white);
        {
            QPainter painter(&band);
            painter.translate(0, -top);
            painter.fillRect(inner, Qt::black);
            maskPicture->draw(painter, inner);
        }
        for (int row = 0; row < rows; ++row) {
            const QRgb* m = reinterpret_cast<const QRgb*>(band.constScanLine(row));
            uint8_t* p = bitmap.scanLine(top + row);
            for (int x = 0; x < width; ++x, p += 3) {
                const uint32_t a = (uint32_t(qRed(m[x])) + qGreen(m[x]) + qBlue(m[x])) / 3;
                if (a == 0)
                    continue;
                if (a == 255) {
                    p[0] = background[0];
                    p[1] = background[1];
                    p[2] = background[2];
                    continue;
                }
                // A weighted mean of two bytes: always within 0..255.
                for (int c = 0; c < 3; ++c)
                    p[c] = uint8_t(((255 - a) * p[c] + a * background[c]) / 255);
            }
        }
    }
}
