#include "Geometry.h"

#include "formats/ImageLimits.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr QImage::Format kFormat = QImage::Format_BGR888;

inline void copyPixel(uint8_t* dst, const uint8_t* src)
{
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
}

// Nearest source index for each destination index: the source pixel under the centre of
// the destination pixel. Equal sizes map every index to itself.
std::vector<int> sampleTable(int destSize, int sourceSize)
{
    std::vector<int> table(size_t(std::max(destSize, 0)));
    for (int i = 0; i < destSize; ++i)
        table[size_t(i)] = int((int64_t(2 * i + 1) * sourceSize) / (int64_t(2) * destSize));
    return table;
}

} // namespace

TRect clipCropRect(const TRect& crop, int width, int height)
{
    const TRect image{0, 0, width, height};
    if (crop.isEmpty() || image.isEmpty() || crop.Right <= image.Left || crop.Left >= image.Right
        || crop.Bottom <= image.Top || crop.Top >= image.Bottom)
        return TRect{};
    return TRect{std::max(crop.Left, image.Left), std::max(crop.Top, image.Top), std::min(crop.Right, image.Right),
                 std::min(crop.Bottom, image.Bottom)};
}

void DoCrop(QImage& bitmap, PhotoSettings& info)
{
    info.CropRect = clipCropRect(info.CropRect, bitmap.width(), bitmap.height());
    const TRect& crop = info.CropRect;
    const int w = crop.Right - crop.Left;
    const int h = crop.Bottom - crop.Top;
    if (w < 1 || h < 1 || (w == bitmap.width() && h == bitmap.height()))
        return;
    // A view into the old pixels instead of a copy: the next step usually shrinks the image
    // and reads only the pixels it keeps. The view holds a reference to the old bitmap, and a
    // step that writes into it gets its own copy first (a view on const data never writes).
    auto* source = new QImage(bitmap);
    const uchar* first = source->constBits() + qsizetype(crop.Top) * source->bytesPerLine() + qsizetype(crop.Left) * 3;
    bitmap = QImage(first, w, h, source->bytesPerLine(), kFormat,
                    [](void* kept) { delete static_cast<QImage*>(kept); }, source);
}

QSize resizedSize(int width, int height, const PhotoSettings& info)
{
    const int W = width;
    const int H = height;
    const int S = info.MaxSize;
    if (W <= 0 || H <= 0)
        return QSize(W, H); // nothing to resize
    const int M = std::max(W, H);
    if (info.KeepSize && M < S)
        return QSize(W, H);

    int newW;
    int newH;
    if (W < H) {
        newW = int(std::nearbyint(double(int64_t(W) * S) / H));
        newH = S;
    } else {
        newH = int(std::nearbyint(double(int64_t(H) * S) / W));
        newW = S;
    }
    return QSize(std::max(newW, 0), std::max(newH, 0));
}

void DoResize(QImage& bitmap, const PhotoSettings& info)
{
    const int W = bitmap.width();
    const int H = bitmap.height();
    if (W <= 0 || H <= 0)
        return; // nothing to sample from
    const QSize size = resizedSize(W, H, info);
    const int newW = size.width();
    const int newH = size.height();
    if (newW == W && newH == H)
        return; // redrawing at the same size changes no pixel

    // The size is checked before anything is allocated: a stored maximum size far beyond the
    // dialog's range must not try to allocate gigabytes. An empty result (a side of 0) is
    // passed on as a null bitmap.
    QImage result = allocateRenderedBitmap(newW, newH);
    if (!result.isNull()) {
        // Cost in proportion to the destination: one table of source byte offsets serves
        // every row, and only the source rows that are kept are touched.
        std::vector<int> columns = sampleTable(newW, W);
        for (int& c : columns)
            c *= 3;
        const std::vector<int> rows = sampleTable(newH, H);
        int previousRow = -1;
        for (int y = 0; y < newH; ++y) {
            uint8_t* dst = result.scanLine(y);
            if (rows[size_t(y)] == previousRow) {
                std::memcpy(dst, result.constScanLine(y - 1), size_t(newW) * 3);
                continue;
            }
            previousRow = rows[size_t(y)];
            const uint8_t* src = bitmap.constScanLine(previousRow);
            for (int x = 0; x < newW; ++x, dst += 3)
                copyPixel(dst, src + columns[size_t(x)]);
        }
    }
    bitmap = result;
}

void DoRotate(QImage& bitmap, const PhotoSettings& info)
{
    const int R = info.Rotation;
    if ((R != 90 && R != 180 && R != 270) || bitmap.isNull())
        return;
    const int W = bitmap.width();
    const int H = bitmap.height();

    if (R == 180) {
        QImage result = allocateRenderedBitmap(W, H);
        for (int y = 0; y < H; ++y) {
            const uint8_t* src = bitmap.constScanLine(H - 1 - y) + size_t(W - 1) * 3;
            uint8_t* dst = result.scanLine(y);
            for (int x = 0; x < W; ++x, dst += 3, src -= 3)
                copyPixel(dst, src);
        }
        bitmap = result;
        return;
    }

    // 90 and 270: the result is H x W. Work in square tiles so that both the rows read and
    // the rows written stay in cache.
    const int newW = H;
    const int newH = W;
    QImage result = allocateRenderedBitmap(newW, newH);
    std::vector<const uint8_t*> rowStart(static_cast<size_t>(H));
    for (int y = 0; y < H; ++y)
        rowStart[size_t(y)] = bitmap.constScanLine(y);

    constexpr int kTile = 32;
    for (int ty = 0; ty < newH; ty += kTile) {
        const int yEnd = std::min(ty + kTile, newH);
        for (int tx = 0; tx < newW; tx += kTile) {
            const int xEnd = std::min(tx + kTile, newW);
            for (int y = ty; y < yEnd; ++y) {
                uint8_t* dst = result.scanLine(y) + size_t(tx) * 3;
                if (R == 90) {
                    // destination (x, y) takes source (newH - 1 - y, x)
                    const size_t column = size_t(newH - 1 - y) * 3;
                    for (int x = tx; x < xEnd; ++x, dst += 3)
                        copyPixel(dst, rowStart[size_t(x)] + column);
                } else {
                    // destination (x, y) takes source (y, newW - 1 - x)
                    const size_t column = size_t(y) * 3;
                    for (int x = tx; x < xEnd; ++x, dst += 3)
                        copyPixel(dst, rowStart[size_t(newW - 1 - x)] + column);
                }
            }
        }
    }
    bitmap = result;
}
