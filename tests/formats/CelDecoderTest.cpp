#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <utility>
#include <vector>

namespace {

QImage decodeBytes(const QByteArray& bytes)
{
    return decodeWith(decodeCel, bytes, QStringLiteral("test.cel"));
}

void append16(QByteArray& b, int v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}

void append32(QByteArray& b, uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        b.append(char((v >> shift) & 0xFF));
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

// An original Animator cel: header, 6-bit palette, pixels.
QByteArray animatorCel(int width, int height, const QByteArray& palette, const QByteArray& pixels)
{
    QByteArray b;
    append16(b, 0x9119);
    append16(b, width);
    append16(b, height);
    append16(b, 0);
    append16(b, 0);
    b.append(char(8));
    b.append(char(0));
    append32(b, uint32_t(width * height));
    b.append(QByteArray(16, '\0'));
    QByteArray pal = palette;
    pal.resize(768, '\0');
    return b + pal + pixels;
}

QByteArray subChunk(int type, const QByteArray& data)
{
    QByteArray b;
    append32(b, uint32_t(6 + data.size()));
    append16(b, type);
    return b + data;
}

// An Animator Pro cel: the 128-byte animation header and one frame of the given chunks.
QByteArray animatorProCel(int width, int height, const std::vector<QByteArray>& chunks)
{
    QByteArray frameBody;
    for (const QByteArray& c : chunks)
        frameBody += c;
    QByteArray frame;
    append32(frame, uint32_t(16 + frameBody.size()));
    append16(frame, 0xF1FA);
    append16(frame, int(chunks.size()));
    frame.append(QByteArray(8, '\0'));
    frame += frameBody;

    QByteArray b;
    append32(b, uint32_t(128 + frame.size()));
    append16(b, 0xAF12);
    append16(b, 1);
    append16(b, width);
    append16(b, height);
    append16(b, 8);
    b.resize(80, '\0');
    append32(b, 128); // first frame
    b.resize(128, '\0');
    return b + frame;
}

// The original Animator layout read plainly, for comparison with the decoder.
QImage plainAnimatorDecode(const QByteArray& file)
{
    auto u16 = [&](int o) { return uint8_t(file[o]) | (uint8_t(file[o + 1]) << 8); };
    const int w = u16(2), h = u16(4);
    QImage out = solidBitmap(w, h, 0, 0, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int index = uint8_t(file[800 + y * w + x]);
            uint8_t* p = out.scanLine(y) + 3 * x;
            for (int c = 0; c < 3; ++c)
                p[2 - c] = uint8_t(std::lround(uint8_t(file[32 + 3 * index + c]) * 255.0 / 63.0));
        }
    }
    return out;
}

TEST(CelDecoder, OriginalAnimatorCorpusFilesMatchAPlainReading)
{
    SKIP_WITHOUT_CORPUS();
    const struct {
        const char* file;
        int width;
        int height;
    } cases[] = {
        {"cel/animator_CRSHAIR.cel", 314, 146},
        {"cel/animator_ZIN.cel", 6, 6},
        {"cel/animator_ZOUT.cel", 6, 5},
        {"pic/animator_CRSHAIR.pic", 314, 146},
    };
    for (const auto& c : cases) {
        const QString path = corpusDir() + QLatin1Char('/') + QLatin1String(c.file);
        QImage image;
        ASSERT_NO_THROW(image = loadBitmap(path)) << c.file;
        EXPECT_EQ(image.size(), QSize(c.width, c.height)) << c.file;
        EXPECT_EQ(bitmapDifference(plainAnimatorDecode(readFileBytes(path)), image), "") << c.file;
    }
}

TEST(CelDecoder, AnimatorProCorpusFiles)
{
    SKIP_WITHOUT_CORPUS();
    const QString dir = corpusDir() + QStringLiteral("/cel/");
    const QImage logo = loadBitmap(dir + QStringLiteral("animatorpro_LOGO.cel"));
    EXPECT_EQ(logo.size(), QSize(84, 88));

    // RED.cel's first line is packed as 3 x index 0, 11 x index 255, 28 x index 0; its
    // palette chunk gives index 0 as black and 255 as (252, 0, 0).
    const QImage red = loadBitmap(dir + QStringLiteral("animatorpro_RED.cel"));
    ASSERT_EQ(red.size(), QSize(42, 53));
    for (int x = 0; x < 42; ++x)
        EXPECT_EQ(rgbAt(red, x, 0), x >= 3 && x < 14 ? 0xFC0000u : 0u) << x;

    // TEST.cel is an empty animation: no frame, no size.
    EXPECT_THROW(loadBitmap(dir + QStringLiteral("animatorpro_TEST.cel")), PictureError);
}

TEST(CelDecoder, SixBitPaletteIsScaledByRounding)
{
    // Palette entries 0..3 hold the levels 0, 1, 32, 63 in red, green and blue in turn.
    const QByteArray palette = bytes({0, 1, 32, 63, 0, 0, 31, 62, 2});
    const QImage image = decodeBytes(animatorCel(3, 2, palette, bytes({0, 1, 2, 2, 1, 0})));
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(rgbAt(image, 0, 0), 0x000482u); // 0 -> 0, 1 -> 4, 32 -> 130
    EXPECT_EQ(rgbAt(image, 1, 0), 0xFF0000u); // 63 -> 255
    EXPECT_EQ(rgbAt(image, 2, 0), 0x7DFB08u); // 31 -> 125, 62 -> 251, 2 -> 8
    EXPECT_EQ(rgbAt(image, 0, 1), 0x7DFB08u);
    EXPECT_EQ(rgbAt(image, 2, 1), 0x000482u);
}

TEST(CelDecoder, AnimatorProFirstFrameChunks)
{
    QByteArray palette256;
    append16(palette256, 1);
    palette256 += bytes({1, 2, 10, 20, 30, 200, 100, 0}); // skip 1, two colors: index 1 and 2
    QByteArray palette64;
    append16(palette64, 1);
    palette64 += bytes({1, 1, 63, 32, 1}); // index 1 = 6-bit (63, 32, 1)

    // 4 x 2 byte run: line 0: run of 2 x index 1, literal 2, 1; line 1: run of 5 x index 2 (cut at 4).
    const QByteArray byteRun = bytes({2, 2, 1, 0xFE, 2, 1, 1, 5, 2});
    const QByteArray copy = bytes({2, 2, 1, 1, 0, 0, 0, 2});

    const struct {
        const char* name;
        std::vector<QByteArray> chunks;
        std::vector<uint32_t> row0;
        std::vector<uint32_t> row1;
    } cases[] = {
        {"byte run", {subChunk(4, palette256), subChunk(15, byteRun)},
         {0x0A141Eu, 0x0A141Eu, 0xC86400u, 0x0A141Eu}, {0xC86400u, 0xC86400u, 0xC86400u, 0xC86400u}},
        {"copy, stamp skipped", {subChunk(18, QByteArray(10, '\x07')), subChunk(4, palette256), subChunk(16, copy)},
         {0xC86400u, 0xC86400u, 0x0A141Eu, 0x0A141Eu}, {0u, 0u, 0u, 0xC86400u}},
        {"64-level palette", {subChunk(11, palette64), subChunk(15, byteRun)},
         {0xFF8204u, 0xFF8204u, 0x020202u, 0xFF8204u}, {0x020202u, 0x020202u, 0x020202u, 0x020202u}},
        {"black", {subChunk(13, QByteArray())}, {0u, 0u, 0u, 0u}, {0u, 0u, 0u, 0u}},
    };
    for (const auto& c : cases) {
        const QImage image = decodeBytes(animatorProCel(4, 2, c.chunks));
        ASSERT_EQ(image.size(), QSize(4, 2)) << c.name;
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(rgbAt(image, x, 0), c.row0[size_t(x)]) << c.name << " x " << x;
            EXPECT_EQ(rgbAt(image, x, 1), c.row1[size_t(x)]) << c.name << " x " << x;
        }
    }
}

// The older 320 x 200 flavour (magic 0xAF11) keeps its first frame at offset 128 without a
// pointer to it; chunks that are not frames (cel data, settings) may come before that frame.
TEST(CelDecoder, AnimatorProFirstFrameIsFoundInEitherFlavour)
{
    const QByteArray copy = bytes({2, 2, 1, 1, 0, 0, 0, 2});
    QByteArray palette;
    append16(palette, 1);
    palette += bytes({1, 2, 10, 20, 30, 200, 100, 0});
    const QByteArray plain = animatorProCel(4, 2, {subChunk(4, palette), subChunk(16, copy)});

    QByteArray oldFlavour = plain;
    oldFlavour[4] = char(0x11);
    oldFlavour[80] = char(0x55); // the frame pointer field is not read in this flavour

    // The header's frame pointer (128) now names a 12-byte prefix chunk; the frame follows it.
    QByteArray prefix;
    append32(prefix, 12);
    append16(prefix, 0xF100);
    prefix += QByteArray(6, '\0');
    QByteArray prefixed = plain;
    prefixed.insert(128, prefix);
    prefixed[0] = char(prefixed.size() & 0xFF); // file size, low byte (the file is under 256 bytes)

    for (const auto& [name, file] : {std::pair{"0xAF11", oldFlavour}, std::pair{"prefix chunk", prefixed}}) {
        QImage image;
        ASSERT_NO_THROW(image = decodeBytes(file)) << name;
        ASSERT_EQ(image.size(), QSize(4, 2)) << name;
        const uint32_t row0[4] = {0xC86400u, 0xC86400u, 0x0A141Eu, 0x0A141Eu};
        const uint32_t row1[4] = {0u, 0u, 0u, 0xC86400u};
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(rgbAt(image, x, 0), row0[x]) << name << " x " << x;
            EXPECT_EQ(rgbAt(image, x, 1), row1[x]) << name << " x " << x;
        }
    }
}

TEST(CelDecoder, MalformedFilesFailWithAClearError)
{
    const QByteArray good = animatorCel(2, 2, bytes({63, 0, 0}), bytes({0, 0, 0, 0}));
    ASSERT_NO_THROW(decodeBytes(good));
    QByteArray depth4 = good;
    depth4[10] = 4;
    QByteArray packed = good;
    packed[11] = 1;
    QByteArray zeroWidth = good;
    zeroWidth[2] = 0;

    QByteArray proPic;
    append16(proPic, 0x9500);
    proPic.append(QByteArray(62, '\0'));

    const struct {
        const char* name;
        QByteArray file;
        const char* message;
    } cases[] = {
        {"depth 4", depth4, "depth 4"},
        {"compressed", packed, "compression 1"},
        {"zero width", zeroWidth, "invalid size"},
        {"pixels cut short", good.left(good.size() - 1), "ends before the picture data is complete"},
        {"Animator Pro PIC", proPic, "PIC"},
        {"unknown signature", QByteArray(40, 'x'), "not an Autodesk Animator picture"},
        {"delta first frame", animatorProCel(4, 2, {subChunk(7, bytes({0, 0}))}), "difference"},
        {"no pixels in frame", animatorProCel(4, 2, {subChunk(18, bytes({1}))}), "no picture"},
        {"byte run cut short", animatorProCel(4, 2, {subChunk(15, bytes({1, 4, 1}))}), "ends before the picture data is complete"},
        {"palette past 255", animatorProCel(4, 2, {subChunk(4, bytes({1, 0, 255, 0}) + QByteArray(6, '\0'))}),
         "palette"},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { decodeBytes(c.file); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    }

    const QByteArray pro = animatorProCel(4, 2, {subChunk(13, QByteArray())});
    for (const QByteArray& file : {good, pro})
        expectEveryTruncationFails(file, decodeBytes);
}

TEST(CelDecoder, KeptCorruptSamplesFailCleanly)
{
    const QStringList files = keptCorruptSamples(QStringLiteral("cel"));
    EXPECT_FALSE(files.isEmpty());
    expectEachFailsCleanly(files);
}

} // namespace
