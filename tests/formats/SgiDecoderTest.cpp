#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>

#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, unsigned v)
{
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v & 0xff));
}

void put32(Bytes& b, uint32_t v)
{
    put16(b, v >> 16);
    put16(b, v & 0xffff);
}

struct SgiLayout {
    int rle = 0;
    int bytesPerSample = 1;
    int dimension = 3;
    int width = 1, height = 1, channels = 3;
    int colormap = 0;
    int magic = 474;
};

// The 512-byte header.
Bytes sgiHeader(const SgiLayout& l)
{
    Bytes b;
    put16(b, unsigned(l.magic));
    b.push_back(uint8_t(l.rle));
    b.push_back(uint8_t(l.bytesPerSample));
    put16(b, unsigned(l.dimension));
    put16(b, unsigned(l.width));
    put16(b, unsigned(l.height));
    put16(b, unsigned(l.channels));
    put32(b, 0);
    put32(b, 255);
    b.resize(104, 0);
    put32(b, uint32_t(l.colormap));
    b.resize(512, 0);
    return b;
}

// A verbatim file: the header, then the given samples (channel by channel, bottom row first).
Bytes verbatim(const SgiLayout& l, const Bytes& samples)
{
    Bytes b = sgiHeader(l);
    b.insert(b.end(), samples.begin(), samples.end());
    return b;
}

// A run-length file: the header, the offset and length tables, then the rows in the order
// given (channel by channel, bottom row first).
Bytes runLength(SgiLayout l, const std::vector<Bytes>& rows)
{
    l.rle = 1;
    Bytes b = sgiHeader(l);
    uint32_t offset = uint32_t(512 + rows.size() * 8);
    for (const Bytes& row : rows) {
        put32(b, offset);
        offset += uint32_t(row.size());
    }
    for (const Bytes& row : rows)
        put32(b, uint32_t(row.size()));
    for (const Bytes& row : rows)
        b.insert(b.end(), row.begin(), row.end());
    return b;
}

QImage decodeBytes(const Bytes& bytes)
{
    return decodeWith(decodeSgi, bytes, QStringLiteral("test.sgi"));
}

const QStringList kExtensions = {"sgi", "rgb", "rgba", "bw"};

TEST(SgiDecoder, CorpusFilesMatchTheirReferences)
{
    SKIP_WITHOUT_CORPUS();
    EXPECT_GE(expectCorpusMatchesReferences(kExtensions), 20);
}

// The samples without a reference are malformed or truncated, as are our own corrupt
// samples (past fuzzer findings among them): each fails with our error.
TEST(SgiDecoder, MalformedFilesFailCleanly)
{
    SKIP_WITHOUT_CORPUS();
    const QStringList files = corpusFilesWithoutReference(kExtensions) + keptCorruptSamples(QStringLiteral("sgi"));
    EXPECT_GE(files.size(), 8);
    expectEachFailsCleanly(files);
}

// Variants the corpus lacks, written from the published layout; pixels listed top row first.
TEST(SgiDecoder, HandMadeLayouts)
{
    const struct {
        const char* name;
        Bytes file;
        QSize size;
        std::vector<uint32_t> pixels;
    } cases[] = {
        {"16-bit run-length RGB keeps high bytes",
         runLength({.bytesPerSample = 2, .width = 3, .height = 2, .channels = 3},
                   {
                       {0x00, 0x03, 0x11, 0xff, 0x00, 0x00},                   // red, bottom: run of 3
                       {0x00, 0x83, 0x21, 0x01, 0x22, 0x02, 0x23, 0x03, 0, 0}, // red, top: literal of 3
                       {0x00, 0x03, 0x44, 0x00, 0x00, 0x00},                   // green, bottom
                       {0x00, 0x03, 0x55, 0x99},                               // green, top: no end marker
                       {0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x02, 0x00, 0, 0}, // blue, bottom: runs of 1 and 2
                       {0x00, 0x03, 0x66, 0x00, 0x00, 0x00},                   // blue, top
                   }),
         {3, 2},
         {0x215566, 0x225566, 0x235566, 0x114401, 0x114402, 0x114402}},
        {"8-bit run-length gray",
         runLength({.dimension = 2, .width = 4, .height = 1, .channels = 1}, {{0x82, 0x10, 0x20, 0x02, 0x30, 0x00}}),
         {4, 1}, {0x101010, 0x202020, 0x303030, 0x303030}},
        {"gray with alpha drops the alpha",
         verbatim({.width = 2, .height = 1, .channels = 2}, {0x40, 0x80, 0xff, 0x00}), {2, 1}, {0x404040, 0x808080}},
        {"five channels keep the first three",
         verbatim({.width = 1, .height = 2, .channels = 5}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), {1, 2},
         {0x020406, 0x010305}},
        {"16-bit verbatim gray, rows from the bottom",
         verbatim({.bytesPerSample = 2, .dimension = 2, .width = 2, .height = 2, .channels = 1},
                  {0x10, 0xff, 0x20, 0xff, 0x30, 0x00, 0x40, 0x01}),
         {2, 2}, {0x303030, 0x404040, 0x101010, 0x202020}},
        {"dimension 1 is one row of one channel whatever the other sizes say",
         verbatim({.dimension = 1, .width = 3, .height = 9, .channels = 3}, {7, 8, 9}), {3, 1},
         {0x070707, 0x080808, 0x090909}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QImage image;
        ASSERT_NO_THROW(image = decodeBytes(c.file));
        EXPECT_EQ(image.size(), c.size);
        EXPECT_EQ(pixelsOf(image), c.pixels);
    }
}

// Rows may share their data (writers reuse identical rows): both rows point at one run.
TEST(SgiDecoder, RowsMayShareRunLengthData)
{
    Bytes file = sgiHeader({.rle = 1, .dimension = 2, .width = 2, .height = 2, .channels = 1});
    for (int i = 0; i < 2; ++i)
        put32(file, 528);
    for (int i = 0; i < 2; ++i)
        put32(file, 3);
    file.insert(file.end(), {0x02, 0x77, 0x00});
    EXPECT_EQ(pixelsOf(decodeBytes(file)), (std::vector<uint32_t>(4, 0x777777)));
}

TEST(SgiDecoder, DamagedHeadersAndDataFailWithClearErrors)
{
    const SgiLayout gray{.dimension = 2, .width = 4, .height = 1, .channels = 1};
    const auto cut = [](Bytes b, size_t size) {
        b.resize(size);
        return b;
    };
    const struct {
        const char* name;
        Bytes file;
        const char* message;
    } cases[] = {
        {"shorter than a header", cut(sgiHeader(gray), 300), "ends before the picture data is complete"},
        {"wrong magic", verbatim({.width = 1, .magic = 0x1234}, {0, 0, 0}), "magic number 474"},
        {"byte-swapped magic", verbatim({.width = 1, .magic = 0xda01}, {0, 0, 0}), "magic number 474"},
        {"storage 2", [] {
             Bytes b = verbatim({.dimension = 2, .width = 1, .channels = 1}, {0});
             b[2] = 2;
             return b;
         }(),
         "unknown storage format 2"},
        {"3 bytes a sample", verbatim({.bytesPerSample = 3, .width = 1, .channels = 1}, {0, 0, 0}), "sample size of 3"},
        {"dithered colormap", verbatim({.width = 1, .channels = 1, .colormap = 1}, {0}), "colormap type 1"},
        {"dimension 4", verbatim({.dimension = 4, .width = 1}, {0, 0, 0}), "dimension 4"},
        {"no channels", verbatim({.width = 1, .channels = 0}, {}), "no channels"},
        {"zero width", verbatim({.width = 0}, {}), "invalid size of 0 x 1"},
        {"verbatim data cut short", verbatim({.width = 2, .height = 2}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}),
         "ends before the picture data is complete"},
        {"offset tables cut short", cut(runLength({.width = 1, .height = 4}, std::vector<Bytes>(12, {1, 5, 0})), 560),
         "ends before the picture data is complete"},
        {"row offset past the end", [&] {
             Bytes b = runLength(gray, {{0x04, 0x10, 0x00}});
             b[515] = 0x7f;
             return b;
         }(),
         "ends before the picture data is complete"},
        {"run passes the end of its row", runLength(gray, {{0x05, 0x10, 0x00}}), "passes the end of its row"},
        {"literal passes the end of its row", runLength(gray, {{0x85, 1, 2, 3, 4, 5, 0x00}}),
         "passes the end of its row"},
        {"row ends before it is full", runLength(gray, {{0x03, 0x10, 0x00}}), "ends before it is full"},
        {"row data cut short", cut(runLength(gray, {{0x84, 1, 2, 3, 4, 0x00}}), 524), "ends before the picture data is complete"},
        {"large picture with almost no data", verbatim({.width = 20000, .height = 20000, .channels = 3}, {1, 2, 3}),
         "ends before the picture data is complete"},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { decodeBytes(c.file); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    }
}

TEST(SgiDecoder, EverySgiExtensionReadsSgi)
{
    const Bytes file = verbatim({.width = 1, .channels = 3}, {0x30, 0x20, 0x10});
    for (const char* ext : {"sgi", "rgb", "rgba", "bw", "RGB"}) {
        std::unique_ptr<Picture> picture;
        ASSERT_NO_THROW(picture = FormatRegistry::standard().decode(QStringLiteral("a.") + QString::fromLatin1(ext), file))
            << ext;
        EXPECT_EQ(rgbAt(toBgr888(picture->toImage()), 0, 0), 0x302010u) << ext;
    }
}

} // namespace
