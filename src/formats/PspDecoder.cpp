// Paint Shop Pro pictures (.psp), file format versions 3 to 13.
//
// After the 32-byte signature and the major and minor version (16-bit little-endian each),
// the file is a sequence of blocks: "~BK\0", a 16-bit block id, then the lengths. Version 3
// files (and some version 4 files) give two lengths, the block's initial data and its
// whole content; later files give only the whole content and start every piece of initial
// data with its own 32-bit length instead. Which of the two a file uses is read from the
// file itself: the length that leads to the next block's "~BK\0" wins.
//
// The picture delivered is the merged image of the composite image bank where the file
// holds one stored as channels; otherwise the first (lowest) raster layer, placed on a
// black canvas of the picture's size. Thumbnails and JPEG-compressed composites are not
// used. Channels are stored uncompressed, run-length packed or zlib-deflated, one byte per
// sample for 8 and 24-bit pictures and packed pixels (most significant bits first) for 1
// and 4-bit pictures; rows are taken as padded to 4 bytes when the channel holds enough
// data for that, else as unpadded. Palettes are blue, green, red, reserved quadruples;
// a picture of 8 bits or fewer without a palette is shown as a gray ramp.
#include "ByteReader.h"
#include "Decoders.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr char kSignature[] = "Paint Shop Pro Image File\n\x1a";
constexpr size_t kFileHeader = 36;

enum : uint16_t {
    kImageBlock = 0,
    kColorBlock = 2,
    kLayerBankBlock = 3,
    kLayerBlock = 4,
    kChannelBlock = 5,
    kCompositeImageBlock = 9,
    kCompositeBankBlock = 16,
    kCompositeAttributesBlock = 17,
};

enum : uint16_t { kNone = 0, kRle = 1, kLz77 = 2 };

// Bitmap types of the channels that carry picture colors: a layer's image, a composite.
constexpr uint16_t kImageBitmap = 0;
constexpr uint16_t kCompositeBitmap = 8;

struct Block {
    uint16_t id = 0;
    size_t start = 0;       // first byte after the header
    size_t initialData = 0; // length of the initial data, for files with two lengths
    size_t end = 0;
};

struct Raster {
    int64_t width = 0;
    int64_t height = 0;
    int bitDepth = 0;
    uint16_t compression = 0;
    bool greyscale = false;
};

struct Channel {
    uint16_t bitmapType = 0;
    uint16_t channelType = 0;
    std::span<const uint8_t> data;
};

// The unpacked channels of a raster: red, green, blue, or the indexes alone; rows padded to
// 4 bytes.
using Planes = std::array<std::vector<uint8_t>, 3>;

[[noreturn]] void damaged(const std::string& what)
{
    throw PictureError("The picture data is damaged: " + what + ".");
}

class PspFile {
public:
    explicit PspFile(std::span<const uint8_t> bytes) : in_(bytes) {}

    QImage decode();

private:
    bool blockAt(size_t offset) const
    {
        return offset <= in_.size() && in_.size() - offset >= 4 && std::memcmp(in_.data().data() + offset, "~BK", 4) == 0;
    }
    void chooseLayout(uint16_t major);
    Block readBlock(size_t offset, size_t parentEnd);
    // Where a block's contents after its initial data (or its leading chunk) begin.
    size_t afterInfo(const Block& block);

    void readAttributes(const Block& block);
    std::vector<QRgb> readPalette(const Block& block);
    Channel readChannel(const Block& block);
    std::vector<uint8_t> unpackChannel(const Channel& channel, const Raster& raster) const;
    Planes unpackPlanes(const Raster& raster, const std::vector<Channel>& channels) const;
    void scanLayerBank(const Block& bank);
    void scanCompositeBank(const Block& bank);
    QImage decodeComposite();
    QImage decodeLayer();
    void paint(QImage& canvas, int64_t left, int64_t top, const Raster& raster, const Planes& planes,
               const std::vector<QRgb>& palette) const;

    ByteReader in_;
    uint16_t major_ = 0;
    bool twoLengths_ = false;
    std::optional<Raster> picture_;
    std::vector<QRgb> palette_;
    std::optional<Block> firstRasterLayer_;
    std::optional<Block> composite_;
    Raster compositeRaster_;
};

void PspFile::chooseLayout(uint16_t major)
{
    if (!blockAt(kFileHeader))
        damaged("no block follows the file header");
    // One length: the next block starts 10 + length bytes on; two: 14 + the second length.
    auto nextBlockFits = [this](size_t headerSize, size_t lengthOffset) {
        if (in_.size() < kFileHeader + headerSize)
            return false;
        ByteReader r(in_.data());
        r.seek(kFileHeader + lengthOffset);
        const size_t next = kFileHeader + headerSize + r.u32le();
        return next == in_.size() || blockAt(next);
    };
    const bool one = nextBlockFits(10, 6);
    const bool two = nextBlockFits(14, 10);
    twoLengths_ = one == two ? major <= 4 : two;
}

Block PspFile::readBlock(size_t offset, size_t parentEnd)
{
    if (!blockAt(offset))
        damaged("no block header at offset " + std::to_string(offset));
    in_.seek(offset + 4);
    Block block;
    block.id = in_.u16le();
    if (twoLengths_) { // no sample: version 3 and 4 block headers; checked by PspDecoder.ChannelCompressionsAndLayouts
        block.initialData = in_.u32le();
        const uint32_t total = in_.u32le();
        block.start = in_.pos();
        block.end = checkedAdd(block.start, total);
        if (block.initialData > total)
            damaged("block " + std::to_string(block.id) + " has more initial data than content");
    } else {
        const uint32_t total = in_.u32le();
        block.start = in_.pos();
        block.end = checkedAdd(block.start, total);
    }
    if (block.end > parentEnd)
        throw PictureError(PictureReason::kTruncated);
    return block;
}

size_t PspFile::afterInfo(const Block& block)
{
    if (twoLengths_)
        return block.start + block.initialData;
    in_.seek(block.start);
    const uint32_t chunk = in_.u32le();
    if (chunk < 4 || chunk > block.end - block.start)
        damaged("block " + std::to_string(block.id) + " has an information chunk of " + std::to_string(chunk) + " bytes");
    return block.start + chunk;
}

void PspFile::readAttributes(const Block& block)
{
    in_.seek(block.start + (twoLengths_ ? 0 : 4));
    Raster r;
    r.width = in_.i32le();
    r.height = in_.i32le();
    in_.skip(8 + 1); // resolution and its unit
    r.compression = in_.u16le();
    r.bitDepth = in_.u16le();
    in_.skip(2 + 4); // plane count, color count
    r.greyscale = in_.u8() != 0;
    if (in_.pos() > block.end)
        damaged("the image attributes block is cut short");
    picture_ = r;
}

std::vector<QRgb> PspFile::readPalette(const Block& block)
{
    in_.seek(block.start + (twoLengths_ ? 0 : 4));
    const uint32_t count = in_.u32le();
    in_.seek(afterInfo(block));
    std::vector<QRgb> colors(256, qRgb(0, 0, 0));
    const auto entries = in_.bytes(checkedMul(std::min<uint32_t>(count, 256), 4));
    for (size_t i = 0; i < entries.size() / 4; ++i)
        colors[i] = qRgb(entries[4 * i + 2], entries[4 * i + 1], entries[4 * i]);
    if (in_.pos() > block.end)
        damaged("the palette runs past its block");
    return colors;
}

Channel PspFile::readChannel(const Block& block)
{
    in_.seek(block.start + (twoLengths_ ? 0 : 4));
    const uint32_t compressedLength = in_.u32le();
    in_.skip(4); // uncompressed length: not reliable in every writer, and not needed
    Channel channel;
    channel.bitmapType = in_.u16le();
    channel.channelType = in_.u16le();
    const size_t dataStart = afterInfo(block);
    if (dataStart > block.end || compressedLength > block.end - dataStart)
        damaged("a channel's data runs past its block");
    channel.data = in_.bytesAt(dataStart, compressedLength);
    return channel;
}

// Run length: a count above 128 repeats the next byte (count - 128) times; otherwise count
// literal bytes follow. Each packet consumes input, so the loop ends.
size_t unpackRle(std::span<const uint8_t> packed, std::vector<uint8_t>& out)
{
    ByteReader in(packed);
    size_t filled = 0;
    while (filled < out.size() && !in.atEnd()) {
        const uint8_t count = in.u8();
        if (count > 128) {
            const uint8_t value = in.u8();
            const size_t n = std::min<size_t>(count - 128, out.size() - filled);
            std::fill_n(out.begin() + filled, n, value);
            filled += n;
        } else {
            const auto bytes = in.bytes(count);
            const size_t n = std::min<size_t>(count, out.size() - filled);
            std::copy_n(bytes.begin(), n, out.begin() + filled);
            filled += n;
        }
    }
    return filled;
}

size_t inflateZlib(std::span<const uint8_t> packed, std::vector<uint8_t>& out)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        throw PictureError(PictureReason::kOutOfMemory); // zlib fails to start only for want of memory
    size_t filled = 0;
    size_t consumed = 0;
    int status = Z_OK;
    // zlib counts in 32-bit units; feed it in slices.
    constexpr size_t kSlice = 1u << 30;
    while (filled < out.size()) {
        const size_t inSlice = std::min(kSlice, packed.size() - consumed);
        const size_t outSlice = std::min(kSlice, out.size() - filled);
        z.next_in = const_cast<Bytef*>(packed.data() + consumed);
        z.avail_in = uInt(inSlice);
        z.next_out = out.data() + filled;
        z.avail_out = uInt(outSlice);
        status = inflate(&z, Z_NO_FLUSH);
        consumed += inSlice - z.avail_in;
        filled += outSlice - z.avail_out;
        if (status == Z_STREAM_END)
            break;
        if (status == Z_BUF_ERROR && consumed == packed.size())
            break; // the data ended early; the caller reports the shortfall
        if (status != Z_OK && status != Z_BUF_ERROR) {
            inflateEnd(&z);
            throw PictureError("The compressed picture data is damaged.");
        }
    }
    inflateEnd(&z);
    return filled;
}

std::vector<uint8_t> PspFile::unpackChannel(const Channel& channel, const Raster& raster) const
{
    if (raster.compression != kNone && raster.compression != kRle && raster.compression != kLz77)
        throw PictureError("Paint Shop Pro pictures with compression " + std::to_string(raster.compression)
                           + " are not supported.");
    const int bits = raster.bitDepth == 24 ? 8 : raster.bitDepth;
    const size_t tight = (checkedMul(size_t(raster.width), size_t(bits)) + 7) / 8;
    const size_t padded = (tight + 3) & ~size_t(3);
    const size_t height = size_t(raster.height);
    // A run-length packet of n bytes gives at most 64n bytes, deflate at most 1032 bytes a
    // byte: a channel too small for its raster is refused before its memory is taken.
    const size_t size = channel.data.size();
    const size_t most = raster.compression == kNone ? size
        : raster.compression == kRle                ? checkedMul(size, 64)
                                                    : checkedAdd(checkedMul(size, 1032), 64);
    if (checkedMul(tight, height) > most)
        throw PictureError("The file ends before the picture data is complete: a channel of " + std::to_string(size)
                           + " bytes cannot hold " + std::to_string(raster.width) + " x " + std::to_string(raster.height)
                           + " pixels.");
    std::vector<uint8_t> out(checkedMul(padded, height));
    size_t filled = 0;
    switch (raster.compression) {
    case kNone: // no sample: checked by PspDecoder.ChannelCompressionsAndLayouts
        filled = std::min(channel.data.size(), out.size());
        std::copy_n(channel.data.begin(), filled, out.begin());
        break;
    case kRle: // no sample: checked by PspDecoder.ChannelCompressionsAndLayouts
        filled = unpackRle(channel.data, out);
        break;
    default:
        filled = inflateZlib(channel.data, out);
        break;
    }
    if (filled == out.size() || tight == padded)
        ; // rows padded to 4 bytes (or no padding needed)
    else if (filled >= tight * height) { // no sample: checked by PspDecoder.ChannelCompressionsAndLayouts
        // Unpadded rows: spread them to the padded stride the caller walks.
        for (size_t y = height; y-- > 1;)
            std::memmove(out.data() + y * padded, out.data() + y * tight, tight);
        filled = out.size();
    }
    if (filled < tight * height)
        throw PictureError("The file ends before the picture data is complete: a channel holds "
                           + std::to_string(filled) + " of " + std::to_string(tight * height) + " bytes.");
    return out;
}

Planes PspFile::unpackPlanes(const Raster& raster, const std::vector<Channel>& channels) const
{
    auto find = [&](uint16_t type) -> const Channel* {
        for (const Channel& c : channels)
            if (c.channelType == type)
                return &c;
        return nullptr;
    };
    Planes planes;
    if (raster.bitDepth == 24) {
        for (uint16_t c = 0; c < 3; ++c) {
            const Channel* channel = find(uint16_t(c + 1));
            if (!channel)
                damaged(std::string("the ") + (c == 0 ? "red" : c == 1 ? "green" : "blue") + " channel is missing");
            planes[c] = unpackChannel(*channel, raster);
        }
    } else {
        const Channel* channel = find(0);
        if (!channel)
            damaged("the picture's index channel is missing");
        planes[0] = unpackChannel(*channel, raster);
    }
    return planes;
}

void PspFile::paint(QImage& canvas, int64_t left, int64_t top, const Raster& raster, const Planes& planes,
                    const std::vector<QRgb>& palette) const
{
    const int bits = raster.bitDepth == 24 ? 8 : raster.bitDepth;
    const size_t stride = (((size_t(raster.width) * size_t(bits) + 7) / 8) + 3) & ~size_t(3);
    // Only the part of the raster that lies on the canvas is painted.
    const int64_t x0 = std::max<int64_t>(0, -left), x1 = std::min<int64_t>(raster.width, canvas.width() - left);
    const int64_t y0 = std::max<int64_t>(0, -top), y1 = std::min<int64_t>(raster.height, canvas.height() - top);
    for (int64_t y = y0; y < y1; ++y) {
        uint8_t* dst = canvas.scanLine(int(top + y));
        const size_t row = size_t(y) * stride;
        for (int64_t x = x0; x < x1; ++x) {
            uint8_t* p = dst + 3 * (left + x);
            if (raster.bitDepth == 24) {
                p[0] = planes[2][row + size_t(x)];
                p[1] = planes[1][row + size_t(x)];
                p[2] = planes[0][row + size_t(x)];
                continue;
            }
            // no sample: 8-, 4- and 1-bit palette indexes; checked by PspDecoder.PalettedAndGreyscalePictures
            unsigned index;
            if (bits == 8)
                index = planes[0][row + size_t(x)];
            else if (bits == 4)
                index = (planes[0][row + size_t(x) / 2] >> (x % 2 ? 0 : 4)) & 0x0F;
            else
                index = (planes[0][row + size_t(x) / 8] >> (7 - x % 8)) & 1;
            const QRgb color = palette[index];
            p[0] = uint8_t(qBlue(color));
            p[1] = uint8_t(qGreen(color));
            p[2] = uint8_t(qRed(color));
        }
    }
}

void PspFile::scanLayerBank(const Block& bank)
{
    size_t offset = bank.start;
    while (offset < bank.end) {
        const Block layer = readBlock(offset, bank.end);
        offset = layer.end;
        if (layer.id != kLayerBlock)
            continue;
        in_.seek(layer.start);
        if (twoLengths_) {
            in_.skip(256); // name
        } else {
            in_.skip(4);
            in_.skip(in_.u16le());
        }
        const uint8_t type = in_.u8();
        // Version 3 numbers its layer types 0 (normal) and 1 (floating selection); later
        // versions 1 (raster) and 2 (floating raster selection), beside vector and other kinds.
        // no sample: version 3 layer types; checked by PspDecoder.ChannelCompressionsAndLayouts
        const bool raster = major_ <= 3 ? type <= 1 : (type == 1 || type == 2);
        if (raster) {
            firstRasterLayer_ = layer;
            return;
        }
    }
}

void PspFile::scanCompositeBank(const Block& bank)
{
    size_t offset = afterInfo(bank);
    std::optional<Raster> pending;
    while (offset < bank.end) {
        const Block block = readBlock(offset, bank.end);
        offset = block.end;
        if (block.id == kCompositeAttributesBlock) {
            in_.seek(block.start + (twoLengths_ ? 0 : 4));
            Raster r;
            r.width = in_.i32le();
            r.height = in_.i32le();
            r.bitDepth = in_.u16le();
            r.compression = in_.u16le();
            in_.skip(2 + 4); // plane count, color count
            const uint16_t type = in_.u16le();
            if (in_.pos() > block.end)
                damaged("a composite attributes block is cut short");
            pending.reset();
            if (type == 0) // the merged image; 1 is a thumbnail
                pending = r;
        } else if (block.id == kCompositeImageBlock && pending && !composite_) {
            // no sample: a merged composite image; checked by PspDecoder.MergedCompositeIsPreferredToTheFirstLayer
            composite_ = block;
            compositeRaster_ = *pending;
            compositeRaster_.greyscale = picture_ && picture_->greyscale;
            pending.reset();
        } else {
            pending.reset(); // a JPEG composite, or anything else
        }
    }
}

QImage PspFile::decode()
{
    if (in_.size() < kFileHeader || std::memcmp(in_.data().data(), kSignature, sizeof kSignature - 1) != 0)
        throw PictureError("The file is not a Paint Shop Pro picture.");
    in_.seek(32);
    major_ = in_.u16le();
    in_.u16le();
    if (major_ < 3 || major_ > 13)
        throw PictureError("Paint Shop Pro files of version " + std::to_string(major_)
                           + " are not supported (versions 3 to 13 are).");
    chooseLayout(major_);

    size_t offset = kFileHeader;
    while (offset < in_.size()) {
        const Block block = readBlock(offset, in_.size());
        offset = block.end;
        switch (block.id) {
        case kImageBlock:
            readAttributes(block);
            break;
        case kColorBlock: // no sample: checked by PspDecoder.PalettedAndGreyscalePictures
            palette_ = readPalette(block);
            break;
        case kLayerBankBlock:
            if (!firstRasterLayer_)
                scanLayerBank(block);
            break;
        case kCompositeBankBlock:
            if (!twoLengths_)
                scanCompositeBank(block);
            break;
        default:
            break;
        }
    }
    if (!picture_)
        damaged("the image attributes block is missing");
    if (composite_)
        return decodeComposite();
    if (firstRasterLayer_)
        return decodeLayer();
    throw PictureError("The file holds neither a merged image nor a raster layer.");
}

void checkRaster(const Raster& r)
{
    if (r.bitDepth != 1 && r.bitDepth != 4 && r.bitDepth != 8 && r.bitDepth != 24)
        throw PictureError("Paint Shop Pro pictures of " + std::to_string(r.bitDepth)
                           + " bits per pixel are not supported (1, 4, 8 and 24 are).");
}

std::vector<QRgb> grayRamp(int bitDepth)
{
    std::vector<QRgb> colors(256, qRgb(0, 0, 0));
    const int levels = 1 << std::min(bitDepth, 8);
    for (int i = 0; i < levels; ++i) {
        const int v = i * 255 / (levels - 1);
        colors[size_t(i)] = qRgb(v, v, v);
    }
    return colors;
}

QImage PspFile::decodeComposite()
{
    const Raster& r = compositeRaster_;
    checkRaster(r);
    checkPictureSize(r.width, r.height);
    std::vector<Channel> channels;
    std::vector<QRgb> palette;
    size_t offset = afterInfo(*composite_);
    while (offset < composite_->end) {
        const Block block = readBlock(offset, composite_->end);
        offset = block.end;
        if (block.id == kColorBlock)
            palette = readPalette(block);
        else if (block.id == kChannelBlock) {
            Channel c = readChannel(block);
            if (c.bitmapType == kCompositeBitmap || c.bitmapType == kImageBitmap)
                channels.push_back(c);
        }
    }
    if (palette.empty())
        palette = palette_.empty() ? grayRamp(r.bitDepth) : palette_;
    const Planes planes = unpackPlanes(r, channels);
    QImage image = allocatePicture(r.width, r.height, QImage::Format_BGR888);
    paint(image, 0, 0, r, planes, palette);
    return image;
}

QImage PspFile::decodeLayer()
{
    const Raster& picture = *picture_;
    checkRaster(picture);
    checkPictureSize(picture.width, picture.height);
    const Block& layer = *firstRasterLayer_;

    in_.seek(layer.start);
    if (twoLengths_) {
        in_.skip(256);
    } else {
        in_.skip(4);
        in_.skip(in_.u16le());
    }
    in_.skip(1); // type
    int64_t rect[4], saved[4];
    for (int64_t& v : rect)
        v = in_.i32le();
    for (int64_t& v : saved)
        v = in_.i32le();
    if (in_.pos() > layer.end)
        damaged("a layer block is cut short");

    Raster r = picture;
    r.width = saved[2] - saved[0];
    r.height = saved[3] - saved[1];
    if (r.width <= 0 || r.height <= 0) { // an empty layer
        QImage canvas = allocatePicture(picture.width, picture.height, QImage::Format_BGR888);
        canvas.fill(0);
        return canvas;
    }
    checkPictureSize(r.width, r.height);

    // After the layer information: in later versions, chunks and extension blocks in any
    // order (the layer's bitmap information among them), then the channels.
    std::vector<Channel> channels;
    size_t offset = afterInfo(layer);
    while (offset < layer.end) {
        if (!blockAt(offset)) {
            if (twoLengths_)
                damaged("a layer's channels are not blocks");
            in_.seek(offset);
            const uint32_t chunk = in_.u32le();
            if (chunk < 4 || chunk > layer.end - offset)
                damaged("a layer chunk of " + std::to_string(chunk) + " bytes");
            offset += chunk;
            continue;
        }
        const Block block = readBlock(offset, layer.end);
        offset = block.end;
        if (block.id == kChannelBlock) {
            Channel c = readChannel(block);
            if (c.bitmapType == kImageBitmap)
                channels.push_back(c);
        }
    }
    const std::vector<QRgb> palette = palette_.empty() ? grayRamp(r.bitDepth) : palette_;
    const Planes planes = unpackPlanes(r, channels);
    QImage canvas = allocatePicture(picture.width, picture.height, QImage::Format_BGR888);
    canvas.fill(0);
    paint(canvas, rect[0] + saved[0], rect[1] + saved[1], r, planes, palette);
    return canvas;
}

} // namespace

QImage decodePsp(const PictureFile& file)
{
    PspFile psp(file.bytes);
    return psp.decode();
}
