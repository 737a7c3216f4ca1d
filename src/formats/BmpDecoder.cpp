#include "ByteReader.h"
#include "Decoders.h"
#include "DibReader.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <algorithm>

// Windows bitmaps (.bmp, .rle, .dib): a 14-byte file header ("BM", file size, two reserved
// words, offset of the pixel data) and a device-independent bitmap, or, in headerless .dib
// files as the clipboard holds them, the device-independent bitmap alone. Pictures stored
// as an embedded JPEG or PNG stream are decoded by the JPEG and PNG decoders.
QImage decodeBmp(const PictureFile& file)
{
    ByteReader reader(file.bytes);
    if (reader.size() < 2)
        throw PictureError(PictureReason::kTruncated);

    const bool hasFileHeader = file.bytes[0] == 'B' && file.bytes[1] == 'M';
    size_t pixelOffset = 0;
    if (hasFileHeader) {
        reader.skip(10);
        pixelOffset = reader.u32le();
    } else {
        // Without a file header the bytes must start with a known info header size.
        const auto size = reader.bytesAt(0, std::min<size_t>(reader.size(), 4));
        const uint32_t headerSize = size.size() == 4
            ? uint32_t(size[0]) | (uint32_t(size[1]) << 8) | (uint32_t(size[2]) << 16) | (uint32_t(size[3]) << 24)
            : 0;
        if (headerSize != 12 && (headerSize < 16 || headerSize > 124))
            throw PictureError("The file is not a Windows bitmap.");
    }

    DibInfo info = readDibHeader(reader);
    const bool embedded = info.coding == DibInfo::Coding::Jpeg || info.coding == DibInfo::Coding::Png;
    if (!embedded)
        checkPictureSize(info.width, info.height);
    // The file header's offset wins where it points past the header, and the palette stops
    // there; a missing or impossible offset means the pixels follow the palette.
    const bool offsetValid = hasFileHeader && pixelOffset >= info.paletteOffset;
    const size_t paletteEnd = readDibPalette(reader, info, offsetValid ? pixelOffset : reader.size());
    if (!offsetValid)
        pixelOffset = paletteEnd;
    if (pixelOffset > reader.size())
        throw PictureError(PictureReason::kTruncated);

    if (embedded) {
        size_t length = reader.size() - pixelOffset;
        if (info.sizeImage != 0 && info.sizeImage < length)
            length = info.sizeImage;
        const PictureFile stream{file.path, reader.bytesAt(pixelOffset, length)};
        return info.coding == DibInfo::Coding::Jpeg ? decodeJpeg(stream) : decodePng(stream);
    }
    return decodeDibPixels(reader, info, pixelOffset);
}
