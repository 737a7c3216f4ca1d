#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>

#include <array>
#include <vector>

namespace {

QImage decodeBytes(const QByteArray& bytes)
{
    return decodeWith(decodeCut, bytes, QString());
}

void append16(QByteArray& b, int v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

// A Dr. Halo picture: the header, then each row's packets behind their byte count.
QByteArray cutFile(int width, int height, const std::vector<QByteArray>& rows)
{
    QByteArray b;
    append16(b, width);
    append16(b, height);
    append16(b, 0);
    for (const QByteArray& row : rows) {
        append16(b, int(row.size()));
        b += row;
    }
    return b;
}

// A Dr. Halo palette: the 40-byte header, then colors as three words each, never split over
// a 512-byte block boundary.
QByteArray palFile(int maxRed, int maxGreen, int maxBlue, const std::vector<std::array<int, 3>>& colors)
{
    QByteArray b("AH");
    append16(b, 0);
    append16(b, 0);
    b.append(char(0x0A));
    b.append(char(0));
    append16(b, 0);
    append16(b, 0);
    append16(b, int(colors.size()) - 1);
    append16(b, maxRed);
    append16(b, maxGreen);
    append16(b, maxBlue);
    QByteArray name("Dr. Halo");
    name.resize(20, '\0');
    b += name;
    for (const auto& c : colors) {
        if (b.size() % 512 > 506)
            b.append(QByteArray(512 - b.size() % 512, char(0xEE)));
        for (int v : c)
            append16(b, v);
    }
    return b;
}

// 4 x 2: row 0 is a run of 3 x index 5, then a literal 7; row 1 is the literal 0, 1, 2, 3.
const QByteArray kPicture = cutFile(4, 2, {bytes({0x83, 5, 0x01, 7, 0}), bytes({0x04, 0, 1, 2, 3, 0})});

TEST(CutDecoder, WithoutAPaletteFileIndexesAreGrayLevels)
{
    const QImage image = decodeBytes(kPicture);
    ASSERT_EQ(image.size(), QSize(4, 2));
    const uint32_t expected[2][4] = {{0x050505u, 0x050505u, 0x050505u, 0x070707u},
                                     {0x000000u, 0x010101u, 0x020202u, 0x030303u}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(rgbAt(image, x, y), expected[y][x]) << x << "," << y;
}

TEST(CutDecoder, PaletteFileBesideThePictureGivesTheColors)
{
    // Maxima 63 (VGA), 255 (as stored) and 1000: 32 -> 129.5 rounds to 130; 500 -> 127.5
    // rounds to the even 128; values above the maximum count as the maximum.
    std::vector<std::array<int, 3>> colors(8, {0, 0, 0});
    colors[0] = {63, 255, 1000};
    colors[1] = {32, 17, 500};
    colors[2] = {1, 0, 2000};
    colors[5] = {0, 128, 4};
    colors[7] = {63, 0, 0};
    const QByteArray palette = palFile(63, 255, 1000, colors);

    for (const char* palName : {"halo.pal", "halo.PAL"}) {
        const QString dir = freshFolder(QStringLiteral("cut-palette"));
        writeFileBytes(dir + QStringLiteral("/halo.cut"), kPicture);
        writeFileBytes(dir + QLatin1Char('/') + QLatin1String(palName), palette);
        const QImage image = loadBitmap(dir + QStringLiteral("/halo.cut"));
        ASSERT_EQ(image.size(), QSize(4, 2)) << palName;
        EXPECT_EQ(rgbAt(image, 0, 0), 0x008001u) << palName; // index 5: 0, 128, 4 * 255 / 1000 = 1.02
        EXPECT_EQ(rgbAt(image, 3, 0), 0xFF0000u) << palName; // index 7
        EXPECT_EQ(rgbAt(image, 0, 1), 0xFFFFFFu) << palName; // index 0
        EXPECT_EQ(rgbAt(image, 1, 1), 0x821180u) << palName; // index 1
        EXPECT_EQ(rgbAt(image, 2, 1), 0x0400FFu) << palName; // index 2: 1 * 255 / 63 = 4.05
        EXPECT_EQ(rgbAt(image, 3, 1), 0x000000u) << palName; // index 3: listed as black
    }
}

TEST(CutDecoder, PaletteColorsAfterTheFirstBlockComeFromTheNextBlock)
{
    // 40 + 78 * 6 = 508: color 78 cannot fit in the first block and starts at byte 512.
    std::vector<std::array<int, 3>> colors(100, {0, 0, 0});
    colors[77] = {10, 20, 30};
    colors[78] = {40, 50, 60};
    colors[99] = {255, 255, 255};
    const QByteArray palette = palFile(255, 255, 255, colors);
    ASSERT_EQ(palette.mid(508, 4), QByteArray(4, char(0xEE)));

    const QByteArray picture = cutFile(3, 1, {bytes({0x03, 77, 78, 99, 0})});
    const QString dir = freshFolder(QStringLiteral("cut-blocks"));
    writeFileBytes(dir + QStringLiteral("/blocks.cut"), picture);
    writeFileBytes(dir + QStringLiteral("/blocks.pal"), palette);
    const QImage image = loadBitmap(dir + QStringLiteral("/blocks.cut"));
    EXPECT_EQ(rgbAt(image, 0, 0), 0x0A141Eu);
    EXPECT_EQ(rgbAt(image, 1, 0), 0x28323Cu);
    EXPECT_EQ(rgbAt(image, 2, 0), 0xFFFFFFu);
}

TEST(CutDecoder, PacketsThatOvershootTheRowAreCutAndRowsEndOnAZeroCount)
{
    const struct {
        const char* name;
        QByteArray file;
        uint32_t row0[3];
        uint32_t row1[3];
    } cases[] = {
        // A run of 5 on a row of 3 is cut; the next row is read from its own start.
        {"long run", cutFile(3, 2, {bytes({0x85, 9, 0}), bytes({0x83, 4, 0})}),
         {0x090909u, 0x090909u, 0x090909u}, {0x040404u, 0x040404u, 0x040404u}},
        // A literal of 4 on a row of 3: the fourth byte is read and dropped.
        {"long literal", cutFile(3, 2, {bytes({0x04, 1, 2, 3, 4, 0}), bytes({0x83, 6, 0})}),
         {0x010101u, 0x020202u, 0x030303u}, {0x060606u, 0x060606u, 0x060606u}},
        // A short row is padded with index 0; 0x80 (a zero count with the run bit) ends it too.
        {"short row", cutFile(3, 2, {bytes({0x81, 8, 0x80}), bytes({0x83, 2, 0})}),
         {0x080808u, 0u, 0u}, {0x020202u, 0x020202u, 0x020202u}},
    };
    for (const auto& c : cases) {
        const QImage image = decodeBytes(c.file);
        ASSERT_EQ(image.size(), QSize(3, 2)) << c.name;
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(rgbAt(image, x, 0), c.row0[x]) << c.name << " x " << x;
            EXPECT_EQ(rgbAt(image, x, 1), c.row1[x]) << c.name << " x " << x;
        }
    }
}

TEST(CutDecoder, MalformedFilesFailWithAClearError)
{
    expectEveryTruncationFails(kPicture, decodeBytes);

    const struct {
        const char* name;
        QByteArray file;
        const char* message;
    } cases[] = {
        {"zero width", cutFile(0, 1, {bytes({0})}), "invalid size"},
        {"more rows than bytes", cutFile(10, 1000, {bytes({0})}), "ends before the picture data is complete"},
        {"row without end", cutFile(2, 1, {bytes({0x82, 1})}), "ends before the picture data is complete"},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { decodeBytes(c.file); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    }

    // A palette file that is not a Dr. Halo palette is reported, not replaced by gray.
    const QString dir = freshFolder(QStringLiteral("cut-bad-palette"));
    writeFileBytes(dir + QStringLiteral("/bad.cut"), kPicture);
    writeFileBytes(dir + QStringLiteral("/bad.pal"), QByteArray("JASC-PAL\r\n0100\r\n"));
    try {
        loadBitmap(dir + QStringLiteral("/bad.cut"));
        ADD_FAILURE() << "decoded with a foreign palette";
    } catch (const PictureError& e) {
        EXPECT_NE(std::string(e.what()).find("bad.pal beside it is not a Dr. Halo palette"), std::string::npos) << e.what();
    }
    QByteArray cutShort = palFile(63, 63, 63, std::vector<std::array<int, 3>>(16, {1, 2, 3}));
    writeFileBytes(dir + QStringLiteral("/bad.pal"), cutShort.left(cutShort.size() - 1));
    EXPECT_THROW(loadBitmap(dir + QStringLiteral("/bad.cut")), PictureError);
}

TEST(CutDecoder, KeptCorruptSamplesFailCleanly)
{
    const QStringList files = keptCorruptSamples(QStringLiteral("cut"));
    EXPECT_FALSE(files.isEmpty());
    expectEachFailsCleanly(files);
}

} // namespace
