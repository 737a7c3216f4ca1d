// Photoshop documents (psd, pdd): the merged composite image that a version 1 file keeps at
// its end. The color mode data, the image resources and the layer and mask section are
// skipped by their lengths; layers are never composited here, so a file whose version-info
// resource says the merged image is only a placeholder is refused.
//
// Delivered pixels:
// - bitmap mode (1 bit): 0 is white, 1 is black, as 8-bit gray 255 / 0;
// - grayscale and duotone: the gray channel; multichannel: the gray of the first channel, or
//   red, green and blue from the first three channels when there are at least three;
// - indexed: the indices with the 256-entry color table of the color mode data (768 bytes:
//   256 red values, then 256 green, then 256 blue);
// - RGB: the first three channels;
// - CMYK: inks are stored inverted (255 = no ink). Each 8-bit value is widened to 16 bits
//   (v * 257), the plain ink product C' * K' is formed at 16 bits and rounded, and its high
//   byte kept: R = ((C' * K' * 257 + 127) / 255) >> 8, likewise G from M' and B from Y'.
//   This is never more than one step from C' * K' / 255;
// - Lab: L* = 100 * L / 255, a* = a - 127.5, b* = b - 127.5 (the 0..255 range laid
//   symmetrically on -127.5..127.5), converted through XYZ with the D65 white point
//   (0.950456, 1, 1.088754) to linear sRGB, then sRGB-encoded (12.92 * v up to 0.0031306684,
//   else 1.055 * v^(1/2.4) - 0.055), clamped, rounded to 16 bits and the high byte kept.
// Samples of 16 bits keep their high byte (the conversions above work on that byte);
// alpha and other extra channels are dropped and the color channels kept as stored. (Writers
// often store a transparent composite matted on white; it is delivered that way, not
// un-matted.)
//
// Refused with a message: version 2 (large document) files, 32-bit floating-point samples
// and zip-compressed merged images (writers use zip only inside layers; no merged image in
// zip form has been seen to test against).
#include "ByteReader.h"
#include "Decoders.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum ColorMode : uint16_t {
    ModeBitmap = 0,
    ModeGrayscale = 1,
    ModeIndexed = 2,
    ModeRgb = 3,
    ModeCmyk = 4,
    ModeMultichannel = 7,
    ModeDuotone = 8,
    ModeLab = 9,
};

enum Compression : uint16_t {
    CompressionRaw = 0,
    CompressionPackBits = 1,
    CompressionZip = 2,
    CompressionZipPredicted = 3,
};

[[noreturn]] void fail(const std::string& reason)
{
    throw PictureError(reason);
}

[[noreturn]] void failDamagedRow(int channel, int row)
{
    fail("The picture data is damaged: compressed row " + std::to_string(row) + " of channel "
         + std::to_string(channel + 1) + " does not fill the picture's width.");
}

struct Header {
    int channels = 0;
    int width = 0;
    int height = 0;
    int depth = 0;
    uint16_t mode = 0;
};

// What the pixels become: one gray channel, indices into a color table, or three channels
// combined into color.
enum class Layout { Gray, Bitmap, Indexed, Rgb, Cmyk, Lab };

struct Plan {
    Layout layout;
    int channelsUsed;
};

Plan planFor(const Header& h)
{
    const auto needChannels = [&](int count, const char* what) {
        if (h.channels < count)
            fail(std::string("The picture data is damaged: a picture in ") + what + " mode needs "
                 + std::to_string(count) + " channels, it has " + std::to_string(h.channels) + ".");
    };
    const auto needDepth8or16 = [&](const char* what) {
        if (h.depth != 8 && h.depth != 16)
            fail(std::string("Photoshop pictures in ") + what + " mode with " + std::to_string(h.depth)
                 + " bits per channel are not supported.");
    };
    switch (h.mode) {
    case ModeBitmap:
        if (h.depth != 1)
            fail("Photoshop pictures in bitmap mode with " + std::to_string(h.depth)
                 + " bits per channel are not supported.");
        return {Layout::Bitmap, 1};
    case ModeGrayscale:
        needDepth8or16("grayscale");
        return {Layout::Gray, 1};
    case ModeDuotone: // no sample: checked by PsdDecoder.ColorModesGiveThePlainConversions
        needDepth8or16("duotone");
        return {Layout::Gray, 1};
    case ModeIndexed:
        if (h.depth != 8)
            fail("Photoshop pictures in indexed mode with " + std::to_string(h.depth)
                 + " bits per channel are not supported.");
        return {Layout::Indexed, 1};
    case ModeRgb:
        needDepth8or16("RGB");
        needChannels(3, "RGB");
        return {Layout::Rgb, 3};
    case ModeCmyk:
        needDepth8or16("CMYK");
        needChannels(4, "CMYK");
        return {Layout::Cmyk, 4};
    case ModeLab:
        needDepth8or16("Lab");
        needChannels(3, "Lab");
        return {Layout::Lab, 3};
    case ModeMultichannel:
        needDepth8or16("multichannel");
        return h.channels >= 3 ? Plan{Layout::Rgb, 3} : Plan{Layout::Gray, 1};
    default:
        fail("Photoshop pictures in color mode " + std::to_string(h.mode) + " are not supported.");
    }
}

// Expands one PackBits-compressed row that must decode to exactly `length` bytes. Every
// step consumes at least its header byte, so the loop ends with its input.
void unpackRow(std::span<const uint8_t> src, uint8_t* dst, size_t length, int channel, int row)
{
    size_t in = 0;
    size_t out = 0;
    const size_t end = src.size();
    while (in < end) {
        const uint8_t n = src[in++];
        if (n < 128) {
            const size_t count = size_t(n) + 1;
            if (count > end - in || count > length - out)
                failDamagedRow(channel, row);
            std::memcpy(dst + out, src.data() + in, count);
            in += count;
            out += count;
        } else if (n > 128) {
            const size_t count = 257 - size_t(n);
            if (in >= end || count > length - out)
                failDamagedRow(channel, row);
            std::memset(dst + out, src[in++], count);
            out += count;
        }
        // 128 is a no-op.
    }
    if (out != length)
        failDamagedRow(channel, row);
}

// The stored bytes of each row of the channels in use, raw or expanded from PackBits.
class ChannelRows {
public:
    ChannelRows(ByteReader& reader, const Header& h, int channelsUsed, size_t rowBytes)
        : height_(h.height), rowBytes_(rowBytes)
    {
        const uint16_t compression = reader.u16be();
        const size_t rows = checkedMul(size_t(h.channels), size_t(h.height));
        if (compression == CompressionRaw) {
            packed_ = false;
            const size_t used = checkedMul(checkedMul(size_t(channelsUsed), size_t(h.height)), rowBytes);
            pixels_ = reader.bytesAt(reader.pos(), used).data();
        } else if (compression == CompressionPackBits) {
            packed_ = true;
            // A byte count per row of every channel in the file, then the rows in order.
            const std::span<const uint8_t> counts = reader.bytesAt(reader.pos(), checkedMul(rows, 2));
            size_t offset = checkedAdd(reader.pos(), counts.size());
            const size_t usedRows = size_t(channelsUsed) * size_t(h.height);
            rowSpans_.reserve(usedRows);
            for (size_t i = 0; i < usedRows; ++i) {
                const size_t count = size_t(counts[2 * i] << 8 | counts[2 * i + 1]);
                rowSpans_.push_back(reader.bytesAt(offset, count));
                offset += count;
            }
            scratch_.resize(checkedMul(size_t(channelsUsed), rowBytes));
        } else if (compression == CompressionZip || compression == CompressionZipPredicted) {
            fail("Photoshop pictures whose merged image is zip-compressed are not supported.");
        } else {
            fail("The picture data is damaged: it names an unknown compression method " + std::to_string(compression)
                 + ".");
        }
    }

    // Row y of channel c; valid until the same channel's next row is asked for.
    const uint8_t* row(int c, int y)
    {
        if (!packed_)
            return pixels_ + (size_t(c) * size_t(height_) + size_t(y)) * rowBytes_;
        uint8_t* dst = scratch_.data() + size_t(c) * rowBytes_;
        unpackRow(rowSpans_[size_t(c) * size_t(height_) + size_t(y)], dst, rowBytes_, c, y);
        return dst;
    }

private:
    int height_;
    size_t rowBytes_;
    bool packed_ = false;
    const uint8_t* pixels_ = nullptr;
    std::vector<std::span<const uint8_t>> rowSpans_;
    std::vector<uint8_t> scratch_;
};

// The ink product at 16 bits, high byte kept: ((c * 257) * (k * 257) / 65535 rounded) >> 8.
inline uint8_t inkProduct(unsigned c, unsigned k)
{
    return uint8_t(((c * k * 257 + 127) / 255) >> 8);
}

// Lab to sRGB for 8-bit channels. The XYZ parts depend on (L, a), L alone and (L, b), so
// they are tabulated; the encoding of each linear component to 0..255 is monotonic, so it
// is found among the 255 thresholds where the result steps up, computed once by bisection
// on the exact formula.
class LabToRgb {
public:
    static const LabToRgb& instance()
    {
        static const LabToRgb table;
        return table;
    }

    void convert(unsigned l, unsigned a, unsigned b, uint8_t* bgr) const
    {
        const double x = fx_[l << 8 | a];
        const double y = fy_[l];
        const double z = fz_[l << 8 | b];
        const double red = 3.2404542 * x - 1.5371385 * y - 0.4985314 * z;
        const double green = -0.9692660 * x + 1.8760108 * y + 0.0415560 * z;
        const double blue = 0.0556434 * x - 0.2040259 * y + 1.0572252 * z;
        bgr[0] = encoded(blue);
        bgr[1] = encoded(green);
        bgr[2] = encoded(red);
    }

private:
    LabToRgb() : fx_(65536), fy_(256), fz_(65536)
    {
        constexpr double epsilon = 216.0 / 24389.0;
        constexpr double kappa = 24389.0 / 27.0;
        const auto finish = [&](double t) { return t * t * t > epsilon ? t * t * t : (116.0 * t - 16.0) / kappa; };
        for (unsigned l = 0; l < 256; ++l) {
            const double lightness = 100.0 * (double(l * 257) / 65535.0);
            const double fy = (lightness + 16.0) / 116.0;
            fy_[l] = lightness > kappa * epsilon ? fy * fy * fy : lightness / kappa;
            for (unsigned v = 0; v < 256; ++v) {
                const double chroma = 255.0 * (double(v * 257) / 65535.0 - 0.5);
                fx_[l << 8 | v] = 0.950456 * finish(fy + chroma / 500.0);
                fz_[l << 8 | v] = 1.088754 * finish(fy - chroma / 200.0);
            }
        }
        // thresholds_[k - 1]: the least component value that encodes to k or more.
        for (int k = 1; k < 256; ++k) {
            int64_t lo = 0;                      // bits of 0.0: encodes below k
            int64_t hi = bitsOf(2.0);            // encodes to 255
            while (hi - lo > 1) {
                const int64_t mid = lo + (hi - lo) / 2;
                if (exactEncoding(valueOf(mid)) >= k)
                    hi = mid;
                else
                    lo = mid;
            }
            thresholds_[k - 1] = valueOf(hi);
        }
    }

    static int64_t bitsOf(double v)
    {
        int64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return bits;
    }
    static double valueOf(int64_t bits)
    {
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    // sRGB encoding of a linear component at 16 bits, clamped and rounded, high byte kept.
    static int exactEncoding(double linear)
    {
        const double v = 65535.0 * linear;
        const double encoded = v <= 0.0031306684425005883 * 65535.0
            ? 12.92 * v
            : 65535.0 * (1.055 * std::pow(v / 65535.0, 1.0 / 2.4) - 0.055);
        if (!(encoded > 0.0))
            return 0;
        if (encoded >= 65535.0)
            return 255;
        return int(unsigned(encoded + 0.5) >> 8);
    }

    uint8_t encoded(double linear) const
    {
        // Thresholds are ascending; count those at or below the value.
        int lo = 0;
        int hi = 255;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (thresholds_[mid] <= linear)
                lo = mid + 1;
            else
                hi = mid;
        }
        return uint8_t(lo);
    }

    std::vector<double> fx_;
    std::vector<double> fy_;
    std::vector<double> fz_;
    double thresholds_[255] = {};
};

// Writes one output row from the rows of the channels in use. Step is 1 for 8-bit samples
// and 2 for 16-bit ones, whose first (high) byte is kept.
template <int Step>
void convertRow(Layout layout, const uint8_t* const* src, uint8_t* dst, int width)
{
    switch (layout) {
    case Layout::Gray:
    case Layout::Indexed:
        if constexpr (Step == 1) {
            std::memcpy(dst, src[0], size_t(width));
        } else { // no sample: 16-bit gray; checked by PsdDecoder.ColorModesGiveThePlainConversions
            for (int x = 0; x < width; ++x)
                dst[x] = src[0][x * Step];
        }
        break;
    case Layout::Bitmap:
        for (int x = 0; x < width; ++x)
            dst[x] = (src[0][x >> 3] >> (7 - (x & 7)) & 1) ? 0 : 255;
        break;
    case Layout::Rgb: {
        const uint8_t* r = src[0];
        const uint8_t* g = src[1];
        const uint8_t* b = src[2];
        for (int x = 0; x < width; ++x, dst += 3) {
            dst[0] = b[x * Step];
            dst[1] = g[x * Step];
            dst[2] = r[x * Step];
        }
        break;
    }
    case Layout::Cmyk: {
        const uint8_t* c = src[0];
        const uint8_t* m = src[1];
        const uint8_t* y = src[2];
        const uint8_t* k = src[3];
        for (int x = 0; x < width; ++x, dst += 3) {
            const unsigned black = k[x * Step];
            dst[0] = inkProduct(y[x * Step], black);
            dst[1] = inkProduct(m[x * Step], black);
            dst[2] = inkProduct(c[x * Step], black);
        }
        break;
    }
    case Layout::Lab: {
        const LabToRgb& lab = LabToRgb::instance();
        for (int x = 0; x < width; ++x, dst += 3)
            lab.convert(src[0][x * Step], src[1][x * Step], src[2][x * Step], dst);
        break;
    }
    }
}

// The version-info resource (1057) tells whether the merged image is real: a file saved
// without "maximize compatibility" keeps only a placeholder there. Other resources are of
// no interest. A malformed resource list simply ends the search; the section as a whole is
// skipped by its length either way.
bool mergedImageIsPlaceholder(std::span<const uint8_t> resources)
{
    ByteReader reader(resources);
    while (reader.remaining() >= 12) {
        reader.skip(4); // signature, normally 8BIM
        const uint16_t id = reader.u16be();
        const size_t nameLength = reader.u8();
        const size_t namePadding = (nameLength + 1) % 2; // the name and its length byte fill an even count
        if (reader.remaining() < nameLength + namePadding + 4)
            return false;
        reader.skip(nameLength + namePadding);
        const uint32_t size = reader.u32be();
        if (size > reader.remaining())
            return false;
        const std::span<const uint8_t> data = reader.bytes(size);
        if (id == 1057 && data.size() >= 5)
            return data[4] == 0; // after a 4-byte version: "has real merged data"
        reader.skip(std::min<size_t>(size % 2, reader.remaining()));
    }
    return false;
}

Header readHeader(ByteReader& reader)
{
    const auto signature = reader.bytes(4);
    if (std::memcmp(signature.data(), "8BPS", 4) != 0)
        fail("The file is not a Photoshop picture.");
    const uint16_t version = reader.u16be();
    if (version == 2)
        fail("Photoshop large document format (version 2) files are not supported.");
    if (version != 1)
        fail("Photoshop files of version " + std::to_string(version) + " are not supported.");
    reader.skip(6);

    Header h;
    h.channels = reader.u16be();
    const uint32_t height = reader.u32be();
    const uint32_t width = reader.u32be();
    h.depth = reader.u16be();
    h.mode = reader.u16be();
    if (h.channels == 0)
        fail("The picture data is damaged: it has no channels.");
    if (h.depth == 32)
        fail("Photoshop pictures with 32-bit floating-point channels are not supported.");
    if (h.depth != 1 && h.depth != 8 && h.depth != 16)
        fail("The picture data is damaged: it gives an invalid depth of " + std::to_string(h.depth)
             + " bits per channel.");
    checkPictureSize(width, height);
    h.width = int(width);
    h.height = int(height);
    return h;
}

} // namespace

QImage decodePsd(const PictureFile& file)
{
    ByteReader reader(file.bytes);
    const Header h = readHeader(reader);
    const Plan plan = planFor(h);

    const uint32_t colorDataLength = reader.u32be();
    const std::span<const uint8_t> colorData = reader.bytes(colorDataLength);
    if (plan.layout == Layout::Indexed && colorData.size() < 768)
        fail("The picture data is damaged: its color table holds " + std::to_string(colorData.size())
             + " bytes of the 768 it needs.");
    const std::span<const uint8_t> resources = reader.bytes(reader.u32be());
    if (mergedImageIsPlaceholder(resources))
        fail("The file has no merged image (it was saved without maximized compatibility).");
    reader.skip(reader.u32be()); // layer and mask information

    const size_t rowBytes = h.depth == 1 ? (size_t(h.width) + 7) / 8 : checkedMul(size_t(h.width), size_t(h.depth / 8));
    ChannelRows rows(reader, h, plan.channelsUsed, rowBytes);

    QImage::Format format = QImage::Format_BGR888;
    if (plan.layout == Layout::Gray || plan.layout == Layout::Bitmap)
        format = QImage::Format_Grayscale8;
    else if (plan.layout == Layout::Indexed)
        format = QImage::Format_Indexed8;
    QImage image = allocatePicture(h.width, h.height, format);
    if (plan.layout == Layout::Indexed) {
        QList<QRgb> table(256);
        for (int i = 0; i < 256; ++i)
            table[i] = qRgb(colorData[size_t(i)], colorData[size_t(256 + i)], colorData[size_t(512 + i)]);
        image.setColorTable(table);
    }

    const uint8_t* src[4] = {};
    for (int y = 0; y < h.height; ++y) {
        for (int c = 0; c < plan.channelsUsed; ++c)
            src[c] = rows.row(c, y);
        if (h.depth == 16)
            convertRow<2>(plan.layout, src, image.scanLine(y), h.width);
        else
            convertRow<1>(plan.layout, src, image.scanLine(y), h.width);
    }
    return image;
}
