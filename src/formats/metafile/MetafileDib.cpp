#include "MetafileDib.h"

#include "formats/ByteReader.h"
#include "formats/ImageLimits.h"
#include "formats/PictureError.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace metafile {

namespace {

enum Compression : uint32_t { BiRgb = 0, BiBitfields = 3, BiAlphaBitfields = 6 };

struct DibHeader {
    int64_t width = 0;
    int64_t height = 0;
    bool bottomUp = true;
    int bitCount = 0;
    uint32_t compression = BiRgb;
    uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    size_t tableOffset = 0;           // where the color table starts
    size_t tableEntries = 0;          // entries stored (all of them are skipped to reach the rows)
    size_t entrySize = 4;
};

DibHeader readHeader(std::span<const uint8_t> info, bool paletteIndices)
{
    ByteReader r(info);
    DibHeader h;
    const uint32_t size = r.u32le();
    uint32_t colorsUsed = 0;
    if (size == 12) { // no sample: checked by WmfRecords.StretchDibReadsEachHeaderLayout
        h.width = r.u16le();
        h.height = r.u16le();
        r.u16le(); // planes
        h.bitCount = r.u16le();
        h.entrySize = 3;
    } else if (size >= 40) {
        h.width = r.i32le();
        h.height = r.i32le();
        r.u16le(); // planes
        h.bitCount = r.u16le();
        h.compression = r.u32le();
        r.skip(12); // image size, resolution
        colorsUsed = r.u32le();
        r.u32le(); // colors important
        if (size >= 52) { // no sample: masks in the header; checked by WmfRecords.StretchDibReadsEachHeaderLayout
            h.masks[0] = r.u32le();
            h.masks[1] = r.u32le();
            h.masks[2] = r.u32le();
            if (size >= 56)
                h.masks[3] = r.u32le();
        }
    } else {
        throw PictureError("The picture data is damaged: a bitmap has an unknown header size of " + std::to_string(size)
                           + " bytes.");
    }
    if (size > info.size())
        r.fail();
    h.tableOffset = size;
    // no sample: masks after a 40-byte header; checked by WmfRecords.StretchDibReadsEachHeaderLayout
    if (size == 40 && (h.compression == BiBitfields || h.compression == BiAlphaBitfields)) {
        r.seek(40);
        const int count = h.compression == BiAlphaBitfields ? 4 : 3;
        for (int i = 0; i < count; ++i)
            h.masks[i] = r.u32le();
        h.tableOffset += size_t(count) * 4;
    }
    h.bottomUp = h.height > 0;
    h.height = h.height < 0 ? -h.height : h.height;
    // no sample: palette indexes (DIB_PAL_COLORS) for color entries;
    // checked by WmfRecords.StretchDibShowsPaletteIndexesAsGrays
    if (paletteIndices)
        h.entrySize = 2;
    if (colorsUsed > 0)
        h.tableEntries = std::min<size_t>(colorsUsed, 65536);
    else if (h.bitCount <= 8)
        h.tableEntries = size_t(1) << h.bitCount;
    return h;
}

// One channel of a bit-field pixel scaled to 0..255.
struct Field {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Field(uint32_t m) : mask(m)
    {
        if (m) {
            shift = std::countr_zero(m);
            bits = std::popcount(m >> shift);
        }
    }
    int operator()(uint32_t v) const
    {
        if (!mask)
            return 0;
        const uint32_t value = (v & mask) >> shift;
        if (bits >= 8)
            return int(value >> (bits - 8));
        return int(value * 255 / ((1u << bits) - 1));
    }
};

std::vector<QRgb> readPalette(std::span<const uint8_t> info, const DibHeader& h)
{
    std::vector<QRgb> palette;
    if (h.bitCount > 8)
        return palette;
    const size_t wanted = std::min<size_t>(h.tableEntries, size_t(1) << h.bitCount);
    palette.assign(size_t(1) << h.bitCount, qRgb(0, 0, 0));
    for (size_t i = 0; i < wanted; ++i) {
        const size_t at = h.tableOffset + i * h.entrySize;
        if (at + h.entrySize > info.size())
            break; // a short table leaves the rest black
        const uint8_t* p = info.data() + at;
        if (h.entrySize == 2) {
            const int index = p[0] | (p[1] << 8);
            const int gray = wanted > 1 ? int(std::min<size_t>(index, wanted - 1) * 255 / (wanted - 1)) : 0;
            palette[i] = qRgb(gray, gray, gray);
        } else {
            palette[i] = qRgb(p[2], p[1], p[0]);
        }
    }
    return palette;
}

} // namespace

Dib decodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits, bool paletteIndices, bool keepAlpha)
{
    const DibHeader h = readHeader(info, paletteIndices);
    Dib dib;
    dib.bottomUp = h.bottomUp;
    const bool fields = h.compression == BiBitfields || h.compression == BiAlphaBitfields;
    const bool known = h.compression == BiRgb || (fields && (h.bitCount == 16 || h.bitCount == 32));
    if (!known)
        return dib; // compressed variants are not drawn
    switch (h.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return dib;
    }
    checkPictureSize(h.width, h.height);
    const size_t stride = checkedMul((checkedMul(size_t(h.width), size_t(h.bitCount)) + 31) / 32, 4);
    const size_t needed = checkedMul(stride, size_t(h.height));
    if (needed > bits.size())
        throw PictureError("The picture data is damaged: a bitmap holds " + std::to_string(bits.size()) + " bytes of the "
                           + std::to_string(needed) + " its rows need.");

    const std::vector<QRgb> palette = readPalette(info, h);
    uint32_t masks[4] = {h.masks[0], h.masks[1], h.masks[2], h.masks[3]};
    if (!fields) {
        if (h.bitCount == 16) {
            masks[0] = 0x7C00;
            masks[1] = 0x03E0;
            masks[2] = 0x001F;
        } else {
            masks[0] = 0x00FF0000;
            masks[1] = 0x0000FF00;
            masks[2] = 0x000000FF;
        }
        masks[3] = keepAlpha && h.bitCount == 32 ? 0xFF000000 : 0;
    }
    const Field red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    const bool withAlpha = keepAlpha && h.bitCount == 32;

    dib.image = allocatePicture(h.width, h.height,
                                withAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    const int width = int(h.width);
    for (int y = 0; y < int(h.height); ++y) {
        const int stored = h.bottomUp ? int(h.height) - 1 - y : y;
        const uint8_t* row = bits.data() + size_t(stored) * stride;
        auto* out = reinterpret_cast<QRgb*>(dib.image.scanLine(y));
        switch (h.bitCount) {
        case 1:
            for (int x = 0; x < width; ++x)
                out[x] = palette[(row[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case 4:
            for (int x = 0; x < width; ++x)
                out[x] = palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
            break;
        case 8:
            for (int x = 0; x < width; ++x)
                out[x] = palette[row[x]];
            break;
        case 24:
            for (int x = 0; x < width; ++x)
                out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
            break;
        case 16:
        case 32:
            for (int x = 0; x < width; ++x) {
                const uint32_t v = h.bitCount == 16
                    ? uint32_t(row[2 * x] | (row[2 * x + 1] << 8))
                    : uint32_t(row[4 * x]) | (uint32_t(row[4 * x + 1]) << 8) | (uint32_t(row[4 * x + 2]) << 16)
                        | (uint32_t(row[4 * x + 3]) << 24);
                // no sample: 32-bit pixels with premultiplied alpha;
                // checked by EmfRecords.AlphaBlendUsesThePremultipliedAlphaOfItsPixels
                if (withAlpha) {
                    // Stored premultiplied; keep each channel within its alpha.
                    const int a = alpha(v);
                    out[x] = qRgba(std::min(red(v), a), std::min(green(v), a), std::min(blue(v), a), a);
                } else {
                    out[x] = qRgb(red(v), green(v), blue(v));
                }
            }
            break;
        default: break;
        }
    }
    return dib;
}

Dib decodePackedDib(std::span<const uint8_t> packed, bool paletteIndices)
{
    const DibHeader h = readHeader(packed, paletteIndices);
    const size_t rowsAt = checkedAdd(h.tableOffset, checkedMul(h.tableEntries, h.entrySize));
    if (rowsAt > packed.size())
        ByteReader(packed).fail();
    return decodeDib(packed.first(rowsAt), packed.subspan(rowsAt), paletteIndices);
}

} // namespace metafile
