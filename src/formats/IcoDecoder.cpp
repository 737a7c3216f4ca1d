#include "ByteReader.h"
#include "Decoders.h"
#include "DibReader.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

// Windows icons (and cursors, whose directory has the same shape): a 6-byte header
// (0, type 1 or 2, entry count), 16-byte directory entries (width, height, colors,
// reserved, planes, bit count, size, offset; 0 for a side means 256) and the images: a
// PNG stream, or a device-independent bitmap without file header whose height counts the
// color bitmap and the 1-bit AND mask below it. The mask only marks transparency, which
// the program drops, so it is not read.
//
// One entry is delivered: the largest by area, then the deepest, then the first in the
// directory. Sizes and depths come from the images themselves where they can be read
// (directories often give 0 for both), else from the directory. A bitmap larger than its
// directory entry is read at the directory's size: the entry describes the data the file
// holds, the oversized header does not.
namespace {

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

struct Entry {
    size_t offset = 0;
    int64_t directoryWidth = 0;  // 0: not given (256 or more)
    int64_t directoryHeight = 0;
    int64_t width = 0;           // for the choice: from the image where it can be read
    int64_t height = 0;
    int depth = 0;
    bool png = false;
};

bool isPng(std::span<const uint8_t> bytes)
{
    return bytes.size() >= 8 && std::equal(kPngSignature, kPngSignature + 8, bytes.begin());
}

// The entry's bytes: from its offset to the end of the file. Bitmap headers and PNG streams
// tell their own length, and directory sizes are often wrong (too small, or past the end).
std::span<const uint8_t> entryBytes(const ByteReader& reader, const Entry& entry)
{
    return reader.bytesAt(entry.offset, reader.size() - entry.offset);
}

// A side of the picture: the bitmap header's unless the directory gives a smaller one (a
// directory side of 0 gives none).
int64_t bitmapSide(int64_t fromHeader, int64_t fromDirectory)
{
    return fromDirectory > 0 && fromDirectory < fromHeader ? fromDirectory : fromHeader;
}

QImage decodeEntry(const PictureFile& file, ByteReader& reader, const Entry& entry)
{
    const auto bytes = entryBytes(reader, entry);
    if (entry.png)
        return decodePng(PictureFile{file.path, bytes});

    ByteReader dib(bytes);
    DibInfo info = readDibHeader(dib);
    if (info.coding == DibInfo::Coding::Png || info.coding == DibInfo::Coding::Jpeg)
        throw PictureError("Icons whose bitmap is compressed are not supported.");
    info.height = std::max<int64_t>(info.height / 2, 1); // the AND mask follows the colors
    info.width = bitmapSide(info.width, entry.directoryWidth);
    info.height = bitmapSide(info.height, entry.directoryHeight);
    checkPictureSize(info.width, info.height);
    const size_t pixelOffset = readDibPalette(dib, info, dib.size());
    return decodeDibPixels(dib, info, pixelOffset);
}

} // namespace

QImage decodeIco(const PictureFile& file)
{
    ByteReader reader(file.bytes);
    if (reader.size() < 6)
        throw PictureError(PictureReason::kTruncated);
    const uint16_t reserved = reader.u16le();
    const uint16_t type = reader.u16le();
    const uint16_t count = reader.u16le();
    if (reserved != 0 || (type != 1 && type != 2))
        throw PictureError("The file is not a Windows icon.");
    if (count == 0)
        throw PictureError("The icon file holds no images.");

    std::vector<Entry> entries;
    for (int i = 0; i < count; ++i) {
        Entry e;
        e.directoryWidth = reader.u8();
        e.directoryHeight = reader.u8();
        reader.skip(4); // colors, reserved, planes
        e.depth = reader.u16le();
        reader.skip(4); // size in bytes
        e.offset = reader.u32le();
        e.width = e.directoryWidth == 0 ? 256 : e.directoryWidth;
        e.height = e.directoryHeight == 0 ? 256 : e.directoryHeight;
        if (e.offset >= reader.size())
            continue; // an entry pointing outside the file cannot be read
        // The image's own header tells the real size and depth.
        const auto bytes = entryBytes(reader, e);
        if (isPng(bytes)) {
            e.png = true;
            if (bytes.size() >= 26) {
                ByteReader png(bytes);
                png.seek(16);
                e.width = png.u32be();
                e.height = png.u32be();
                const int bitDepth = png.u8();
                const int colorType = png.u8();
                const int channels = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
                e.depth = bitDepth * channels;
            }
        } else if (bytes.size() >= 16) {
            ByteReader dib(bytes);
            // no sample: an entry with a 12-byte core header; checked by IcoDecoder.EntryWithACoreHeader
            const bool core = dib.u32le() == 12;
            const int64_t width = core ? dib.u16le() : dib.i32le();
            const int64_t height = core ? dib.u16le() : std::abs(int64_t(dib.i32le()));
            e.width = bitmapSide(width, e.directoryWidth);
            e.height = bitmapSide(height / 2, e.directoryHeight);
            dib.skip(2); // planes
            e.depth = dib.u16le();
        }
        entries.push_back(e);
    }
    if (entries.empty())
        throw PictureError(PictureReason::kTruncated);

    // Sides come from 32-bit fields: clamped, their product cannot overflow.
    auto area = [](const Entry& e) {
        return std::clamp<int64_t>(e.width, -INT32_MAX, INT32_MAX) * std::clamp<int64_t>(e.height, -INT32_MAX, INT32_MAX);
    };
    size_t best = 0;
    for (size_t i = 1; i < entries.size(); ++i) {
        const int64_t a = area(entries[i]);
        const int64_t b = area(entries[best]);
        if (a > b || (a == b && entries[i].depth > entries[best].depth))
            best = i;
    }
    return decodeEntry(file, reader, entries[best]);
}
