// Truevision TGA: color-mapped (types 1 and 9), true-color (2 and 10) and black-and-white
// (3 and 11) pictures, uncompressed or run-length encoded.
//
// What the decoder delivers:
// - Rows are placed by the origin bits of the image descriptor: bit 5 set stores the top row
//   first, clear stores the bottom row first; bit 4 set stores each row right to left.
//   The interleaving bits 6 and 7 of the old 1.0 layout are ignored (no sample: no writer in
//   use sets them), so such a file reads as non-interleaved.
// - Alpha and attribute bits (the top bit of 16-bit pixels, the fourth byte of 32-bit ones,
//   the high byte of 16-bit gray pixels) are dropped; the color channels are kept as stored.
// - 5-bit channels of 15- and 16-bit pixels and color-map entries become 8 bits by bit
//   replication, (v << 3) | (v >> 2): 0 -> 0, 1 -> 8, 4 -> 33, 16 -> 132, 31 -> 255.
// - A color-mapped pixel refers to the map by its absolute index: the map's first entry has
//   the index given in the header. Indexes outside the map give black.
// - Run-length packets may run on from one scan line into the next.
// - The image ID and, for true-color and gray pictures, a color map are skipped; the 2.0
//   footer, extension and developer areas are not read.
#include "Decoders.h"
#include "ByteReader.h"
#include "ImageConversion.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct TgaHeader {
    uint8_t idLength = 0;
    uint8_t colorMapType = 0;
    uint8_t imageType = 0;
    uint16_t mapFirst = 0;
    uint16_t mapLength = 0;
    uint8_t mapEntryBits = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t pixelBits = 0;
    uint8_t descriptor = 0;
};

enum class PixelKind { Mapped, Rgb15, Rgb24, Rgb32, Gray8, Gray16 };

[[noreturn]] void fail(const std::string& reason)
{
    throw PictureError(reason);
}

constexpr std::array<uint8_t, 32> kFiveToEight = [] {
    std::array<uint8_t, 32> table{};
    for (int v = 0; v < 32; ++v)
        table[size_t(v)] = uint8_t((v << 3) | (v >> 2));
    return table;
}();

// A 15- or 16-bit little-endian value as blue, green, red.
inline void rgb15ToBgr(uint8_t lo, uint8_t hi, uint8_t* out)
{
    const unsigned v = unsigned(lo) | (unsigned(hi) << 8);
    out[0] = kFiveToEight[v & 31];
    out[1] = kFiveToEight[(v >> 5) & 31];
    out[2] = kFiveToEight[(v >> 10) & 31];
}

TgaHeader readHeader(ByteReader& in)
{
    TgaHeader h;
    h.idLength = in.u8();
    h.colorMapType = in.u8();
    h.imageType = in.u8();
    h.mapFirst = in.u16le();
    h.mapLength = in.u16le();
    h.mapEntryBits = in.u8();
    in.skip(4); // x and y origin of the picture on a screen: not part of the pixels
    h.width = in.u16le();
    h.height = in.u16le();
    h.pixelBits = in.u8();
    h.descriptor = in.u8();
    return h;
}

PixelKind pixelKind(const TgaHeader& h)
{
    const int type = h.imageType & 7;
    if (h.imageType != type && h.imageType != type + 8)
        fail("Truevision pictures of image type " + std::to_string(h.imageType) + " are not supported.");
    switch (type) {
    case 0:
        fail("The file holds no image data.");
    case 1:
        if (h.colorMapType != 1)
            fail("The picture data is damaged: it is color-mapped but has no color map.");
        if (h.pixelBits != 8 && h.pixelBits != 16)
            fail("Truevision pictures with an index size of " + std::to_string(h.pixelBits)
                 + " bits are not supported.");
        return PixelKind::Mapped;
    case 2:
        switch (h.pixelBits) {
        case 15:
        case 16:
            return PixelKind::Rgb15;
        case 24:
            return PixelKind::Rgb24;
        case 32:
            return PixelKind::Rgb32;
        }
        fail("Truevision true-color pictures with a pixel size of " + std::to_string(h.pixelBits)
             + " bits are not supported.");
    case 3:
        if (h.pixelBits == 8)
            return PixelKind::Gray8;
        if (h.pixelBits == 16)
            return PixelKind::Gray16;
        fail("Truevision gray pictures with a pixel size of " + std::to_string(h.pixelBits)
             + " bits are not supported.");
    default:
        fail("Truevision pictures of image type " + std::to_string(h.imageType) + " are not supported.");
    }
}

// The color map as blue-green-red entries for every possible pixel index; entries the file
// does not define stay black.
std::vector<uint8_t> readColorMap(ByteReader& in, const TgaHeader& h)
{
    const size_t entryBytes = (size_t(h.mapEntryBits) + 7) / 8;
    if (h.mapEntryBits != 15 && h.mapEntryBits != 16 && h.mapEntryBits != 24 && h.mapEntryBits != 32)
        fail("Truevision pictures with a color map entry size of " + std::to_string(h.mapEntryBits)
             + " bits are not supported.");
    const auto entries = in.bytes(checkedMul(h.mapLength, entryBytes));
    const size_t indexCount = size_t(1) << h.pixelBits;
    std::vector<uint8_t> lut(indexCount * 3, 0);
    for (size_t i = 0; i < h.mapLength; ++i) {
        const size_t index = size_t(h.mapFirst) + i;
        if (index >= indexCount)
            break;
        const uint8_t* src = entries.data() + i * entryBytes;
        uint8_t* dst = lut.data() + index * 3;
        if (entryBytes == 2)
            rgb15ToBgr(src[0], src[1], dst);
        else
            std::memcpy(dst, src, 3);
    }
    return lut;
}

// Reads run-length packets into rows of pixels. The state lives across rows, so a packet
// that runs on past the end of a scan line continues on the next one.
class RleReader {
public:
    RleReader(ByteReader& in, size_t pixelBytes) : in_(in), pixelBytes_(pixelBytes) {}

    void readRow(uint8_t* row, size_t width)
    {
        size_t x = 0;
        while (x < width) {
            if (repeat_ > 0) {
                const size_t n = std::min(repeat_, width - x);
                uint8_t* out = row + x * pixelBytes_;
                for (size_t i = 0; i < n; ++i, out += pixelBytes_)
                    std::memcpy(out, value_.data(), pixelBytes_);
                repeat_ -= n;
                x += n;
            } else if (literal_ > 0) {
                const size_t n = std::min(literal_, width - x);
                in_.read(row + x * pixelBytes_, n * pixelBytes_);
                literal_ -= n;
                x += n;
            } else {
                // Every packet covers at least one pixel, so the loop always advances.
                const uint8_t header = in_.u8();
                const size_t count = size_t(header & 0x7f) + 1;
                if (header & 0x80) {
                    in_.read(value_.data(), pixelBytes_);
                    repeat_ = count;
                } else {
                    literal_ = count;
                }
            }
        }
    }

private:
    ByteReader& in_;
    size_t pixelBytes_;
    size_t repeat_ = 0;
    size_t literal_ = 0;
    std::array<uint8_t, 4> value_{};
};

// Converts one row of stored pixels into blue-green-red. step is 3 for rows stored left to
// right, -3 for rows stored right to left (dst then points at the last pixel).
void convertRow(PixelKind kind, const uint8_t* src, uint8_t* dst, ptrdiff_t step, size_t width,
                const std::vector<uint8_t>& lut, bool wideIndex)
{
    switch (kind) {
    case PixelKind::Mapped:
        if (wideIndex) { // no sample: 16-bit indexes; checked by TgaDecoder.HandMadeLayouts
            for (size_t x = 0; x < width; ++x, src += 2, dst += step)
                std::memcpy(dst, lut.data() + (size_t(src[0]) | (size_t(src[1]) << 8)) * 3, 3);
        } else {
            for (size_t x = 0; x < width; ++x, ++src, dst += step)
                std::memcpy(dst, lut.data() + size_t(*src) * 3, 3);
        }
        break;
    case PixelKind::Rgb15:
        for (size_t x = 0; x < width; ++x, src += 2, dst += step)
            rgb15ToBgr(src[0], src[1], dst);
        break;
    case PixelKind::Rgb24: // reached only right to left (no sample: checked by TgaDecoder.HandMadeLayouts)
        for (size_t x = 0; x < width; ++x, src += 3, dst += step)
            std::memcpy(dst, src, 3);
        break;
    case PixelKind::Rgb32:
        for (size_t x = 0; x < width; ++x, src += 4, dst += step)
            std::memcpy(dst, src, 3);
        break;
    case PixelKind::Gray8:
        for (size_t x = 0; x < width; ++x, ++src, dst += step)
            dst[0] = dst[1] = dst[2] = *src;
        break;
    case PixelKind::Gray16: // gray in the low byte, alpha in the high byte
        for (size_t x = 0; x < width; ++x, src += 2, dst += step)
            dst[0] = dst[1] = dst[2] = src[0];
        break;
    }
}

} // namespace

QImage decodeTga(const PictureFile& file)
{
    ByteReader in(file.bytes);
    const TgaHeader h = readHeader(in);
    if (h.colorMapType > 1)
        fail("Truevision pictures of color map type " + std::to_string(h.colorMapType) + " are not supported.");
    const PixelKind kind = pixelKind(h);
    checkPictureSize(h.width, h.height);

    in.skip(h.idLength);
    std::vector<uint8_t> lut;
    if (kind == PixelKind::Mapped) {
        lut = readColorMap(in, h);
    } else if (h.colorMapType == 1) {
        in.skip(checkedMul(h.mapLength, (size_t(h.mapEntryBits) + 7) / 8));
    }

    const bool rle = h.imageType >= 9;
    const size_t width = h.width;
    const size_t height = h.height;
    const size_t pixelBytes = (size_t(h.pixelBits) + 7) / 8;
    const size_t rowBytes = checkedMul(width, pixelBytes);
    const size_t pixels = checkedMul(width, height);

    // The smallest data that can fill the picture: refuse a short file before allocating.
    const size_t leastData = rle ? checkedMul((pixels + 127) / 128, 1 + pixelBytes) : checkedMul(rowBytes, height);
    if (in.remaining() < leastData)
        in.fail();

    QImage image = allocatePicture(h.width, h.height, kBitmapFormat);
    const bool topDown = h.descriptor & 0x20;
    const bool rightToLeft = h.descriptor & 0x10;
    const bool copyRows = kind == PixelKind::Rgb24 && !rightToLeft; // stored order is blue, green, red
    const ptrdiff_t step = rightToLeft ? -3 : 3;

    RleReader packets(in, pixelBytes);
    std::vector<uint8_t> row(copyRows ? 0 : rowBytes);
    for (size_t r = 0; r < height; ++r) {
        uint8_t* line = image.scanLine(int(topDown ? r : height - 1 - r));
        if (copyRows) {
            if (rle)
                packets.readRow(line, width);
            else
                in.read(line, rowBytes);
            continue;
        }
        const uint8_t* src;
        if (rle) {
            packets.readRow(row.data(), width);
            src = row.data();
        } else {
            src = in.bytes(rowBytes).data();
        }
        convertRow(kind, src, rightToLeft ? line + (width - 1) * 3 : line, step, width, lut, h.pixelBits == 16);
    }
    return image;
}
