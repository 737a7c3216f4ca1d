#include "ByteReader.h"
#include "Decoders.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Portable any-maps: bitmaps (P1 plain, P4 raw), gray maps (P2, P5) and pixel maps (P3, P6).
// The header is the magic number, the width, the height and, except for bitmaps, the
// maximum sample value, separated by white space, with '#' comments to the end of a line
// anywhere between them. Raw rasters start after the single white-space character that
// ends the header; samples are one byte up to a maximum of 255, else two bytes, most
// significant first. Only the first picture of a file is read.
//
// Samples become 8 bits by expanding them to 16 bits (sample * 65535 / maximum, rounded to
// nearest) and keeping the high byte: a maximum of 255 gives the samples unchanged, 65535
// their high byte, and a maximum of 2^n - 1 below 255 the sample's bits replicated. Samples
// above the maximum count as the maximum. In bitmaps 1 is black and 0 white.
namespace {


[[noreturn]] void fail(const std::string& reason)
{
    throw PictureError(reason);
}

bool isSpace(uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

class PnmText {
public:
    explicit PnmText(ByteReader& reader) : reader_(reader) {}

    // Skips white space and comments.
    void skipSeparators()
    {
        while (!reader_.atEnd()) {
            const uint8_t c = reader_.data()[reader_.pos()];
            if (c == '#') {
                while (!reader_.atEnd() && reader_.data()[reader_.pos()] != '\n' && reader_.data()[reader_.pos()] != '\r')
                    reader_.skip(1);
            } else if (isSpace(c)) {
                reader_.skip(1);
            } else {
                return;
            }
        }
    }

    // A decimal number after separators; values past `limit` (at most 2^63 - 1) are
    // reported as limit + 1, however many digits they have.
    uint64_t number(const char* what, uint64_t limit)
    {
        skipSeparators();
        if (reader_.atEnd())
            fail(PictureReason::kTruncated);
        uint64_t value = 0;
        int digits = 0;
        while (!reader_.atEnd()) {
            const uint8_t c = reader_.data()[reader_.pos()];
            if (c < '0' || c > '9')
                break;
            uint64_t next = 0;
            if (value > limit || __builtin_mul_overflow(value, 10u, &next)
                || __builtin_add_overflow(next, uint64_t(c - '0'), &next) || next > limit)
                next = limit + 1;
            value = next;
            reader_.skip(1);
            ++digits;
        }
        if (digits == 0)
            fail(std::string("The picture data is damaged: it has no valid ") + what + " (a digit was expected at offset "
                 + std::to_string(reader_.pos()) + ").");
        return value;
    }

    // One '0' or '1' of a plain bitmap; separators between them are optional.
    uint8_t bit()
    {
        skipSeparators();
        const uint8_t c = reader_.u8();
        if (c != '0' && c != '1')
            fail("The picture data is damaged: it has an invalid bitmap digit at offset "
                 + std::to_string(reader_.pos() - 1) + ".");
        return uint8_t(c - '0');
    }

private:
    ByteReader& reader_;
};

// 8-bit values of every sample value up to maxval. No sample file has a maximum other
// than 1, 255 and 65535; the hand-made tests cover 3, 15, 100 and 1000.
std::vector<uint8_t> sampleTable(uint32_t maxval)
{
    std::vector<uint8_t> table(size_t(maxval) + 1);
    for (uint32_t v = 0; v <= maxval; ++v)
        table[v] = uint8_t(((uint64_t(v) * 65535 + maxval / 2) / maxval) >> 8);
    return table;
}

} // namespace

QImage decodePnm(const PictureFile& file)
{
    ByteReader reader(file.bytes);
    if (reader.size() < 2 || file.bytes[0] != 'P' || file.bytes[1] < '1' || file.bytes[1] > '6')
        throw PictureError("The file is not a portable map picture (it does not start with P1 to P6).");
    const int kind = file.bytes[1] - '0';
    reader.skip(2);
    const bool plain = kind <= 3;
    const bool bitmap = kind == 1 || kind == 4;
    const bool color = kind == 3 || kind == 6;
    const int channels = color ? 3 : 1;

    PnmText text(reader);
    // Sizes are read exactly as far as 64 bits hold them, and named by their number; a size
    // past that is named as more than the limit rather than by a number it is not.
    constexpr uint64_t kLargestSize = uint64_t(INT64_MAX);
    const uint64_t width = text.number("width", kLargestSize);
    const uint64_t height = text.number("height", kLargestSize);
    if (width > kLargestSize)
        failSideTooLarge(false);
    if (height > kLargestSize)
        failSideTooLarge(true);
    checkPictureSize(int64_t(width), int64_t(height));
    const uint32_t maxval = bitmap ? 1 : uint32_t(text.number("maximum sample value", 65535));
    if (!bitmap && (maxval == 0 || maxval > 65535))
        fail("The picture data is damaged: its maximum sample value is not 1 to 65535.");

    const size_t samples = checkedMul(checkedMul(width, height), size_t(channels));
    size_t rowBytes = 0;
    if (!plain) {
        // Exactly one white-space character ends the header of a raw raster.
        if (reader.atEnd() || !isSpace(reader.u8()))
            fail("The picture data is damaged: its header does not end with white space before the pixels.");
        rowBytes = bitmap ? (size_t(width) + 7) / 8 : checkedMul(checkedMul(width, size_t(channels)), maxval > 255 ? 2 : 1);
        const size_t needed = checkedMul(rowBytes, height);
        if (reader.remaining() < needed)
            fail("The file ends before the picture data is complete: its pixels need " + std::to_string(needed) + " bytes, "
                 + std::to_string(reader.remaining()) + " are left.");
    } else {
        // Every plain sample takes at least one character (a bitmap digit) or two (a
        // number and its separator), so a short file fails before allocating.
        const size_t minimum = bitmap ? samples : samples * 2 - 1;
        if (reader.remaining() < minimum)
            fail("The file ends before the picture data is complete: " + std::to_string(samples)
                 + " samples cannot fit in the " + std::to_string(reader.remaining()) + " bytes left.");
    }

    const QImage::Format pixelFormat = color ? QImage::Format_BGR888 : QImage::Format_Grayscale8;
    QImage image = allocatePicture(width, height, pixelFormat);
    const std::vector<uint8_t> table = bitmap ? std::vector<uint8_t>{255, 0} : sampleTable(maxval);
    const int w = int(width);

    for (int y = 0; y < int(height); ++y) {
        uint8_t* d = image.scanLine(y);
        if (kind == 4) {
            const auto row = reader.bytes(rowBytes);
            for (int x = 0; x < w; ++x)
                d[x] = table[(row[size_t(x / 8)] >> (7 - x % 8)) & 1];
            continue;
        }
        if (kind == 1) {
            for (int x = 0; x < w; ++x)
                d[x] = table[text.bit()];
            continue;
        }
        if (!plain && maxval == 255 && !color) {
            std::memcpy(d, reader.bytes(rowBytes).data(), size_t(w));
            continue;
        }
        const uint8_t* raw = plain ? nullptr : reader.bytes(rowBytes).data();
        const bool wide = maxval > 255;
        for (int x = 0; x < w; ++x) {
            uint8_t rgb[3];
            for (int c = 0; c < channels; ++c) {
                uint32_t v;
                if (plain) {
                    v = uint32_t(text.number("sample", maxval));
                } else if (wide) {
                    v = (uint32_t(raw[0]) << 8) | raw[1];
                    raw += 2;
                } else {
                    v = *raw++;
                }
                rgb[c] = table[std::min(v, maxval)];
            }
            if (color) {
                d[x * 3] = rgb[2];
                d[x * 3 + 1] = rgb[1];
                d[x * 3 + 2] = rgb[0];
            } else {
                d[x] = rgb[0];
            }
        }
    }
    return image;
}
