#include "Compositing.h"

#include "formats/ImageLimits.h"
#include "formats/Picture.h"

#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// A negative border width (only a hand-edited settings file holds one) enlarges the mask's
// rectangle beyond the photo; beyond this it is limited so the rectangle stays representable.
constexpr int kMaxOutset = 1 << 20;

void fillRow(uint8_t* p, int count, const uint8_t color[3])
{
    for (int x = 0; x < count; ++x, p += 3) {
        p[0] = color[0];
        p[1] = color[1];
        p[2] = color[2];
    }
}

// Blends count pixels toward the background color by their coverage (0..255).
void blendRow(uint8_t* p, const uint8_t* cover, int count, const uint8_t background[3])
{
    for (int x = 0; x < count; ++x, p += 3) {
        const uint32_t a = cover[x];
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

// Target pixel i of n stretched from size source pixels takes the source pixel under its
// centre: floor((i + 0.5) x size / n).
int sourceIndex(int64_t i, int64_t n, int64_t size)
{
    return int((2 * i + 1) * size / (2 * n));
}

// A raster mask stretched over inner by nearest-neighbour sampling, for the visible part area
// of inner. Coverage of a mask pixel is the mean of its three channels.
void blendRaster(QImage& bitmap, const QImage& mask, const QRect& inner, const QRect& area,
                 const uint8_t background[3])
{
    std::vector<int> columns(size_t(area.width()));
    for (int x = 0; x < area.width(); ++x)
        columns[size_t(x)] = sourceIndex(area.left() + x - inner.left(), inner.width(), mask.width());
    std::vector<uint8_t> cover(size_t(area.width()));
    int coverRow = -1; // the mask row that cover holds; rows repeat when the mask is enlarged
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const int row = sourceIndex(y - inner.top(), inner.height(), mask.height());
        if (row != coverRow) {
            const uint8_t* m = mask.constScanLine(row);
            for (size_t x = 0; x < columns.size(); ++x) {
                const uint8_t* px = m + size_t(columns[x]) * 3;
                cover[x] = uint8_t((uint32_t(px[0]) + px[1] + px[2]) / 3);
            }
            coverRow = row;
        }
        blendRow(bitmap.scanLine(y) + size_t(area.left()) * 3, cover.data(), area.width(), background);
    }
}

// Any other picture draws itself over a black coverage bitmap of the visible part of inner.
// The painter's origin is the photo's, so the result equals drawing over a coverage bitmap of
// the whole photo (a picture draws inside its target only).
void blendDrawn(QImage& bitmap, const Picture& picture, const QRect& inner, const QRect& area,
                const uint8_t background[3])
{
    QImage coverage = allocateRenderedBitmap(area.width(), area.height(), QImage::Format_RGB32);
    coverage.fill(Qt::black);
    {
        QPainter painter(&coverage);
        painter.translate(-area.topLeft());
        picture.draw(painter, inner);
    }
    std::vector<uint8_t> cover(size_t(area.width()));
    for (int row = 0; row < area.height(); ++row) {
        const QRgb* m = reinterpret_cast<const QRgb*>(coverage.constScanLine(row));
        for (size_t x = 0; x < cover.size(); ++x)
            cover[x] = uint8_t((uint32_t(qRed(m[x])) + qGreen(m[x]) + qBlue(m[x])) / 3);
        blendRow(bitmap.scanLine(area.top() + row) + size_t(area.left()) * 3, cover.data(), area.width(),
                 background);
    }
}

} // namespace

// Coverage is white in the border, black inside it, with the mask picture stretched over the
// inside; the photo is blended toward the background color in proportion to it. Coverage is
// only worked out where it can be nonzero: the border, and the inside when there is a picture.
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

    writablePixels(bitmap);
    const uint8_t background[3] = {uint8_t(colorBlue(info.BackgroundColor)),
                                   uint8_t(colorGreen(info.BackgroundColor)),
                                   uint8_t(colorRed(info.BackgroundColor))};

    // The border: full coverage there gives exactly the background color.
    if (b > 0) {
        for (int y = 0; y < height; ++y) {
            uint8_t* p = bitmap.scanLine(y);
            if (y < b || y >= height - b) {
                fillRow(p, width, background);
            } else {
                fillRow(p, b, background);
                fillRow(p + size_t(width - b) * 3, b, background);
            }
        }
    }
    if (!drawPicture)
        return;

    const QRect area = inner & QRect(0, 0, width, height);
    if (const auto* raster = dynamic_cast<const RasterPicture*>(maskPicture))
        blendRaster(bitmap, toRenderedBitmap(raster->image()), inner, area, background);
    else
        blendDrawn(bitmap, *maskPicture, inner, area, background);
}
