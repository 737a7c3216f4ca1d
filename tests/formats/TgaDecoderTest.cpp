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

void put16(Bytes& b, unsigned v)
{
    b.push_back(uint8_t(v & 0xff));
    b.push_back(uint8_t(v >> 8));
}

// An 18-byte header, then the given bytes (image ID, color map and pixel data).
Bytes tga(int idLength, int mapType, int imageType, int mapFirst, int mapLength, int mapBits, int width,
          int height, int pixelBits, int descriptor, std::initializer_list<int> rest = {})
{
    Bytes b{uint8_t(idLength), uint8_t(mapType), uint8_t(imageType)};
    put16(b, unsigned(mapFirst));
    put16(b, unsigned(mapLength));
    b.push_back(uint8_t(mapBits));
    put16(b, 0);
    put16(b, 0);
    put16(b, unsigned(width));
    put16(b, unsigned(height));
    b.push_back(uint8_t(pixelBits));
    b.push_back(uint8_t(descriptor));
    for (int v : rest)
        b.push_back(uint8_t(v));
    return b;
}

QImage decodeBytes(const Bytes& bytes)
{
    return decodeWith(decodeTga, bytes, QStringLiteral("test.tga"));
}

const QStringList kExtensions = {"tga", "win", "vst", "vda", "icb"};

// Files whose reference decode reads the format differently; each is settled in a test below.
const std::set<QString> kSettledBelow = {
    QStringLiteral("imagers_b5-unused-cmap.tga"),   QStringLiteral("pillow_200x32_la_bl_raw.tga"),
    QStringLiteral("pillow_200x32_la_bl_rle.tga"),  QStringLiteral("pillow_200x32_la_tl_raw.tga"),
    QStringLiteral("pillow_200x32_la_tl_rle.tga"),  QStringLiteral("pillow_la.tga"),
    QStringLiteral("kimageformats_bwa.tga"),
};

// Every sample with a reference decodes to it exactly. That includes the 16-bit files whose
// references another decoder disputes by one step (b5-attrib, b5-noattrib, rgb16, rgba16):
// the references widen 5-bit channels by bit replication, as this decoder does.
TEST(TgaDecoder, CorpusFilesMatchTheirReferences)
{
    SKIP_WITHOUT_CORPUS();
    EXPECT_GE(expectCorpusMatchesReferences(kExtensions, loadBitmap, kSettledBelow), 60);
}

// The samples without a reference are malformed or truncated, as are our own corrupt
// samples (past fuzzer findings among them): each fails with our error.
TEST(TgaDecoder, MalformedFilesFailCleanly)
{
    SKIP_WITHOUT_CORPUS();
    const QStringList files = corpusFilesWithoutReference(kExtensions) + keptCorruptSamples(QStringLiteral("tga"));
    EXPECT_GE(files.size(), 12);
    expectEachFailsCleanly(files);
}

// The four b5 samples hold one 4x4 picture: 16-bit pixels with and without attribute bits,
// 8-bit indexes into a 15-bit color map, and bottom-up 16-bit pixels after a 32-byte color
// map they do not use (a type 2 picture's pixels are colors themselves). The reference of
// the last, made by another tool, arranges the same sixteen colors in another order; read
// as the format lays it out it is the same picture, so all four must equal the noattrib
// reference.
TEST(TgaDecoder, FiveBitSamplesOfOnePictureDecodeAlike)
{
    SKIP_WITHOUT_CORPUS();
    const QImage expected = loadReference(corpusFile("tga/imagers_b5-noattrib.tga.ref.png"));
    ASSERT_FALSE(expected.isNull());
    for (const char* name : {"imagers_b5-noattrib.tga", "imagers_b5-attrib.tga", "imagers_b5-cmap.tga",
                             "imagers_b5-unused-cmap.tga"}) {
        EXPECT_EQ(bitmapDifference(expected, loadBitmap(corpusFile((std::string("tga/") + name).c_str()))), "")
            << name;
    }
}

// 16-bit black-and-white pixels keep gray in the low byte and alpha in the high byte (the
// attribute bits are the high-order bits of a pixel, as in 16- and 32-bit color). The
// references read these pixels as 5-5-5 color; the gray-and-alpha samples carry the same
// gray levels as their 8-bit gray siblings, so they must equal those references.
TEST(TgaDecoder, GrayWithAlphaKeepsTheLowByteAsGray)
{
    SKIP_WITHOUT_CORPUS();
    for (const char* variant : {"bl_raw", "bl_rle", "tl_raw", "tl_rle"}) {
        const QString gray = corpusFile((std::string("tga/pillow_200x32_l_") + variant + ".tga.ref.png").c_str());
        const QString withAlpha = corpusFile((std::string("tga/pillow_200x32_la_") + variant + ".tga").c_str());
        EXPECT_EQ(bitmapDifference(loadReference(gray), loadBitmap(withAlpha)), "") << variant;
    }

    // Values read from the first packets of the file by hand: a gradient from black at the
    // top left, with a white blob (fully transparent there) in the middle.
    const QImage la = loadBitmap(corpusFile("tga/pillow_la.tga"));
    ASSERT_EQ(la.size(), QSize(64, 64));
    EXPECT_EQ(rgbAt(la, 0, 0), 0x000000u);
    EXPECT_EQ(rgbAt(la, 63, 0), 0x676767u);
    EXPECT_EQ(rgbAt(la, 32, 32), 0xffffffu);
    EXPECT_EQ(rgbAt(la, 63, 63), 0xdbdbdbu);

    // Every gray byte of this sample is 0: its letter lives in the alpha bytes alone.
    const QImage bwa = loadBitmap(corpusFile("tga/kimageformats_bwa.tga"));
    ASSERT_EQ(bwa.size(), QSize(32, 32));
    for (uint32_t pixel : pixelsOf(bwa))
        ASSERT_EQ(pixel, 0u);
}

TEST(TgaDecoder, FiveBitChannelsWidenByBitReplication)
{
    const struct {
        unsigned level;
        unsigned expected;
    } cases[] = {{0, 0}, {1, 8}, {3, 24}, {4, 33}, {15, 123}, {16, 132}, {30, 247}, {31, 255}};
    for (const auto& c : cases) {
        // One 16-bit pixel with the level in all three channels and the attribute bit set.
        const unsigned v = 0x8000 | (c.level << 10) | (c.level << 5) | c.level;
        const QImage image = decodeBytes(tga(0, 0, 2, 0, 0, 0, 1, 1, 16, 0, {int(v & 0xff), int(v >> 8)}));
        EXPECT_EQ(rgbAt(image, 0, 0), c.expected * 0x010101u) << c.level;
    }
}

// Variants the corpus lacks, written from the published layout; pixels listed top row first.
TEST(TgaDecoder, HandMadeLayouts)
{
    const struct {
        const char* name;
        Bytes file;
        int width;
        std::vector<uint32_t> pixels;
    } cases[] = {
        {"15-bit color map from index 2, index 0 outside it, top-down",
         tga(0, 1, 1, 2, 2, 15, 2, 2, 8, 0x20, {0x00, 0x7c, 0x1f, 0x00, /**/ 2, 3, 3, 0}), 2,
         {0xff0000, 0x0000ff, 0x0000ff, 0x000000}},
        {"16-bit indexes into a 24-bit map starting at 256",
         tga(0, 1, 1, 256, 2, 24, 2, 1, 16, 0x20, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, /**/ 0x00, 0x01, 0x01, 0x01}), 2,
         {0x302010, 0x605040}},
        {"32-bit map entries drop their alpha, bottom-up",
         tga(0, 1, 1, 0, 2, 32, 1, 2, 8, 0, {1, 2, 3, 0x80, 4, 5, 6, 0xff, /**/ 0, 1}), 1, {0x060504, 0x030201}},
        {"24-bit, right to left, bottom-up",
         tga(0, 0, 2, 0, 0, 0, 2, 2, 24, 0x10, {1, 1, 1, 2, 2, 2, /**/ 3, 3, 3, 4, 4, 4}), 2,
         {0x040404, 0x030303, 0x020202, 0x010101}},
        {"32-bit, right to left, top-down, alpha dropped",
         tga(0, 0, 2, 0, 0, 0, 2, 1, 32, 0x38, {1, 2, 3, 0, 4, 5, 6, 0}), 2, {0x060504, 0x030201}},
        {"15-bit true color",
         tga(0, 0, 2, 0, 0, 0, 1, 1, 15, 0, {0xe0, 0x03}), 1, {0x00ff00}},
        {"RLE packets crossing scan lines",
         tga(0, 0, 10, 0, 0, 0, 3, 2, 24, 0x20, {0x83, 9, 8, 7, 0x01, 1, 2, 3, 4, 5, 6}), 3,
         {0x070809, 0x070809, 0x070809, 0x070809, 0x030201, 0x060504}},
        {"RLE color-mapped with 16-bit entries, right to left",
         tga(0, 1, 9, 0, 2, 16, 3, 1, 8, 0x30, {0x1f, 0x00, 0x00, 0x7c, /**/ 0x81, 1, 0x00, 0}), 3,
         {0x0000ff, 0xff0000, 0xff0000}},
        {"RLE 16-bit gray keeps the low byte",
         tga(0, 0, 11, 0, 0, 0, 2, 1, 16, 0x28, {0x81, 0x40, 0xff}), 2, {0x404040, 0x404040}},
        {"image ID and an unused color map skipped",
         tga(3, 1, 3, 0, 2, 24, 1, 1, 8, 0, {'a', 'b', 'c', 9, 9, 9, 9, 9, 9, 0x77}), 1, {0x777777}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QImage image;
        ASSERT_NO_THROW(image = decodeBytes(c.file));
        EXPECT_EQ(image.width(), c.width);
        EXPECT_EQ(pixelsOf(image), c.pixels);
    }
}

TEST(TgaDecoder, DamagedHeadersAndDataFailWithClearErrors)
{
    const auto cut = [](Bytes b, size_t size) {
        b.resize(size);
        return b;
    };
    const struct {
        const char* name;
        Bytes file;
        const char* message;
    } cases[] = {
        {"empty file", {}, "ends before the picture data is complete"},
        {"header cut short", cut(tga(0, 0, 2, 0, 0, 0, 1, 1, 24, 0), 12), "ends before the picture data is complete"},
        {"no image data", tga(0, 0, 0, 0, 0, 0, 1, 1, 24, 0), "no image data"},
        {"Huffman-coded type", tga(0, 0, 32, 0, 0, 0, 1, 1, 8, 0, {0}), "image type 32 are not supported"},
        {"unknown color map type", tga(0, 2, 2, 0, 0, 0, 1, 1, 24, 0, {0, 0, 0}), "color map type 2"},
        {"mapped without a map", tga(0, 0, 1, 0, 0, 0, 1, 1, 8, 0, {0}), "has no color map"},
        {"12-bit map entries", tga(0, 1, 1, 0, 1, 12, 1, 1, 8, 0, {0, 0, 0}), "color map entry size of 12"},
        {"4-bit indexes", tga(0, 1, 1, 0, 1, 24, 1, 1, 4, 0, {0, 0, 0, 0}), "index size of 4"},
        {"8-bit true color", tga(0, 0, 2, 0, 0, 0, 1, 1, 8, 0, {0}), "pixel size of 8"},
        {"24-bit gray", tga(0, 0, 3, 0, 0, 0, 1, 1, 24, 0, {0, 0, 0}), "gray pictures with a pixel size of 24"},
        {"zero width", tga(0, 0, 2, 0, 0, 0, 0, 1, 24, 0), "invalid size of 0 x 1"},
        {"too large", tga(0, 0, 2, 0, 0, 0, 65535, 65535, 24, 0), "too large"},
        {"color map cut short", tga(0, 1, 1, 0, 4, 24, 1, 1, 8, 0, {1, 2, 3}), "ends before the picture data is complete"},
        {"image ID past the end", tga(40, 0, 2, 0, 0, 0, 1, 1, 24, 0, {1, 2, 3}), "ends before the picture data is complete"},
        {"raw pixels cut short", tga(0, 0, 2, 0, 0, 0, 2, 2, 24, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), "ends before the picture data is complete"},
        {"large picture with almost no data", tga(0, 0, 2, 0, 0, 0, 20000, 20000, 24, 0, {1, 2, 3}), "ends before the picture data is complete"},
        {"RLE packet cut short", tga(0, 0, 10, 0, 0, 0, 2, 1, 24, 0, {0x01, 1, 2, 3, 4, 5}), "ends before the picture data is complete"},
        {"RLE data ends before the picture", tga(0, 0, 11, 0, 0, 0, 300, 1, 8, 0, {0x00, 1, 0x00, 2, 0x00, 3}), "ends before the picture data is complete"},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { decodeBytes(c.file); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    }
}

// The five Truevision extensions reach this decoder through the registry.
TEST(TgaDecoder, EveryTruevisionExtensionReadsTga)
{
    const Bytes file = tga(0, 0, 2, 0, 0, 0, 1, 1, 24, 0, {0x30, 0x20, 0x10});
    for (const char* ext : {"tga", "win", "vst", "vda", "icb", "TGA"}) {
        const QString name = QStringLiteral("photo.") + QString::fromLatin1(ext);
        std::unique_ptr<Picture> picture;
        ASSERT_NO_THROW(picture = FormatRegistry::standard().decode(name, file)) << ext;
        EXPECT_EQ(rgbAt(toBgr888(picture->toImage()), 0, 0), 0x102030u) << ext;
    }
}

} // namespace
