// Alias/Wavefront RLA (and its RPF variant): a 740-byte big-endian header, a table of
// scan-line offsets, and per scan line the run-length packed channels, color channels
// first, then matte and auxiliary channels, which are not read. Scan lines are stored
// from the bottom of the picture up.
#include "ByteReader.h"
#include "Decoders.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr size_t kHeaderSize = 740;

struct RlaHeader {
    int64_t width = 0;
    int64_t height = 0;
    int colorChannels = 0;
    int bits = 8;
};

RlaHeader readHeader(ByteReader& in)
{
    if (in.size() < kHeaderSize)
        in.fail();
    RlaHeader h;
    in.seek(8); // the full window; the active window below is what the file stores
    const int activeLeft = in.i16be();
    const int activeRight = in.i16be();
    const int activeBottom = in.i16be();
    const int activeTop = in.i16be();
    h.width = int64_t(activeRight) - activeLeft + 1;
    h.height = int64_t(activeTop) - activeBottom + 1;
    in.seek(20);
    h.colorChannels = in.i16be();
    in.seek(658);
    h.bits = in.i16be();
    if (h.bits == 0) // older writers leave the field empty for 8-bit channels
        h.bits = 8;

    if (h.colorChannels != 1 && h.colorChannels < 3)
        throw PictureError("RLA pictures with " + std::to_string(h.colorChannels)
                           + " color channels are not supported (only gray or RGB are).");
    if (h.bits < 8 || h.bits > 16)
        throw PictureError("RLA pictures with " + std::to_string(h.bits)
                           + "-bit channels are not supported (only 8 to 16 bits are).");
    checkPictureSize(h.width, h.height);
    return h;
}

// Byte-wise run length: a count byte c below 128 repeats the next byte c + 1 times; from 128
// up, 256 - c literal bytes follow. Fills out exactly; a packet that overshoots is cut at the
// end of the line, and packed data that ends early is a damaged file.
void unpackChannel(std::span<const uint8_t> packed, std::span<uint8_t> out, int64_t line, int channel)
{
    ByteReader in(packed);
    size_t filled = 0;
    while (filled < out.size()) {
        if (in.atEnd())
            throw PictureError("The picture data is damaged: channel " + std::to_string(channel) + " of scan line "
                               + std::to_string(line) + " ends after " + std::to_string(filled) + " of "
                               + std::to_string(out.size()) + " bytes.");
        const uint8_t count = in.u8();
        if (count < 128) {
            const uint8_t value = in.u8();
            const size_t n = std::min<size_t>(size_t(count) + 1, out.size() - filled);
            std::fill_n(out.begin() + filled, n, value);
            filled += n;
        } else {
            const size_t literal = 256 - size_t(count);
            const auto bytes = in.bytes(literal);
            const size_t n = std::min(literal, out.size() - filled);
            std::copy_n(bytes.begin(), n, out.begin() + filled);
            filled += n;
        }
    }
}

} // namespace

QImage decodeRla(const PictureFile& file)
{
    ByteReader in(file.bytes);
    const RlaHeader h = readHeader(in);

    // The offset table must be in the file before any pixel memory is taken.
    const size_t tableBytes = checkedMul(size_t(h.height), 4);
    in.seek(kHeaderSize);
    const std::span<const uint8_t> table = in.bytes(tableBytes);

    const size_t width = size_t(h.width);
    const int bytesPerSample = h.bits > 8 ? 2 : 1;
    const int channelsRead = h.colorChannels == 1 ? 1 : 3;
    // Samples of 9 to 16 bits are stored in two bytes: the line's high bytes, then its low
    // bytes. They keep their top 8 bits (value >> (bits - 8)), as every deeper format does.
    const int shift = h.bits - 8;

    QImage image = allocatePicture(h.width, h.height, QImage::Format_BGR888);
    std::vector<uint8_t> planes(checkedMul(checkedMul(width, size_t(bytesPerSample)), size_t(channelsRead)));

    ByteReader tableReader(table);
    for (int64_t line = 0; line < h.height; ++line) {
        const uint32_t offset = tableReader.u32be();
        in.seek(offset);
        for (int c = 0; c < channelsRead; ++c) {
            const uint16_t length = in.u16be();
            const auto packed = in.bytes(length);
            unpackChannel(packed, std::span<uint8_t>(planes).subspan(size_t(c) * width * bytesPerSample, width * bytesPerSample),
                          line, c);
        }

        // Line 0 is the bottom row of the picture.
        uint8_t* dst = image.scanLine(int(h.height - 1 - line));
        for (size_t x = 0; x < width; ++x) {
            uint8_t rgb[3];
            for (int c = 0; c < channelsRead; ++c) {
                const uint8_t* plane = planes.data() + size_t(c) * width * bytesPerSample;
                if (bytesPerSample == 1) {
                    rgb[c] = plane[x];
                } else {
                    const unsigned value = (unsigned(plane[x]) << 8) | plane[width + x];
                    rgb[c] = uint8_t(std::min(value >> shift, 255u));
                }
            }
            if (channelsRead == 1) // no sample: one color channel; checked by RlaDecoder.DeepSamplesKeepTheirTopEightBits
                rgb[1] = rgb[2] = rgb[0];
            dst[3 * x] = rgb[2];
            dst[3 * x + 1] = rgb[1];
            dst[3 * x + 2] = rgb[0];
        }
    }
    return image;
}
