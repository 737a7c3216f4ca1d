#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

QImage decodeBytes(const QByteArray& bytes)
{
    return decodeWith(decodePsp, bytes, QStringLiteral("test.psp"));
}

QByteArray le(uint64_t v, int size)
{
    QByteArray b;
    for (int i = 0; i < size; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

QByteArray deflated(const QByteArray& data)
{
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(int(size), '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()));
    out.resize(int(size));
    return out;
}

enum Compression { kNone = 0, kRle = 1, kLz77 = 2 };

// Paint Shop Pro files written from the published block layout. Files of format version 3
// give every block two lengths (initial data, whole content) and keep their initial data
// bare; later files give one length and put each piece of initial data in a chunk that
// starts with its own length.
struct PspWriter {
    int major = 10;
    bool twoLengths = false;

    QByteArray block(int id, const QByteArray& info, const QByteArray& rest = {}, bool hasInfo = true) const
    {
        QByteArray b("~BK", 4);
        b += le(uint64_t(id), 2);
        if (twoLengths) {
            b += le(uint64_t(info.size()), 4) + le(uint64_t(info.size() + rest.size()), 4);
            return b + info + rest;
        }
        const QByteArray chunk = hasInfo ? le(uint64_t(info.size() + 4), 4) + info : QByteArray();
        return b + le(uint64_t(chunk.size() + rest.size()), 4) + chunk + rest;
    }

    QByteArray file(const QByteArray& blocks) const
    {
        QByteArray b("Paint Shop Pro Image File\n\x1a");
        b.resize(32, '\0');
        return b + le(uint64_t(major), 2) + le(0, 2) + blocks;
    }

    QByteArray imageBlock(int width, int height, int compression, int depth, bool grey = false) const
    {
        QByteArray info = le(uint64_t(width), 4) + le(uint64_t(height), 4);
        double resolution = 72.0;
        info += QByteArray(reinterpret_cast<const char*>(&resolution), 8);
        info += bytes({1}) + le(uint64_t(compression), 2) + le(uint64_t(depth), 2) + le(1, 2);
        info += le(depth >= 24 ? (1u << 24) : (1u << depth), 4) + bytes({grey ? 1 : 0});
        info += le(0, 4) + le(0, 4) + le(1, 2);
        if (!twoLengths)
            info += le(1, 4); // graphic contents
        return block(0, info);
    }

    // Palette entries as 0xRRGGBB, written blue, green, red, reserved.
    QByteArray colorBlock(const std::vector<uint32_t>& colors) const
    {
        QByteArray entries;
        for (uint32_t c : colors)
            entries += bytes({int(c & 0xFF), int((c >> 8) & 0xFF), int(c >> 16), 0});
        return block(2, le(colors.size(), 4), entries);
    }

    QByteArray channelBlock(const QByteArray& data, int channelType, int bitmapType = 0) const
    {
        return block(5, le(uint64_t(data.size()), 4) + le(0, 4) + le(uint64_t(bitmapType), 2) + le(uint64_t(channelType), 2),
                     data);
    }

    QByteArray layerBlock(std::array<int, 4> rect, std::array<int, 4> saved, const std::vector<QByteArray>& channels,
                          int type = -1) const
    {
        if (type < 0)
            type = major <= 3 ? 0 : 1;
        QByteArray name("Background");
        QByteArray info;
        if (twoLengths) {
            name.resize(256, '\0');
            info = name;
        } else {
            info = le(uint64_t(name.size()), 2) + name;
        }
        info += bytes({type});
        for (int v : rect)
            info += le(uint32_t(v), 4);
        for (int v : saved)
            info += le(uint32_t(v), 4);
        info += bytes({255, 0, 1, 0, 0}) + QByteArray(32, '\0') + bytes({0, 0, 0}) + le(0, 2);
        QByteArray rest;
        if (twoLengths)
            info += le(1, 2) + le(uint64_t(channels.size()), 2);
        else
            rest = le(8, 4) + le(1, 2) + le(uint64_t(channels.size()), 2); // bitmap information chunk
        for (const QByteArray& c : channels)
            rest += c;
        return block(4, info, rest);
    }

    QByteArray layerBank(const std::vector<QByteArray>& layers) const
    {
        QByteArray rest;
        for (const QByteArray& l : layers)
            rest += l;
        return block(3, {}, rest, false);
    }

    QByteArray compositeBank(const std::vector<QByteArray>& blocks) const
    {
        QByteArray rest;
        for (const QByteArray& b : blocks)
            rest += b;
        return block(16, le(blocks.size() / 2, 4), rest);
    }

    QByteArray compositeAttributes(int width, int height, int depth, int compression, int type) const
    {
        return block(17, le(uint64_t(width), 4) + le(uint64_t(height), 4) + le(uint64_t(depth), 2)
                             + le(uint64_t(compression), 2) + le(1, 2) + le(1u << 24, 4) + le(uint64_t(type), 2));
    }

    QByteArray compositeImage(const std::vector<QByteArray>& subBlocks) const
    {
        QByteArray rest;
        for (const QByteArray& b : subBlocks)
            rest += b;
        return block(9, le(1, 2) + le(uint64_t(subBlocks.size()), 2), rest);
    }
};

// A plane of width x height samples as rows padded to 4 bytes.
QByteArray padded(const QByteArray& tight, int rowBytes, int height)
{
    QByteArray out;
    for (int y = 0; y < height; ++y) {
        QByteArray row = tight.mid(y * rowBytes, rowBytes);
        row.resize((rowBytes + 3) & ~3, '\0');
        out += row;
    }
    return out;
}

// 3 x 2 planes for 24-bit pictures and their packings.
const QByteArray kRed = bytes({10, 20, 30, 40, 50, 60});
const QByteArray kGreen = bytes({7, 7, 7, 1, 2, 3});
const QByteArray kBlue = bytes({9, 9, 9, 9, 9, 9});
const std::array<QByteArray, 3> kRleRgb = {bytes({6, 10, 20, 30, 40, 50, 60}), bytes({0x83, 7, 3, 1, 2, 3}), bytes({0x86, 9})};

uint32_t expectedRgb(int i)
{
    return (uint32_t(uint8_t(kRed[i])) << 16) | (uint32_t(uint8_t(kGreen[i])) << 8) | uint8_t(kBlue[i]);
}

QByteArray rgbFile(const PspWriter& w, int compression, const std::array<QByteArray, 3>& planes)
{
    std::vector<QByteArray> channels;
    for (int c = 0; c < 3; ++c)
        channels.push_back(w.channelBlock(planes[size_t(c)], c + 1));
    return w.file(w.imageBlock(3, 2, compression, 24) + w.layerBank({w.layerBlock({0, 0, 3, 2}, {0, 0, 3, 2}, channels)}));
}

void expectRgbPlanes(const QImage& image, const std::string& name)
{
    ASSERT_EQ(image.size(), QSize(3, 2)) << name;
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(rgbAt(image, i % 3, i / 3), expectedRgb(i)) << name << " pixel " << i;
}

TEST(PspDecoder, CorpusFileDecodes)
{
    SKIP_WITHOUT_CORPUS();
    // An 8 x 8 white background layer, its three channels deflated; the composite bank holds
    // only a JPEG thumbnail, so the layer is the picture.
    const QStringList files = corpusFiles(QStringLiteral("psp"));
    ASSERT_FALSE(files.isEmpty());
    for (const QString& file : files) {
        const QImage image = loadBitmap(file);
        EXPECT_EQ(bitmapDifference(solidBitmap(8, 8, 255, 255, 255), image), "") << file.toStdString();
    }
}

TEST(PspDecoder, ChannelCompressionsAndLayouts)
{
    const PspWriter v10;
    PspWriter v3;
    v3.major = 3;
    v3.twoLengths = true;
    PspWriter v4old = v3;
    v4old.major = 4;
    PspWriter v4new;
    v4new.major = 4;

    const struct {
        const char* name;
        PspWriter writer;
        int compression;
        std::array<QByteArray, 3> planes;
    } cases[] = {
        {"v10 uncompressed, padded rows", v10, kNone, {padded(kRed, 3, 2), padded(kGreen, 3, 2), padded(kBlue, 3, 2)}},
        {"v10 uncompressed, tight rows", v10, kNone, {kRed, kGreen, kBlue}},
        {"v10 run length", v10, kRle, kRleRgb},
        {"v10 deflated", v10, kLz77, {deflated(kRed), deflated(kGreen), deflated(kBlue)}},
        {"v10 deflated, padded rows", v10, kLz77,
         {deflated(padded(kRed, 3, 2)), deflated(padded(kGreen, 3, 2)), deflated(padded(kBlue, 3, 2))}},
        {"v3 uncompressed", v3, kNone, {padded(kRed, 3, 2), padded(kGreen, 3, 2), padded(kBlue, 3, 2)}},
        {"v3 run length", v3, kRle, kRleRgb},
        {"v4 with two lengths", v4old, kLz77, {deflated(kRed), deflated(kGreen), deflated(kBlue)}},
        {"v4 with one length", v4new, kRle, kRleRgb},
    };
    for (const auto& c : cases)
        expectRgbPlanes(decodeBytes(rgbFile(c.writer, c.compression, c.planes)), c.name);
}

TEST(PspDecoder, PalettedAndGreyscalePictures)
{
    const PspWriter w;
    const std::vector<uint32_t> palette = {0x000000u, 0xFF0000u, 0x00FF00u, 0x0000FFu, 0x123456u};
    // 10 x 1 pictures: one byte per pixel, two pixels per byte, eight per byte (high bits first).
    const struct {
        const char* name;
        int depth;
        bool grey;
        QByteArray plane;
        std::vector<uint32_t> expected;
    } cases[] = {
        {"8-bit", 8, false, bytes({0, 1, 2, 3, 4, 4, 3, 2, 1, 0}),
         {0, 0xFF0000u, 0xFF00u, 0xFFu, 0x123456u, 0x123456u, 0xFFu, 0xFF00u, 0xFF0000u, 0}},
        {"4-bit", 4, false, bytes({0x01, 0x23, 0x44, 0x32, 0x10}),
         {0, 0xFF0000u, 0xFF00u, 0xFFu, 0x123456u, 0x123456u, 0xFFu, 0xFF00u, 0xFF0000u, 0}},
        {"1-bit", 1, false, bytes({0xA5, 0x80}),
         {0xFF0000u, 0, 0xFF0000u, 0, 0, 0xFF0000u, 0, 0xFF0000u, 0xFF0000u, 0}},
        {"8-bit grey", 8, true, bytes({0, 1, 2, 3, 128, 200, 250, 253, 254, 255}),
         {0, 0x010101u, 0x020202u, 0x030303u, 0x808080u, 0xC8C8C8u, 0xFAFAFAu, 0xFDFDFDu, 0xFEFEFEu, 0xFFFFFFu}},
        {"4-bit grey", 4, true, bytes({0x01, 0x23, 0x45, 0x67, 0x8F}),
         {0, 0x111111u, 0x222222u, 0x333333u, 0x444444u, 0x555555u, 0x666666u, 0x777777u, 0x888888u, 0xFFFFFFu}},
        {"1-bit grey", 1, true, bytes({0xA5, 0x80}),
         {0xFFFFFFu, 0, 0xFFFFFFu, 0, 0, 0xFFFFFFu, 0, 0xFFFFFFu, 0xFFFFFFu, 0}},
    };
    for (const auto& c : cases) {
        for (int compression : {kNone, kLz77}) {
            const QByteArray plane = compression == kNone ? padded(c.plane, int(c.plane.size()), 1) : deflated(c.plane);
            QByteArray blocks = w.imageBlock(10, 1, compression, c.depth, c.grey);
            if (!c.grey)
                blocks += w.colorBlock(palette);
            blocks += w.layerBank({w.layerBlock({0, 0, 10, 1}, {0, 0, 10, 1}, {w.channelBlock(plane, 0)})});
            const QImage image = decodeBytes(w.file(blocks));
            ASSERT_EQ(image.size(), QSize(10, 1)) << c.name;
            for (int x = 0; x < 10; ++x)
                EXPECT_EQ(rgbAt(image, x, 0), c.expected[size_t(x)]) << c.name << " compression " << compression << " x " << x;
        }
    }
}

TEST(PspDecoder, MergedCompositeIsPreferredToTheFirstLayer)
{
    const PspWriter w;
    // The layer is plain blue; the merged composite holds the test planes.
    const QByteArray blue = bytes({0x86, 255});
    const QByteArray zero = bytes({0x86, 0});
    const QByteArray layers = w.layerBank({w.layerBlock({0, 0, 3, 2}, {0, 0, 3, 2},
                                                        {w.channelBlock(zero, 1), w.channelBlock(zero, 2), w.channelBlock(blue, 3)})});
    const QByteArray thumbnail = w.compositeAttributes(3, 2, 24, 3, 1) + w.block(18, le(3, 4), bytes({0xFF, 0xD8}));
    const QByteArray merged = w.compositeAttributes(3, 2, 24, kRle, 0)
        + w.compositeImage({w.channelBlock(kRleRgb[0], 1, 8), w.channelBlock(kRleRgb[1], 2, 8), w.channelBlock(kRleRgb[2], 3, 8)});
    const QByteArray jpegMerged = w.compositeAttributes(3, 2, 24, 3, 0) + w.block(18, le(3, 4), bytes({0xFF, 0xD8}));

    const QByteArray head = w.imageBlock(3, 2, kRle, 24);
    expectRgbPlanes(decodeBytes(w.file(head + w.compositeBank({thumbnail, merged}) + layers)), "composite before layers");
    expectRgbPlanes(decodeBytes(w.file(head + layers + w.compositeBank({merged, thumbnail}))), "composite after layers");

    // Only a thumbnail or a JPEG merged image: the layer is the picture.
    for (const QByteArray& bank : {w.compositeBank({thumbnail}), w.compositeBank({jpegMerged})}) {
        const QImage image = decodeBytes(w.file(head + bank + layers));
        EXPECT_EQ(bitmapDifference(solidBitmap(3, 2, 0, 0, 255), image), "");
    }
}

TEST(PspDecoder, FirstRasterLayerIsPlacedOnABlackCanvas)
{
    const PspWriter w;
    const QByteArray red = bytes({0x84, 200});
    const QByteArray none = bytes({0x84, 0});
    const std::vector<QByteArray> channels = {w.channelBlock(red, 1), w.channelBlock(none, 2), w.channelBlock(none, 3)};
    const QByteArray vector = w.layerBlock({0, 0, 4, 3}, {0, 0, 4, 3}, {}, 3);

    const struct {
        const char* name;
        std::array<int, 4> rect;
        std::array<int, 4> saved;
        std::vector<QPoint> red;
    } cases[] = {
        // Layer at (1, 1); its saved 2 x 2 pixels start one further right.
        {"inside", {1, 1, 4, 3}, {1, 0, 3, 2}, {{2, 1}, {3, 1}, {2, 2}, {3, 2}}},
        // Hanging over the right and bottom edges: only the corner pixel shows.
        {"clipped", {3, 2, 5, 4}, {0, 0, 2, 2}, {{3, 2}}},
        // Hanging over the left and top edges.
        {"negative", {-1, -1, 1, 1}, {0, 0, 2, 2}, {{0, 0}}},
    };
    for (const auto& c : cases) {
        const QByteArray file = w.file(w.imageBlock(4, 3, kRle, 24)
                                       + w.layerBank({vector, w.layerBlock(c.rect, c.saved, channels),
                                                      w.layerBlock({0, 0, 4, 3}, {0, 0, 4, 3}, {})}));
        const QImage image = decodeBytes(file);
        ASSERT_EQ(image.size(), QSize(4, 3)) << c.name;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) {
                const bool isRed = std::find(c.red.begin(), c.red.end(), QPoint(x, y)) != c.red.end();
                EXPECT_EQ(rgbAt(image, x, y), isRed ? 0xC80000u : 0u) << c.name << " at " << x << "," << y;
            }
    }
}

TEST(PspDecoder, MalformedFilesFailWithAClearError)
{
    const PspWriter w;
    const QByteArray good = rgbFile(w, kRle, kRleRgb);
    ASSERT_NO_THROW(decodeBytes(good));

    auto withVersion = [&](int major) {
        QByteArray f = good;
        f[32] = char(major);
        return f;
    };
    QByteArray badSignature = good;
    badSignature[0] = 'p';
    const QByteArray noBlue = w.file(w.imageBlock(3, 2, kRle, 24)
                                     + w.layerBank({w.layerBlock({0, 0, 3, 2}, {0, 0, 3, 2},
                                                                 {w.channelBlock(kRleRgb[0], 1), w.channelBlock(kRleRgb[1], 2)})}));
    const QByteArray badDeflate = rgbFile(w, kLz77, {bytes({0x78, 0x9C, 0xFF, 0xFF}), kRed, kRed});
    const QByteArray shortRun = rgbFile(w, kRle, {bytes({0x85, 1}), kRleRgb[1], kRleRgb[2]});
    const QByteArray deep = w.file(w.imageBlock(3, 2, kRle, 48) + w.layerBank({w.layerBlock({0, 0, 3, 2}, {0, 0, 3, 2}, {})}));
    const QByteArray vectorOnly
        = w.file(w.imageBlock(3, 2, kRle, 24) + w.layerBank({w.layerBlock({0, 0, 3, 2}, {0, 0, 3, 2}, {}, 3)}));
    const QByteArray noAttributes = w.file(w.layerBank({w.layerBlock({0, 0, 3, 2}, {0, 0, 3, 2}, {})}));
    const QByteArray jpegLayers = rgbFile(w, 3, kRleRgb);
    const QByteArray tooLittleData = w.file(w.imageBlock(60000, 6000, kRle, 24)
                                            + w.layerBank({w.layerBlock({0, 0, 60000, 6000}, {0, 0, 60000, 6000},
                                                                        {w.channelBlock(kRleRgb[0], 1), w.channelBlock(kRleRgb[1], 2),
                                                                         w.channelBlock(kRleRgb[2], 3)})}));
    const QByteArray huge
        = w.file(w.imageBlock(70000, 2, kRle, 24) + w.layerBank({w.layerBlock({0, 0, 3, 2}, {0, 0, 3, 2}, {})}));

    const struct {
        const char* name;
        QByteArray file;
        const char* message;
    } cases[] = {
        {"signature", badSignature, "not a Paint Shop Pro picture"},
        {"version 2", withVersion(2), "version 2"},
        {"version 14", withVersion(14), "version 14"},
        {"missing channel", noBlue, "blue channel is missing"},
        {"damaged deflate data", badDeflate, "compressed picture data is damaged"},
        {"short run data", shortRun, "a channel holds 5 of 6 bytes"},
        {"48 bits", deep, "48 bits"},
        {"no raster layer", vectorOnly, "neither a merged image nor a raster layer"},
        {"no attributes", noAttributes, "attributes block is missing"},
        {"layer compression 3", jpegLayers, "compression 3"},
        {"oversized", huge, "too large"},
        {"channel too small for its size", tooLittleData, "a channel of 7 bytes cannot hold 60000 x 6000 pixels"},
        {"trailing garbage", good + QByteArray("xyz"), "no block header"},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { decodeBytes(c.file); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    }
    expectEveryTruncationFails(good, decodeBytes);
}

TEST(PspDecoder, KeptCorruptSamplesFailCleanly)
{
    const QStringList files = keptCorruptSamples(QStringLiteral("psp"));
    EXPECT_FALSE(files.isEmpty());
    expectEachFailsCleanly(files);
}

} // namespace
