#include "Resample.h"

#include "Geometry.h"
#include "formats/ImageLimits.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    // Slots in multiples of 8, for the vector loops; unused slots weigh 0.
    table.stride = (int(std::ceil(2.0 * support)) + 1 + 7) & ~7;
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

// The rows' results: one row of outWidth x 3 values per source row read, `stride` values apart
// (a multiple of 8, with room for one value more).
struct RowResults {
    std::vector<int16_t> values;
    size_t stride = 0;
    int firstRow = 0;

    const int16_t* row(int sourceRow) const { return values.data() + size_t(sourceRow - firstRow) * stride; }
};

// One source row's blue, green and red apart, as 16-bit values from column `start` on, with
// zeros past the picture's edge so that every tap slot of the table can be read.
struct RowPlanes {
    std::vector<int16_t> values;
    int start = 0;
    size_t length = 0;

    RowPlanes(const TapTable& columns, int sourceWidth)
        : start(columns.first.front()),
          length(size_t(columns.first.back() - columns.first.front() + columns.stride))
    {
        values.assign(length * 3, 0);
        used = std::min<size_t>(length, size_t(sourceWidth - start));
    }
    void fill(const uint8_t* row)
    {
        int16_t* b = values.data();
        int16_t* g = b + length;
        int16_t* r = g + length;
        const uint8_t* p = row + size_t(start) * 3;
        for (size_t i = 0; i < used; ++i, p += 3) {
            b[i] = p[0];
            g[i] = p[1];
            r[i] = p[2];
        }
    }
    const int16_t* plane(int channel) const { return values.data() + size_t(channel) * length; }

private:
    size_t used = 0;
};

#if defined(__SSE2__)

// Both passes in SSE2 (every x86-64 processor has it): 16-bit products summed in pairs into
// 32 bits (pmaddwd). The arithmetic is exactly the plain loops', so results are the same.
void filterRowPixels(const RowPlanes& planes, const TapTable& columns, int outWidth, int16_t* dst)
{
    const int16_t* b = planes.plane(0);
    const int16_t* g = planes.plane(1);
    const int16_t* r = planes.plane(2);
    const __m128i round = _mm_set1_epi32(1 << (kRowShift - 1));
    for (int x = 0; x < outWidth; ++x, dst += 3) {
        const int16_t* w = columns.weightsOf(x);
        const size_t f = size_t(columns.first[size_t(x)] - planes.start);
        __m128i sb = _mm_setzero_si128();
        __m128i sg = sb;
        __m128i sr = sb;
        for (int k = 0; k < columns.stride; k += 8) {
            const __m128i wk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + k));
            sb = _mm_add_epi32(sb, _mm_madd_epi16(wk, _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + f + k))));
            sg = _mm_add_epi32(sg, _mm_madd_epi16(wk, _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + f + k))));
            sr = _mm_add_epi32(sr, _mm_madd_epi16(wk, _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + f + k))));
        }
        // The three sums of four lanes each into one vector: blue, green, red, 0.
        const __m128i zero = _mm_setzero_si128();
        const __m128i bg = _mm_add_epi32(_mm_unpacklo_epi32(sb, sg), _mm_unpackhi_epi32(sb, sg));
        const __m128i r0 = _mm_add_epi32(_mm_unpacklo_epi32(sr, zero), _mm_unpackhi_epi32(sr, zero));
        __m128i sums = _mm_add_epi32(_mm_unpacklo_epi64(bg, r0), _mm_unpackhi_epi64(bg, r0));
        sums = _mm_srai_epi32(_mm_add_epi32(sums, round), kRowShift);
        // Saturating to 16 bits is toRowValue's clamp. Four values are stored; the fourth
        // is overwritten by the next pixel or falls into the row's spare room.
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packs_epi32(sums, sums));
    }
}

void filterColumnsOfRow(const RowResults& rows, const TapTable& lines, int y, int rowLength, uint8_t* dst)
{
    const int16_t* w = lines.weightsOf(y);
    const int n = lines.count[size_t(y)];
    const int first = lines.first[size_t(y)];
    // Taps in pairs: two rows' values interleaved meet two weights in one pmaddwd. An odd
    // last tap pairs with itself at weight 0.
    std::vector<const int16_t*> rowPair(size_t(n + 1));
    std::vector<int32_t> weightPair(size_t((n + 1) / 2));
    for (int k = 0; k < n; ++k)
        rowPair[size_t(k)] = rows.row(first + k);
    rowPair[size_t(n)] = rowPair[size_t(n - 1)];
    for (int k = 0; k < n; k += 2) {
        const int16_t w1 = k + 1 < n ? w[k + 1] : int16_t(0);
        weightPair[size_t(k / 2)] = int32_t(uint32_t(uint16_t(w[k])) | (uint32_t(uint16_t(w1)) << 16));
    }
    const __m128i round = _mm_set1_epi32(1 << (kColumnShift - 1));
    for (int i = 0; i < rowLength; i += 8) {
        __m128i lo = round;
        __m128i hi = round;
        for (int k = 0; k < n; k += 2) {
            const __m128i weights = _mm_set1_epi32(weightPair[size_t(k / 2)]);
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rowPair[size_t(k)] + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rowPair[size_t(k + 1)] + i));
            lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), weights));
            hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), weights));
        }
        lo = _mm_srai_epi32(lo, kColumnShift);
        hi = _mm_srai_epi32(hi, kColumnShift);
        const __m128i words = _mm_packs_epi32(lo, hi);
        const __m128i bytes = _mm_packus_epi16(words, words); // the clamp to 0..255
        if (i + 8 <= rowLength) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + i), bytes);
        } else {
            alignas(16) uint8_t last[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(last), bytes);
            std::memcpy(dst + i, last, size_t(rowLength - i));
        }
    }
}

#else

void filterRowPixels(const RowPlanes& planes, const TapTable& columns, int outWidth, int16_t* dst)
{
    for (int x = 0; x < outWidth; ++x, dst += 3) {
        const int16_t* w = columns.weightsOf(x);
        const size_t f = size_t(columns.first[size_t(x)] - planes.start);
        for (int c = 0; c < 3; ++c) {
            const int16_t* p = planes.plane(c) + f;
            int32_t sum = 1 << (kRowShift - 1);
            for (int k = 0; k < columns.count[size_t(x)]; ++k)
                sum += w[k] * p[k];
            dst[c] = toRowValue(sum);
        }
    }
}

void filterColumnsOfRow(const RowResults& rows, const TapTable& lines, int y, int rowLength, uint8_t* dst)
{
    const int16_t* w = lines.weightsOf(y);
    const int n = lines.count[size_t(y)];
    std::vector<int32_t> sums(size_t(rowLength), int32_t(1) << (kColumnShift - 1));
    for (int k = 0; k < n; ++k) {
        const int16_t* row = rows.row(lines.first[size_t(y)] + k);
        for (int i = 0; i < rowLength; ++i)
            sums[size_t(i)] += w[k] * row[i];
    }
    for (int i = 0; i < rowLength; ++i)
        dst[i] = uint8_t(std::clamp(sums[size_t(i)] >> kColumnShift, 0, 255));
}

#endif

// Filters each source row some output row reads along the row.
RowResults filterRows(const QImage& source, const TapTable& columns, const TapTable& lines, int outWidth)
{
    RowResults rows;
    rows.firstRow = lines.first.front();
    int end = rows.firstRow;
    for (size_t y = 0; y < lines.first.size(); ++y)
        end = std::max(end, lines.first[y] + lines.count[y]);
    rows.stride = (size_t(outWidth) * 3 + 8) & ~size_t(7);
    rows.values.assign(size_t(end - rows.firstRow) * rows.stride, 0);
    RowPlanes planes(columns, source.width());
    for (int r = rows.firstRow; r < end; ++r) {
        planes.fill(source.constScanLine(r));
        filterRowPixels(planes, columns, outWidth, rows.values.data() + size_t(r - rows.firstRow) * rows.stride);
    }
    return rows;
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

    const RowResults rows = filterRows(source, columns, lines, outSize.width());
    for (int y = 0; y < outSize.height(); ++y)
        filterColumnsOfRow(rows, lines, y, outSize.width() * 3, result.scanLine(y));
    return result;
}

ReducedImage reduceByBoxAverage(const QImage& source, int denominator)
{
    const int W = source.width();
    const int H = source.height();
    const int d = std::max(denominator, 1);
    if (d == 1 || W <= 0 || H <= 0)
        return ReducedImage{source, source.size(), 1, {}};
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
    return ReducedImage{result, source.size(), d, {}};
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
    const QPoint start = source.blockStart;
    const QRectF reducedArea(double(area.Left - start.x()) / d, double(area.Top - start.y()) / d, double(width) / d,
                             double(height) / d);
    bitmap = resampleArea(source.image, reducedArea, out);
}
