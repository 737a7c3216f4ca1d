// ZSoft PCX, versions 0 to 5, run-length encoded (or, rarely, stored plain).
//
// Layouts read, as bits per pixel and plane x planes:
// - 1 x 1: black and white, a set bit is white (the header palette is not used).
// - 1 x 2, 1 x 3, 1 x 4: EGA planes, plane n giving bit n of a color index; 4 x 1: two
//   indexes a byte. The colors are the header's 16-entry palette, except for versions 0
//   (PC Paintbrush 2.5) and 3 (2.8 without palette information), whose files carry none and
//   get the standard EGA palette.
// - 2 x 1: CGA, four pixels a byte. Writers in use store the four colors as the first four
//   header palette entries, so those are taken as they are. Files without palette
//   information (versions 0 and 3) get the CGA's default mode-4 colors: black, light cyan,
//   light magenta and white.
// - 8 x 1: 256 colors from the palette that follows a 0x0C byte at 769 bytes before the end
//   of the file; without that palette the indexes are gray levels.
// - 8 x 3 and 8 x 4: red, green and blue planes (and an alpha plane, dropped).
// The picture is the window Xmin..Xmax by Ymin..Ymax, both ends included. Each plane of a
// scan line takes BytesPerLine bytes; the padding past the window's width is ignored. Runs
// may continue from one scan line into the next.
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

constexpr size_t kHeaderBytes = 128;
constexpr size_t kTrailerPaletteBytes = 769; // 0x0C marker and 256 x 3 bytes

[[noreturn]] void fail(const std::string& reason)
{
    throw PictureError(reason);
}

using Palette = std::array<uint8_t, 256 * 3>; // red, green, blue

constexpr uint8_t kEgaPalette[16 * 3] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0x00, 0xAA, 0x00, 0x00, 0xAA, 0xAA, //
    0xAA, 0x00, 0x00, 0xAA, 0x00, 0xAA, 0xAA, 0x55, 0x00, 0xAA, 0xAA, 0xAA, //
    0x55, 0x55, 0x55, 0x55, 0x55, 0xFF, 0x55, 0xFF, 0x55, 0x55, 0xFF, 0xFF, //
    0xFF, 0x55, 0x55, 0xFF, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0xFF, 0xFF, 0xFF, //
};
constexpr uint8_t kCgaDefaultPalette[4 * 3] = {
    0x00, 0x00, 0x00, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0xFF, 0xFF, 0xFF, 0xFF,
};

struct PcxHeader {
    uint8_t version = 0;
    uint8_t encoding = 0;
    uint8_t bitsPerPixel = 0;
    int64_t width = 0;
    int64_t height = 0;
    std::array<uint8_t, 48> palette{};
    uint8_t planes = 0;
    uint16_t bytesPerLine = 0;
};

PcxHeader readHeader(ByteReader& in)
{
    if (in.size() < kHeaderBytes)
        in.fail();
    if (in.u8() != 10)
        fail("The file is not a PCX picture (it does not start with the signature byte 10).");
    PcxHeader h;
    h.version = in.u8();
    h.encoding = in.u8();
    h.bitsPerPixel = in.u8();
    const int64_t xMin = in.u16le();
    const int64_t yMin = in.u16le();
    const int64_t xMax = in.u16le();
    const int64_t yMax = in.u16le();
    h.width = xMax - xMin + 1;
    h.height = yMax - yMin + 1;
    in.skip(4); // resolution
    in.read(h.palette.data(), h.palette.size());
    in.skip(1); // reserved
    h.planes = in.u8();
    h.bytesPerLine = in.u16le();
    in.seek(kHeaderBytes);

    if (h.version > 5)
        fail("PCX pictures of unknown version " + std::to_string(h.version) + " are not supported.");
    if (h.encoding > 1)
        fail("PCX pictures of unknown encoding " + std::to_string(h.encoding) + " are not supported.");
    return h;
}

bool hasNoPalette(const PcxHeader& h)
{
    return h.version == 0 || h.version == 3;
}

// Unpacks scan lines of planes x bytesPerLine bytes, carrying a run over a line's end.
class LineReader {
public:
    LineReader(ByteReader& in, bool rle) : in_(in), rle_(rle) {}

    void read(uint8_t* line, size_t count)
    {
        if (!rle_) { // no sample: uncompressed data (encoding 0); checked by PcxDecoder.HandMadeLayouts
            in_.read(line, count);
            return;
        }
        size_t i = 0;
        while (i < count) {
            if (run_ > 0) {
                const size_t n = std::min(run_, count - i);
                std::memset(line + i, value_, n);
                run_ -= n;
                i += n;
                continue;
            }
            // Each code consumes at least one byte, so the loop ends with the data.
            const uint8_t code = in_.u8();
            if ((code & 0xC0) == 0xC0) {
                run_ = code & 0x3F;
                value_ = in_.u8();
            } else {
                line[i++] = code;
            }
        }
    }

private:
    ByteReader& in_;
    bool rle_;
    size_t run_ = 0;
    uint8_t value_ = 0;
};

// Packs a palette of up to 256 red-green-blue entries into blue-green-red for lookups.
std::vector<uint8_t> toBgrTable(const uint8_t* rgb, size_t entries)
{
    std::vector<uint8_t> table(256 * 3, 0);
    for (size_t i = 0; i < entries; ++i) {
        table[i * 3 + 0] = rgb[i * 3 + 2];
        table[i * 3 + 1] = rgb[i * 3 + 1];
        table[i * 3 + 2] = rgb[i * 3 + 0];
    }
    return table;
}

} // namespace

QImage decodePcx(const PictureFile& file)
{
    ByteReader header(file.bytes);
    const PcxHeader h = readHeader(header);
    const unsigned bits = h.bitsPerPixel;
    const unsigned planes = h.planes;
    const bool planar = bits == 1 && planes >= 1 && planes <= 4;
    const bool packed = planes == 1 && (bits == 2 || bits == 4 || bits == 8);
    const bool trueColor = bits == 8 && (planes == 3 || planes == 4);
    if (!planar && !packed && !trueColor)
        fail("PCX pictures of " + std::to_string(bits) + " bits x " + std::to_string(planes)
             + " planes are not supported.");
    checkPictureSize(h.width, h.height);

    const size_t width = size_t(h.width);
    const size_t height = size_t(h.height);
    const size_t bytesPerLine = h.bytesPerLine;
    if (bytesPerLine < (width * bits + 7) / 8)
        fail("The picture data is damaged: its rows of " + std::to_string(bytesPerLine)
             + " bytes are too short for a width of " + std::to_string(width) + " pixels.");
    const size_t lineBytes = checkedMul(bytesPerLine, planes);

    // The colors of indexed layouts, blue-green-red.
    std::vector<uint8_t> colors;
    size_t dataEnd = file.bytes.size();
    if (bits == 8 && planes == 1) {
        if (dataEnd >= kHeaderBytes + kTrailerPaletteBytes && file.bytes[dataEnd - kTrailerPaletteBytes] == 0x0C) {
            dataEnd -= kTrailerPaletteBytes;
            colors = toBgrTable(file.bytes.data() + dataEnd + 1, 256);
        } else { // no sample: 256 colors without a trailing palette; checked by PcxDecoder.HandMadeLayouts
            colors.resize(256 * 3);
            for (size_t i = 0; i < 256; ++i)
                std::memset(colors.data() + i * 3, int(i), 3);
        }
    } else if (bits == 2 && planes == 1) {
        // no sample: versions 0 and 3 (default CGA colors); checked by PcxDecoder.HandMadeLayouts
        colors = toBgrTable(hasNoPalette(h) ? kCgaDefaultPalette : h.palette.data(), 4);
    } else if (bits == 1 && planes == 1) {
        colors = {0, 0, 0, 255, 255, 255};
    } else if (!trueColor) {
        // no sample: versions 0 and 3 (default EGA colors); checked by PcxDecoder.HandMadeLayouts
        colors = toBgrTable(hasNoPalette(h) ? kEgaPalette : h.palette.data(), 16);
    }

    ByteReader in(file.bytes.first(dataEnd));
    in.seek(kHeaderBytes);
    // A run code yields at most 63 bytes from 2: refuse a short file before allocating.
    const size_t totalBytes = checkedMul(lineBytes, height);
    const size_t leastData = h.encoding == 1 ? (totalBytes + 62) / 63 * 2 : totalBytes;
    if (in.remaining() < leastData)
        in.fail();

    QImage image = allocatePicture(h.width, h.height, kBitmapFormat);
    LineReader lines(in, h.encoding == 1);
    std::vector<uint8_t> line(lineBytes);
    for (size_t y = 0; y < height; ++y) {
        lines.read(line.data(), lineBytes);
        uint8_t* out = image.scanLine(int(y));
        const uint8_t* src = line.data();
        if (trueColor) {
            const uint8_t* red = src;
            const uint8_t* green = src + bytesPerLine;
            const uint8_t* blue = src + 2 * bytesPerLine;
            for (size_t x = 0; x < width; ++x, out += 3) {
                out[0] = blue[x];
                out[1] = green[x];
                out[2] = red[x];
            }
        } else if (bits == 8) {
            for (size_t x = 0; x < width; ++x, out += 3)
                std::memcpy(out, colors.data() + size_t(src[x]) * 3, 3);
        } else if (packed) { // 2 or 4 bits, leftmost pixel in the high bits
            const unsigned perByte = 8 / bits;
            const unsigned mask = (1u << bits) - 1;
            for (size_t x = 0; x < width; ++x, out += 3) {
                const unsigned shift = bits * (perByte - 1 - unsigned(x % perByte));
                std::memcpy(out, colors.data() + size_t((src[x / perByte] >> shift) & mask) * 3, 3);
            }
        } else { // 1-bit planes
            for (size_t x = 0; x < width; ++x, out += 3) {
                const unsigned bit = 7 - unsigned(x % 8);
                unsigned index = 0;
                for (unsigned p = 0; p < planes; ++p)
                    index |= ((src[p * bytesPerLine + x / 8] >> bit) & 1u) << p;
                std::memcpy(out, colors.data() + size_t(index) * 3, 3);
            }
        }
    }
    return image;
}
