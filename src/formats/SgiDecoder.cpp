// SGI image files: a 512-byte big-endian header (magic 474), then the channels one after
// the other, each as rows from the bottom up, either verbatim or run-length encoded with a
// table of row offsets.
//
// What the decoder delivers:
// - 1 channel is gray, 2 are gray and alpha (alpha dropped), 3 are red, green and blue, and
//   of 4 or more channels the first three are taken as red, green and blue.
// - Samples of 2 bytes keep their high byte; the header's minimum and maximum values do not
//   scale anything.
// - A run-length row ends with a zero count or when it is full; a run that passes the end of
//   its row, or a row that ends before it is full, is an error. The table of row lengths is
//   not needed and not checked, since the runs themselves say where a row ends.
// - Only plain images (colormap field 0) are read; dithered, screen and colormap files are
//   refused with an error.
#include "Decoders.h"
#include "ByteReader.h"
#include "ImageConversion.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr size_t kHeaderBytes = 512;

[[noreturn]] void fail(const std::string& reason)
{
    throw PictureError(reason);
}

struct SgiHeader {
    bool rle = false;
    size_t bytesPerSample = 1;
    size_t width = 0;
    size_t height = 0;
    size_t channels = 0;
};

SgiHeader readHeader(ByteReader& in)
{
    if (in.size() < kHeaderBytes)
        in.fail();
    if (in.u16be() != 474)
        fail("The file is not an SGI picture (it does not start with the magic number 474).");
    SgiHeader h;
    const uint8_t storage = in.u8();
    const uint8_t bpc = in.u8();
    const uint16_t dimension = in.u16be();
    const uint16_t xSize = in.u16be();
    const uint16_t ySize = in.u16be();
    const uint16_t zSize = in.u16be();
    in.seek(104);
    const uint32_t colormap = in.u32be();

    if (storage > 1)
        fail("The picture data is damaged: it names an unknown storage format " + std::to_string(storage) + ".");
    if (bpc != 1 && bpc != 2)
        fail("SGI pictures with a sample size of " + std::to_string(bpc) + " bytes are not supported.");
    if (colormap != 0)
        fail("SGI pictures of colormap type " + std::to_string(colormap)
             + " are not supported (only plain images are).");
    h.rle = storage == 1;
    h.bytesPerSample = bpc;
    h.width = xSize;
    switch (dimension) {
    case 1: // a single row of one channel (no sample: checked by SgiDecoder.HandMadeLayouts)
        h.height = 1;
        h.channels = 1;
        break;
    case 2:
        h.height = ySize;
        h.channels = 1;
        break;
    case 3:
        h.height = ySize;
        h.channels = zSize;
        break;
    default:
        fail("SGI pictures of dimension " + std::to_string(dimension) + " are not supported.");
    }
    if (h.channels == 0)
        fail("The picture data is damaged: it has no channels.");
    return h;
}

// Decodes one run-length row of `width` samples into every third byte of out (the high
// byte of 2-byte samples).
template <size_t SampleBytes>
void readRleRow(ByteReader& in, uint8_t* out, size_t width)
{
    size_t x = 0;
    while (x < width) {
        // Every packet either ends the row or yields at least one sample.
        const uint8_t control = SampleBytes == 1 ? in.u8() : uint8_t(in.u16be());
        const size_t count = control & 0x7f;
        if (count == 0)
            break;
        if (count > width - x)
            fail("The picture data is damaged: a run passes the end of its row.");
        if (control & 0x80) {
            const auto literal = in.bytes(count * SampleBytes);
            for (size_t i = 0; i < count; ++i)
                out[(x + i) * 3] = literal[i * SampleBytes];
        } else {
            const uint8_t value = in.bytes(SampleBytes)[0];
            for (size_t i = 0; i < count; ++i)
                out[(x + i) * 3] = value;
        }
        x += count;
    }
    if (x < width)
        fail("The picture data is damaged: a run-length row ends before it is full.");
}

} // namespace

QImage decodeSgi(const PictureFile& file)
{
    ByteReader in(file.bytes);
    const SgiHeader h = readHeader(in);
    checkPictureSize(int64_t(h.width), int64_t(h.height));

    const size_t used = h.channels >= 3 ? 3 : 1; // gray: channel 0; color: channels 0..2
    const size_t rowBytes = checkedMul(h.width, h.bytesPerSample);
    const size_t channelBytes = checkedMul(rowBytes, h.height);
    const size_t rows = checkedMul(h.height, h.channels);

    // Check that the data the picture needs is there before allocating it.
    if (h.rle) {
        in.bytesAt(kHeaderBytes, checkedMul(rows, 8)); // offset and length tables
    } else {
        in.bytesAt(kHeaderBytes, checkedMul(channelBytes, used));
    }

    QImage image = allocatePicture(int64_t(h.width), int64_t(h.height), kBitmapFormat);
    for (size_t c = 0; c < used; ++c) {
        for (size_t y = 0; y < h.height; ++y) {
            // Stored rows start at the bottom; red goes to byte 2 of a blue-green-red pixel.
            uint8_t* out = image.scanLine(int(h.height - 1 - y)) + (used == 3 ? 2 - c : 0);
            if (h.rle) {
                in.seek(kHeaderBytes + (c * h.height + y) * 4);
                in.seek(in.u32be());
                if (h.bytesPerSample == 1)
                    readRleRow<1>(in, out, h.width);
                else // no sample: run-length 16-bit samples; checked by SgiDecoder.HandMadeLayouts
                    readRleRow<2>(in, out, h.width);
            } else {
                const uint8_t* src = in.bytesAt(kHeaderBytes + c * channelBytes + y * rowBytes, rowBytes).data();
                for (size_t x = 0; x < h.width; ++x)
                    out[x * 3] = src[x * h.bytesPerSample];
            }
        }
    }
    if (used == 1) {
        for (size_t y = 0; y < h.height; ++y) {
            uint8_t* line = image.scanLine(int(y));
            for (size_t x = 0; x < h.width; ++x, line += 3)
                line[1] = line[2] = line[0];
        }
    }
    return image;
}
