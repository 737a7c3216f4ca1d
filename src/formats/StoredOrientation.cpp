// Finding the EXIF block of each format by its own framing, with every length checked
// against the bytes that remain, and reading its Orientation through libexif.
#include "StoredOrientation.h"

#include "Orientation.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <libexif/exif-data.h>
#include <webp/demux.h>

namespace {

constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

// libexif reads at most 64 KB of a block, the most a JPEG segment holds.
constexpr size_t kMaxExifBlock = 0x10000;

bool startsWith(std::span<const uint8_t> bytes, const void* prefix, size_t length)
{
    return bytes.size() >= length && std::memcmp(bytes.data(), prefix, length) == 0;
}

uint32_t bigEndian32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint16_t bigEndian16(const uint8_t* p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

struct ExifDataRelease {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

} // namespace

int exifOrientation(std::span<const uint8_t> block)
{
    try {
        // libexif finds the TIFF structure after the "Exif\0\0" header only.
        std::vector<uint8_t> framed;
        if (!startsWith(block, kExifHeader, sizeof kExifHeader)) {
            block = block.first(std::min(block.size(), kMaxExifBlock));
            framed.reserve(sizeof kExifHeader + block.size());
            framed.assign(std::begin(kExifHeader), std::end(kExifHeader));
            framed.insert(framed.end(), block.begin(), block.end());
            block = framed;
        }
        block = block.first(std::min(block.size(), kMaxExifBlock + sizeof kExifHeader));
        // The header and a TIFF header (byte order, 42, first directory's offset).
        if (block.size() < sizeof kExifHeader + 8)
            return 1;
        const std::unique_ptr<ExifData, ExifDataRelease> exif(exif_data_new());
        if (!exif)
            return 1;
        // Read as recorded: no entries added or corrected, maker notes left alone.
        exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
        exif_data_set_option(exif.get(), EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
        exif_data_load_data(exif.get(), block.data(), unsigned(block.size()));
        const ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
        if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || !entry->data || entry->size < 2)
            return 1;
        return validOrientation(exif_get_short(entry->data, exif_data_get_byte_order(exif.get())));
    } catch (...) {
        return 1; // no memory for the framed copy: the picture stays as stored
    }
}

int jpegOrientation(const PictureFile& file)
{
    const std::span<const uint8_t> b = file.bytes;
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8)
        return 1;
    size_t pos = 2;
    while (pos + 4 <= b.size()) {
        // Stray bytes and fill bytes between segments are passed over, as libjpeg does.
        if (b[pos] != 0xFF || b[pos + 1] == 0xFF || b[pos + 1] == 0x00) {
            ++pos;
            continue;
        }
        const uint8_t marker = b[pos + 1];
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            return 1; // the picture data begins: no EXIF segment came before it
        const size_t length = bigEndian16(&b[pos + 2]);
        if (length < 2 || length > b.size() - pos - 2)
            return 1;
        const std::span<const uint8_t> payload = b.subspan(pos + 4, length - 2);
        if (marker == 0xE1 && startsWith(payload, kExifHeader, sizeof kExifHeader))
            return exifOrientation(payload);
        pos += 2 + length;
    }
    return 1;
}

int pngOrientation(const PictureFile& file)
{
    static constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    const std::span<const uint8_t> b = file.bytes;
    if (!startsWith(b, kSignature, sizeof kSignature))
        return 1;
    // Each chunk: length, type, data, CRC.
    for (size_t pos = sizeof kSignature; b.size() - pos >= 12;) {
        const uint32_t length = bigEndian32(&b[pos]);
        if (length > b.size() - pos - 12)
            return 1;
        const uint8_t* type = &b[pos + 4];
        if (std::memcmp(type, "eXIf", 4) == 0)
            return exifOrientation(b.subspan(pos + 8, length));
        if (std::memcmp(type, "IEND", 4) == 0)
            return 1;
        pos += 12 + size_t(length);
    }
    return 1;
}

int webpOrientation(const PictureFile& file)
{
    const WebPData data{file.bytes.data(), file.bytes.size()};
    WebPDemuxer* demux = WebPDemux(&data);
    if (!demux)
        return 1;
    int orientation = 1;
    WebPChunkIterator chunk;
    if ((WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & EXIF_FLAG) && WebPDemuxGetChunk(demux, "EXIF", 1, &chunk)) {
        orientation = exifOrientation(std::span<const uint8_t>(chunk.chunk.bytes, chunk.chunk.size));
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    WebPDemuxDelete(demux);
    return orientation;
}

int psdOrientation(const PictureFile& file)
{
    const std::span<const uint8_t> b = file.bytes;
    // The 26-byte header, then the color mode data and the image resources, each after its length.
    constexpr size_t kHeader = 26;
    if (b.size() < kHeader + 4 || std::memcmp(b.data(), "8BPS", 4) != 0)
        return 1;
    size_t pos = kHeader;
    const uint32_t colorModeLength = bigEndian32(&b[pos]);
    pos += 4;
    if (colorModeLength > b.size() - pos || b.size() - pos - colorModeLength < 4)
        return 1;
    pos += colorModeLength;
    const uint32_t resourcesLength = bigEndian32(&b[pos]);
    pos += 4;
    if (resourcesLength > b.size() - pos)
        return 1;
    const size_t end = pos + resourcesLength;
    // Each resource: "8BIM", its number, a Pascal name padded to an even length, the data's
    // length and the data padded to an even length.
    while (end - pos >= 12) {
        if (std::memcmp(&b[pos], "8BIM", 4) != 0)
            return 1;
        const uint16_t id = bigEndian16(&b[pos + 4]);
        const size_t nameBytes = (size_t(b[pos + 6]) + 2) & ~size_t(1);
        if (nameBytes + 10 > end - pos)
            return 1;
        size_t at = pos + 6 + nameBytes;
        const uint32_t length = bigEndian32(&b[at]);
        at += 4;
        if (length > end - at)
            return 1;
        if (id == 1058)
            return exifOrientation(b.subspan(at, length));
        pos = at + length;
        if (length % 2 == 1 && pos < end)
            ++pos;
    }
    return 1;
}
