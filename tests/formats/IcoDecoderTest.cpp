#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <set>

namespace {

QImage decodeBytes(const QByteArray& bytes)
{
    return decodeWith(decodeIco, bytes, QStringLiteral("test.ico"));
}

QImage decodeFile(const QString& path)
{
    return decodeBytes(readFileBytes(path));
}

// Little-endian byte writer for hand-made icons.
struct Bytes {
    QByteArray data;
    Bytes& u8(int v)
    {
        data.append(char(v));
        return *this;
    }
    Bytes& u16(int v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    Bytes& u32(uint32_t v) { return u16(int(v & 0xFFFF)).u16(int(v >> 16)); }
    Bytes& raw(const QByteArray& more)
    {
        data.append(more);
        return *this;
    }
};

// A 24-bit bitmap entry of size x size filled with one color, with its AND mask.
QByteArray bitmapEntry(int size, uint32_t rgb, int headerHeight = -1)
{
    Bytes b;
    b.u32(40).u32(uint32_t(size)).u32(uint32_t(headerHeight < 0 ? size * 2 : headerHeight)).u16(1).u16(24);
    b.u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
    const int stride = (size * 3 + 3) / 4 * 4;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x)
            b.u8(rgb & 0xFF).u8((rgb >> 8) & 0xFF).u8((rgb >> 16) & 0xFF);
        for (int p = size * 3; p < stride; ++p)
            b.u8(0);
    }
    b.raw(QByteArray(size * 4, '\xFF')); // AND mask, 4 bytes a row for sizes up to 32
    return b.data;
}

struct IconImage {
    int dirWidth, dirHeight, dirDepth;
    QByteArray bytes;
};

QByteArray iconFile(const std::vector<IconImage>& images)
{
    Bytes b;
    b.u16(0).u16(1).u16(int(images.size()));
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (const IconImage& image : images) {
        b.u8(image.dirWidth).u8(image.dirHeight).u8(0).u8(0).u16(1).u16(image.dirDepth);
        b.u32(uint32_t(image.bytes.size())).u32(offset);
        offset += uint32_t(image.bytes.size());
    }
    for (const IconImage& image : images)
        b.raw(image.bytes);
    return b.data;
}

// Disputed references, settled by the icon and bitmap formats' rules:
// - imagers_two-entry-order-test.ico: two 48x48 8-bit entries; ties go to the first entry
//   in the directory, as the reference shows: compared exactly below.
// - imagers_multiple_entries_with_different_bit_depth.ico: 48x48 entries in 8 and 32
//   bits; the reference shows the 8-bit one, but the deeper entry is the one delivered
//   (see DeliversTheDeeperOfTwoEqualSizes).
// - imagers_bmp_v5_with_icc.ico: a V5 header with an embedded profile; the reference is
//   shifted sideways. The pixels follow the header directly (the profile's offset counts
//   from the header and points past them), so it is the suite's 24-bit picture.
TEST(IcoDecoder, CorpusFilesMatchTheirReferences)
{
    SKIP_WITHOUT_CORPUS();
    const std::set<QString> settledBelow = {"imagers_multiple_entries_with_different_bit_depth.ico",
                                            "imagers_bmp_v5_with_icc.ico"};
    EXPECT_GE(expectCorpusMatchesReferences({"ico"}, decodeFile, settledBelow), 26);
    EXPECT_EQ(bitmapDifference(loadReference(corpusFile("bmp/bmpsuite_g_rgb24.bmp.ref.png")),
                               decodeFile(corpusFile("ico/imagers_bmp_v5_with_icc.ico"))),
              "");
}

TEST(IcoDecoder, DeliversTheDeeperOfTwoEqualSizes)
{
    SKIP_WITHOUT_CORPUS();
    // Entry 6 of 9 is the 48x48 32-bit bitmap (the other 48x48 one has 8 bits). Its pixels
    // are read here straight from the file: rows bottom-up, blue, green, red, alpha.
    const QByteArray bytes = readFileBytes(corpusDir() + "/ico/imagers_multiple_entries_with_different_bit_depth.ico");
    const QImage image = decodeBytes(bytes);
    ASSERT_EQ(image.size(), QSize(48, 48));
    const int pixels = 8542 + 40;
    int differences = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            const char* p = bytes.constData() + pixels + ((47 - y) * 48 + x) * 4;
            const uint32_t stored = (uint32_t(uint8_t(p[2])) << 16) | (uint32_t(uint8_t(p[1])) << 8) | uint8_t(p[0]);
            differences += rgbAt(image, x, y) != stored;
        }
    }
    EXPECT_EQ(differences, 0);
}

TEST(IcoDecoder, SizeDisagreementsAndBadIconsFromTheCorpus)
{
    SKIP_WITHOUT_CORPUS();
    // A header claiming 65535 x 65535 in a 16 x 16 entry: read at the entry's size.
    EXPECT_EQ(decodeFile(corpusDir() + "/ico/pillow_decompression_bomb.ico").size(), QSize(16, 16));
    // An RLE4 entry whose directory size is -7 (a fuzzer's find): its run-length data covers
    // the picture, so it decodes.
    EXPECT_EQ(decodeFile(corpusDir() + "/ico/imagers_crash-981fee30.ico").size(), QSize(32, 32));
    // A directory size too small for the bitmap: the bitmap's header decides.
    EXPECT_EQ(decodeFile(corpusDir() + "/ico/imagers_Bad_smile-incorrect-image-length.ico").size(), QSize(32, 32));
}

TEST(IcoDecoder, PicksTheLargestThenTheDeepestThenTheFirstEntry)
{
    const struct {
        const char* name;
        std::vector<IconImage> images;
        QSize size;
        uint32_t color;
    } cases[] = {
        {"largest area wins over order", {{16, 16, 24, bitmapEntry(16, 0x112233)}, {32, 32, 24, bitmapEntry(32, 0x445566)}},
         {32, 32}, 0x445566},
        {"equal sizes: the first", {{8, 8, 24, bitmapEntry(8, 0x0000FF)}, {8, 8, 24, bitmapEntry(8, 0x00FF00)}}, {8, 8}, 0x0000FF},
        {"size from the bitmap when the directory says 0",
         {{0, 0, 0, bitmapEntry(20, 0xABCDEF)}, {16, 16, 24, bitmapEntry(16, 0x111111)}}, {20, 20}, 0xABCDEF},
        {"directory smaller than the header: the directory's size",
         {{4, 4, 24, bitmapEntry(4, 0x808080, 4000)}}, {4, 4}, 0x808080},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const QImage image = decodeBytes(iconFile(c.images));
            EXPECT_EQ(image.size(), c.size);
            EXPECT_EQ(rgbAt(image, 0, 0), c.color);
            EXPECT_EQ(rgbAt(image, image.width() - 1, image.height() - 1), c.color);
        } catch (const PictureError& e) {
            ADD_FAILURE() << e.what();
        }
    }
    // Equal size, different depth: the 24-bit entry wins over the 8-bit one listed first.
    Bytes pal8;
    pal8.u32(40).u32(2).u32(4).u16(1).u16(8).u32(0).u32(0).u32(0).u32(0).u32(2).u32(0);
    pal8.u32(0x00FF0000).u32(0x0000FF00);              // palette: red, green
    pal8.u32(0x00000101).u32(0x00000101).u32(0).u32(0); // rows, then the mask
    const QImage deeper = decodeBytes(iconFile({{2, 2, 8, pal8.data}, {2, 2, 24, bitmapEntry(2, 0x0000FF)}}));
    EXPECT_EQ(rgbAt(deeper, 0, 0), 0x0000FFu);
    const QImage paletted = decodeBytes(iconFile({{2, 2, 8, pal8.data}}));
    EXPECT_EQ(rgbAt(paletted, 0, 0), 0x00FF00u);
}

// A 2 x 2 1-bit entry with the 12-byte core header: 16-bit width and height (the height
// counting the AND mask), planes, bit count, then 3-byte palette entries (blue, green, red)
// and rows of 4 bytes from the bottom. Top row: index 0, 1; bottom row: 1, 0.
QByteArray coreHeaderEntry()
{
    Bytes b;
    b.u32(12).u16(2).u16(4).u16(1).u16(1);
    b.u8(0x30).u8(0x20).u8(0x10).u8(0x40).u8(0x80).u8(0xFF); // 0x102030, 0xFF8040
    b.u32(0x80).u32(0x40);                                   // bottom row 1 0, top row 0 1
    b.u32(0).u32(0);                                         // AND mask
    return b.data;
}

// The entry's size and depth for the choice come from the core header's 16-bit fields; read
// as a 40-byte header they would give a side of 2 + 4 x 65536 and win every comparison.
TEST(IcoDecoder, EntryWithACoreHeader)
{
    const std::vector<uint32_t> core = {0x102030, 0xFF8040, 0xFF8040, 0x102030};
    const struct {
        const char* name;
        std::vector<IconImage> images;
        std::vector<uint32_t> expected;
    } cases[] = {
        {"alone, directory sizes 0", {{0, 0, 0, coreHeaderEntry()}}, core},
        {"beside a smaller entry", {{0, 0, 0, bitmapEntry(1, 0xABCDEF)}, {0, 0, 0, coreHeaderEntry()}}, core},
        {"beside a larger entry", {{0, 0, 0, coreHeaderEntry()}, {0, 0, 0, bitmapEntry(3, 0xABCDEF)}},
         std::vector<uint32_t>(9, 0xABCDEF)},
        {"beside a deeper entry of its size", {{0, 0, 0, coreHeaderEntry()}, {0, 0, 0, bitmapEntry(2, 0x123456)}},
         std::vector<uint32_t>(4, 0x123456)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            EXPECT_EQ(pixelsOf(decodeBytes(iconFile(c.images))), c.expected);
        } catch (const PictureError& e) {
            ADD_FAILURE() << e.what();
        }
    }
}

TEST(IcoDecoder, BadInputFailsQuicklyWithoutLargeAllocations)
{
    QByteArray outside = iconFile({{16, 16, 24, bitmapEntry(16, 0)}});
    outside[18] = char(0xFF); // offset far past the end
    outside[19] = char(0x7F);
    QByteArray huge = iconFile({{0, 0, 24, bitmapEntry(1, 0)}});
    huge[22 + 4] = char(0x60), huge[22 + 5] = char(0xEA); // width 60000
    huge[22 + 8] = char(0xC0), huge[22 + 9] = char(0xD4), huge[22 + 10] = char(0x01); // height 2 * 60000
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"empty", {}},
        {"header alone", QByteArray::fromHex("000001000100")},
        {"no entries", QByteArray::fromHex("000001000000")},
        {"not an icon", QByteArray::fromHex("424d00000000")},
        {"directory cut short", QByteArray::fromHex("0000010001001010")},
        {"entry outside the file", outside},
        {"60000 x 60000", huge},
        {"truncated pixels", iconFile({{16, 16, 24, bitmapEntry(16, 0)}}).left(200)},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { decodeBytes(c.bytes); });
        EXPECT_TRUE(!error.empty() && error != "(decoded)") << c.name << ": " << error;
    }
}

TEST(IcoDecoder, CorruptSamplesFailCleanly)
{
    const QStringList files = keptCorruptSamples(QStringLiteral("ico"));
    EXPECT_FALSE(files.isEmpty());
    expectEachFailsCleanly(files, decodeFile);
}

} // namespace
