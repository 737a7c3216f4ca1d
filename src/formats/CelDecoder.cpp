// Autodesk Animator pictures (.cel, .pic).
//
// The original Animator format: a 32-byte little-endian header (magic 0x9119, width,
// height, x and y offset, depth 8, compression 0, data size, 16 reserved bytes), a
// 256-entry palette of 6-bit red, green and blue values, then width x height palette
// indexes, top row first.
//
// Animator Pro writes its cels as one-frame animations (magic 0xAF12 at offset 4, or 0xAF11
// for the older 320 x 200 flavour): the first frame is decoded from its palette chunk
// and its full-frame chunk (byte run, copy or black). A first frame stored only as a
// difference to a previous frame cannot occur in a cel and is refused, as are Animator
// Pro's own PIC files (magic 0x9500).
#include "ByteReader.h"
#include "Decoders.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <algorithm>
#include <string>

namespace {

// 6-bit VGA levels to 0..255, rounded to nearest: v * 255 / 63 (no ties occur). Values
// above 63 break the format and are taken as full intensity.
uint8_t scale6(uint8_t v)
{
    return v >= 63 ? 255 : uint8_t((unsigned(v) * 255 + 31) / 63);
}

QImage indexedPicture(int64_t width, int64_t height)
{
    QImage image = allocatePicture(width, height, QImage::Format_Indexed8);
    QList<QRgb> gray(256);
    for (int i = 0; i < 256; ++i)
        gray[i] = qRgb(i, i, i);
    image.setColorTable(gray);
    return image;
}

QImage decodeAnimatorCel(ByteReader& in)
{
    in.seek(2);
    const uint16_t width = in.u16le();
    const uint16_t height = in.u16le();
    in.skip(4); // x, y: where the cel sits on the screen
    const uint8_t depth = in.u8();
    const uint8_t compression = in.u8();
    if (depth != 8)
        throw PictureError("Autodesk Animator pictures of depth " + std::to_string(depth) + " are not supported.");
    if (compression != 0)
        throw PictureError("Autodesk Animator pictures with compression " + std::to_string(compression)
                           + " are not supported.");
    checkPictureSize(width, height);
    in.seek(32);
    const auto palette = in.bytes(768);
    const auto pixels = in.bytes(checkedMul(width, height));

    QImage image = indexedPicture(width, height);
    QList<QRgb> colors(256);
    for (int i = 0; i < 256; ++i)
        colors[i] = qRgb(scale6(palette[3 * i]), scale6(palette[3 * i + 1]), scale6(palette[3 * i + 2]));
    image.setColorTable(colors);
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels.begin() + size_t(y) * width, width, image.scanLine(y));
    return image;
}

// Palette chunk: packets of (skip, count) followed by count RGB triples; a count of 0 means 256.
void readPaletteChunk(ByteReader& in, QList<QRgb>& colors, bool sixBit)
{
    const uint16_t packets = in.u16le();
    size_t index = 0;
    for (uint16_t p = 0; p < packets; ++p) {
        index += in.u8();
        size_t count = in.u8();
        if (count == 0)
            count = 256;
        if (index + count > 256)
            throw PictureError("The picture data is damaged: its palette runs past color 255.");
        for (size_t i = 0; i < count; ++i, ++index) {
            uint8_t r = in.u8(), g = in.u8(), b = in.u8();
            if (sixBit) {
                r = scale6(r);
                g = scale6(g);
                b = scale6(b);
            }
            colors[int(index)] = qRgb(r, g, b);
        }
    }
}

// Byte run chunk: per line a (now unused) packet count, then packets until the line is full:
// a positive count repeats the next byte, a negative one copies that many bytes. Every packet
// consumes input, and the chunk's own reader stops a damaged chunk at its end.
void readByteRunChunk(ByteReader& in, QImage& image)
{
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        uint8_t* line = image.scanLine(y);
        in.u8();
        int x = 0;
        while (x < width) {
            const int8_t count = int8_t(in.u8());
            if (count >= 0) {
                const uint8_t value = in.u8();
                const int n = std::min<int>(count, width - x);
                std::fill_n(line + x, n, value);
                x += n;
            } else {
                const auto bytes = in.bytes(size_t(-int(count)));
                const int n = std::min<int>(int(bytes.size()), width - x);
                std::copy_n(bytes.begin(), n, line + x);
                x += n;
            }
        }
    }
}

QImage decodeAnimatorProCel(ByteReader& in, uint16_t magic)
{
    in.seek(6);
    const uint16_t frames = in.u16le();
    const uint16_t width = in.u16le();
    const uint16_t height = in.u16le();
    const uint16_t depth = in.u16le();
    if (frames == 0)
        throw PictureError("The file holds no picture.");
    if (depth != 8 && depth != 0)
        throw PictureError("Autodesk Animator Pro cels of depth " + std::to_string(depth) + " are not supported.");
    checkPictureSize(width, height);

    // no sample: the older 0xAF11 flavour, first frame at offset 128;
    // checked by CelDecoder.AnimatorProFirstFrameIsFoundInEitherFlavour
    size_t offset = 128;
    if (magic == 0xAF12) {
        in.seek(80);
        offset = in.u32le();
    }

    // Skip prefix chunks (cel position and settings) up to the first frame.
    size_t frameSize = 0;
    for (;;) {
        in.seek(offset);
        frameSize = in.u32le();
        const uint16_t type = in.u16le();
        if (frameSize < 6)
            throw PictureError("The picture data is damaged: it holds a chunk of " + std::to_string(frameSize)
                               + " bytes.");
        if (type == 0xF1FA)
            break;
        // no sample: prefix chunks before the first frame;
        // checked by CelDecoder.AnimatorProFirstFrameIsFoundInEitherFlavour
        offset = checkedAdd(offset, frameSize);
    }
    if (frameSize < 16)
        throw PictureError(PictureReason::kTruncated);
    ByteReader frame(in.bytesAt(offset, frameSize));
    frame.seek(6);
    const uint16_t chunks = frame.u16le();
    frame.seek(16);

    // A frame without a palette chunk shows its indexes as gray levels.
    QImage image = indexedPicture(width, height);
    QList<QRgb> colors = image.colorTable();
    bool havePixels = false;
    for (uint16_t c = 0; c < chunks; ++c) {
        const size_t start = frame.pos();
        const uint32_t size = frame.u32le();
        const uint16_t type = frame.u16le();
        if (size < 6)
            throw PictureError("The picture data is damaged: it holds a chunk of " + std::to_string(size) + " bytes.");
        ByteReader chunk(frame.bytesAt(start + 6, size - 6));
        switch (type) {
        case 4: // 256-level palette
        case 11: // 64-level palette (no sample: checked by CelDecoder.AnimatorProFirstFrameChunks)
            readPaletteChunk(chunk, colors, type == 11);
            break;
        case 13: // black frame (no sample: checked by CelDecoder.AnimatorProFirstFrameChunks)
            image.fill(0);
            havePixels = true;
            break;
        case 15: // byte run
            readByteRunChunk(chunk, image);
            havePixels = true;
            break;
        case 16: { // uncompressed frame (no sample: checked by CelDecoder.AnimatorProFirstFrameChunks)
            const auto pixels = chunk.bytes(checkedMul(width, height));
            for (int y = 0; y < height; ++y)
                std::copy_n(pixels.begin() + size_t(y) * width, width, image.scanLine(y));
            havePixels = true;
            break;
        }
        case 7:
        case 12:
            throw PictureError(
                "Autodesk Animator Pro cels whose first frame is stored as a difference are not supported.");
        default: // postage stamp and other chunks carry nothing of the picture
            break;
        }
        frame.seek(checkedAdd(start, size));
    }
    if (!havePixels)
        throw PictureError("The file holds no picture in its first frame.");
    image.setColorTable(colors);
    return image;
}

} // namespace

QImage decodeCel(const PictureFile& file)
{
    ByteReader in(file.bytes);
    if (in.size() >= 2) {
        const uint16_t magic = in.u16le();
        if (magic == 0x9119)
            return decodeAnimatorCel(in);
        if (magic == 0x9500)
            throw PictureError("Autodesk Animator Pro PIC pictures are not supported.");
    }
    if (in.size() >= 6) {
        in.seek(4);
        const uint16_t magic = in.u16le();
        if (magic == 0xAF12 || magic == 0xAF11)
            return decodeAnimatorProCel(in, magic);
    }
    throw PictureError("The file is not an Autodesk Animator picture.");
}
