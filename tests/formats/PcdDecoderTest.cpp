#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kBase = 96 * 2048;
constexpr int kPackSize = kBase + 768 * 512 * 3 / 2;

QImage decodeBytes(const QByteArray& bytes)
{
    return decodeWith(decodePcd, bytes, QStringLiteral("test.pcd"));
}

// Offsets of a Base image sample, from the layout of two luma rows then one row of each
// half-resolution chroma plane per pair of rows.
int lumaAt(int x, int y) { return kBase + (y / 2) * 2304 + (y % 2) * 768 + x; }
int c1At(int x, int y) { return kBase + (y / 2) * 2304 + 1536 + x / 2; }
int c2At(int x, int y) { return kBase + (y / 2) * 2304 + 1536 + 384 + x / 2; }

// An image pack of one flat color with one different pixel at the stored top-left corner.
QByteArray imagePack(int rotation, int y, int c1, int c2, int cornerY)
{
    QByteArray b(kPackSize, '\0');
    b.replace(2048, 7, "PCD_IPI");
    b[0xE02] = char(rotation);
    for (int row = 0; row < 512; ++row)
        for (int x = 0; x < 768; ++x) {
            b[lumaAt(x, row)] = char(y);
            b[c1At(x, row)] = char(c1);
            b[c2At(x, row)] = char(c2);
        }
    b[lumaAt(0, 0)] = char(cornerY);
    return b;
}

// The published Photo YCC conversion in floating point, truncated and clamped (the tiny
// nudge keeps values that are whole numbers on paper whole in binary floating point).
uint32_t publishedYcc(int y, int c1, int c2)
{
    const double l = 1.3584 * y, cb = 2.2179 * (c1 - 156), cr = 1.8215 * (c2 - 137);
    auto clamp = [](double v) { return uint32_t(std::clamp(std::floor(v + 1e-9), 0.0, 255.0)); };
    return (clamp(l + cr) << 16) | (clamp(l - 0.194 * cb - 0.509 * cr) << 8) | clamp(l + cb);
}

TEST(PcdDecoder, ColorsFollowThePublishedConversion)
{
    const struct {
        int y, c1, c2;
        uint32_t rgb;
    } cases[] = {
        {100, 156, 137, 0x878787u}, // neutral: 135.84 -> 135
        {100, 200, 137, 0x8774E9u}, // R 135.84, G 116.91, B 233.43
        {50, 100, 200, 0xB62100u},  // R 182.67, G 33.61, B -56.28 -> 0
        {188, 156, 137, 0xFFFFFFu}, // 255.38 clamps to white
        {0, 0, 0, 0x00C200u},       // R -249.55 -> 0, G 67.12 + 127.02 = 194.14, B -345.99 -> 0
    };
    for (const auto& c : cases) {
        const QImage image = decodeBytes(imagePack(0, c.y, c.c1, c.c2, c.y));
        ASSERT_EQ(image.size(), QSize(768, 512));
        EXPECT_EQ(rgbAt(image, 100, 100), c.rgb) << c.y << " " << c.c1 << " " << c.c2;
        EXPECT_EQ(rgbAt(image, 100, 100), publishedYcc(c.y, c.c1, c.c2));
    }
}

TEST(PcdDecoder, StoredOrientationIsApplied)
{
    // The stored top-left pixel is white on black; where it lands tells the turn.
    const struct {
        int rotation;
        QSize size;
        QPoint corner;
    } cases[] = {
        {0, {768, 512}, {0, 0}},
        {1, {512, 768}, {0, 767}}, // 90 degrees counter-clockwise: top-left goes to bottom-left
        {2, {768, 512}, {767, 511}},
        {3, {512, 768}, {511, 0}}, // 90 degrees clockwise: top-left goes to top-right
    };
    for (const auto& c : cases) {
        const QImage image = decodeBytes(imagePack(c.rotation, 0, 156, 137, 200));
        ASSERT_EQ(image.size(), c.size) << c.rotation;
        EXPECT_EQ(rgbAt(image, c.corner.x(), c.corner.y()), 0xFFFFFFu) << c.rotation;
        int white = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                white += rgbAt(image, x, y) != 0;
        EXPECT_EQ(white, 1) << c.rotation;
    }
}

// The corpus references come from a decoder with its own idea of Photo YCC; ours is
// checked against the published conversion applied to the file's own samples.
TEST(PcdDecoder, CorpusFilesFollowThePublishedConversion)
{
    SKIP_WITHOUT_CORPUS();
    for (const QString& file : corpusFiles(QStringLiteral("pcd"))) {
        const QByteArray bytes = readFileBytes(file);
        if (bytes.size() < kPackSize) {
            try {
                loadBitmap(file);
                ADD_FAILURE() << file.toStdString() << " decoded";
            } catch (const PictureError& e) {
                EXPECT_NE(std::string(e.what()).find("the 768 x 512 Base image needs"), std::string::npos)
                    << e.what();
            }
            continue;
        }
        const QImage image = loadBitmap(file);
        ASSERT_EQ(image.size(), QSize(768, 512)) << file.toStdString();
        auto at = [&](int offset) { return int(uint8_t(bytes[offset])); };
        int mismatches = 0;
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 768; ++x)
                mismatches += rgbAt(image, x, y) != publishedYcc(at(lumaAt(x, y)), at(c1At(x, y)), at(c2At(x, y)));
        EXPECT_EQ(mismatches, 0) << file.toStdString();
    }
}

TEST(PcdDecoder, MalformedFilesFailWithAClearError)
{
    QByteArray noSignature = imagePack(0, 0, 0, 0, 0);
    noSignature[2048] = 'X';
    const struct {
        const char* name;
        QByteArray file;
        const char* message;
    } cases[] = {
        {"no signature", noSignature, "not a Photo CD image pack"},
        {"empty", QByteArray(), "not a Photo CD image pack"},
        {"one byte short", imagePack(0, 0, 0, 0, 0).left(kPackSize - 1), "ends before the picture data is complete"},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { decodeBytes(c.file); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    }
}

TEST(PcdDecoder, KeptCorruptSamplesFailCleanly)
{
    const QStringList files = keptCorruptSamples(QStringLiteral("pcd"));
    EXPECT_FALSE(files.isEmpty());
    expectEachFailsCleanly(files);
}

} // namespace
