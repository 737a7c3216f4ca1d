#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <cctype>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

QImage decodeBytes(const Bytes& bytes, const char* name = "test.psd")
{
    return decodeWith(decodePsd, bytes, QString::fromLatin1(name));
}

std::string errorOf(const Bytes& bytes)
{
    return decodeFailure([&] { decodeBytes(bytes); });
}

void put16(Bytes& out, unsigned v)
{
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void put32(Bytes& out, uint32_t v)
{
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}

// A Photoshop file written field by field: header, color mode data, image resources,
// layer section, then the merged image of `planes` (one byte string per channel, rows of
// the stored row length) raw or PackBits-compressed.
struct PsdFile {
    unsigned version = 1;
    unsigned channels = 3;
    uint32_t width = 2;
    uint32_t height = 1;
    unsigned depth = 8;
    unsigned mode = 3;
    Bytes colorData;
    Bytes resources;
    Bytes layers;
    unsigned compression = 0;
    std::vector<Bytes> planes;
    // For compression 1: each row's PackBits bytes, per channel, in row order.
    std::vector<std::vector<Bytes>> packedRows;

    Bytes bytes() const
    {
        Bytes out = {'8', 'B', 'P', 'S'};
        put16(out, version);
        out.insert(out.end(), 6, 0);
        put16(out, channels);
        put32(out, height);
        put32(out, width);
        put16(out, depth);
        put16(out, mode);
        put32(out, uint32_t(colorData.size()));
        out.insert(out.end(), colorData.begin(), colorData.end());
        put32(out, uint32_t(resources.size()));
        out.insert(out.end(), resources.begin(), resources.end());
        put32(out, uint32_t(layers.size()));
        out.insert(out.end(), layers.begin(), layers.end());
        put16(out, compression);
        if (compression == 1) {
            for (const auto& channel : packedRows)
                for (const Bytes& row : channel)
                    put16(out, unsigned(row.size()));
            for (const auto& channel : packedRows)
                for (const Bytes& row : channel)
                    out.insert(out.end(), row.begin(), row.end());
        } else {
            for (const Bytes& plane : planes)
                out.insert(out.end(), plane.begin(), plane.end());
        }
        return out;
    }
};

// PackBits by the book: runs of 3 or more identical bytes become repeat codes, the rest
// literal blocks of at most 128 bytes.
Bytes packBits(const Bytes& row)
{
    Bytes out;
    size_t i = 0;
    while (i < row.size()) {
        size_t run = 1;
        while (i + run < row.size() && run < 128 && row[i + run] == row[i])
            ++run;
        if (run >= 3) {
            out.push_back(uint8_t(257 - run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        size_t start = i;
        size_t count = 0;
        while (i < row.size() && count < 128) {
            if (i + 2 < row.size() && row[i] == row[i + 1] && row[i] == row[i + 2])
                break;
            ++i;
            ++count;
        }
        out.push_back(uint8_t(count - 1));
        out.insert(out.end(), row.begin() + long(start), row.begin() + long(i));
    }
    return out;
}

// Splits planes into rows of rowBytes and packs each.
std::vector<std::vector<Bytes>> packPlanes(const std::vector<Bytes>& planes, size_t rowBytes)
{
    std::vector<std::vector<Bytes>> packed;
    for (const Bytes& plane : planes) {
        packed.emplace_back();
        for (size_t at = 0; at < plane.size(); at += rowBytes)
            packed.back().push_back(packBits(Bytes(plane.begin() + long(at), plane.begin() + long(at + rowBytes))));
    }
    return packed;
}

// 16-bit planes from 8-bit high bytes, with a low byte that must not matter.
Bytes widen(const Bytes& plane)
{
    Bytes out;
    for (uint8_t v : plane) {
        out.push_back(v);
        out.push_back(uint8_t(~v));
    }
    return out;
}

// The channels of a file's merged image exactly as stored, read plainly and independently
// of the decoder (8-bit samples only), so tests can see the alpha channel the decoder drops.
struct StoredImage {
    int width = 0;
    int height = 0;
    std::vector<Bytes> planes;
};

StoredImage readStoredImage(const QString& path)
{
    const QByteArray file = readFileBytes(path);
    const auto* d = reinterpret_cast<const uint8_t*>(file.constData());
    const auto u16 = [&](size_t at) { return size_t(d[at] << 8 | d[at + 1]); };
    const auto u32 = [&](size_t at) { return u16(at) << 16 | u16(at + 2); };
    StoredImage image;
    const size_t channels = u16(12);
    image.height = int(u32(14));
    image.width = int(u32(18));
    size_t at = 26;
    for (int section = 0; section < 3; ++section)
        at += 4 + u32(at);
    const size_t compression = u16(at);
    at += 2;
    const size_t w = size_t(image.width);
    const size_t h = size_t(image.height);
    size_t data = compression == 1 ? at + 2 * channels * h : at;
    for (size_t c = 0; c < channels; ++c) {
        Bytes plane;
        for (size_t y = 0; y < h; ++y) {
            if (compression == 0) {
                plane.insert(plane.end(), d + data, d + data + w);
                data += w;
                continue;
            }
            const size_t end = data + u16(at + 2 * (c * h + y));
            while (data < end) {
                const int n = d[data++];
                if (n < 128) {
                    plane.insert(plane.end(), d + data, d + data + n + 1);
                    data += size_t(n) + 1;
                } else if (n > 128) {
                    plane.insert(plane.end(), size_t(257 - n), d[data++]);
                }
            }
        }
        image.planes.push_back(plane);
    }
    return image;
}

// ---------------------------------------------------------------------------------------
// Corpus

// Files whose reference is not followed; each has a test of its own below.
const std::set<QString> kDisputed = {
    "gen_im_rgba_rle.psd",
    "oiio_psd_123.psd",
    "kimageformats_birthday.pdd",
    "oiio_psd_123_nomaxcompat.psd",
};

TEST(PsdDecoder, CorpusFilesMatchTheirReferences)
{
    SKIP_WITHOUT_CORPUS();
    EXPECT_GE(expectCorpusMatchesReferences({"psd", "pdd"}, loadBitmap, kDisputed), 27);
}

// The merged image of a picture with transparency is stored with its alpha as an extra
// channel; the format's documentation describes the image data as the merged image's
// channels, and alpha is dropped keeping the color channels as stored. The references were
// made by a reader that also un-mattes partly transparent pixels from white (and for the
// first file, which was never matted, wraps around to arbitrary values). So the decode must
// equal the stored channels everywhere, and the reference wherever alpha is 0 or 255.
TEST(PsdDecoder, MergedImagesWithAlphaKeepTheirStoredColorsNotTheReferencesUnmatting)
{
    SKIP_WITHOUT_CORPUS();
    for (const char* name : {"psd/gen_im_rgba_rle.psd", "psd/oiio_psd_123.psd", "pdd/kimageformats_birthday.pdd"}) {
        SCOPED_TRACE(name);
        const QString path = corpusDir() + "/" + name;
        const QImage actual = loadBitmap(path);
        const QImage reference = loadReference(referenceFor(path));
        const StoredImage stored = readStoredImage(path);
        ASSERT_EQ(stored.planes.size(), 4u);
        ASSERT_EQ(actual.size(), QSize(stored.width, stored.height));
        int partial = 0;
        for (int y = 0; y < stored.height; ++y) {
            for (int x = 0; x < stored.width; ++x) {
                const size_t i = size_t(y) * size_t(stored.width) + size_t(x);
                const uint32_t expected = uint32_t(stored.planes[0][i]) << 16 | uint32_t(stored.planes[1][i]) << 8
                    | stored.planes[2][i];
                ASSERT_EQ(rgbAt(actual, x, y), expected) << x << "," << y;
                const uint8_t alpha = stored.planes[3][i];
                if (alpha == 0 || alpha == 255) {
                    ASSERT_EQ(rgbAt(actual, x, y), rgbAt(reference, x, y)) << x << "," << y;
                } else {
                    ++partial;
                }
            }
        }
        EXPECT_GT(partial, 0);
    }
}

// Saved without maximized compatibility, the file's version-info resource says its merged
// image is a placeholder (here: stripes). The reference is another reader's own compositing
// of the layers, which this decoder does not attempt; it refuses the file instead.
TEST(PsdDecoder, FileWithoutRealMergedImageIsRefusedRatherThanShowingThePlaceholder)
{
    SKIP_WITHOUT_CORPUS();
    const QString path = corpusDir() + "/psd/oiio_psd_123_nomaxcompat.psd";
    EXPECT_EQ(decodeFailure([&] { loadPicture(path); }),
              "Cannot open " + path.toStdString()
                  + ". The file has no merged image (it was saved without maximized compatibility).");
}

// Files no other reader decodes, checked against their stored channels and, where the same
// picture exists stored another way, against that picture's reference.
TEST(PsdDecoder, CorpusFilesWithoutReferenceDeliverTheirStoredChannels)
{
    SKIP_WITHOUT_CORPUS();
    const struct {
        const char* file;
        bool color;                // red, green, blue from the first three channels, else gray
        const char* similarTo;     // a reference of the same picture, or nullptr
        double maxMeanDifference;  // quantization or retouching between the two
    } cases[] = {
        // 57 channels: three colors and 54 extra channels, all but the first three dropped.
        {"psd/kimageformats_53alphas.psd", true, nullptr, 0},
        // Multichannel with one channel: the same test card as the grayscale sample,
        // retouched (text color, a tone shift of 8 or 9).
        {"psd/kimageformats_mch1-8bits.psd", false, "psd/kimageformats_8bit-grayscale.psd.ref.png", 20.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = corpusDir() + "/" + c.file;
        const QImage actual = loadBitmap(path);
        const StoredImage stored = readStoredImage(path);
        ASSERT_EQ(actual.size(), QSize(stored.width, stored.height));
        for (int y = 0; y < stored.height; ++y) {
            for (int x = 0; x < stored.width; ++x) {
                const size_t i = size_t(y) * size_t(stored.width) + size_t(x);
                const auto& p = stored.planes;
                const uint32_t expected = c.color ? (uint32_t(p[0][i]) << 16 | uint32_t(p[1][i]) << 8 | p[2][i])
                                                  : uint32_t(p[0][i]) * 0x010101u;
                ASSERT_EQ(rgbAt(actual, x, y), expected) << x << "," << y;
            }
        }
        if (c.similarTo) {
            EXPECT_LE(meanSampleDifference(loadReference(corpusDir() + "/" + c.similarTo), actual), c.maxMeanDifference);
        }
    }
    // The palette version of a picture whose RGB version has a reference.
    const QImage indexed = loadBitmap(corpusDir() + "/psd/gen_im_indexed.psd");
    const QImage rgb = loadReference(corpusDir() + "/psd/gen_im_rgb_rle.psd.ref.png");
    ASSERT_EQ(indexed.size(), rgb.size());
    EXPECT_LE(meanSampleDifference(rgb, indexed), 5.0);
}

TEST(PsdDecoder, IndexedCorpusFilesUseTheirColorTable)
{
    SKIP_WITHOUT_CORPUS();
    for (const char* name : {"psd/kimageformats_indexed.psd", "psd/oiio_psd_indexed_trans.psd", "psd/gen_im_indexed.psd"}) {
        SCOPED_TRACE(name);
        const QString path = corpusDir() + "/" + name;
        const QImage image = loadPicture(path)->toImage();
        ASSERT_EQ(image.format(), QImage::Format_Indexed8);
        // Every pixel's color comes from the 768-byte table right after the header.
        const QByteArray bytes = readFileBytes(path);
        const auto* table = reinterpret_cast<const uint8_t*>(bytes.constData()) + 30;
        const StoredImage stored = readStoredImage(path);
        const QImage bitmap = toBgr888(image);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const int i = stored.planes[0][size_t(y) * size_t(stored.width) + size_t(x)];
                const uint32_t expected = uint32_t(table[i]) << 16 | uint32_t(table[256 + i]) << 8 | table[512 + i];
                ASSERT_EQ(rgbAt(bitmap, x, y), expected) << x << "," << y;
            }
        }
    }
}

TEST(PsdDecoder, MalformedAndTruncatedCorpusFilesFailCleanly)
{
    SKIP_WITHOUT_CORPUS();
    const struct {
        const char* file;
        const char* message;
    } cases[] = {
        {"psd/pillow_combined_larger_than_size.psd", "ends before the picture data is complete"},
        {"psd/gen_trunc60_im_layers_rle.psd", "ends before the picture data is complete"},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { loadPicture(corpusDir() + "/" + c.file); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.file << ": " << error;
    }
}

TEST(PsdDecoder, CorruptSamplesFailWithAnError)
{
    const QStringList files = keptCorruptSamples(QStringLiteral("psd"));
    EXPECT_GE(files.size(), 5);
    expectEachFailsCleanly(files);
}

// ---------------------------------------------------------------------------------------
// Files written byte by byte, for variants the corpus lacks

TEST(PsdDecoder, ColorModesGiveThePlainConversions)
{
    // Two pixels per case; planes listed channel by channel.
    const struct {
        const char* name;
        unsigned mode;
        std::vector<Bytes> planes;
        std::vector<uint32_t> expected;
    } cases[] = {
        {"rgb", 3, {{0x10, 0xFF}, {0x20, 0x00}, {0x30, 0x80}}, {0x102030, 0xFF0080}},
        {"rgb drops alpha", 3, {{1, 2}, {3, 4}, {5, 6}, {0, 0}}, {0x010305, 0x020406}},
        {"grayscale", 1, {{0x00, 0xC8}}, {0x000000, 0xC8C8C8}},
        {"duotone reads the gray channel", 8, {{0x40, 0xFE}}, {0x404040, 0xFEFEFE}},
        {"multichannel with one channel is gray", 7, {{0x11, 0x99}}, {0x111111, 0x999999}},
        {"multichannel with two channels is gray of the first", 7, {{0x11, 0x99}, {0x55, 0x66}}, {0x111111, 0x999999}},
        {"multichannel with three channels is rgb", 7, {{0x11, 0x99}, {0x22, 0x88}, {0x33, 0x77}}, {0x112233, 0x998877}},
        {"multichannel drops a fourth channel", 7, {{0x11, 0x99}, {0x22, 0x88}, {0x33, 0x77}, {0, 0}}, {0x112233, 0x998877}},
        // Inks stored inverted: 255 is no ink.
        {"cmyk no ink is white", 4, {{255, 255}, {255, 255}, {255, 255}, {255, 0}}, {0xFFFFFF, 0x000000}},
        // ((c * k * 257 + 127) / 255) >> 8: 128 * 255 -> 128, 128 * 128 -> 64, 1 * 255 -> 1.
        {"cmyk ink product", 4, {{128, 128}, {1, 128}, {0, 200}, {255, 128}}, {0x800100, 0x404064}},
        // L = 255 is L* 100. a and b are laid on -127.5..127.5, so 128 is a* = 0.5: the
        // black of L = 0 keeps a red trace of 1.
        {"lab white and black", 9, {{255, 0}, {128, 128}, {128, 128}}, {0xFFFFFF, 0x010000}},
        {"lab extremes", 9, {{136, 136}, {255, 0}, {128, 255}}, {0xFF0084, 0x00A200}},
        {"lab purple", 9, {{60, 60}, {200, 200}, {30, 30}}, {0x0000D3, 0x0000D3}},
    };
    for (const auto& c : cases) {
        for (unsigned depth : {8u, 16u}) {
            for (unsigned compression : {0u, 1u}) {
                SCOPED_TRACE(std::string(c.name) + " depth " + std::to_string(depth) + " compression "
                             + std::to_string(compression));
                PsdFile psd;
                psd.mode = c.mode;
                psd.depth = depth;
                psd.channels = unsigned(c.planes.size());
                for (const Bytes& plane : c.planes)
                    psd.planes.push_back(depth == 16 ? widen(plane) : plane);
                psd.compression = compression;
                psd.packedRows = packPlanes(psd.planes, depth / 8 * 2);
                const QImage image = decodeBytes(psd.bytes());
                ASSERT_EQ(image.size(), QSize(2, 1));
                EXPECT_EQ(pixelsOf(image), c.expected);
            }
        }
    }
}

TEST(PsdDecoder, BitmapModeIsOneBitWithZeroWhite)
{
    // 10 x 2: rows of two bytes, the last six bits of each row padding.
    PsdFile psd;
    psd.mode = 0;
    psd.depth = 1;
    psd.channels = 1;
    psd.width = 10;
    psd.height = 2;
    psd.planes = {{0b10100000, 0b01111111, 0b00000000, 0b11000000}};
    std::vector<uint32_t> expected;
    for (int bit : {1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1})
        expected.push_back(bit ? 0x000000 : 0xFFFFFF);
    for (unsigned compression : {0u, 1u}) {
        psd.compression = compression;
        psd.packedRows = packPlanes(psd.planes, 2);
        EXPECT_EQ(pixelsOf(decodeBytes(psd.bytes())), expected) << "compression " << compression;
    }
}

TEST(PsdDecoder, IndexedModeTakesRedGreenBlueThirdsOfTheColorTable)
{
    PsdFile psd;
    psd.mode = 2;
    psd.channels = 1;
    psd.width = 3;
    psd.colorData.assign(768, 0);
    for (int i = 0; i < 256; ++i) {
        psd.colorData[size_t(i)] = uint8_t(i);
        psd.colorData[size_t(256 + i)] = uint8_t(255 - i);
        psd.colorData[size_t(512 + i)] = uint8_t(i / 2);
    }
    psd.planes = {{0, 7, 255}};
    const QImage image = decodeBytes(psd.bytes());
    EXPECT_EQ(pixelsOf(image), (std::vector<uint32_t>{0x00FF00, 0x07F803, 0xFF007F}));
}

TEST(PsdDecoder, SkipsColorDataResourcesAndLayersByTheirLengths)
{
    PsdFile psd;
    psd.colorData = Bytes(5, 0xEE);
    psd.resources = Bytes(33, 0xAA);
    psd.layers = Bytes(17, 0x55);
    psd.planes = {{1, 2}, {3, 4}, {5, 6}};
    EXPECT_EQ(pixelsOf(decodeBytes(psd.bytes())), (std::vector<uint32_t>{0x010305, 0x020406}));
}

// One image resource block: signature, id, empty name (two bytes), size, data padded even.
Bytes resource(unsigned id, const Bytes& data)
{
    Bytes out = {'8', 'B', 'I', 'M'};
    put16(out, id);
    put16(out, 0);
    put32(out, uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() % 2)
        out.push_back(0);
    return out;
}

TEST(PsdDecoder, VersionInfoResourceDecidesWhetherTheMergedImageIsReal)
{
    const Bytes versionInfo = {0, 0, 0, 1, 1, 0, 0, 0, 0};
    const Bytes placeholder = {0, 0, 0, 1, 0, 0, 0, 0, 0};
    const Bytes other = resource(1005, Bytes(7, 0x11)); // odd size: padded
    const struct {
        const char* name;
        Bytes resources;
        bool decodes;
    } cases[] = {
        {"no resources", {}, true},
        {"real merged data", resource(1057, versionInfo), true},
        {"after another resource", [&] { Bytes r = other; auto v = resource(1057, placeholder); r.insert(r.end(), v.begin(), v.end()); return r; }(), false},
        {"placeholder", resource(1057, placeholder), false},
        {"version info too short to say", resource(1057, {0, 0, 0, 1}), true},
        {"malformed list ends the search", [&] { Bytes r = other; r[11] = 0x7F; auto v = resource(1057, placeholder); r.insert(r.end(), v.begin(), v.end()); return r; }(), true},
        {"named resource", [&] { Bytes r = {'8', 'B', 'I', 'M', 0x04, 0x21, 3, 'a', 'b', 'c'}; put32(r, 5); r.insert(r.end(), placeholder.begin(), placeholder.begin() + 5); r.push_back(0); return r; }(), false},
    };
    for (const auto& c : cases) {
        PsdFile psd;
        psd.resources = c.resources;
        psd.planes = {{1, 2}, {3, 4}, {5, 6}};
        const std::string error = errorOf(psd.bytes());
        if (c.decodes)
            EXPECT_EQ(error, "(decoded)") << c.name;
        else
            EXPECT_NE(error.find("has no merged image"), std::string::npos) << c.name << ": " << error;
    }
}

TEST(PsdDecoder, PackBitsCodesExpandAsDocumented)
{
    // One gray row of 6 pixels; each case's single channel row.
    const struct {
        const char* name;
        Bytes packed;
        Bytes expected;
    } cases[] = {
        {"one literal block", {5, 1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
        {"a run of six", {251, 9}, {9, 9, 9, 9, 9, 9}},
        {"128 is skipped", {128, 1, 7, 8, 128, 253, 4, 128}, {7, 8, 4, 4, 4, 4}},
        {"run then literal", {255, 1, 3, 2, 3, 4, 5}, {1, 1, 2, 3, 4, 5}},
    };
    for (const auto& c : cases) {
        PsdFile psd;
        psd.mode = 1;
        psd.channels = 1;
        psd.width = 6;
        psd.compression = 1;
        psd.packedRows = {{c.packed}};
        const QImage image = decodeBytes(psd.bytes());
        std::vector<uint32_t> expected;
        for (uint8_t v : c.expected)
            expected.push_back(uint32_t(v) * 0x010101);
        EXPECT_EQ(pixelsOf(image), expected) << c.name;
    }
}

TEST(PsdDecoder, RefusesWhatItCannotReadWithAClearMessage)
{
    const auto base = [] {
        PsdFile psd;
        psd.planes = {{1, 2}, {3, 4}, {5, 6}};
        return psd;
    };
    const auto packedRow = [](Bytes row) {
        PsdFile psd;
        psd.mode = 1;
        psd.channels = 1;
        psd.width = 4;
        psd.compression = 1;
        psd.packedRows = {{std::move(row)}};
        return psd.bytes();
    };
    const struct {
        const char* name;
        Bytes file;
        const char* message;
    } cases[] = {
        {"large document", [&] { auto p = base(); p.version = 2; return p.bytes(); }(),
         "large document format (version 2) files are not supported"},
        {"unknown version", [&] { auto p = base(); p.version = 3; return p.bytes(); }(), "files of version 3 are not supported"},
        {"signature", [&] { auto b = base().bytes(); b[3] = 'T'; return b; }(), "not a Photoshop picture"},
        {"float", [&] { auto p = base(); p.depth = 32; return p.bytes(); }(), "32-bit floating-point"},
        {"depth 4", [&] { auto p = base(); p.depth = 4; return p.bytes(); }(), "invalid depth of 4"},
        {"rgb with one bit", [&] { auto p = base(); p.depth = 1; return p.bytes(); }(),
         "RGB mode with 1 bits per channel are not supported"},
        {"bitmap with 8 bits", [&] { auto p = base(); p.mode = 0; return p.bytes(); }(), "bitmap mode with 8 bits"},
        {"indexed with 16 bits", [&] { auto p = base(); p.mode = 2; p.depth = 16; return p.bytes(); }(),
         "indexed mode with 16 bits"},
        {"unknown mode", [&] { auto p = base(); p.mode = 5; return p.bytes(); }(), "color mode 5 are not supported"},
        {"rgb with two channels", [&] { auto p = base(); p.channels = 2; p.planes.pop_back(); return p.bytes(); }(),
         "RGB mode needs 3 channels, it has 2"},
        {"cmyk with three channels", [&] { auto p = base(); p.mode = 4; return p.bytes(); }(),
         "CMYK mode needs 4 channels, it has 3"},
        {"no channels", [&] { auto p = base(); p.channels = 0; return p.bytes(); }(), "has no channels"},
        {"indexed without color table", [&] { auto p = base(); p.mode = 2; p.channels = 1; return p.bytes(); }(),
         "color table holds 0 bytes of the 768 it needs"},
        {"zero width", [&] { auto p = base(); p.width = 0; return p.bytes(); }(), "invalid size of 0 x 1 pixels"},
        {"too wide", [&] { auto p = base(); p.width = 70000; return p.bytes(); }(), "too large: 70000 x 1 pixels"},
        {"too many pixels", [&] { auto p = base(); p.width = 30000; p.height = 30000; return p.bytes(); }(),
         "too large: 30000 x 30000 pixels"},
        {"zip", [&] { auto p = base(); p.compression = 2; return p.bytes(); }(), "merged image is zip-compressed"},
        {"zip with prediction", [&] { auto p = base(); p.compression = 3; return p.bytes(); }(), "zip-compressed"},
        {"unknown compression", [&] { auto p = base(); p.compression = 7; return p.bytes(); }(),
         "unknown compression method 7."},
        {"raw data short", [&] { auto b = base().bytes(); b.pop_back(); return b; }(), "ends before the picture data is complete"},
        {"layer section longer than the file", [&] { auto b = base().bytes(); b[26 + 8 + 1] = 0x10; return b; }(),
         "ends before the picture data is complete"},
        {"row runs past the width", packedRow({253, 1, 0, 2}), "does not fill the picture's width"},
        {"literal past the width", packedRow({4, 1, 2, 3, 4, 5}), "does not fill the picture's width"},
        {"row short of the width", packedRow({2, 1, 2, 3}), "row 0 of channel 1 does not fill the picture's width"},
        {"literal past the row's bytes", packedRow({3, 1, 2}), "does not fill the picture's width"},
        {"run without its byte", packedRow({2, 1, 2, 3, 255}), "does not fill the picture's width"},
        {"row count past the file", [&] { auto b = packedRow({3, 1, 2, 3, 4}); b.pop_back(); return b; }(),
         "ends before the picture data is complete"},
    };
    for (const auto& c : cases) {
        const std::string error = errorOf(c.file);
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
        // A plain sentence: the registry puts it after the file's name.
        EXPECT_TRUE(!error.empty() && std::isupper(static_cast<unsigned char>(error.front())) && error.back() == '.')
            << c.name << ": " << error;
    }
}

TEST(PsdDecoder, EveryTruncationOfAValidFileFails)
{
    for (unsigned compression : {0u, 1u}) {
        PsdFile psd;
        psd.width = 5;
        psd.height = 3;
        psd.resources = Bytes(12, 1);
        psd.layers = Bytes(8, 2);
        for (int c = 0; c < 3; ++c) {
            Bytes plane;
            for (int i = 0; i < 15; ++i)
                plane.push_back(uint8_t(i < 8 ? 40 * c : i * 3));
            psd.planes.push_back(plane);
        }
        psd.compression = compression;
        psd.packedRows = packPlanes(psd.planes, 5);
        const Bytes whole = psd.bytes();
        ASSERT_NO_THROW(decodeBytes(whole));
        for (size_t length = 0; length < whole.size(); ++length) {
            const Bytes part(whole.begin(), whole.begin() + long(length));
            EXPECT_THROW(decodeBytes(part), PictureError) << "compression " << compression << ", " << length << " bytes";
        }
    }
}

} // namespace
