#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include <tiffio.h>

namespace {

// libtiff's own reading of a corpus file, for the references; null, with a failure naming the
// file, when it cannot be opened.
TIFF* openTiff(const QString& path)
{
    TIFFSetWarningHandler(nullptr);
    TIFF* tiff = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (!tiff)
        ADD_FAILURE() << "libtiff cannot open " << path.toStdString();
    return tiff;
}

struct Expectation {
    int tolerance;
    bool flattened; // compare with NAME.ref.png (alpha flattened on black)
};

TEST(TiffDecoder, CorpusFilesMatchTheirReferenceDecodes)
{
    SKIP_WITHOUT_CORPUS();
    const std::map<QString, Expectation> expectations = {
        // Associated alpha: the stored colors are already multiplied by alpha, and
        // dropping alpha keeps them so; that is the reference flattened on black, not the
        // one with alpha dropped after the reference tool divided it out. (strike.tif:
        // that division and multiplication round by up to 5.)
        {"imagers_hpredict.tiff", {0, true}},
        {"imagers_hpredict_packbits.tiff", {0, true}},
        {"pillow_pil136.tiff", {0, true}},
        {"gen_im_rgba_assoc.tiff", {0, true}},
        {"pillow_tiff_16bit_RGBa.tiff", {0, true}},
        {"pillow_tiff_strip_planar_16bit_RGBa.tiff", {0, true}},
        {"libtiffpic_strike.tif", {5, true}},
        // CMYK: the plain ink formula on 8-bit values truncates; the reference rounds at
        // 16 bits (16-bit CMYK: the high bytes first, see DepthSeries).
        {"libtiffpic_flower-separated-contig-08.tif", {1, false}},
        {"libtiffpic_flower-separated-planar-08.tif", {1, false}},
        {"libtiffpic_flower-separated-contig-16.tif", {1, false}},
        {"gen_im_cmyk.tiff", {1, false}},
        {"pillow_tiff_strip_cmyk_jpeg.tif", {1, false}},
        // 32-bit samples keep their high byte; the reference rounds v x 65535 / (2^32 - 1).
        {"libtiffpic_flower-minisblack-32.tif", {1, false}},
        {"libtiffpic_flower-rgb-contig-32.tif", {1, false}},
        // CIE L*a*b* by the CIE 1976 formulas with the D65 white and sRGB; the reference
        // tool's conversion differs in dark saturated blues.
        {"pillow_hopper.Lab.tif", {14, false}},
    };
    // References that are plainly wrong, checked by the other tests of this file against
    // what the TIFF documents define.
    const std::set<QString> checkedElsewhere = {
        "libtiffpic_flower-minisblack-24.tif", // reference garbled by misreading 24-bit samples
        "pillow_8bit.s.tif",                   // reference ignores SampleFormat = signed
        "pillow_hopper2I.tif",                 // reference ignores MinIsWhite
        "libtiffpic_off_l16.tif",              // reference is flat gray
        "imagers_ycbcr_lzw_bt709.tif",         // reference ignores YCbCrCoefficients
        "libtiffpic_ycbcr-cat.tif",            // reference striped: subsampling ignored
        "libtiffpic_smallliz.tif",             // old-style JPEG: reference left unconverted
        "libtiffpic_zackthecat.tif",
        "pillow_old-style-jpeg-compression.tif",
    };
    int compared = 0;
    for (const char* ext : {"tif", "tiff", "fax"}) {
        for (const QString& file : corpusFiles(ext)) {
            const QString name = QFileInfo(file).fileName();
            if (name.startsWith("gen_trunc")) {
                EXPECT_THROW(loadPicture(file), PictureError) << name.toStdString();
                continue;
            }
            const QString reference = referenceFor(file);
            if (reference.isEmpty()) {
                // Fuzzing finds, a ThunderScan file cut short, lying strip counts: any
                // outcome but a PictureError is a fault.
                try {
                    loadPicture(file);
                } catch (const PictureError&) {
                }
                continue;
            }
            if (checkedElsewhere.count(name))
                continue;
            const auto it = expectations.find(name);
            const Expectation expect = it != expectations.end() ? it->second : Expectation{0, false};
            const QImage actual = loadBitmap(file);
            const QImage expected = loadReference(expect.flattened ? file + ".ref.png" : reference);
            const int difference = maxChannelDifference(expected, actual);
            if (difference < 0 || difference > expect.tolerance)
                ADD_FAILURE() << name.toStdString() << ": " << bitmapDifference(expected, actual) << " (kept as "
                              << keepMismatch(file, actual).toStdString() << ")";
            ++compared;
        }
    }
    // Among them: the first page of multi-page files, Orientation 6 delivered as stored,
    // CCITT G3/G4 with both fill orders, LZW, Deflate, PackBits, JPEG, WebP, LZMA, tiles,
    // separate planes, palettes, 1 to 16 bits, floating point, BigTIFF.
    EXPECT_GE(compared, 120);
}

// The "flower" files are one picture at many depths: keeping the high byte gives the same
// picture at every depth, give or take the rounding of the files' own samples.
TEST(TiffDecoder, DepthSeriesDecodesToOnePicture)
{
    SKIP_WITHOUT_CORPUS();
    const struct {
        const char* file;
        const char* sameAs;
        int tolerance;
    } cases[] = {
        {"tif/libtiffpic_flower-minisblack-24.tif", "tif/libtiffpic_flower-minisblack-16.tif", 1},
        {"tif/libtiffpic_flower-minisblack-32.tif", "tif/libtiffpic_flower-minisblack-16.tif", 1},
        {"tif/libtiffpic_flower-rgb-contig-32.tif", "tif/libtiffpic_flower-rgb-contig-16.tif", 1},
        {"tif/libtiffpic_flower-rgb-planar-16.tif", "tif/libtiffpic_flower-rgb-contig-16.tif", 0},
        // The ink formula turns a difference of 1 in two inks into 2.
        {"tif/libtiffpic_flower-separated-contig-16.tif", "tif/libtiffpic_flower-separated-contig-08.tif", 2},
    };
    for (const auto& c : cases) {
        const int difference = maxChannelDifference(loadBitmap(corpusFile(c.sameAs)), loadBitmap(corpusFile(c.file)));
        EXPECT_TRUE(difference >= 0 && difference <= c.tolerance) << c.file << ": " << difference;
    }
}

// TIFF 6.0: SampleFormat 2 holds two's complement values, shown from the smallest (black)
// to the largest (white); with PhotometricInterpretation 0 (MinIsWhite) the largest value
// is black. The reference tool ignored both, so the expected pixels are its own with the
// sign bit flipped, and inverted.
TEST(TiffDecoder, SignedSamplesAndMinIsWhiteFollowTheTiffDocument)
{
    SKIP_WITHOUT_CORPUS();
    QImage signedExpected = loadReference(corpusFile("tif/pillow_8bit.s.tif.ref.png"));
    QImage whiteExpected = loadReference(corpusFile("tif/pillow_hopper2I.tif.ref.png"));
    for (int y = 0; y < signedExpected.height(); ++y) {
        for (int x = 0; x < signedExpected.width() * 3; ++x) {
            signedExpected.scanLine(y)[x] ^= 0x80;
            whiteExpected.scanLine(y)[x] = uint8_t(255 - whiteExpected.scanLine(y)[x]);
        }
    }
    EXPECT_EQ(bitmapDifference(signedExpected, loadBitmap(corpusFile("tif/pillow_8bit.s.tif"))), "");
    EXPECT_EQ(bitmapDifference(whiteExpected, loadBitmap(corpusFile("tif/pillow_hopper2I.tif"))), "");
}

// TIFF 6.0, section 21: YCbCr to RGB with the file's YCbCrCoefficients and
// ReferenceBlackWhite, each chroma pair shared by its subsampling block. Computed here
// from the raw samples in floating point; libtiff's fixed point may differ by 2.
QImage ycbcrReference(const QString& path)
{
    TIFF* tiff = openTiff(path);
    if (!tiff)
        return {};
    uint32_t width = 0, height = 0;
    uint16_t across = 1, down = 1;
    float* luma = nullptr;
    float* refs = nullptr;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_YCBCRSUBSAMPLING, &across, &down);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_YCBCRCOEFFICIENTS, &luma);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_REFERENCEBLACKWHITE, &refs);
    std::vector<uint8_t> raw;
    std::vector<uint8_t> strip(size_t(TIFFStripSize(tiff)));
    for (uint32_t s = 0; s < TIFFNumberOfStrips(tiff); ++s) {
        const tmsize_t n = TIFFReadEncodedStrip(tiff, s, strip.data(), tmsize_t(strip.size()));
        raw.insert(raw.end(), strip.begin(), strip.begin() + std::max<tmsize_t>(n, 0));
    }
    const double lr = luma[0], lg = luma[1], lb = luma[2];
    auto level = [&](int code, int i, double range) { return (code - refs[2 * i]) * range / (refs[2 * i + 1] - refs[2 * i]); };
    auto to8 = [](double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); };
    QImage out(int(width), int(height), QImage::Format_BGR888);
    const uint32_t blocksAcross = (width + across - 1) / across;
    const size_t unit = size_t(across * down + 2);
    for (uint32_t by = 0; by * down < height; ++by) {
        for (uint32_t bx = 0; bx < blocksAcross; ++bx) {
            const uint8_t* u = raw.data() + (size_t(by) * blocksAcross + bx) * unit;
            const double cb = level(u[unit - 2], 1, 127), cr = level(u[unit - 1], 2, 127);
            for (uint32_t j = 0; j < down; ++j) {
                for (uint32_t i = 0; i < across; ++i) {
                    const uint32_t x = bx * across + i, y = by * down + j;
                    if (x >= width || y >= height)
                        continue;
                    const double yy = level(u[j * across + i], 0, 255);
                    const double r = cr * (2 - 2 * lr) + yy, b = cb * (2 - 2 * lb) + yy;
                    uint8_t* p = out.scanLine(int(y)) + 3 * x;
                    p[0] = to8(b);
                    p[1] = to8((yy - lb * b - lr * r) / lg);
                    p[2] = to8(r);
                }
            }
        }
    }
    TIFFClose(tiff);
    return out;
}

TEST(TiffDecoder, YCbCrUsesTheFilesCoefficientsAndSubsampling)
{
    SKIP_WITHOUT_CORPUS();
    for (const char* file : {"tif/imagers_ycbcr_lzw_bt709.tif", "tif/libtiffpic_ycbcr-cat.tif"}) {
        const QImage actual = loadBitmap(corpusFile(file));
        // -1 means the sizes differ, which must fail too.
        const int difference = maxChannelDifference(ycbcrReference(corpusFile(file)), actual);
        EXPECT_TRUE(difference >= 0 && difference <= 2) << file << ": " << difference;
    }
}

// SGI LogL: each 16-bit code Le is the luminance 2^((Le + 0.5) / 256 - 64), shown like
// floating-point gray: clamped to 0..1, high byte of the 16-bit value.
TEST(TiffDecoder, LogLuminanceFollowsTheLogLuvEncoding)
{
    SKIP_WITHOUT_CORPUS();
    const QString path = corpusFile("tif/libtiffpic_off_l16.tif");
    TIFF* tiff = openTiff(path);
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_SGILOGDATAFMT, SGILOGDATAFMT_16BIT);
    const QImage actual = loadBitmap(path);
    std::vector<int16_t> row(size_t(actual.width()));
    int worst = 0;
    for (int y = 0; y < actual.height(); ++y) {
        ASSERT_GE(TIFFReadScanline(tiff, row.data(), uint32_t(y), 0), 0);
        for (int x = 0; x < actual.width(); ++x) {
            const int le = row[size_t(x)];
            const double luminance = le <= 0 ? 0.0 : std::exp2((le + 0.5) / 256.0 - 64.0);
            const int expected = luminance >= 1 ? 255 : int(std::lround(luminance * 65535) >> 8);
            worst = std::max(worst, std::abs(expected - int(actual.constScanLine(y)[3 * x])));
        }
    }
    TIFFClose(tiff);
    EXPECT_LE(worst, 1);
}

// Old-style JPEG in TIFF stores YCbCr JPEG data; two of the samples also carry it as a
// whole JPEG stream (JPEGInterchangeFormat), which the JPEG decoder reads on its own.
// libtiff upsamples chroma without smoothing, so single pixels may differ more.
TEST(TiffDecoder, OldStyleJpegMatchesItsEmbeddedJpegStream)
{
    SKIP_WITHOUT_CORPUS();
    for (const char* file : {"tif/libtiffpic_smallliz.tif", "tif/pillow_old-style-jpeg-compression.tif"}) {
        TIFF* tiff = openTiff(corpusFile(file));
        ASSERT_NE(tiff, nullptr);
        uint64_t offset = 0;
        ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_JPEGIFOFFSET, &offset));
        TIFFClose(tiff);
        const QByteArray bytes = readFileBytes(corpusFile(file));
        const QImage embedded = decodeJpeg(PictureFile{
            "embedded.jpg", {reinterpret_cast<const uint8_t*>(bytes.constData()) + offset, size_t(bytes.size()) - offset}});
        const QImage actual = loadBitmap(corpusFile(file));
        ASSERT_EQ(actual.size(), embedded.size()) << file;
        EXPECT_LT(meanSampleDifference(actual, embedded), 2.0) << file;
    }
    EXPECT_EQ(loadBitmap(corpusFile("tif/libtiffpic_zackthecat.tif")).size(), QSize(234, 213));
}

// A picture written with libtiff's own encoder into a file of its own: one row of raw
// samples (host byte order, as libtiff takes them), the tags common to every case, and
// whatever `more` sets besides.
struct WrittenTiff {
    const char* name;
    uint16_t photometric;
    uint16_t samplesPerPixel;
    uint16_t bitsPerSample;
    uint16_t sampleFormat;
    uint32_t width;
    QByteArray row;
};

QString writeTiff(const WrittenTiff& t, const std::function<void(TIFF*)>& more = {})
{
    const QString path = freshFolder(QStringLiteral("tiff-%1").arg(t.name)) + "/picture.tif";
    TIFF* tiff = TIFFOpen(path.toLocal8Bit().constData(), "w");
    EXPECT_NE(tiff, nullptr) << t.name;
    if (!tiff)
        return path;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, t.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 1u);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, t.photometric);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, t.samplesPerPixel);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, t.bitsPerSample);
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, t.sampleFormat);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 1u);
    if (more)
        more(tiff);
    QByteArray row = t.row;
    EXPECT_EQ(TIFFWriteScanline(tiff, row.data(), 0, 0), 1) << t.name;
    TIFFClose(tiff);
    return path;
}

template <typename T>
QByteArray samples(std::initializer_list<T> values)
{
    QByteArray bytes;
    for (T v : values)
        bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
    return bytes;
}

// Floating-point samples are clamped to 0..1 and keep the high byte of their 16-bit value
// (0.2 x 65535 = 13107 = 0x3333, 0.75 x 65535 = 49151.25, whose high byte is 0xBF); signed
// samples are offset so that the smallest value is black (the high byte with its top bit
// flipped: -1 = 0xFFFFFFFF gives 0x7F, 0x12345678 gives 0x92).
TEST(TiffDecoder, WideFloatingPointAndSignedSamplesKeepTheirHighByte)
{
    const struct {
        WrittenTiff tiff;
        std::vector<uint32_t> expected;
    } cases[] = {
        {{"double-gray", PHOTOMETRIC_MINISBLACK, 1, 64, SAMPLEFORMAT_IEEEFP, 7,
          samples<double>({-0.5, 0.0, 0.2, 0.6, 0.75, 1.0, 3.0})},
         {0x000000, 0x000000, 0x333333, 0x999999, 0xBFBFBF, 0xFFFFFF, 0xFFFFFF}},
        // Red, green and blue in their stored order.
        {{"double-rgb", PHOTOMETRIC_RGB, 3, 64, SAMPLEFORMAT_IEEEFP, 2, samples<double>({0.2, 0.6, 1.5, 0.75, -1.0, 0.0})},
         {0x3399FF, 0xBF0000}},
        {{"int32-gray", PHOTOMETRIC_MINISBLACK, 1, 32, SAMPLEFORMAT_INT, 5,
          samples<int32_t>({INT32_MIN, -1, 0, 0x12345678, INT32_MAX})},
         {0x000000, 0x7F7F7F, 0x808080, 0x929292, 0xFFFFFF}},
        {{"int32-rgb", PHOTOMETRIC_RGB, 3, 32, SAMPLEFORMAT_INT, 1, samples<int32_t>({INT32_MIN, -0x10000000, 0x40000000})},
         {0x0070C0}},
    };
    for (const auto& c : cases) {
        const QImage image = loadBitmap(writeTiff(c.tiff));
        EXPECT_EQ(image.size(), QSize(int(c.tiff.width), 1)) << c.tiff.name;
        EXPECT_EQ(pixelsOf(image), c.expected) << c.tiff.name;
    }
}

// Old writers stored 8-bit color map entries in the 16-bit fields: when no entry exceeds
// 255 they are the colors themselves; as soon as one does, every entry keeps its high
// byte (0x00FF then is black). Both tables below describe the same four colors, indexed by
// the 2-bit row 0, 1, 2, 3 (0x1B).
TEST(TiffDecoder, ColorMapEntriesOfEightOrSixteenBits)
{
    const struct {
        const char* name;
        std::array<uint16_t, 4> red, green, blue;
    } cases[] = {
        {"map8", {0, 255, 16, 200}, {0, 128, 32, 100}, {0, 64, 48, 255}},
        {"map16", {0x0000, 0xFFFF, 0x10FF, 0xC800}, {0x00FF, 0x8000, 0x2080, 0x6400}, {0x00FF, 0x4000, 0x3000, 0xFF00}},
    };
    for (const auto& c : cases) {
        const WrittenTiff tiff{c.name, PHOTOMETRIC_PALETTE, 1, 2, SAMPLEFORMAT_UINT, 4, QByteArray(1, '\x1B')};
        const QString path = writeTiff(tiff, [&](TIFF* t) {
            TIFFSetField(t, TIFFTAG_COLORMAP, c.red.data(), c.green.data(), c.blue.data());
        });
        EXPECT_EQ(pixelsOf(loadBitmap(path)), (std::vector<uint32_t>{0x000000, 0xFF8040, 0x102030, 0xC864FF})) << c.name;
    }
}

// Interpretations this decoder does not convert itself go to libtiff's RGBA reader. LogLuv
// (CIE XYZ in logarithmic luminance and 8-bit u'v' chroma) comes out of it as RGB with a
// square-root curve: XYZ (0.25, 0.25, 0.25), the equal-energy white that its matrix maps to
// R = G = B = 0.25, becomes 256 x sqrt(0.25) = 128; the 8-bit chroma code moves it by up to 2.
// ICC L*a*b* is refused by that reader, and its message is the error.
TEST(TiffDecoder, OtherInterpretationsGoThroughLibtiffsRgbaReader)
{
    const WrittenTiff logLuv{"logluv", PHOTOMETRIC_LOGLUV, 3, 32, SAMPLEFORMAT_IEEEFP, 3,
                             samples<float>({0.0f, 0.0f, 0.0f, 0.25f, 0.25f, 0.25f, 4.0f, 4.0f, 4.0f})};
    const QImage image = loadBitmap(writeTiff(logLuv, [](TIFF* t) {
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_SGILOG);
        TIFFSetField(t, TIFFTAG_SGILOGDATAFMT, SGILOGDATAFMT_FLOAT);
    }));
    ASSERT_EQ(image.size(), QSize(3, 1));
    EXPECT_EQ(rgbAt(image, 0, 0), 0x000000u);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(image.constScanLine(0)[3 + c], 128, 2) << "channel " << c;
    EXPECT_EQ(rgbAt(image, 2, 0), 0xFFFFFFu);

    const WrittenTiff iccLab{"icclab", PHOTOMETRIC_ICCLAB, 3, 8, SAMPLEFORMAT_UINT, 1, QByteArray(3, '\x80')};
    const QString path = writeTiff(iccLab);
    EXPECT_EQ(decodeFailure([&] { loadBitmap(path); }),
              "Cannot open " + path.toStdString() + ". TIFF pictures with ICC L*a*b* colors are not supported.");
}

// A binary EPS hands over the TIFF preview inside its own bytes.
TEST(TiffDecoder, DecodesBytesFromAnyPlaceInMemory)
{
    SKIP_WITHOUT_CORPUS();
    const QString path = corpusFile("tif/gen_im_lzw.tif");
    const QByteArray file = readFileBytes(path);
    const QByteArray padded = QByteArray(30, 'x') + file + QByteArray(11, 'y');
    const auto* data = reinterpret_cast<const uint8_t*>(padded.constData());
    const QImage inner = decodeTiff(PictureFile{"inner.eps", std::span<const uint8_t>(data + 30, size_t(file.size()))});
    EXPECT_EQ(bitmapDifference(loadBitmap(path), inner), "");
}

// Gray and palette pictures of 1, 2 and 4 bits, written with libtiff in strips and in tiles
// whose edges cut through bytes, decode to what the samples say: gray by bit replication
// (MinIsWhite inverted), palette entries by their high byte.
TEST(TiffDecoder, PackedGrayAndPaletteSamplesGiveTheirColors)
{
    struct Case {
        uint16_t photometric;
        int bits;
        uint32_t width, height;
        uint32_t tile; // 0: strips of 3 rows
    };
    std::vector<Case> cases;
    for (uint16_t photometric : {PHOTOMETRIC_MINISBLACK, PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_PALETTE})
        for (int bits : {1, 2, 4}) {
            for (uint32_t width : {1u, 7u, 8u, 9u, 13u, 35u})
                cases.push_back({photometric, bits, width, 5, 0});
            cases.push_back({photometric, bits, 37, 20, 16});
        }
    std::srand(27);
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.photometric) + "-" + std::to_string(c.bits) + "-"
                               + std::to_string(c.width) + (c.tile ? "-tiled" : "");
        SCOPED_TRACE(name);
        const unsigned levels = 1u << c.bits;
        std::vector<std::vector<unsigned>> values(c.height, std::vector<unsigned>(c.width));
        for (auto& row : values)
            for (unsigned& v : row)
                v = unsigned(std::rand()) % levels;
        std::vector<uint16_t> map[3];
        for (auto& channel : map) {
            for (unsigned i = 0; i < levels; ++i)
                channel.push_back(uint16_t(std::rand()));
            channel[0] = 0xFFFF; // an entry over 255: every entry keeps its high byte
        }
        // Packs columns x0 .. x0 + count of row y, most significant bits first, zero-padded.
        auto pack = [&](uint32_t y, uint32_t x0, uint32_t count) {
            std::vector<uint8_t> bytes((count * uint32_t(c.bits) + 7) / 8);
            for (uint32_t i = 0; i < count && x0 + i < c.width && y < c.height; ++i) {
                const uint32_t bit = i * uint32_t(c.bits);
                bytes[bit / 8] |= uint8_t(values[y][x0 + i] << (8 - c.bits - int(bit % 8)));
            }
            return bytes;
        };

        const QString path = freshFolder(QStringLiteral("tiff-packed-%1").arg(QString::fromStdString(name))) + "/p.tif";
        TIFF* tiff = TIFFOpen(path.toLocal8Bit().constData(), "w");
        ASSERT_NE(tiff, nullptr);
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, c.width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, c.height);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, c.photometric);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, c.bits);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        if (c.photometric == PHOTOMETRIC_PALETTE)
            TIFFSetField(tiff, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
        if (c.tile) {
            TIFFSetField(tiff, TIFFTAG_TILEWIDTH, c.tile);
            TIFFSetField(tiff, TIFFTAG_TILELENGTH, c.tile);
            for (uint32_t y0 = 0; y0 < c.height; y0 += c.tile)
                for (uint32_t x0 = 0; x0 < c.width; x0 += c.tile) {
                    std::vector<uint8_t> tile;
                    for (uint32_t r = 0; r < c.tile; ++r) {
                        const std::vector<uint8_t> row = pack(y0 + r, x0, c.tile);
                        tile.insert(tile.end(), row.begin(), row.end());
                    }
                    ASSERT_GE(TIFFWriteEncodedTile(tiff, TIFFComputeTile(tiff, x0, y0, 0, 0), tile.data(),
                                                   tmsize_t(tile.size())),
                              0);
                }
        } else {
            TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 3u);
            for (uint32_t y = 0; y < c.height; ++y) {
                std::vector<uint8_t> row = pack(y, 0, c.width);
                ASSERT_EQ(TIFFWriteScanline(tiff, row.data(), y, 0), 1);
            }
        }
        TIFFClose(tiff);

        const QImage image = loadBitmap(path);
        ASSERT_EQ(image.size(), QSize(int(c.width), int(c.height)));
        for (uint32_t y = 0; y < c.height; ++y)
            for (uint32_t x = 0; x < c.width; ++x) {
                const unsigned v = values[y][x];
                uint32_t expected;
                if (c.photometric == PHOTOMETRIC_PALETTE) {
                    expected = uint32_t(map[0][v] >> 8) << 16 | uint32_t(map[1][v] >> 8) << 8 | uint32_t(map[2][v] >> 8);
                } else {
                    unsigned gray = v * 255 / (levels - 1);
                    if (c.photometric == PHOTOMETRIC_MINISWHITE)
                        gray = 255 - gray;
                    expected = gray * 0x010101u;
                }
                ASSERT_EQ(rgbAt(image, int(x), int(y)), expected) << "at " << x << "," << y;
            }
    }
}

// No photo stores more than 8 samples a pixel; more is refused before the rows are read,
// however few bytes the file has (one such EPS preview once cost seconds of work).
TEST(TiffDecoder, SampleLayoutsNoPhotoUsesAreRefused)
{
    for (uint16_t spp : {8, 9, 36}) {
        const WrittenTiff tiff{"samples", PHOTOMETRIC_MINISBLACK, spp, 8, SAMPLEFORMAT_UINT, 2,
                               QByteArray(2 * spp, '\x40')};
        const QString path = writeTiff(tiff);
        if (spp <= 8) {
            EXPECT_EQ(pixelsOf(loadBitmap(path)), (std::vector<uint32_t>{0x404040, 0x404040}));
            continue;
        }
        EXPECT_EQ(decodeFailure([&] { loadBitmap(path); }),
                  "Cannot open " + path.toStdString() + ". TIFF pictures with " + std::to_string(spp)
                      + " samples per pixel are not supported.");
    }
}

} // namespace

