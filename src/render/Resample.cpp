#include "Resample.h"

#include "Geometry.h"
#include "formats/ImageLimits.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

// Weights are fixed point with 14 fractional bits. A row's sums are shifted down by 8 and keep
// 6 fractional bits in 16 bits (a Lanczos-3 sum of 0..255 stays within -0.35 .. 1.35 of 255),
// and the columns' sums of those, with 20 fractional bits, are rounded to whole values.
constexpr int kWeightBits = 14;
constexpr int kWeightOne = 1 << kWeightBits;
constexpr int kRowShift = 8;
constexpr int kColumnShift = 2 * kWeightBits - kRowShift;

double lanczos3(double x)
{
    x = std::abs(x);
    if (x < 1e-9)
        return 1.0;
    if (x >= 3.0)
        return 0.0;
    const double px = std::numbers::pi * x;
    return 3.0 * std::sin(px) * std::sin(px / 3.0) / (px * px);
}

// For each output index along one direction: the first source index it reads and the
// fixed-point weights of its taps, `stride` slots per output index (unused slots 0).
struct TapTable {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<int16_t> weights;
    int stride = 0;

    const int16_t* weightsOf(int i) const { return weights.data() + size_t(i) * size_t(stride); }
};

// Output pixel j's centre lies at start + (j + 0.5) * scale in source coordinates, where
// source pixel i spans i .. i+1. Taps are the source pixels within the filter's support
// (3 output pixels either side when shrinking, 3 source pixels when enlarging) that overlap
// start .. start + length.
TapTable tapTable(int outSize, double start, double length, int sourceSize)
{
    const double scale = length / outSize;
    const double filterScale = std::max(scale, 1.0);
    const double support = 3.0 * filterScale;
    const int lo = std::clamp(int(std::floor(start)), 0, sourceSize - 1);
    const int hi = std::clamp(int(std::ceil(start + length)), lo + 1, sourceSize);

    TapTable table;
    table.stride = int(std::ceil(2.0 * support)) + 1;
    table.first.resize(size_t(outSize));
    table.count.resize(size_t(outSize));
    table.weights.assign(size_t(outSize) * size_t(table.stride), 0);
    std::vector<double> exact(size_t(table.stride));
    for (int j = 0; j < outSize; ++j) {
        const double centre = start + (j + 0.5) * scale;
        int a = std::max(lo, int(std::ceil(centre - support - 0.5)));
        const int b = std::min({hi - 1, int(std::floor(centre + support - 0.5)), a + table.stride - 1});
        int n = b - a + 1;
        double sum = 0;
        for (int k = 0; k < n; ++k) {
            exact[size_t(k)] = lanczos3((a + k + 0.5 - centre) / filterScale);
            sum += exact[size_t(k)];
        }
        int16_t* w = table.weights.data() + size_t(j) * size_t(table.stride);
        if (n < 1 || sum <= 1e-9) {
            // No pixel within the support carries weight: the one under the centre does.
            a = std::clamp(int(std::floor(centre)), lo, hi - 1);
            n = 1;
            w[0] = int16_t(kWeightOne);
        } else {
            // Rounded weights, the rounding's remainder given to the largest, so that they
            // sum to exactly 1 and a flat area stays flat.
            int total = 0;
            int largest = 0;
            for (int k = 0; k < n; ++k) {
                w[k] = int16_t(std::lround(exact[size_t(k)] / sum * kWeightOne));
                total += w[k];
                if (w[k] > w[largest])
                    largest = k;
            }
            w[largest] = int16_t(w[largest] + (kWeightOne - total));
        }
        table.first[size_t(j)] = a;
        table.count[size_t(j)] = n;
    }
    return table;
}

inline int16_t toRowValue(int32_t sum)
{
    return int16_t(std::clamp(sum >> kRowShift, int32_t(INT16_MIN), int32_t(INT16_MAX)));
}

// Filters each source row from firstRow on into one row of `rows` (outWidth x 3 values).
void filterRows(const QImage& source, int firstRow, int rowCount, const TapTable& columns, int outWidth,
                std::vector<int16_t>& rows)
{
    const size_t rowLength = size_t(outWidth) * 3;
    for (int r = 0; r < rowCount; ++r) {
        const uint8_t* src = source.constScanLine(firstRow + r);
        int16_t* dst = rows.data() + size_t(r) * rowLength;
        for (int x = 0; x < outWidth; ++x, dst += 3) {
            const uint8_t* p = src + size_t(columns.first[size_t(x)]) * 3;
            const int16_t* w = columns.weightsOf(x);
            const int n = columns.count[size_t(x)];
            int32_t b = 1 << (kRowShift - 1);
            int32_t g = b;
            int32_t red = b;
            for (int k = 0; k < n; ++k, p += 3) {
                b += w[k] * p[0];
                g += w[k] * p[1];
                red += w[k] * p[2];
            }
            dst[0] = toRowValue(b);
            dst[1] = toRowValue(g);
            dst[2] = toRowValue(red);
        }
    }
}

// Filters the rows' results down each column into the result.
void filterColumns(const std::vector<int16_t>& rows, int firstRow, const TapTable& lines, QImage& result)
{
    const size_t rowLength = size_t(result.width()) * 3;
    std::vector<int32_t> sums(rowLength);
    for (int y = 0; y < result.height(); ++y) {
        std::fill(sums.begin(), sums.end(), int32_t(1) << (kColumnShift - 1));
        const int16_t* w = lines.weightsOf(y);
        const int n = lines.count[size_t(y)];
        for (int k = 0; k < n; ++k) {
            const int16_t* row = rows.data() + size_t(lines.first[size_t(y)] + k - firstRow) * rowLength;
            const int32_t weight = w[k];
            int32_t* s = sums.data();
            for (size_t i = 0; i < rowLength; ++i)
                s[i] += weight * row[i];
        }
        uint8_t* dst = result.scanLine(y);
        for (size_t i = 0; i < rowLength; ++i)
            dst[i] = uint8_t(std::clamp(sums[i] >> kColumnShift, 0, 255));
    }
}

} // namespace

int sourceReduction(QSize pictureSize, const PhotoSettings& info)
{
    if (!info.Resample)
        return 1;
    const TRect crop = clipCropRect(info.CropRect, pictureSize.width(), pictureSize.height());
    const int64_t width = crop.isEmpty() ? pictureSize.width() : crop.Right - crop.Left;
    const int64_t height = crop.isEmpty() ? pictureSize.height() : crop.Bottom - crop.Top;
    const QSize out = resizedSize(int(width), int(height), info);
    for (const int d : {8, 4, 2}) {
        if (width >= int64_t(2) * d * out.width() && height >= int64_t(2) * d * out.height())
            return d;
    }
    return 1;
}

QImage resampleArea(const QImage& source, const QRectF& area, QSize outSize)
{
    if (outSize.width() <= 0 || outSize.height() <= 0 || source.isNull() || area.isEmpty())
        return QImage();
    QImage result = allocateRenderedBitmap(outSize.width(), outSize.height());
    if (result.isNull())
        return result;
    const TapTable columns = tapTable(outSize.width(), area.left(), area.width(), source.width());
    const TapTable lines = tapTable(outSize.height(), area.top(), area.height(), source.height());

    // Only the source rows some output row reads are filtered.
    const int firstRow = lines.first.front();
    const int lastRow = lines.first.back() + lines.count.back() - 1;
    int rowCount = lastRow - firstRow + 1;
    for (int y = 0; y < outSize.height(); ++y)
        rowCount = std::max(rowCount, lines.first[size_t(y)] + lines.count[size_t(y)] - firstRow);
    std::vector<int16_t> rows(size_t(rowCount) * size_t(outSize.width()) * 3);
    filterRows(source, firstRow, rowCount, columns, outSize.width(), rows);
    filterColumns(rows, firstRow, lines, result);
    return result;
}

ReducedImage reduceByBoxAverage(const QImage& source, int denominator)
{
    const int W = source.width();
    const int H = source.height();
    const int d = std::max(denominator, 1);
    if (d == 1 || W <= 0 || H <= 0)
        return ReducedImage{source, source.size(), 1};
    const int outW = (W + d - 1) / d;
    const int outH = (H + d - 1) / d;
    QImage result = allocateRenderedBitmap(outW, outH);
    std::vector<uint32_t> sums(size_t(outW) * 3);
    const int fullColumns = W / d; // blocks of d columns; a last narrower one may follow
    for (int y = 0; y < outH; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        const int rowEnd = std::min(H, (y + 1) * d);
        for (int r = y * d; r < rowEnd; ++r) {
            const uint8_t* src = source.constScanLine(r);
            uint32_t* s = sums.data();
            for (int x = 0; x < outW; ++x, s += 3) {
                const int columnEnd = std::min(W, (x + 1) * d);
                for (int c = x * d; c < columnEnd; ++c) {
                    s[0] += src[3 * c];
                    s[1] += src[3 * c + 1];
                    s[2] += src[3 * c + 2];
                }
            }
        }
        uint8_t* dst = result.scanLine(y);
        const uint32_t rows = uint32_t(rowEnd - y * d);
        for (int x = 0; x < outW; ++x) {
            const uint32_t columns = x < fullColumns ? uint32_t(d) : uint32_t(W - x * d);
            const uint32_t n = rows * columns;
            for (int c = 0; c < 3; ++c)
                dst[3 * x + c] = uint8_t((sums[size_t(3 * x + c)] + n / 2) / n);
        }
    }
    return ReducedImage{result, source.size(), d};
}

void DoResample(QImage& bitmap, const ReducedImage& source, PhotoSettings& info)
{
    const QSize full = source.pictureSize;
    info.CropRect = clipCropRect(info.CropRect, full.width(), full.height());
    const TRect area = info.CropRect.isEmpty() ? TRect{0, 0, full.width(), full.height()} : info.CropRect;
    const int width = area.Right - area.Left;
    const int height = area.Bottom - area.Top;
    const QSize out = resizedSize(width, height, info);
    const int d = source.denominator;
    if (d == 1 && out == QSize(width, height)) {
        // Nothing to filter: the crop alone.
        bitmap = source.image;
        PhotoSettings crop = info;
        DoCrop(bitmap, crop);
        return;
    }
    const QRectF reducedArea(double(area.Left) / d, double(area.Top) / d, double(width) / d, double(height) / d);
    bitmap = resampleArea(source.image, reducedArea, out);
}
