#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct PcxLayout {
    int version = 5;
    int encoding = 1;
    int bits = 8;
    int xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    int planes = 1;
    int bytesPerLine = 1;
    int signature = 10;
};

// A 128-byte header (palette entries as 0xRRGGBB) followed by the given data bytes.
Bytes pcx(const PcxLayout& l, std::initializer_list<int> data = {}, const std::vector<uint32_t>& palette = {})
{
    Bytes b(128, 0);
    b[0] = uint8_t(l.signature);
    b[1] = uint8_t(l.version);
    b[2] = uint8_t(l.encoding);
    b[3] = uint8_t(l.bits);
    const auto put16 = [&b](size_t at, int v) {
        b[at] = uint8_t(v & 0xff);
        b[at + 1] = uint8_t(v >> 8);
    };
    put16(4, l.xMin);
    put16(6, l.yMin);
    put16(8, l.xMax);
    put16(10, l.yMax);
    for (size_t i = 0; i < palette.size() && i < 16; ++i) {
        b[16 + i * 3] = uint8_t(palette[i] >> 16);
        b[17 + i * 3] = uint8_t(palette[i] >> 8);
        b[18 + i * 3] = uint8_t(palette[i]);
    }
    b[65] = uint8_t(l.planes);
    put16(66, l.bytesPerLine);
    put16(68, 1);
    for (int v : data)
        b.push_back(uint8_t(v));
    return b;
}

QImage decodeBytes(const Bytes& bytes)
{
    return decodeWith(decodePcx, bytes, QStringLiteral("test.pcx"));
}

QImage inverted(const QImage& image)
{
    QImage copy = image.copy();
    copy.invertPixels();
    return copy;
}

const QStringList kExtensions = {"pcx", "pcc", "scr"};

// Files whose reference decode reads the format differently; each is settled in a test below.
const std::set<QString> kSettledBelow = {
    QStringLiteral("kimageformats_mono.pcx"),
    QStringLiteral("pillow_pil184.pcx"),
    QStringLiteral("kimageformats_ccbug_463951.pcx"),
};

// Every sample with a reference decodes to it exactly. That includes p_4_planes, whose
// reference another decoder disputes: planes 0 and 1 of its one pixel are set, which makes
// index 3 and the header palette's entry 3, red, as the reference has it.
TEST(PcxDecoder, CorpusFilesMatchTheirReferences)
{
    SKIP_WITHOUT_CORPUS();
    EXPECT_GE(expectCorpusMatchesReferences(kExtensions, loadBitmap, kSettledBelow), 20);
    EXPECT_EQ(rgbAt(loadBitmap(corpusFile("pcx/pillow_p_4_planes.pcx")), 0, 0), 0xff0000u);
}

// The samples without a reference are malformed or truncated, as are our own corrupt
// samples (past fuzzer findings among them): each fails with our error.
TEST(PcxDecoder, MalformedFilesFailCleanly)
{
    SKIP_WITHOUT_CORPUS();
    const QStringList files = corpusFilesWithoutReference(kExtensions) + keptCorruptSamples(QStringLiteral("pcx"));
    EXPECT_GE(files.size(), 7);
    expectEachFailsCleanly(files);
}

// In a 1-bit, 1-plane picture a set bit is white. Both references map it to black: the
// signature sample (header palette black, white) then shows white ink on black paper, and
// the mono test card shows its "100%" field white while its 8-bit sibling (ccbug_463951)
// shows it black. The decode must be each reference inverted.
TEST(PcxDecoder, MonochromeSetBitsAreWhite)
{
    SKIP_WITHOUT_CORPUS();
    for (const char* name : {"pcx/kimageformats_mono.pcx", "pcx/pillow_pil184.pcx"}) {
        const QString file = corpusFile(name);
        EXPECT_EQ(bitmapDifference(inverted(loadReference(referenceFor(file))), loadBitmap(file)), "") << name;
    }
    // The window of pil184 starts at (1, 1): Xmax - Xmin + 1 by Ymax - Ymin + 1.
    EXPECT_EQ(loadBitmap(corpusFile("pcx/pillow_pil184.pcx")).size(), QSize(447, 144));
}

// The 256-color palette is the last 769 bytes of the file (0x0C, then 768 bytes): in this
// sample a gray ramp, with 20 bytes of padding between the pixel data and the palette. The
// reference took its palette from right after the pixel data, 20 bytes early. Moving that
// misread palette to the end of the file must reproduce the reference exactly, and the file
// itself must decode to gray levels equal to the indexes.
TEST(PcxDecoder, PaletteIsTakenFromTheEndOfTheFile)
{
    SKIP_WITHOUT_CORPUS();
    const QString file = corpusFile("pcx/kimageformats_ccbug_463951.pcx");
    const QByteArray original = readFileBytes(file);
    ASSERT_GT(original.size(), 789);
    const QImage decoded = loadBitmap(file);
    for (uint32_t pixel : pixelsOf(decoded))
        ASSERT_TRUE((pixel >> 16) == (pixel & 0xff) && ((pixel >> 8) & 0xff) == (pixel & 0xff)) << std::hex << pixel;

    QByteArray misread = original;
    const qsizetype paletteStart = original.size() - 768;
    misread.replace(paletteStart, 768, original.mid(paletteStart - 20, 768));
    const QImage withMisreadPalette = decodeBytes(Bytes(misread.begin(), misread.end()));
    EXPECT_EQ(bitmapDifference(loadReference(referenceFor(file)), withMisreadPalette), "");
}

// Variants the corpus lacks, written from the published layout; pixels listed top row first.
TEST(PcxDecoder, HandMadeLayouts)
{
    const std::vector<uint32_t> cgaColors = {0x000000, 0x00aaaa, 0xaa00aa, 0xaaaaaa};
    const struct {
        const char* name;
        Bytes file;
        QSize size;
        std::vector<uint32_t> pixels;
    } cases[] = {
        {"CGA 2 bits with its colors in the header",
         pcx({.bits = 2, .xMax = 3, .bytesPerLine = 2}, {0x1b, 0x00}, cgaColors), {4, 1},
         {0x000000, 0x00aaaa, 0xaa00aa, 0xaaaaaa}},
        {"CGA 2 bits without palette information",
         pcx({.version = 3, .bits = 2, .xMax = 3, .bytesPerLine = 2}, {0xc1, 0xe4, 0x00}, cgaColors), {4, 1},
         {0xffffff, 0xff55ff, 0x55ffff, 0x000000}},
        {"4 planes, header palette",
         pcx({.bits = 1, .xMax = 1, .planes = 4, .bytesPerLine = 2}, {0x80, 0, 0x40, 0, 0xc1, 0xc0, 0, 0xc1, 0xc0, 0},
             {0, 0x111111, 0x222222, 0x333333, 0x444444, 0x555555, 0x666666, 0x777777, 0x888888, 0x999999, 0xaaaaaa,
              0xbbbbbb, 0xcccccc, 0xdddddd, 0xeeeeee, 0xffffff}),
         {2, 1}, {0xdddddd, 0xeeeeee}},
        {"4 planes, version 3 takes the EGA palette",
         pcx({.version = 3, .bits = 1, .xMax = 2, .planes = 4, .bytesPerLine = 2},
             {0x60, 0, 0xa0, 0, 0xa0, 0, 0x20, 0}, {0x123456}),
         {3, 1}, {0xaa5500, 0x0000aa, 0xffffff}},
        {"3 planes, header palette",
         pcx({.bits = 1, .xMax = 0, .planes = 3, .bytesPerLine = 2},
             {0, 0, 0x80, 0, 0x80, 0}, {0, 1, 2, 3, 4, 5, 0x606060, 7}),
         {1, 1}, {0x606060}},
        {"4 bits, version 0 takes the EGA palette",
         pcx({.version = 0, .bits = 4, .xMax = 2, .bytesPerLine = 2}, {0x1e, 0x70}), {3, 1},
         {0x0000aa, 0xffff55, 0xaaaaaa}},
        {"8 bits without a palette at the end are gray",
         pcx({.bits = 8, .xMax = 2, .yMax = 1, .bytesPerLine = 4}, {0x00, 0x7f, 0xc2, 0xff, 0xc4, 0x10}), {3, 2},
         {0x000000, 0x7f7f7f, 0xffffff, 0x101010, 0x101010, 0x101010}},
        {"24 bits stored without compression, padding ignored",
         pcx({.encoding = 0, .bits = 8, .xMax = 0, .yMax = 1, .planes = 3, .bytesPerLine = 2},
             {1, 9, 2, 9, 3, 9, 4, 9, 5, 9, 6, 9}),
         {1, 2}, {0x010203, 0x040506}},
        {"32 bits drop the alpha plane",
         pcx({.bits = 8, .xMax = 1, .planes = 4, .bytesPerLine = 2}, {0x10, 0x11, 0x20, 0x21, 0x30, 0x31, 0x7f, 0x7f}),
         {2, 1}, {0x102030, 0x112131}},
        {"a run continues into the next scan line, window starts at (5, 7)",
         pcx({.bits = 1, .xMin = 5, .yMin = 7, .xMax = 12, .yMax = 9, .bytesPerLine = 2}, {0xc3, 0xf0, 0xc3, 0x0f}),
         {8, 3},
         {0xffffff, 0xffffff, 0xffffff, 0xffffff, 0, 0, 0, 0, 0xffffff, 0xffffff, 0xffffff, 0xffffff, 0, 0, 0, 0,
          0, 0, 0, 0, 0xffffff, 0xffffff, 0xffffff, 0xffffff}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QImage image;
        ASSERT_NO_THROW(image = decodeBytes(c.file));
        EXPECT_EQ(image.size(), c.size);
        EXPECT_EQ(pixelsOf(image), c.pixels);
    }
}

TEST(PcxDecoder, PaletteAfterTheMarkerColorsEightBitPictures)
{
    Bytes file = pcx({.bits = 8, .xMax = 1, .bytesPerLine = 2}, {0x01, 0xc1, 0xff});
    file.push_back(0x0c);
    for (int i = 0; i < 256; ++i) {
        file.push_back(uint8_t(i));
        file.push_back(uint8_t(255 - i));
        file.push_back(0x42);
    }
    const QImage image = decodeBytes(file);
    EXPECT_EQ(pixelsOf(image), (std::vector<uint32_t>{0x01fe42, 0xff0042}));
}

TEST(PcxDecoder, DamagedHeadersAndDataFailWithClearErrors)
{
    const struct {
        const char* name;
        Bytes file;
        const char* message;
    } cases[] = {
        {"shorter than a header", Bytes(100, 10), "ends before the picture data is complete"},
        {"wrong signature", pcx({.xMax = 1, .bytesPerLine = 2, .signature = 11}, {0, 0}), "signature byte 10"},
        {"version 6", pcx({.version = 6, .xMax = 1, .bytesPerLine = 2}, {0, 0}), "unknown version 6"},
        {"encoding 2", pcx({.encoding = 2, .xMax = 1, .bytesPerLine = 2}, {0, 0}), "unknown encoding 2"},
        {"8 bits x 2 planes", pcx({.xMax = 1, .planes = 2, .bytesPerLine = 2}, {0, 0, 0, 0}), "8 bits x 2 planes"},
        {"2 bits x 4 planes", pcx({.bits = 2, .xMax = 1, .planes = 4, .bytesPerLine = 2}), "2 bits x 4 planes"},
        {"Xmax before Xmin", pcx({.xMin = 5, .xMax = 3, .bytesPerLine = 2}, {0, 0}), "invalid size of -1 x 1"},
        {"BytesPerLine too small", pcx({.bits = 1, .xMax = 16, .bytesPerLine = 2}, {0, 0, 0}), "rows of 2 bytes are too short"},
        {"too large", pcx({.xMax = 65535, .bytesPerLine = 65535}), "too large"},
        {"run cut short", pcx({.xMax = 3, .bytesPerLine = 4}, {0xc3, 1, 0xc1}), "ends before the picture data is complete"},
        {"plain data cut short", pcx({.encoding = 0, .xMax = 3, .yMax = 1, .bytesPerLine = 4}, {1, 2, 3, 4, 5}),
         "ends before the picture data is complete"},
        {"large window with almost no data", pcx({.xMax = 9999, .yMax = 9999, .planes = 3, .bytesPerLine = 10000},
                                                 {0xff, 0, 0xff, 0}),
         "ends before the picture data is complete"},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { decodeBytes(c.file); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    }
}

TEST(PcxDecoder, EveryPcxExtensionReadsPcx)
{
    const Bytes file = pcx({.bits = 8, .xMax = 0, .planes = 3, .bytesPerLine = 1}, {0x30, 0x20, 0x10});
    for (const char* ext : {"pcx", "pcc", "scr", "PCX"}) {
        std::unique_ptr<Picture> picture;
        ASSERT_NO_THROW(picture = FormatRegistry::standard().decode(QStringLiteral("a.") + QString::fromLatin1(ext), file))
            << ext;
        EXPECT_EQ(rgbAt(toBgr888(picture->toImage()), 0, 0), 0x302010u) << ext;
    }
}

} // namespace
