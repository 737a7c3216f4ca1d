#include "Tone.h"

#include "formats/ImageLimits.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

uint8_t clampByte(int64_t v)
{
    return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

// The value of one channel after contrast, brightness and its offset, for every input value.
// The negative switch inverts the input first, so it is folded into the table as well.
std::array<uint8_t, 256> channelTable(const PhotoSettings& info, int32_t offset)
{
    std::array<uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        const int64_t c = info.Negative ? 255 - i : i;
        // Division truncates toward zero, as the integer arithmetic of the step requires.
        table[size_t(i)] = clampByte((c - 128) * info.Contrast / 100 + c + int64_t(info.Brightness) + offset);
    }
    return table;
}

} // namespace

void DoColorBalance(QImage& bitmap, const PhotoSettings& info)
{
    if (info.Contrast == 0 && info.Brightness == 0 && info.Red == 0 && info.Green == 0 && info.Blue == 0
        && !info.Grayscale && !info.Negative)
        return;
    if (bitmap.isNull() || bitmap.width() == 0 || bitmap.height() == 0)
        return;
    writablePixels(bitmap);

    // After the gray conversion every channel depends on its own input value only.
    const std::array<uint8_t, 256> tb = channelTable(info, info.Blue);
    const std::array<uint8_t, 256> tg = channelTable(info, info.Green);
    const std::array<uint8_t, 256> tr = channelTable(info, info.Red);

    const int width = bitmap.width();
    const int height = bitmap.height();
    for (int y = 0; y < height; ++y) {
        uint8_t* p = bitmap.scanLine(y);
        uint8_t* const end = p + size_t(width) * 3;
        if (info.Grayscale) {
            for (; p != end; p += 3) {
                const uint32_t v = (uint32_t(p[2]) * 299 + uint32_t(p[1]) * 587 + uint32_t(p[0]) * 114) / 1000;
                p[0] = tb[v];
                p[1] = tg[v];
                p[2] = tr[v];
            }
        } else {
            for (; p != end; p += 3) {
                p[0] = tb[p[0]];
                p[1] = tg[p[1]];
                p[2] = tr[p[2]];
            }
        }
    }
}

namespace {

// Rows of the filtered image: the three source rows around it and the destination row.
struct FilterRows {
    const uint8_t* above;
    const uint8_t* same;
    const uint8_t* below;
    uint8_t* out;
};

// General weights: per byte of the inner columns (the three channels of a pixel are three
// consecutive bytes, so neighbours are 3 bytes apart). Acc is wide enough for the weights.
template <typename Acc>
void filterRowGeneric(const FilterRows& r, int width, const std::array<Acc, 9>& k)
{
    const int last = (width - 1) * 3; // first byte of the rightmost column
    for (int i = 3; i < last; ++i) {
        const Acc s = k[0] * r.above[i - 3] + k[1] * r.above[i] + k[2] * r.above[i + 3] //
            + k[3] * r.same[i - 3] + k[4] * r.same[i] + k[5] * r.same[i + 3] //
            + k[6] * r.below[i - 3] + k[7] * r.below[i] + k[8] * r.below[i + 3];
        r.out[i] = clampByte(int64_t(s / 100));
    }
}

#if defined(__GNUC__)
// Non-negative weights whose sum times 255 fits in 16 bits (the smoothing kernel among them):
// eight bytes at a time in 16-bit lanes. No partial sum can exceed the final one, so the lane
// arithmetic is exact, and s / 100 on unsigned lanes is the truncating division.
using U8x8 = uint8_t __attribute__((vector_size(8)));
using U16x8 = uint16_t __attribute__((vector_size(16)));

inline U16x8 load8(const uint8_t* p)
{
    U8x8 v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_convertvector(v, U16x8);
}

// Filters bytes i .. i + 7, reading bytes i - 3 .. i + 10 of the three rows.
inline void filterBlock(const FilterRows& r, int i, const std::array<uint16_t, 9>& k)
{
    U16x8 s = load8(r.above + i - 3) * k[0] + load8(r.above + i) * k[1] + load8(r.above + i + 3) * k[2]
        + load8(r.same + i - 3) * k[3] + load8(r.same + i) * k[4] + load8(r.same + i + 3) * k[5]
        + load8(r.below + i - 3) * k[6] + load8(r.below + i) * k[7] + load8(r.below + i + 3) * k[8];
    s /= 100;
    const U16x8 over = (U16x8)(s > 255); // all ones where the result must clamp
    s = (s & ~over) | (over & 255);
    const U8x8 bytes = __builtin_convertvector(s, U8x8);
    std::memcpy(r.out + i, &bytes, sizeof bytes);
}

void filterRowNarrow(const FilterRows& r, int width, const std::array<uint16_t, 9>& k)
{
    const int last = (width - 1) * 3;
    int i = 3;
    // The last block's reads end at byte i + 10 <= last + 2, the row's last byte.
    for (; i + 16 <= last; i += 16) {
        filterBlock(r, i, k);
        filterBlock(r, i + 8, k);
    }
    for (; i + 8 <= last; i += 8)
        filterBlock(r, i, k);
    for (; i < last; ++i) {
        const uint32_t s = k[0] * r.above[i - 3] + k[1] * r.above[i] + k[2] * r.above[i + 3]
            + k[3] * r.same[i - 3] + k[4] * r.same[i] + k[5] * r.same[i + 3] + k[6] * r.below[i - 3]
            + k[7] * r.below[i] + k[8] * r.below[i + 3];
        r.out[i] = uint8_t(std::min<uint32_t>(s / 100, 255));
    }
}
#endif

} // namespace

void DoFilter(QImage& bitmap, std::span<const int> kernel)
{
    if (kernel.size() != 9)
        return;
    const int width = bitmap.width();
    const int height = bitmap.height();
    // Without inner pixels every pixel keeps its value: the result is the same image.
    if (bitmap.isNull() || width < 3 || height < 3)
        return;

    // Filtered in place, top to bottom: the rows above and at the current one are saved before
    // they are overwritten, the row below is still the original. This equals filtering into a
    // new bitmap without allocating one (a bitmap shared with another image is copied first).
    uint8_t* const base = writablePixels(bitmap);
    const qsizetype stride = bitmap.bytesPerLine();
    const size_t rowBytes = size_t(width) * 3;
    std::vector<uint8_t> savedAbove(base, base + rowBytes);
    std::vector<uint8_t> savedSame(rowBytes);

    int64_t absSum = 0;
    bool nonNegative = true;
    for (const int w : kernel) {
        absSum += w < 0 ? -int64_t(w) : int64_t(w);
        nonNegative = nonNegative && w >= 0;
    }

    std::array<uint16_t, 9> k16{};
    std::array<int32_t, 9> k32{};
    std::array<int64_t, 9> k64{};
    for (size_t j = 0; j < 9; ++j) {
        k16[j] = uint16_t(kernel[j]);
        k32[j] = int32_t(kernel[j]);
        k64[j] = kernel[j];
    }
#if defined(__GNUC__)
    const bool narrow = nonNegative && absSum * 255 <= 0xFFFF;
#else
    const bool narrow = false;
#endif
    const bool fitsInt32 = absSum * 255 <= INT32_MAX;

    const auto filterRow = [&](const FilterRows& r) {
#if defined(__GNUC__)
        if (narrow) {
            filterRowNarrow(r, width, k16);
            return;
        }
#endif
        if (fitsInt32)
            filterRowGeneric(r, width, k32);
        else
            filterRowGeneric(r, width, k64);
    };

    for (int y = 1; y < height - 1; ++y) {
        uint8_t* out = base + y * stride;
        std::memcpy(savedSame.data(), out, rowBytes);
        // The leftmost and rightmost pixels are not written and keep their values.
        filterRow(FilterRows{savedAbove.data(), savedSame.data(), out + stride, out});
        savedAbove.swap(savedSame);
    }
}
