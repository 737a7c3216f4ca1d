#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/DibReader.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <functional>
#include <map>

namespace {

QImage decodeBytes(const QByteArray& bytes, const QString& name = QStringLiteral("test.bmp"))
{
    return decodeWith(decodeBmp, bytes, name);
}

QImage decodeFile(const QString& path)
{
    return decodeBytes(readFileBytes(path), path);
}

// Little-endian byte writer for hand-made files.
struct Bytes {
    QByteArray data;
    Bytes& u8(int v)
    {
        data.append(char(v));
        return *this;
    }
    Bytes& u16(int v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    Bytes& u32(uint32_t v) { return u16(int(v & 0xFFFF)).u16(int(v >> 16)); }
    Bytes& raw(std::initializer_list<int> values)
    {
        for (int v : values)
            u8(v);
        return *this;
    }
    Bytes& raw(const QByteArray& more)
    {
        data.append(more);
        return *this;
    }
};

// A 40-byte info header.
QByteArray infoHeader(int32_t width, int32_t height, int bitCount, uint32_t compression, uint32_t colorsUsed = 0)
{
    Bytes b;
    b.u32(40).u32(uint32_t(width)).u32(uint32_t(height)).u16(1).u16(bitCount).u32(compression).u32(0);
    b.u32(2835).u32(2835).u32(colorsUsed).u32(0);
    return b.data;
}

// "BM" file header in front of a DIB whose pixel data starts after `headerAndPalette`.
QByteArray bmpFile(const QByteArray& headerAndPalette, const QByteArray& pixels)
{
    Bytes b;
    b.raw({'B', 'M'}).u32(uint32_t(14 + headerAndPalette.size() + pixels.size())).u32(0);
    b.u32(uint32_t(14 + headerAndPalette.size())).raw(headerAndPalette).raw(pixels);
    return b.data;
}

QByteArray palette(std::initializer_list<uint32_t> rgbs)
{
    Bytes b;
    for (uint32_t c : rgbs)
        b.u8(c & 0xFF).u8((c >> 8) & 0xFF).u8((c >> 16) & 0xFF).u8(0);
    return b.data;
}

std::vector<uint32_t> rowOf(const QImage& image, int y)
{
    std::vector<uint32_t> row;
    for (int x = 0; x < image.width(); ++x)
        row.push_back(rgbAt(image, x, y));
    return row;
}

void expectMatchesReference(const QString& file, const QImage& actual, const QImage& expected)
{
    const std::string difference = bitmapDifference(expected, actual);
    if (!difference.empty())
        ADD_FAILURE() << QFileInfo(file).fileName().toStdString() << ": " << difference << " (decode kept as "
                      << keepMismatch(file, actual).toStdString() << ")";
}

// The reference decoder leaves channels narrower than 8 bits in the top bits with zeros
// below (15 of 4 bits becomes 240), except 5- and 6-bit channels of 16-bit pixels; our rule
// scales every channel to the full 0..255 range by bit replication, so white stays white.
// These files are compared after scaling the reference's top `bits` bits the same way.
QImage rescaleNarrowChannels(const QImage& reference, int redBits, int greenBits, int blueBits)
{
    QImage out = reference.copy();
    const int bits[3] = {blueBits, greenBits, redBits}; // byte order of the bitmap
    for (int y = 0; y < out.height(); ++y) {
        uint8_t* p = out.scanLine(y);
        for (int x = 0; x < out.width() * 3; ++x) {
            const int n = bits[x % 3];
            if (n > 0 && n < 8)
                p[x] = scaleSampleTo8Bits(uint32_t(p[x] >> (8 - n)), n);
        }
    }
    return out;
}

struct NarrowFields {
    const char* file;
    int red, green, blue;
};
const NarrowFields kNarrowFieldFiles[] = {
    {"bmp/bmpsuite_q_rgb16-231.bmp", 2, 3, 1},
    {"bmp/bmpsuite_q_rgba16-4444.bmp", 4, 4, 4},
    {"bmp/imagers_V3_A4_R4_G4_B4.bmp", 4, 4, 4},
    {"bmp/imagers_rgba16-1924.bmp", 1, 9, 2},
    {"bmp/imagers_rgba32-61754.bmp", 6, 17, 5},
};

// Files whose expected decode is not simply their own reference, each with the reason.
const std::map<QString, std::function<void(const QString&)>>& specialFiles()
{
    static const std::map<QString, std::function<void(const QString&)>> files = [] {
        std::map<QString, std::function<void(const QString&)>> m;
        for (const NarrowFields& n : kNarrowFieldFiles) {
            m[QString::fromLatin1(n.file)] = [n](const QString& file) {
                const QImage reference = loadReference(referenceFor(file));
                expectMatchesReference(file, decodeFile(file), rescaleNarrowChannels(reference, n.red, n.green, n.blue));
            };
        }
        // Disputed reference: it reads the OS/2 2.x palette as 3-byte entries and shows
        // noise. OS/2 2.x bitmaps store 4-byte palette entries like Windows ones; the
        // picture is the suite's ordinary 8-bit one.
        m["bmp/bmpsuite_q_pal8os2v2.bmp"] = [](const QString& file) {
            expectMatchesReference(file, decodeFile(file), loadReference(corpusFile("bmp/bmpsuite_g_pal8.bmp.ref.png")));
        };
        // Disputed reference: in row 2 a run of stored row 61 overflows the 127-pixel row
        // and the reference wraps its last pixels into the next row. A run belongs to its
        // scan line (only end-of-line and delta codes change lines), so the overflow is
        // dropped and these four pixels stay the skipped color, palette entry 0.
        auto badRle = [](const QString& file) {
            QImage expected = loadReference(referenceFor(file));
            for (int x = 27; x <= 30; ++x) {
                uint8_t* p = expected.scanLine(2) + 3 * x;
                p[0] = 0xFF, p[1] = 0x00, p[2] = 0x80;
            }
            expectMatchesReference(file, decodeFile(file), expected);
        };
        m["bmp/bmpsuite_b_badrle.bmp"] = badRle;
        m["rle/bmpsuite_b_badrle.rle"] = badRle;
        return m;
    }();
    return files;
}

// Files without a reference decode. Each either decodes to the same picture as another
// file's reference, or must fail with a clear error.
struct NoReference {
    const char* file;
    const char* sameAs;      // reference of the same picture, or nullptr
    const char* errorPart;   // expected part of the error, or nullptr when it decodes
};
const NoReference kNoReference[] = {
    // Damaged header fields that do not affect the pixels: decoded.
    {"bmp/bmpsuite_b_badfilesize.bmp", "bmp/bmpsuite_g_pal1.bmp.ref.png", nullptr},
    {"bmp/bmpsuite_b_badplanes.bmp", "bmp/bmpsuite_g_pal1.bmp.ref.png", nullptr},
    // 300 palette entries for 8 bits: the first 256 count, the pixels are at bfOffBits.
    {"bmp/bmpsuite_q_pal8oversizepal.bmp", "bmp/bmpsuite_g_pal8.bmp.ref.png", nullptr},
    // Alpha bit fields after a 40-byte header: alpha is dropped.
    {"bmp/bmpsuite_q_rgba32abf.bmp", "bmp/bmpsuite_q_rgba32.bmp.ref-rgb.png", nullptr},
    // OS/2 2.x RLE24 of the suite's 8-bit picture.
    {"bmp/imagers_rgb24rle24.bmp", "bmp/bmpsuite_g_pal8.bmp.ref.png", nullptr},
    // A palette count of 305 million: only the entries before the pixel data are read.
    {"bmp/bmpsuite_b_badpalettesize.bmp", "bmp/bmpsuite_g_pal8.bmp.ref.png", nullptr},
    {"bmp/bmpsuite_b_badbitcount.bmp", nullptr, "30000 bits per pixel"},
    {"bmp/bmpsuite_b_badwidth.bmp", nullptr, "invalid size of -127 x 64"},
    {"bmp/bmpsuite_b_reallybig.bmp", nullptr, "too large: 3000000 x 2000000 pixels"},
    {"bmp/bmpsuite_b_shortfile.bmp", nullptr, "ends before the picture data is complete"},
    {"bmp/gen_trunc60_im_bmp3_rgb24.bmp", nullptr, "ends before the picture data is complete"},
    {"bmp/imagers_Bad_height.bmp", nullptr, "too large"},
    {"bmp/imagers_Bad_width.bmp", nullptr, "too large"},
    {"bmp/imagers_Bad_unusual_extend_buffer_usage.bmp", nullptr, "ends before the picture data is complete"},
    {"bmp/pillow_l2rgb_read.bmp", nullptr, "too large"},
    {"rle/imagemagick_input_utah.rle", nullptr, "not a Windows bitmap"},
};

TEST(BmpDecoder, CorpusFilesMatchTheirReferences)
{
    SKIP_WITHOUT_CORPUS();
    int compared = 0;
    for (const char* ext : {"bmp", "dib", "rle"}) {
        for (const QString& file : corpusFiles(QString::fromLatin1(ext))) {
            const QString key = QString::fromLatin1(ext) + QLatin1Char('/') + QFileInfo(file).fileName();
            SCOPED_TRACE(key.toStdString());
            if (const auto special = specialFiles().find(key); special != specialFiles().end()) {
                special->second(file);
                ++compared;
                continue;
            }
            const QString reference = referenceFor(file);
            if (reference.isEmpty())
                continue; // covered by the next test
            try {
                expectMatchesReference(file, decodeFile(file), loadReference(reference));
                ++compared;
            } catch (const PictureError& e) {
                ADD_FAILURE() << "failed: " << e.what();
            }
        }
    }
    EXPECT_GE(compared, 100);
}

TEST(BmpDecoder, CorpusFilesWithoutReferenceDecodeAsTheirTwinOrFailCleanly)
{
    SKIP_WITHOUT_CORPUS();
    for (const NoReference& c : kNoReference) {
        const QString file = corpusFile(c.file);
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(QFileInfo::exists(file));
        if (c.errorPart) {
            try {
                decodeFile(file);
                ADD_FAILURE() << "decoded";
            } catch (const PictureError& e) {
                EXPECT_NE(std::string(e.what()).find(c.errorPart), std::string::npos) << e.what();
            }
        } else {
            expectMatchesReference(file, decodeFile(file), loadReference(corpusFile(c.sameAs)));
        }
    }
}

TEST(BmpDecoder, EveryOtherCorpusFileDecodesOrFailsCleanly)
{
    SKIP_WITHOUT_CORPUS();
    // The remaining files without reference (2-bit, RLE cut short, bad indices): any
    // outcome but a crash is acceptable; these must at least not throw anything else.
    for (const char* ext : {"bmp", "dib", "rle"}) {
        for (const QString& file : corpusFiles(QString::fromLatin1(ext))) {
            try {
                const QImage image = decodeFile(file);
                EXPECT_FALSE(image.isNull()) << file.toStdString();
            } catch (const PictureError&) {
            }
        }
    }
}

TEST(BmpDecoder, OutOfRangeIndicesAreBlack)
{
    SKIP_WITHOUT_CORPUS();
    // Palette of 101 entries, pixels using indices up to 251: the same picture as the
    // suite's ordinary 8-bit file where the index fits, black elsewhere.
    const QImage image = decodeFile(corpusFile("bmp/bmpsuite_b_pal8badindex.bmp"));
    const QImage reference = loadReference(corpusFile("bmp/bmpsuite_g_pal8.bmp.ref.png"));
    ASSERT_EQ(image.size(), reference.size());
    int black = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const uint32_t pixel = rgbAt(image, x, y);
            if (pixel == 0 && rgbAt(reference, x, y) != 0)
                ++black;
        }
    }
    EXPECT_GT(black, 0);
}

TEST(BmpDecoder, TwoBitPalettesAndOneEntryPalettes)
{
    // Windows CE 2-bit: four pixels a byte, the first in the high bits.
    const QByteArray twoBit = bmpFile(infoHeader(5, 1, 2, 0, 4) + palette({0x000000, 0xFF0000, 0x00FF00, 0x0000FF}),
                                      QByteArray::fromHex("1B400000"));
    EXPECT_EQ(rowOf(decodeBytes(twoBit), 0), (std::vector<uint32_t>{0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF0000}));

    // One palette entry for 1 bit: index 1 has no color and shows black.
    const QByteArray oneEntry = bmpFile(infoHeader(3, 1, 1, 0, 1) + palette({0xFFFFFF}), QByteArray::fromHex("40000000"));
    EXPECT_EQ(rowOf(decodeBytes(oneEntry), 0), (std::vector<uint32_t>{0xFFFFFF, 0x000000, 0xFFFFFF}));

    // The corpus's 2-bit files decode at their size with the gray ramp of their palette.
    SKIP_WITHOUT_CORPUS();
    const QImage pal2 = decodeFile(corpusFile("bmp/bmpsuite_q_pal2.bmp"));
    EXPECT_EQ(pal2.size(), QSize(127, 64));
}

TEST(BmpDecoder, RowOrderAndHeaderVariants)
{
    const QByteArray pixels24 = QByteArray::fromHex("0000FF00FF000000" "FF000000FFFF0000"); // 2x2, rows padded to 8
    // Bottom-up (positive height): the first stored row is the bottom one.
    const QImage bottomUp = decodeBytes(bmpFile(infoHeader(2, 2, 24, 0), pixels24));
    EXPECT_EQ(rowOf(bottomUp, 1), (std::vector<uint32_t>{0xFF0000, 0x00FF00}));
    EXPECT_EQ(rowOf(bottomUp, 0), (std::vector<uint32_t>{0x0000FF, 0xFFFF00}));
    const QImage topDown = decodeBytes(bmpFile(infoHeader(2, -2, 24, 0), pixels24));
    EXPECT_EQ(rowOf(topDown, 0), (std::vector<uint32_t>{0xFF0000, 0x00FF00}));

    // Headerless (clipboard) DIB with the OS/2 1.x core header and 3-byte palette entries.
    Bytes core;
    core.u32(12).u16(3).u16(1).u16(1).u16(1).raw({0, 0, 0, 0xFF, 0xFF, 0xFF}).raw({0xA0, 0, 0, 0});
    EXPECT_EQ(rowOf(decodeBytes(core.data, "clip.dib"), 0), (std::vector<uint32_t>{0xFFFFFF, 0x000000, 0xFFFFFF}));

    // Headerless 40-byte header with bit fields: masks follow the header, pixels the masks.
    Bytes fields;
    fields.raw(infoHeader(1, 1, 16, 3)).u32(0xF800).u32(0x07E0).u32(0x001F).u16(0xF81F).u16(0);
    EXPECT_EQ(rgbAt(decodeBytes(fields.data, "clip.dib"), 0, 0), 0xFF00FFu);

    // The 16-bit default is 5-5-5: 0x7FFF is white, 0x0421 is (8, 8, 8) by replication.
    const QImage rgb555 = decodeBytes(bmpFile(infoHeader(2, 1, 16, 0), QByteArray::fromHex("FF7F2104")));
    EXPECT_EQ(rowOf(rgb555, 0), (std::vector<uint32_t>{0xFFFFFF, 0x080808}));

    // 32-bit BI_RGB ignores the fourth byte.
    const QImage rgb32 = decodeBytes(bmpFile(infoHeader(1, 1, 32, 0), QByteArray::fromHex("30201080")));
    EXPECT_EQ(rgbAt(rgb32, 0, 0), 0x102030u);

    // An offset of 0 in the file header: the pixels follow the palette.
    QByteArray zeroOffset = bmpFile(infoHeader(1, 1, 8, 0, 2) + palette({0x112233, 0x445566}), QByteArray::fromHex("01000000"));
    zeroOffset[10] = 0;
    EXPECT_EQ(rgbAt(decodeBytes(zeroOffset), 0, 0), 0x445566u);
}

TEST(BmpDecoder, SamplesNarrowerThanEightBitsAreBitReplicated)
{
    // The plain rule: repeat the sample's bits from the top until 8 bits are filled.
    for (int bits = 1; bits <= 8; ++bits) {
        for (uint32_t value = 0; value < (1u << bits); ++value) {
            uint32_t replicated = 0;
            for (int filled = 0; filled < 8; filled += bits)
                replicated = (replicated << bits) | value;
            const int total = ((8 + bits - 1) / bits) * bits;
            EXPECT_EQ(scaleSampleTo8Bits(value, bits), int(replicated >> (total - 8))) << value << " of " << bits << " bits";
        }
    }
}

TEST(BmpDecoder, RunLengthCodes)
{
    const QByteArray pal = palette({0x000000, 0xFF0000, 0x00FF00, 0x0000FF});
    // RLE8 on 4x3, stored bottom-up: row 2 = run of 3 x index 1, end of line; row 1 is
    // skipped by a delta (1, 1) that lands on row 0 at x 1; an absolute run of 3 pixels
    // (3, 2, 1) padded to an even length; end of bitmap.
    const QByteArray rle8 = QByteArray::fromHex("0301" "0000" "0002" "0101" "0003" "03020100" "0001");
    const QImage image8 = decodeBytes(bmpFile(infoHeader(4, 3, 8, 1, 4) + pal, rle8));
    EXPECT_EQ(rowOf(image8, 2), (std::vector<uint32_t>{0xFF0000, 0xFF0000, 0xFF0000, 0x000000}));
    EXPECT_EQ(rowOf(image8, 1), (std::vector<uint32_t>(4, 0x000000)));
    EXPECT_EQ(rowOf(image8, 0), (std::vector<uint32_t>{0x000000, 0x0000FF, 0x00FF00, 0xFF0000}));

    // RLE4: a run alternates the two nibbles; an odd absolute run of 3 takes 2 bytes,
    // padded to 4; runs past the row end are dropped.
    const QByteArray rle4 = QByteArray::fromHex("0512" "0000" "00033120" "0001");
    const QImage image4 = decodeBytes(bmpFile(infoHeader(4, 2, 4, 2, 4) + pal, rle4));
    EXPECT_EQ(rowOf(image4, 1), (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0xFF0000, 0x00FF00}));
    EXPECT_EQ(rowOf(image4, 0), (std::vector<uint32_t>{0x0000FF, 0xFF0000, 0x00FF00, 0x000000}));

    // A stream that stops before every row is reached is truncated.
    EXPECT_THROW(decodeBytes(bmpFile(infoHeader(4, 3, 8, 1, 4) + pal, QByteArray::fromHex("03010000"))), PictureError);
    // One that reaches every row needs no end-of-bitmap code.
    EXPECT_NO_THROW(decodeBytes(bmpFile(infoHeader(1, 1, 8, 1, 4) + pal, QByteArray::fromHex("01010000"))));
}

TEST(BmpDecoder, BadInputFailsQuicklyWithoutLargeAllocations)
{
    const QByteArray header = bmpFile(infoHeader(60000, 60000, 24, 0), {});
    const QByteArray small = bmpFile(infoHeader(4, 4, 24, 0), QByteArray(48, '\0'));
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"empty", {}},
        {"one byte", "B"},
        {"file header alone", small.left(14)},
        {"header alone", small.left(54)},
        {"60000 x 60000", header},
        {"truncated pixels", small.left(54 + 40)},
        {"header size 0", bmpFile(Bytes().u32(0).u32(1).u32(1).data, {})},
        {"huge header size", bmpFile(Bytes().u32(0x7FFFFFF0).u32(1).u32(1).data, {})},
        {"pixel offset past the end", [&] {
             QByteArray b = small;
             b[10] = char(0xF0), b[11] = char(0xFF);
             return b;
         }()},
        {"RLE8 with 4 bits", bmpFile(infoHeader(1, 1, 4, 1), QByteArray::fromHex("0001"))},
        {"unknown compression", bmpFile(infoHeader(1, 1, 24, 9), QByteArray(4, '\0'))},
        {"64-bit pixels", bmpFile(infoHeader(1, 1, 64, 0), QByteArray(8, '\0'))},
        {"headerless garbage", "GIF89a"},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { decodeBytes(c.bytes); });
        EXPECT_TRUE(!error.empty() && error != "(decoded)") << c.name << ": " << error;
    }
}

TEST(BmpDecoder, CorruptSamplesFailCleanly)
{
    const QStringList files = keptCorruptSamples(QStringLiteral("bmp"));
    EXPECT_FALSE(files.isEmpty());
    expectEachFailsCleanly(files, decodeFile);
}

TEST(BmpDecoder, EmbeddedPngIsDecodedByThePngDecoder)
{
    SKIP_WITHOUT_CORPUS();
    const QString file = corpusFile("bmp/bmpsuite_q_rgb24png.bmp");
    QImage image;
    try {
        image = decodeFile(file);
    } catch (const PictureError& e) {
        if (std::string(e.what()).find("cannot be read yet") != std::string::npos)
            GTEST_SKIP() << "the PNG decoder is not built yet";
        throw;
    }
    expectMatchesReference(file, image, loadReference(corpusFile("bmp/bmpsuite_g_rgb24.bmp.ref.png")));
}

} // namespace
