#include "DibReader.h"

#include "ImageLimits.h"
#include "PictureError.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitFields = 3;
constexpr uint32_t kBiJpeg = 4; // RLE24 in OS/2 2.x headers
constexpr uint32_t kBiPng = 5;
constexpr uint32_t kBiAlphaBitFields = 6;

[[noreturn]] void fail(const std::string& reason)
{
    throw PictureError(reason);
}

bool isOs2InfoHeader(uint32_t size)
{
    return size >= 16 && size <= 64 && size != 40 && size != 52 && size != 56;
}

// One channel of a bit-field pixel: where it sits and how its value becomes 8 bits.
struct Channel {
    int shift = 0;
    int bits = 0; // width from the lowest to the highest set bit of the mask
    uint32_t mask = 0;
    uint8_t narrow[256] = {}; // 8-bit values of channels up to 8 bits wide

    explicit Channel(uint32_t m) : mask(m)
    {
        if (m == 0)
            return;
        shift = std::countr_zero(m);
        bits = 32 - std::countl_zero(m) - shift;
        if (bits <= 8) {
            for (uint32_t v = 0; v < (1u << bits); ++v)
                narrow[v] = scaleSampleTo8Bits(v, bits);
        }
    }
    uint8_t operator()(uint32_t pixel) const
    {
        const uint32_t v = (pixel & mask) >> shift;
        return bits <= 8 ? narrow[v] : uint8_t(v >> (bits - 8));
    }
};

// Lookup tables for 16-bit pixels: one byte per channel and pixel value.
struct Table16 {
    uint8_t r[65536], g[65536], b[65536];
};

size_t rowStride(int64_t width, int bitCount)
{
    // Rows are padded to 4 bytes.
    return checkedMul(checkedAdd(checkedMul(size_t(width), size_t(bitCount)), 31) / 32, 4);
}

QList<QRgb> fullColorTable(const DibInfo& info)
{
    // Indices past the palette read from the file show black.
    QList<QRgb> table = info.palette;
    const qsizetype wanted = info.bitCount <= 8 ? qsizetype(1) << info.bitCount : 256;
    while (table.size() < wanted)
        table.append(qRgb(0, 0, 0));
    return table;
}

// Output row for a stored row: bottom-up pictures store their last row first.
inline int outputRow(const DibInfo& info, int64_t storedRow)
{
    return int(info.topDown ? storedRow : info.height - 1 - storedRow);
}

QImage decodeIndexed(ByteReader& reader, const DibInfo& info, size_t pixelOffset)
{
    const size_t stride = rowStride(info.width, info.bitCount);
    const size_t lastRow = checkedAdd(checkedMul(size_t(info.width), size_t(info.bitCount)), 7) / 8;
    const auto data = reader.bytesAt(pixelOffset, checkedAdd(checkedMul(stride, size_t(info.height - 1)), lastRow));

    QImage image = allocatePicture(info.width, info.height, QImage::Format_Indexed8);
    image.setColorTable(fullColorTable(info));
    const int w = int(info.width);
    const int bits = info.bitCount;
    const int perByte = 8 / bits;
    const uint8_t mask = uint8_t((1 << bits) - 1);
    for (int64_t row = 0; row < info.height; ++row) {
        const uint8_t* s = data.data() + size_t(row) * stride;
        uint8_t* d = image.scanLine(outputRow(info, row));
        if (bits == 8) {
            std::memcpy(d, s, size_t(w));
            continue;
        }
        for (int x = 0; x < w; ++x) {
            const int shift = 8 - bits * (x % perByte + 1);
            d[x] = uint8_t((s[x / perByte] >> shift) & mask);
        }
    }
    return image;
}

QImage decodeTrueColor(ByteReader& reader, const DibInfo& info, size_t pixelOffset)
{
    const size_t stride = rowStride(info.width, info.bitCount);
    const size_t bytesPerPixel = size_t(info.bitCount / 8);
    const size_t lastRow = checkedMul(size_t(info.width), bytesPerPixel);
    const auto data = reader.bytesAt(pixelOffset, checkedAdd(checkedMul(stride, size_t(info.height - 1)), lastRow));

    QImage image = allocatePicture(info.width, info.height, QImage::Format_BGR888);
    const int w = int(info.width);

    if (info.bitCount == 24) {
        // Stored blue, green, red: the bitmap's own layout.
        for (int64_t row = 0; row < info.height; ++row)
            std::memcpy(image.scanLine(outputRow(info, row)), data.data() + size_t(row) * stride, lastRow);
        return image;
    }

    const Channel red(info.masks[0]), green(info.masks[1]), blue(info.masks[2]);
    if (info.bitCount == 16) {
        auto table = std::make_unique<Table16>();
        for (uint32_t v = 0; v < 65536; ++v) {
            table->r[v] = red(v);
            table->g[v] = green(v);
            table->b[v] = blue(v);
        }
        for (int64_t row = 0; row < info.height; ++row) {
            const uint8_t* s = data.data() + size_t(row) * stride;
            uint8_t* d = image.scanLine(outputRow(info, row));
            for (int x = 0; x < w; ++x, s += 2, d += 3) {
                const uint32_t v = uint32_t(s[0]) | (uint32_t(s[1]) << 8);
                d[0] = table->b[v];
                d[1] = table->g[v];
                d[2] = table->r[v];
            }
        }
        return image;
    }

    for (int64_t row = 0; row < info.height; ++row) {
        const uint8_t* s = data.data() + size_t(row) * stride;
        uint8_t* d = image.scanLine(outputRow(info, row));
        for (int x = 0; x < w; ++x, s += 4, d += 3) {
            const uint32_t v = uint32_t(s[0]) | (uint32_t(s[1]) << 8) | (uint32_t(s[2]) << 16) | (uint32_t(s[3]) << 24);
            d[0] = blue(v);
            d[1] = green(v);
            d[2] = red(v);
        }
    }
    return image;
}

// RLE4, RLE8 and the OS/2 RLE24: pairs of (count, value) bytes; count 0 escapes to end of
// line (0), end of bitmap (1), delta (2, then dx and dy) or an absolute run of value pixels
// padded to an even byte count. Every step reads at least two bytes, so the loop ends.
// Pixels past the end of a row are dropped; the stream may stop once every row is reached.
// Without an image the stream is only walked, so a truncated stream fails before the
// picture is allocated.
void walkRunLength(ByteReader& reader, const DibInfo& info, size_t pixelOffset, QImage* image)
{
    const bool rgb = info.coding == DibInfo::Coding::Rle24;
    const bool nibbles = info.coding == DibInfo::Coding::Rle4;
    reader.seek(pixelOffset);
    const int64_t w = info.width;
    const int64_t h = info.height;
    int64_t x = 0; // never past w: later pixels of the row are dropped anyway
    int64_t row = 0;
    uint8_t* line = image ? image->scanLine(outputRow(info, 0)) : nullptr;

    auto nextRows = [&](int64_t count) {
        row += count;
        if (image && row < h)
            line = image->scanLine(outputRow(info, row));
    };

    while (row < h) {
        const uint8_t count = reader.u8();
        const uint8_t value = reader.u8();
        if (count > 0) {
            uint8_t pixel[3] = {value, 0, 0};
            if (rgb) {
                pixel[1] = reader.u8();
                pixel[2] = reader.u8();
            }
            const int64_t n = std::min<int64_t>(count, w - x);
            if (line) {
                uint8_t* d = line + x * (rgb ? 3 : 1);
                for (int64_t i = 0; i < n; ++i) {
                    if (rgb)
                        std::memcpy(d + i * 3, pixel, 3);
                    else
                        d[i] = nibbles ? ((i & 1) ? value & 0x0F : value >> 4) : value;
                }
            }
            x += n;
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            nextRows(1);
            break;
        case 1: // end of bitmap
            return;
        case 2: { // delta: move right and up (toward later rows)
            const uint8_t dx = reader.u8();
            const uint8_t dy = reader.u8();
            x = std::min<int64_t>(x + dx, w);
            nextRows(dy);
            break;
        }
        default: { // absolute run of `value` pixels
            const size_t bytes = rgb ? size_t(value) * 3 : nibbles ? (size_t(value) + 1) / 2 : size_t(value);
            const auto run = reader.bytes(bytes);
            const int64_t n = std::min<int64_t>(value, w - x);
            if (line) {
                uint8_t* d = line + x * (rgb ? 3 : 1);
                for (int64_t i = 0; i < n; ++i) {
                    if (rgb)
                        std::memcpy(d + i * 3, run.data() + i * 3, 3);
                    else
                        d[i] = nibbles ? ((i & 1) ? run[size_t(i / 2)] & 0x0F : run[size_t(i / 2)] >> 4) : run[size_t(i)];
                }
            }
            x += n;
            if (bytes & 1)
                reader.skip(1);
            break;
        }
        }
    }
}

QImage decodeRunLength(ByteReader& reader, const DibInfo& info, size_t pixelOffset)
{
    walkRunLength(reader, info, pixelOffset, nullptr);
    const bool rgb = info.coding == DibInfo::Coding::Rle24;
    QImage image = allocatePicture(info.width, info.height, rgb ? QImage::Format_BGR888 : QImage::Format_Indexed8);
    // Skipped pixels: palette entry 0, or black.
    image.fill(0);
    if (!rgb)
        image.setColorTable(fullColorTable(info));
    walkRunLength(reader, info, pixelOffset, &image);
    return image;
}

} // namespace

uint8_t scaleSampleTo8Bits(uint32_t value, int bits)
{
    const uint32_t max = (uint32_t(1) << bits) - 1;
    const uint32_t wide = uint32_t((uint64_t(value) * 65535 + max / 2) / max);
    return uint8_t(wide >> 8);
}

DibInfo readDibHeader(ByteReader& reader)
{
    DibInfo info;
    const size_t start = reader.pos();
    info.headerSize = reader.u32le();
    const uint32_t size = info.headerSize;
    uint32_t compression = kBiRgb;
    uint32_t colorsUsed = 0;
    bool os2 = false;

    if (size == 12) {
        info.width = reader.u16le();
        info.height = reader.u16le();
        reader.u16le(); // planes
        info.bitCount = reader.u16le();
        info.paletteEntrySize = 3;
    } else if (size >= 16) {
        // The fields of the info header that its size covers; the rest stay zero.
        const auto header = reader.bytesAt(start, std::min<size_t>(size, 124));
        auto field32 = [&](size_t offset) -> uint32_t {
            if (offset + 4 > header.size())
                return 0;
            return uint32_t(header[offset]) | (uint32_t(header[offset + 1]) << 8) | (uint32_t(header[offset + 2]) << 16)
                | (uint32_t(header[offset + 3]) << 24);
        };
        os2 = isOs2InfoHeader(size);
        info.width = int32_t(field32(4));
        const int32_t height = int32_t(field32(8));
        info.bitCount = uint16_t(header[14] | (header[15] << 8));
        compression = field32(16);
        info.sizeImage = field32(20);
        colorsUsed = field32(32);
        if (height < 0) {
            if (height == INT32_MIN)
                fail("The picture data is damaged: the bitmap's height is invalid.");
            info.topDown = true;
        }
        info.height = height < 0 ? -int64_t(height) : height;

        if (!os2 && (compression == kBiBitFields || compression == kBiAlphaBitFields)) {
            if (size >= 52) {
                info.masks = {field32(40), field32(44), field32(48)};
                reader.seek(start + size);
            } else {
                // A 40-byte header is followed by the masks: three, or four with alpha.
                reader.seek(start + size);
                info.masks = {reader.u32le(), reader.u32le(), reader.u32le()};
                if (compression == kBiAlphaBitFields)
                    reader.u32le();
            }
        } else {
            reader.seek(checkedAdd(start, size));
        }
    } else {
        fail("The picture data is damaged: the bitmap has an unknown header size of " + std::to_string(size)
             + " bytes.");
    }

    switch (compression) {
    case kBiRgb:
        info.coding = DibInfo::Coding::Rgb;
        break;
    case kBiRle8:
        info.coding = DibInfo::Coding::Rle8;
        break;
    case kBiRle4:
        info.coding = DibInfo::Coding::Rle4;
        break;
    case kBiBitFields:
        if (os2) // no sample: OS/2 1-bit Huffman (fax) coding
            fail("Bitmaps with OS/2 Huffman compression are not supported.");
        info.coding = DibInfo::Coding::BitFields;
        break;
    case kBiJpeg:
        info.coding = os2 ? DibInfo::Coding::Rle24 : DibInfo::Coding::Jpeg;
        break;
    case kBiPng:
        info.coding = DibInfo::Coding::Png;
        break;
    case kBiAlphaBitFields:
        info.coding = DibInfo::Coding::BitFields;
        break;
    default:
        fail("Bitmaps with compression type " + std::to_string(compression) + " are not supported.");
    }

    if (info.coding == DibInfo::Coding::Jpeg || info.coding == DibInfo::Coding::Png)
        return info;

    const int bits = info.bitCount;
    const bool bitCountFits = [&] {
        switch (info.coding) {
        case DibInfo::Coding::Rgb:
            return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
        case DibInfo::Coding::Rle8:
            return bits == 8;
        case DibInfo::Coding::Rle4:
            return bits == 4;
        case DibInfo::Coding::Rle24:
            return bits == 24;
        case DibInfo::Coding::BitFields:
            return bits == 16 || bits == 32;
        default:
            return false;
        }
    }();
    if (!bitCountFits)
        fail("Bitmaps of " + std::to_string(bits) + " bits per pixel are not supported with their compression.");

    if (info.coding == DibInfo::Coding::Rgb && bits == 16)
        info.masks = {0x7C00, 0x03E0, 0x001F};
    else if (info.coding == DibInfo::Coding::Rgb && bits == 32)
        info.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};

    if (bits <= 8 && info.coding != DibInfo::Coding::Rle24) {
        const size_t full = size_t(1) << bits;
        info.paletteCount = colorsUsed == 0 || colorsUsed > full ? full : colorsUsed;
    } else {
        // True-color pictures may carry a palette for display on palette devices: skipped.
        info.paletteCount = std::min<size_t>(colorsUsed, 256);
    }
    info.paletteOffset = reader.pos();
    return info;
}

size_t readDibPalette(ByteReader& reader, DibInfo& info, size_t paletteLimit)
{
    const size_t announced = checkedMul(info.paletteCount, info.paletteEntrySize);
    const size_t end = checkedAdd(info.paletteOffset, announced);
    const size_t available = std::min({end, paletteLimit, reader.size()});
    info.palette.clear();
    if (info.bitCount <= 8 && info.coding != DibInfo::Coding::Rle24) {
        for (size_t offset = info.paletteOffset; offset + info.paletteEntrySize <= available;
             offset += info.paletteEntrySize) {
            const auto entry = reader.bytesAt(offset, 3);
            info.palette.append(qRgb(entry[2], entry[1], entry[0]));
        }
    }
    return end;
}

QImage decodeDibPixels(ByteReader& reader, const DibInfo& info, size_t pixelOffset)
{
    switch (info.coding) {
    case DibInfo::Coding::Rle4:
    case DibInfo::Coding::Rle8:
    case DibInfo::Coding::Rle24:
        return decodeRunLength(reader, info, pixelOffset);
    case DibInfo::Coding::Rgb:
    case DibInfo::Coding::BitFields:
        return info.bitCount <= 8 ? decodeIndexed(reader, info, pixelOffset)
                                  : decodeTrueColor(reader, info, pixelOffset);
    default:
        fail("The picture data is damaged: it holds an embedded picture where pixels were expected.");
    }
}
