// TIFF through libtiff, read from memory: the first image of the file, with every
// compression libtiff decodes. Bilevel, gray, palette, RGB, CMYK and CIE L*a*b* images
// are read as scanlines or tiles and converted here:
//   - samples of fewer than 8 bits are scaled to 0..255 by bit replication (so 6-bit 0x21
//     becomes 0x86), wider integer samples keep their high byte, signed samples are
//     offset so that the smallest value is black, floating-point samples (and LogL
//     luminance) are clamped to 0..1 and keep the high byte of their 16-bit value;
//   - MinIsWhite is inverted, palettes are looked up (16-bit entries keep the high byte),
//     CMYK becomes RGB by the plain ink formula, JPEG-compressed YCbCr is converted by
//     libjpeg;
//   - extra samples (alpha) are dropped as stored, never blended: associated alpha leaves
//     the colors premultiplied, as the file holds them.
// Other photometric interpretations (YCbCr outside JPEG, LogLuv, old-style JPEG) go
// through libtiff's RGBA reader, which converts YCbCr with the file's coefficients. Rows are
// delivered in stored order; tiffOrientation reads the Orientation tag for the registry.
// libtiff's warnings are silenced; its errors are mapped to a plain reason (tiffReason).
#include "Decoders.h"
#include "ImageConversion.h"
#include "ImageLimits.h"
#include "PictureError.h"
#include "StoredOrientation.h"

#include <QRegularExpression>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <tiffio.h>

namespace {

// No photo stores more samples per pixel than this (CMYK with a few extra channels at most);
// more is scientific data or a lying file, whose rows would cost work out of all proportion
// to the pixels delivered.
constexpr int kMaxSamplesPerPixel = 8;

// ---- libtiff over a span of bytes --------------------------------------------------------

struct TiffSource {
    const uint8_t* data;
    uint64_t size;
    uint64_t pos;
};

struct TiffMessages {
    char error[512];
    bool dataLost; // libjpeg, inside libtiff, warned that data ended early
};

tmsize_t tiffRead(thandle_t handle, void* out, tmsize_t count)
{
    auto* source = static_cast<TiffSource*>(handle);
    if (count <= 0 || source->pos >= source->size)
        return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(count), source->size - source->pos);
    std::memcpy(out, source->data + source->pos, size_t(n));
    source->pos += n;
    return tmsize_t(n);
}

tmsize_t tiffWrite(thandle_t, void*, tmsize_t)
{
    return 0;
}

toff_t tiffSeek(thandle_t handle, toff_t offset, int whence)
{
    auto* source = static_cast<TiffSource*>(handle);
    uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = source->pos;
    else if (whence == SEEK_END)
        base = source->size;
    if (offset > UINT64_MAX - base)
        return toff_t(-1);
    source->pos = base + offset;
    return source->pos;
}

int tiffClose(thandle_t)
{
    return 0;
}

toff_t tiffSize(thandle_t handle)
{
    return static_cast<TiffSource*>(handle)->size;
}

// The bytes are already in memory: libtiff reads them in place and never writes to them.
int tiffMap(thandle_t handle, void** base, toff_t* size)
{
    auto* source = static_cast<TiffSource*>(handle);
    *base = const_cast<uint8_t*>(source->data);
    *size = source->size;
    return 1;
}

void tiffUnmap(thandle_t, void*, toff_t) {}

int tiffError(TIFF*, void* user, const char*, const char* format, va_list args)
{
    auto* messages = static_cast<TiffMessages*>(user);
    std::vsnprintf(messages->error, sizeof messages->error, format, args);
    return 1;
}

int tiffWarning(TIFF*, void* user, const char* module, const char* format, va_list args)
{
    // Warnings are silent, except libjpeg's report that a JPEG strip or tile ended before
    // its pixels: that leaves gray blocks, which are treated as an error.
    if (module && std::strcmp(module, "JPEGLib") == 0) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        if (std::strstr(text, "Premature end of JPEG") || std::strstr(text, "premature end of data segment")) {
            auto* messages = static_cast<TiffMessages*>(user);
            std::snprintf(messages->error, sizeof messages->error, "%s", text);
            messages->dataLost = true;
        }
    }
    return 1;
}

// The color model of a photometric interpretation libtiff may refuse, in the user's words.
const char* photometricName(int photometric)
{
    switch (photometric) {
    case PHOTOMETRIC_YCBCR: return "YCbCr";
    case PHOTOMETRIC_SEPARATED: return "ink (other than CMYK)";
    case PHOTOMETRIC_CIELAB: return "CIE L*a*b*";
    case PHOTOMETRIC_ICCLAB: return "ICC L*a*b*";
    case PHOTOMETRIC_ITULAB: return "ITU L*a*b*";
    case PHOTOMETRIC_LOGL: return "LogL";
    case PHOTOMETRIC_LOGLUV: return "LogLuv";
    case PHOTOMETRIC_CFA: return "raw camera (color filter array)";
    case PHOTOMETRIC_MASK: return "transparency mask";
    default: return nullptr;
    }
}

// The reason for a compression scheme this build of libtiff cannot decode.
QString unsupportedCompression(uint16_t compression)
{
    const TIFFCodec* codec = compression ? TIFFFindCODEC(compression) : nullptr;
    if (codec && codec->name)
        return QStringLiteral("TIFF pictures with %1 compression are not supported.").arg(QString::fromLatin1(codec->name));
    if (compression)
        return QStringLiteral("TIFF pictures with compression scheme %1 are not supported.").arg(compression);
    return QStringLiteral("The picture's compression is not supported.");
}

// libtiff gives no error codes, only messages; they are mapped by the words that mark each
// cause. tiff may be null (the file did not open).
QString tiffReason(const char* libraryMessage, TIFF* tiff)
{
    const QString message = QString::fromLocal8Bit(libraryMessage);
    const auto has = [&](const char* text) { return message.contains(QLatin1String(text), Qt::CaseInsensitive); };
    if (has("Not a TIFF"))
        return QStringLiteral("The file is not a TIFF picture.");
    if (has("Cannot read TIFF header"))
        return QStringLiteral("The file is too short to be a TIFF picture.");
    if (has("decoding is not implemented") || has("is not configured")) {
        uint16_t compression = 0;
        if (tiff)
            TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
        return unsupportedCompression(compression);
    }
    if (has("Sorry")) {
        // Messages of the RGBA reader: "Sorry, can not handle images with 12-bit samples",
        // "... image with PhotometricInterpretation=9".
        const QRegularExpressionMatch bits = QRegularExpression(QStringLiteral("(\\d+)-bit samples")).match(message);
        if (bits.hasMatch())
            return QStringLiteral("TIFF pictures with %1-bit samples are not supported.").arg(bits.captured(1));
        uint16_t photometric = 0;
        if (tiff && TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) && photometricName(photometric))
            return QStringLiteral("TIFF pictures with %1 colors are not supported.")
                .arg(QString::fromLatin1(photometricName(photometric)));
        return QStringLiteral("This kind of TIFF picture is not supported.");
    }
    if (has("beyond") || has("exceeds"))
        return QStringLiteral("The picture data is damaged: its sizes do not fit together.");
    if (has("memory"))
        return QString::fromLatin1(PictureReason::kOutOfMemory);
    if (has("Read error") || has("Premature") || has("Not enough data") || has("Seek error")
        || has("Cannot read offset") || has("Can not read TIFF directory") || has("Failed to read directory")
        || has("end of stream") || has("truncated"))
        return QString::fromLatin1(PictureReason::kTruncated);
    if (has("missing required"))
        return QStringLiteral("The picture data is damaged: information it needs is missing.");
    return QString::fromLatin1(PictureReason::kDamaged);
}

class TiffReader {
public:
    explicit TiffReader(const PictureFile& file)
    {
        source_ = TiffSource{file.bytes.data(), file.bytes.size(), 0};
        messages_.error[0] = 0;
        messages_.dataLost = false;
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (!options)
            throw PictureError(PictureReason::kOutOfMemory);
        TIFFOpenOptionsSetErrorHandlerExtR(options, tiffError, &messages_);
        TIFFOpenOptionsSetWarningHandlerExtR(options, tiffWarning, &messages_);
        // No single allocation of libtiff's own may exceed what a picture within the size
        // limits can need; lying tags fail instead of exhausting memory.
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(1) << 31);
        tiff_ = TIFFClientOpenExt("memory", "r", &source_, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize,
                                  tiffMap, tiffUnmap, options);
        TIFFOpenOptionsFree(options);
        if (!tiff_)
            fail();
    }
    ~TiffReader()
    {
        if (tiff_)
            TIFFClose(tiff_);
    }
    TiffReader(const TiffReader&) = delete;
    TiffReader& operator=(const TiffReader&) = delete;

    TIFF* tiff() const { return tiff_; }

    // Fails with the reason of libtiff's last error, else with the fallback.
    [[noreturn]] void fail(const char* fallback = PictureReason::kDamaged) const
    {
        if (messages_.dataLost)
            throw PictureError(PictureReason::kTruncated);
        if (!messages_.error[0])
            throw PictureError(fallback);
        throw PictureError(tiffReason(messages_.error, tiff_));
    }
    [[noreturn]] void failWith(const QString& reason) const { throw PictureError(reason); }
    // After each read: an error from libtiff, or a warning that lost data, stops the decode.
    void check(bool ok) const
    {
        if (!ok || messages_.dataLost)
            fail("The picture data is damaged: part of it cannot be decoded.");
    }

private:
    TiffSource source_{};
    TiffMessages messages_{};
    TIFF* tiff_ = nullptr;
};

template <typename T>
T field(TIFF* tiff, ttag_t tag, T fallback)
{
    T value = fallback;
    if (!TIFFGetFieldDefaulted(tiff, tag, &value))
        return fallback;
    return value;
}

// ---- samples to 8 bits -------------------------------------------------------------------

enum class Kind { Gray, Palette, Rgb, Cmyk, Lab };

struct Layout {
    Kind kind = Kind::Gray;
    int channels = 1; // samples per pixel this decoder uses: 1, 3 or 4
    int spp = 1;      // samples per pixel stored
    int bits = 8;
    int sampleFormat = SAMPLEFORMAT_UINT;
    bool separate = false;
    bool minIsWhite = false;
    uint8_t palette[256][3] = {}; // blue, green, red
    uint8_t scale[256] = {};      // samples of fewer than 8 bits to 0..255
};

uint8_t floatTo8(double v)
{
    if (!(v > 0))
        return 0;
    if (v >= 1)
        return 255;
    return uint8_t(std::lround(v * 65535.0) >> 8);
}

// Unpacks count samples of one row (packed MSB first, multi-byte samples in host order as
// libtiff delivers them) into one byte each. Palette indexes stay raw; other samples are
// brought to 0..255.
void unpackSamples(const uint8_t* src, size_t count, const Layout& layout, uint8_t* dst)
{
    const int bits = layout.bits;
    const bool raw = layout.kind == Kind::Palette;
    const bool isSigned = layout.sampleFormat == SAMPLEFORMAT_INT;
    if (layout.sampleFormat == SAMPLEFORMAT_IEEEFP) {
        if (bits == 32) {
            for (size_t i = 0; i < count; ++i) {
                float v;
                std::memcpy(&v, src + 4 * i, 4);
                dst[i] = floatTo8(v);
            }
        } else {
            // no sample: 64-bit floating-point samples;
            // checked by TiffDecoder.WideFloatingPointAndSignedSamplesKeepTheirHighByte
            for (size_t i = 0; i < count; ++i) {
                double v;
                std::memcpy(&v, src + 8 * i, 8);
                dst[i] = floatTo8(v);
            }
        }
        return;
    }
    // Signed samples are moved to unsigned by offsetting (flipping the sign bit), which
    // maps the smallest value to 0 and the largest to the top.
    switch (bits) {
    case 8:
        if (isSigned) {
            for (size_t i = 0; i < count; ++i)
                dst[i] = src[i] ^ 0x80;
        } else {
            std::memcpy(dst, src, count);
        }
        return;
    case 16:
        for (size_t i = 0; i < count; ++i) {
            uint16_t v;
            std::memcpy(&v, src + 2 * i, 2);
            dst[i] = uint8_t((v >> 8) ^ (isSigned ? 0x80 : 0));
        }
        return;
    case 24:
        for (size_t i = 0; i < count; ++i) {
            const uint8_t high = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? src[3 * i + 2] : src[3 * i];
            dst[i] = uint8_t(high ^ (isSigned ? 0x80 : 0));
        }
        return;
    case 32:
        for (size_t i = 0; i < count; ++i) {
            uint32_t v;
            std::memcpy(&v, src + 4 * i, 4);
            // no sample: signed 32-bit; checked by TiffDecoder.WideFloatingPointAndSignedSamplesKeepTheirHighByte
            dst[i] = uint8_t((v >> 24) ^ (isSigned ? 0x80 : 0));
        }
        return;
    default:
        break;
    }
    // Bit-packed samples of 1..31 bits, most significant bit first.
    uint64_t acc = 0;
    int accBits = 0;
    const uint32_t mask = bits == 32 ? 0xffffffffu : (1u << bits) - 1;
    for (size_t i = 0; i < count; ++i) {
        while (accBits < bits) {
            acc = (acc << 8) | *src++;
            accBits += 8;
        }
        accBits -= bits;
        const uint32_t v = uint32_t(acc >> accBits) & mask;
        if (raw)
            dst[i] = uint8_t(v);
        else if (bits < 8)
            dst[i] = layout.scale[v];
        else
            dst[i] = uint8_t(v >> (bits - 8));
    }
}

// CIE L*a*b* (L* 0..100 as 0..255, a* and b* signed) to sRGB. The white of L*a*b* is
// taken as the display's D65 white, so neutral colors (a* = b* = 0) stay neutral: L*a*b*
// to XYZ, then the sRGB primaries and transfer curve.
void labToBgr(uint8_t l8, int8_t a8, int8_t b8, uint8_t* bgr)
{
    const double fy = (l8 * (100.0 / 255.0) + 16.0) / 116.0;
    const double fx = fy + a8 / 500.0;
    const double fz = fy - b8 / 200.0;
    auto inverse = [](double f) {
        const double cube = f * f * f;
        return cube > 216.0 / 24389.0 ? cube : (116.0 * f - 16.0) * (27.0 / 24389.0);
    };
    const double x = 0.95047 * inverse(fx);
    const double y = 1.00000 * inverse(fy);
    const double z = 1.08883 * inverse(fz);
    const double linear[3] = {
        3.2404542 * x - 1.5371385 * y - 0.4985314 * z,
        -0.9692660 * x + 1.8760108 * y + 0.0415560 * z,
        0.0556434 * x - 0.2040259 * y + 1.0572252 * z,
    };
    for (int c = 0; c < 3; ++c) {
        const double v = linear[c];
        const double encoded = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
        bgr[2 - c] = floatTo8(encoded);
    }
}

// Converts count pixels whose channel c is at ch[c][i * step] to blue-green-red.
void convertPixels(const uint8_t* const ch[4], size_t step, size_t count, const Layout& layout, uint8_t* bgr)
{
    switch (layout.kind) {
    case Kind::Gray: {
        const uint8_t flip = layout.minIsWhite ? 0xff : 0;
        for (size_t i = 0; i < count; ++i, bgr += 3)
            bgr[0] = bgr[1] = bgr[2] = ch[0][i * step] ^ flip;
        return;
    }
    case Kind::Palette:
        for (size_t i = 0; i < count; ++i, bgr += 3)
            std::memcpy(bgr, layout.palette[ch[0][i * step]], 3);
        return;
    case Kind::Rgb:
        for (size_t i = 0; i < count; ++i, bgr += 3) {
            bgr[0] = ch[2][i * step];
            bgr[1] = ch[1][i * step];
            bgr[2] = ch[0][i * step];
        }
        return;
    case Kind::Cmyk:
        // Plain ink formula: (255 - ink) x (255 - black) / 255, truncated.
        for (size_t i = 0; i < count; ++i, bgr += 3) {
            const unsigned k = 255u - ch[3][i * step];
            bgr[0] = uint8_t((255u - ch[2][i * step]) * k / 255);
            bgr[1] = uint8_t((255u - ch[1][i * step]) * k / 255);
            bgr[2] = uint8_t((255u - ch[0][i * step]) * k / 255);
        }
        return;
    case Kind::Lab:
        for (size_t i = 0; i < count; ++i, bgr += 3)
            labToBgr(ch[0][i * step], int8_t(ch[1][i * step]), int8_t(ch[2][i * step]), bgr);
        return;
    }
}

// Rows of one gray or palette sample of 1, 2 or 4 bits (bilevel pictures above all) are
// expanded a whole byte at a time: a table gives the blue-green-red pixels of every byte
// value, so a row costs one copy per byte instead of work per pixel. The pixels are those
// unpackSamples and convertPixels give.
class PackedRowExpander {
public:
    static bool applies(const Layout& layout)
    {
        return (layout.kind == Kind::Gray || layout.kind == Kind::Palette) && layout.spp == 1
            && layout.sampleFormat == SAMPLEFORMAT_UINT && (layout.bits == 1 || layout.bits == 2 || layout.bits == 4);
    }

    explicit PackedRowExpander(const Layout& layout) : perByte_(8 / layout.bits)
    {
        const int bits = layout.bits;
        const unsigned mask = (1u << bits) - 1;
        const uint8_t flip = layout.minIsWhite ? 0xff : 0;
        for (unsigned byte = 0; byte < 256; ++byte) {
            uint8_t* bgr = table_[byte];
            for (int k = 0; k < perByte_; ++k, bgr += 3) {
                const unsigned v = (byte >> (8 - bits * (k + 1))) & mask;
                if (layout.kind == Kind::Palette) {
                    std::memcpy(bgr, layout.palette[v], 3);
                } else {
                    bgr[0] = bgr[1] = bgr[2] = layout.scale[v] ^ flip;
                }
            }
        }
    }

    // Expands the first `pixels` samples of a packed row (most significant bits first).
    void expand(const uint8_t* src, size_t pixels, uint8_t* bgr) const
    {
        switch (perByte_) {
        case 8: expandWhole<8>(src, pixels, bgr); break;
        case 4: expandWhole<4>(src, pixels, bgr); break;
        default: expandWhole<2>(src, pixels, bgr); break;
        }
        if (const size_t rest = pixels % size_t(perByte_))
            std::memcpy(bgr + 3 * (pixels - rest), table_[src[pixels / size_t(perByte_)]], 3 * rest);
    }

private:
    // The whole bytes of the row; a copy of a size known here is a few moves, not a call.
    template <int PerByte>
    void expandWhole(const uint8_t* src, size_t pixels, uint8_t* bgr) const
    {
        const size_t whole = pixels / PerByte;
        for (size_t i = 0; i < whole; ++i, bgr += 3 * PerByte)
            std::memcpy(bgr, table_[src[i]], 3 * PerByte);
    }

    int perByte_;
    uint8_t table_[256][24] = {};
};

// ---- reading -----------------------------------------------------------------------------

bool isFaxCompression(int compression)
{
    return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3
        || compression == COMPRESSION_CCITTFAX4 || compression == COMPRESSION_CCITTRLEW;
}

bool isHandledHere(TIFF* tiff, int photometric, int compression)
{
    if (compression == COMPRESSION_OJPEG)
        return false;
    switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_PALETTE:
    case PHOTOMETRIC_RGB:
        return true;
    case PHOTOMETRIC_SEPARATED:
        return field<uint16_t>(tiff, TIFFTAG_INKSET, INKSET_CMYK) == INKSET_CMYK;
    case PHOTOMETRIC_YCBCR:
        // libjpeg converts JPEG-compressed YCbCr to RGB itself.
        return compression == COMPRESSION_JPEG;
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_LOGL:
        return true;
    // no sample: other interpretations (LogLuv, ICC Lab) go through the RGBA reader;
    // checked by TiffDecoder.OtherInterpretationsGoThroughLibtiffsRgbaReader
    default:
        return false;
    }
}

Layout describe(const TiffReader& reader, int photometric)
{
    TIFF* tiff = reader.tiff();
    Layout layout;
    layout.spp = field<uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    layout.bits = field<uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    layout.sampleFormat = field<uint16_t>(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    // With one sample per pixel both planar configurations store the same rows.
    layout.separate = layout.spp > 1
        && field<uint16_t>(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == PLANARCONFIG_SEPARATE;

    switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
        layout.minIsWhite = true;
        [[fallthrough]];
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_LOGL: // luminance as floating point, see decodeTiff
        layout.kind = Kind::Gray;
        layout.channels = 1;
        break;
    case PHOTOMETRIC_PALETTE:
        layout.kind = Kind::Palette;
        layout.channels = 1;
        break;
    case PHOTOMETRIC_SEPARATED:
        layout.kind = Kind::Cmyk;
        layout.channels = 4;
        break;
    case PHOTOMETRIC_CIELAB:
        // a* and b* are signed; their raw (high) bytes are read as two's complement.
        layout.kind = Kind::Lab;
        layout.channels = 3;
        layout.sampleFormat = SAMPLEFORMAT_UINT;
        break;
    default: // RGB, and JPEG-compressed YCbCr delivered as RGB
        layout.kind = Kind::Rgb;
        layout.channels = 3;
        break;
    }
    if (layout.spp < layout.channels)
        reader.failWith(QStringLiteral("The picture data is damaged: %1 samples per pixel are too few for its colors.")
                            .arg(layout.spp));

    const int bits = layout.bits;
    switch (layout.sampleFormat) {
    case SAMPLEFORMAT_UINT:
    case SAMPLEFORMAT_VOID:
        layout.sampleFormat = SAMPLEFORMAT_UINT;
        if (bits < 1 || bits > 32)
            reader.failWith(QStringLiteral("TIFF pictures with %1-bit samples are not supported.").arg(bits));
        break;
    case SAMPLEFORMAT_INT:
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
            reader.failWith(QStringLiteral("TIFF pictures with signed %1-bit samples are not supported.").arg(bits));
        break;
    case SAMPLEFORMAT_IEEEFP:
        if (bits != 32 && bits != 64)
            reader.failWith(
                QStringLiteral("TIFF pictures with %1-bit floating-point samples are not supported.").arg(bits));
        break;
    default:
        reader.failWith(
            QStringLiteral("TIFF pictures with sample format %1 are not supported.").arg(layout.sampleFormat));
    }

    if (layout.kind == Kind::Palette) {
        if (layout.sampleFormat != SAMPLEFORMAT_UINT || bits > 8)
            reader.failWith(QStringLiteral("TIFF palette pictures with %1-bit samples are not supported.").arg(bits));
        uint16_t* red = nullptr;
        uint16_t* green = nullptr;
        uint16_t* blue = nullptr;
        if (!TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
            reader.failWith(QStringLiteral("The picture's palette is missing."));
        const int entries = 1 << bits;
        // Old writers stored 8-bit entries; when no entry exceeds 255 they are taken as is,
        // otherwise each 16-bit entry keeps its high byte.
        bool wide = false;
        for (int i = 0; i < entries; ++i)
            wide = wide || red[i] > 255 || green[i] > 255 || blue[i] > 255;
        // no sample: 8-bit color map entries; checked by TiffDecoder.ColorMapEntriesOfEightOrSixteenBits
        const int shift = wide ? 8 : 0;
        for (int i = 0; i < entries; ++i) {
            layout.palette[i][0] = uint8_t(blue[i] >> shift);
            layout.palette[i][1] = uint8_t(green[i] >> shift);
            layout.palette[i][2] = uint8_t(red[i] >> shift);
        }
    } else if (bits < 8) {
        // Bit replication: the sample's bits repeated until 8 are filled.
        const int levels = 1 << bits;
        for (int v = 0; v < levels; ++v) {
            unsigned out = 0;
            for (int filled = 0; filled < 8; filled += bits)
                out = (out << bits) | unsigned(v);
            layout.scale[v] = uint8_t(out >> ((8 + bits - 1) / bits * bits - 8));
        }
    }
    return layout;
}

// Bytes of one stored sample value, for sizing the row buffers of unpacked samples.
size_t unpackedCount(size_t pixels, const Layout& layout)
{
    return checkedMul(pixels, layout.separate ? 1 : size_t(layout.spp));
}

// Pixels stored together, a strip at a time: libtiff decodes a whole strip in one call
// (deflate through libdeflate then, not zlib's streaming inflate). 8-bit RGB rows of exactly
// the bitmap's row length are decoded straight into the bitmap and turned to blue-green-red
// in place; other layouts go through a buffer of one strip. False, having read nothing, when
// the strips are too large for that buffer (a picture stored as one strip): the rows are then
// read one at a time.
bool readWholeStrips(const TiffReader& reader, const Layout& layout, uint64_t rowBytes, QImage& image)
{
    TIFF* tiff = reader.tiff();
    const size_t width = size_t(image.width());
    const uint32_t height = uint32_t(image.height());
    const uint32_t rowsPerStrip = std::clamp<uint32_t>(field<uint32_t>(tiff, TIFFTAG_ROWSPERSTRIP, height), 1, height);
    if (TIFFScanlineSize64(tiff) != rowBytes || TIFFStripSize64(tiff) != rowBytes * rowsPerStrip)
        return false; // subsampled or otherwise unusual rows: one at a time
    const bool direct = layout.kind == Kind::Rgb && layout.spp == 3 && layout.bits == 8
        && layout.sampleFormat == SAMPLEFORMAT_UINT && rowBytes == width * 3
        && uint64_t(image.bytesPerLine()) == rowBytes;
    constexpr uint64_t kMaxStripBuffer = uint64_t(16) << 20;
    if (!direct && rowBytes * rowsPerStrip > kMaxStripBuffer)
        return false;
    std::vector<uint8_t> strip(direct ? 0 : size_t(rowBytes * rowsPerStrip));
    std::vector<uint8_t> samples(unpackedCount(width, layout));
    const size_t spp = size_t(layout.spp);
    for (uint32_t y0 = 0; y0 < height; y0 += rowsPerStrip) {
        const uint32_t rows = std::min(rowsPerStrip, height - y0);
        const tmsize_t bytes = tmsize_t(rowBytes * rows);
        uint8_t* target = direct ? image.scanLine(int(y0)) : strip.data();
        reader.check(TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, y0, 0), target, bytes) == bytes);
        if (direct) {
            for (uint8_t* p = target; p < target + bytes; p += 3)
                std::swap(p[0], p[2]);
            continue;
        }
        const uint8_t* ch[4];
        for (uint32_t r = 0; r < rows; ++r) {
            const uint8_t* values = strip.data() + size_t(r) * size_t(rowBytes);
            if (layout.bits != 8 || layout.sampleFormat != SAMPLEFORMAT_UINT) {
                unpackSamples(values, samples.size(), layout, samples.data());
                values = samples.data();
            }
            for (int c = 0; c < 4; ++c)
                ch[c] = values + std::min(c, layout.channels - 1);
            convertPixels(ch, spp, width, layout, image.scanLine(int(y0 + r)));
        }
    }
    return true;
}

// Stripped images, read row by row.
void readStrips(const TiffReader& reader, const Layout& layout, QImage& image)
{
    TIFF* tiff = reader.tiff();
    const size_t width = size_t(image.width());
    const int height = image.height();
    const uint64_t rowBytes = TIFFScanlineSize64(tiff);
    const uint64_t needed = (uint64_t(unpackedCount(width, layout)) * uint64_t(layout.bits) + 7) / 8;
    if (rowBytes == 0 || rowBytes < needed)
        reader.fail("The picture data is damaged: its rows do not match its width.");
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    std::vector<uint8_t> samples(unpackedCount(width, layout));

    if (PackedRowExpander::applies(layout)) {
        const PackedRowExpander expander(layout);
        for (int y = 0; y < height; ++y) {
            reader.check(TIFFReadScanline(tiff, row.data(), uint32_t(y), 0) >= 0);
            expander.expand(row.data(), width, image.scanLine(y));
        }
        return;
    }
    if (!layout.separate && readWholeStrips(reader, layout, rowBytes, image))
        return;
    if (!layout.separate) {
        const size_t spp = size_t(layout.spp);
        const uint8_t* ch[4];
        for (int y = 0; y < height; ++y) {
            reader.check(TIFFReadScanline(tiff, row.data(), uint32_t(y), 0) >= 0);
            const uint8_t* values = row.data();
            if (layout.bits != 8 || layout.sampleFormat != SAMPLEFORMAT_UINT) {
                unpackSamples(row.data(), samples.size(), layout, samples.data());
                values = samples.data();
            }
            for (int c = 0; c < 4; ++c)
                ch[c] = values + std::min(c, layout.channels - 1);
            convertPixels(ch, spp, width, layout, image.scanLine(y));
        }
        return;
    }

    // One plane after the other (reading them interleaved would restart each strip's
    // decompression for every row), into planes of 8-bit values, then converted.
    const size_t planeSize = checkedMul(width, size_t(height));
    std::vector<uint8_t> planes(checkedMul(planeSize, size_t(layout.channels)));
    for (int c = 0; c < layout.channels; ++c) {
        for (int y = 0; y < height; ++y) {
            reader.check(TIFFReadScanline(tiff, row.data(), uint32_t(y), uint16_t(c)) >= 0);
            unpackSamples(row.data(), width, layout, planes.data() + size_t(c) * planeSize + size_t(y) * width);
        }
    }
    const uint8_t* ch[4];
    for (int y = 0; y < height; ++y) {
        for (int c = 0; c < 4; ++c)
            ch[c] = planes.data() + size_t(std::min(c, layout.channels - 1)) * planeSize + size_t(y) * width;
        convertPixels(ch, 1, width, layout, image.scanLine(y));
    }
}

// Tiled images, tile by tile.
void readTiles(const TiffReader& reader, const Layout& layout, QImage& image)
{
    TIFF* tiff = reader.tiff();
    const uint32_t tileWidth = field<uint32_t>(tiff, TIFFTAG_TILEWIDTH, 0);
    const uint32_t tileHeight = field<uint32_t>(tiff, TIFFTAG_TILELENGTH, 0);
    if (tileWidth == 0 || tileHeight == 0)
        reader.fail("The picture data is damaged: the size of its tiles is missing.");
    if (tileWidth > kMaxPictureSide || tileHeight > kMaxPictureSide
        || int64_t(tileWidth) * tileHeight > kMaxPicturePixels)
        reader.failWith(QStringLiteral("The picture data is damaged: its tiles of %1 x %2 pixels are larger than "
                                       "any picture may be.")
                            .arg(tileWidth)
                            .arg(tileHeight));
    const size_t width = size_t(image.width());
    const size_t height = size_t(image.height());

    // A tile far larger than the whole picture is a lie of the file, not something to
    // allocate.
    const uint64_t tileBytes = TIFFTileSize64(tiff);
    const uint64_t rowBytes = TIFFTileRowSize64(tiff);
    const uint64_t pictureBytes = uint64_t(width) * height * uint64_t(layout.spp) * ((uint64_t(layout.bits) + 7) / 8);
    if (tileBytes == 0 || rowBytes == 0 || tileBytes > std::max<uint64_t>(2 * pictureBytes, uint64_t(64) << 20))
        reader.fail("The picture data is damaged: the size of its tiles does not match the picture.");
    const uint64_t needed = (uint64_t(unpackedCount(tileWidth, layout)) * uint64_t(layout.bits) + 7) / 8;
    if (rowBytes < needed || rowBytes * tileHeight > tileBytes)
        reader.fail("The picture data is damaged: the size of its tiles does not match the picture.");

    std::vector<uint8_t> tile(static_cast<size_t>(tileBytes));
    std::vector<uint8_t> samples(unpackedCount(tileWidth, layout));
    const size_t planeSize = layout.separate ? checkedMul(width, height) : 0;
    std::vector<uint8_t> planes(layout.separate ? checkedMul(planeSize, size_t(layout.channels)) : 0);
    const int planesToRead = layout.separate ? layout.channels : 1;
    const std::optional<PackedRowExpander> expander =
        PackedRowExpander::applies(layout) ? std::optional<PackedRowExpander>(layout) : std::nullopt;

    for (size_t y0 = 0; y0 < height; y0 += tileHeight) {
        for (size_t x0 = 0; x0 < width; x0 += tileWidth) {
            const size_t w = std::min<size_t>(tileWidth, width - x0);
            const size_t h = std::min<size_t>(tileHeight, height - y0);
            for (int plane = 0; plane < planesToRead; ++plane) {
                const uint32_t index = TIFFComputeTile(tiff, uint32_t(x0), uint32_t(y0), 0, uint16_t(plane));
                reader.check(TIFFReadEncodedTile(tiff, index, tile.data(), tmsize_t(tileBytes)) >= 0);
                for (size_t r = 0; r < h; ++r) {
                    const uint8_t* src = tile.data() + r * size_t(rowBytes);
                    if (expander) {
                        expander->expand(src, w, image.scanLine(int(y0 + r)) + 3 * x0);
                        continue;
                    }
                    unpackSamples(src, samples.size(), layout, samples.data());
                    if (layout.separate) {
                        std::memcpy(planes.data() + size_t(plane) * planeSize + (y0 + r) * width + x0, samples.data(), w);
                    } else {
                        const uint8_t* ch[4];
                        for (int c = 0; c < 4; ++c)
                            ch[c] = samples.data() + std::min(c, layout.channels - 1);
                        convertPixels(ch, size_t(layout.spp), w, layout, image.scanLine(int(y0 + r)) + 3 * x0);
                    }
                }
            }
        }
    }
    if (layout.separate) {
        const uint8_t* ch[4];
        for (size_t y = 0; y < height; ++y) {
            for (int c = 0; c < 4; ++c)
                ch[c] = planes.data() + size_t(std::min(c, layout.channels - 1)) * planeSize + y * width;
            convertPixels(ch, 1, width, layout, image.scanLine(int(y)));
        }
    }
}

// libtiff's own conversion, for the photometric interpretations not handled above. The
// requested orientation is the file's own, so no row or column is moved. The first strip or
// tile that cannot be read ends the decode: going on would make up every missing row.
void readRgba(const TiffReader& reader, QImage& image)
{
    TIFF* tiff = reader.tiff();
    char message[1024] = {};
    TIFFRGBAImage rgba;
    if (!TIFFRGBAImageOK(tiff, message) || !TIFFRGBAImageBegin(&rgba, tiff, 1, message))
        reader.failWith(tiffReason(message, tiff));
    rgba.req_orientation = rgba.orientation;
    const uint32_t width = uint32_t(image.width());
    const uint32_t height = uint32_t(image.height());
    // Left unfilled: the reader writes every pixel or fails, and a picture of hundreds of
    // megapixels need not be cleared first.
    std::unique_ptr<uint32_t[]> raster;
    try {
        raster.reset(new uint32_t[checkedMul(width, height)]);
    } catch (...) {
        TIFFRGBAImageEnd(&rgba);
        throw;
    }
    const int ok = TIFFRGBAImageGet(&rgba, raster.get(), width, height);
    TIFFRGBAImageEnd(&rgba);
    reader.check(ok != 0);
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t* src = raster.get() + size_t(y) * width;
        uint8_t* dst = image.scanLine(int(y));
        for (uint32_t x = 0; x < width; ++x, dst += 3) {
            dst[0] = uint8_t(TIFFGetB(src[x]));
            dst[1] = uint8_t(TIFFGetG(src[x]));
            dst[2] = uint8_t(TIFFGetR(src[x]));
        }
    }
}

} // namespace

QImage decodeTiff(const PictureFile& file)
{
    TiffReader reader(file);
    TIFF* tiff = reader.tiff();

    uint32_t width = 0;
    uint32_t height = 0;
    if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height))
        reader.fail("The picture data is damaged: the picture's size is missing.");
    checkPictureSize(width, height);

    uint16_t photometric = 0;
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric))
        reader.fail("The picture data is damaged: it does not say how its colors are stored.");
    const int compression = field<uint16_t>(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);

    const int spp = field<uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    if (spp > kMaxSamplesPerPixel)
        reader.failWith(QStringLiteral("TIFF pictures with %1 samples per pixel are not supported.").arg(spp));
    // Fax compression codes one bit per pixel. A file claiming more would have the fax decoder
    // make up rows of many samples from a few bytes, at a cost out of all proportion to the file.
    const int bits = field<uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    if (isFaxCompression(compression) && (spp != 1 || bits != 1))
        reader.failWith(QStringLiteral("The picture data is damaged: fax compression holds one bit a pixel, not %1 "
                                       "samples of %2 bits.")
                            .arg(spp)
                            .arg(bits));

    // A compression no decoder here knows is refused before the picture's memory is taken.
    if (!TIFFIsCODECConfigured(uint16_t(compression)))
        reader.failWith(unsupportedCompression(uint16_t(compression)));

    QImage image = allocatePicture(width, height, kBitmapFormat);
    if (!isHandledHere(tiff, photometric, compression)) {
        readRgba(reader, image);
        return image;
    }
    if (photometric == PHOTOMETRIC_YCBCR && !TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB))
        reader.fail("The picture's JPEG-compressed colors cannot be converted to RGB.");
    // LogL luminance is high dynamic range: libtiff delivers it as linear floating point,
    // shown like any floating-point gray (0..1 to black..white).
    if (photometric == PHOTOMETRIC_LOGL && !TIFFSetField(tiff, TIFFTAG_SGILOGDATAFMT, SGILOGDATAFMT_FLOAT))
        reader.fail("The picture's LogL luminance data cannot be read.");
    const Layout layout = describe(reader, photometric);
    if (TIFFIsTiled(tiff))
        readTiles(reader, layout, image);
    else
        readStrips(reader, layout, image);
    return image;
}

int tiffOrientation(const PictureFile& file)
{
    try {
        const TiffReader reader(file);
        uint16_t orientation = ORIENTATION_TOPLEFT;
        if (!TIFFGetField(reader.tiff(), TIFFTAG_ORIENTATION, &orientation))
            return 1;
        return orientation >= 1 && orientation <= 8 ? orientation : 1;
    } catch (...) {
        return 1; // a file libtiff cannot open fails in its decode, not here
    }
}
