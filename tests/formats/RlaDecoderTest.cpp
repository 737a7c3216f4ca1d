#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <cstdlib>
#include <vector>

namespace {

QImage decodeBytes(const QByteArray& bytes)
{
    return decodeWith(decodeRla, bytes, QStringLiteral("test.rla"));
}

void put16(QByteArray& b, int offset, int v)
{
    b[offset] = char((v >> 8) & 0xFF);
    b[offset + 1] = char(v & 0xFF);
}

void append16(QByteArray& b, int v)
{
    b.append(char((v >> 8) & 0xFF));
    b.append(char(v & 0xFF));
}

void append32(QByteArray& b, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.append(char((v >> shift) & 0xFF));
}

// An RLA file written from its published layout: the header, the offset table, then each
// scan line (bottom line first) as its channels' packed bytes, each with a length.
QByteArray rlaFile(int width, int height, int colorChannels, int matteChannels, int bits,
                   const std::vector<std::vector<QByteArray>>& packedLines)
{
    QByteArray b(740, '\0');
    put16(b, 8, 0);           // active left
    put16(b, 10, width - 1);  // active right
    put16(b, 12, 0);          // active bottom
    put16(b, 14, height - 1); // active top
    put16(b, 20, colorChannels);
    put16(b, 22, matteChannels);
    put16(b, 26, 0xFFFE);
    put16(b, 658, bits);
    put16(b, 662, bits);
    QByteArray lines;
    std::vector<uint32_t> offsets;
    const uint32_t first = uint32_t(740 + 4 * height);
    for (const auto& line : packedLines) {
        offsets.push_back(first + uint32_t(lines.size()));
        for (const QByteArray& channel : line) {
            append16(lines, int(channel.size()));
            lines.append(channel);
        }
    }
    for (uint32_t o : offsets)
        append32(b, o);
    return b + lines;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

// The RGB file's reference is its plain decode. The references of the files with a matte
// are flattened onto black by that matte, which this program drops: those files must give
// exactly the colors of the RGB file, which they store unchanged beside their matte.
TEST(RlaDecoder, CorpusFilesDecodeAndMatchTheirReferences)
{
    SKIP_WITHOUT_CORPUS();
    const QString rgbFile = corpusDir() + QStringLiteral("/rla/oiio_ginsu_rgb_nc8.rla");
    const QImage rgb = loadBitmap(rgbFile);
    EXPECT_EQ(bitmapDifference(loadReference(referenceFor(rgbFile)), rgb), "");

    const struct {
        const char* file;
        const char* sameColorsAs; // nullptr: compare with the reference
    } withReference[] = {
        {"rla/oiio_ginsu_a_nc8.rla", nullptr}, // black colors beside a matte
        {"rla/oiio_ginsu_rgba_nc8.rla", "rla/oiio_ginsu_rgb_nc8.rla"},
        {"rla/oiio_imgmake_rgba_nc8.rla", "rla/oiio_ginsu_rgb_nc8.rla"},
        {"rpf/oiio_ginsu_rgba_nc8.rpf", "rla/oiio_ginsu_rgb_nc8.rla"},
    };
    for (const auto& c : withReference) {
        const QString file = corpusDir() + QLatin1Char('/') + QLatin1String(c.file);
        ASSERT_FALSE(referenceFor(file).isEmpty()) << c.file;
        const QImage image = loadBitmap(file);
        const QImage expected = c.sameColorsAs ? loadBitmap(corpusDir() + QLatin1Char('/') + QLatin1String(c.sameColorsAs))
                                               : loadReference(referenceFor(file));
        const std::string diff = bitmapDifference(expected, image);
        if (!diff.empty())
            keepMismatch(file, image);
        EXPECT_EQ(diff, "") << c.file;
    }

    // Every other sample decodes at its size, except the two crash cases.
    for (const QString& ext : {QStringLiteral("rla"), QStringLiteral("rpf")}) {
        for (const QString& file : corpusFiles(ext)) {
            const QString name = QFileInfo(file).fileName();
            if (name.contains(QLatin1String("crash"))) {
                EXPECT_THROW(loadBitmap(file), PictureError) << name.toStdString();
                continue;
            }
            QImage image;
            ASSERT_NO_THROW(image = loadBitmap(file)) << name.toStdString();
            EXPECT_EQ(image.size(), QSize(512, 512)) << name.toStdString();
        }
    }
}

// The deep files hold the same picture as the 8-bit ones, which their writer rounded; keeping
// the top 8 bits of each deep sample lands within one of it.
TEST(RlaDecoder, DeepCorpusFilesAgreeWithTheirEightBitTwins)
{
    SKIP_WITHOUT_CORPUS();
    const QString dir = corpusDir() + QStringLiteral("/rla/");
    const struct {
        const char* deep;
        const char* eightBit;
    } pairs[] = {
        {"oiio_ginsu_rgb_nc10.rla", "oiio_ginsu_rgb_nc8.rla"},
        {"oiio_ginsu_rgb_nc16.rla", "oiio_ginsu_rgb_nc8.rla"},
        {"oiio_ginsu_rgba_nc10.rla", "oiio_ginsu_rgba_nc8.rla"},
        {"oiio_ginsu_rgba_nc16.rla", "oiio_ginsu_rgba_nc8.rla"},
        {"oiio_imgmake_rgba_nc16.rla", "oiio_imgmake_rgba_nc8.rla"},
        {"oiio_ginsu_a_nc16.rla", "oiio_ginsu_a_nc8.rla"},
    };
    for (const auto& pair : pairs) {
        const QImage deep = loadBitmap(dir + QLatin1String(pair.deep));
        const QImage shallow = loadBitmap(dir + QLatin1String(pair.eightBit));
        ASSERT_EQ(deep.size(), shallow.size()) << pair.deep;
        int worst = 0;
        for (int y = 0; y < deep.height(); ++y) {
            const uint8_t* a = deep.constScanLine(y);
            const uint8_t* b = shallow.constScanLine(y);
            for (int i = 0; i < deep.width() * 3; ++i)
                worst = std::max(worst, std::abs(int(b[i]) - int(a[i])));
        }
        EXPECT_LE(worst, 1) << pair.deep;
    }
}

TEST(RlaDecoder, RunsLiteralsAndBottomUpRows)
{
    // 3 x 2, color channels then one matte channel that is not shown.
    // Bottom line: red 10,10,10 (run), green 1,2,3 (literal), blue 7 then 8,9 (run + literal).
    // Top line: all channels one run of 200, 100, 50.
    const QByteArray file = rlaFile(3, 2, 3, 1, 8,
                                    {
                                        {bytes({2, 10}), bytes({0xFD, 1, 2, 3}), bytes({0, 7, 0xFE, 8, 9}), bytes({2, 255})},
                                        {bytes({2, 200}), bytes({2, 100}), bytes({2, 50}), bytes({2, 0})},
                                    });
    const QImage image = decodeBytes(file);
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(rgbAt(image, 0, 0), 0xC86432u);
    EXPECT_EQ(rgbAt(image, 2, 0), 0xC86432u);
    EXPECT_EQ(rgbAt(image, 0, 1), 0x0A0107u);
    EXPECT_EQ(rgbAt(image, 1, 1), 0x0A0208u);
    EXPECT_EQ(rgbAt(image, 2, 1), 0x0A0309u);
}

TEST(RlaDecoder, DeepSamplesKeepTheirTopEightBits)
{
    const struct {
        int bits;
        int colorChannels;
        std::vector<int> samples; // per channel, per pixel
        std::vector<uint32_t> expected;
    } cases[] = {
        // 16 bits: the high byte, whatever the low byte.
        {16, 3, {0x12FF, 0xFF00, 0x0080, 0x3400, 0x0001, 0xFFFF}, {0x120000u, 0xFF34FFu}},
        // 10 bits: value >> 2; 1023 is white.
        {10, 3, {1023, 3, 512, 4, 0, 1020}, {0xFF8000u, 0x0001FFu}},
        // One color channel is gray.
        {12, 1, {4095, 2048}, {0xFFFFFFu, 0x808080u}},
    };
    for (const auto& c : cases) {
        std::vector<QByteArray> line;
        for (int ch = 0; ch < c.colorChannels; ++ch) {
            // Two pixels: high bytes as one literal, then low bytes as one literal.
            const int a = c.samples[size_t(2 * ch)], b = c.samples[size_t(2 * ch + 1)];
            line.push_back(bytes({0xFC, a >> 8, b >> 8, a & 0xFF, b & 0xFF}));
        }
        const QImage image = decodeBytes(rlaFile(2, 1, c.colorChannels, 0, c.bits, {line}));
        ASSERT_EQ(image.size(), QSize(2, 1)) << c.bits;
        EXPECT_EQ(rgbAt(image, 0, 0), c.expected[0]) << c.bits << " bits";
        EXPECT_EQ(rgbAt(image, 1, 0), c.expected[1]) << c.bits << " bits";
    }
}

TEST(RlaDecoder, MalformedFilesFailWithAClearError)
{
    const QByteArray good = rlaFile(2, 1, 3, 0, 8, {{bytes({1, 5}), bytes({1, 6}), bytes({1, 7})}});
    ASSERT_NO_THROW(decodeBytes(good));

    QByteArray wrongOffset = good;
    wrongOffset[742] = char(0x7F);
    QByteArray twoChannels = good;
    put16(twoChannels, 20, 2);
    QByteArray noColor = good;
    put16(noColor, 20, 0);
    QByteArray floatSamples = good;
    put16(floatSamples, 658, 32);
    QByteArray emptyWindow = good;
    put16(emptyWindow, 10, -1);
    QByteArray hugeWindow = good;
    put16(hugeWindow, 8, -32768);
    put16(hugeWindow, 10, 32767);
    put16(hugeWindow, 14, 32767);

    const struct {
        const char* name;
        QByteArray file;
        const char* message;
    } cases[] = {
        {"short run data", rlaFile(4, 1, 3, 0, 8, {{bytes({1, 5}), bytes({3, 6}), bytes({3, 7})}}), "damaged"},
        {"offset past the end", wrongOffset, "ends before the picture data is complete"},
        {"two color channels", twoChannels, "2 color channels"},
        {"no color channels", noColor, "0 color channels"},
        {"32-bit samples", floatSamples, "32-bit"},
        {"empty window", emptyWindow, "invalid size"},
        {"oversized window", hugeWindow, "too large"},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { decodeBytes(c.file); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    }
    // Every truncation of a valid file fails cleanly.
    expectEveryTruncationFails(good, decodeBytes);
}

TEST(RlaDecoder, KeptCorruptSamplesFailCleanly)
{
    const QStringList files = keptCorruptSamples(QStringLiteral("rla"));
    EXPECT_FALSE(files.isEmpty());
    expectEachFailsCleanly(files);
}

} // namespace
