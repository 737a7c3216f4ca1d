#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void putLe(Bytes& out, uint32_t v, int size)
{
    for (int i = 0; i < size; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

// The 30-byte binary EPS header followed by `body`; offsets count from the file's start.
Bytes epsFile(uint32_t psOffset, uint32_t psLength, uint32_t tiffOffset, uint32_t tiffLength, const Bytes& body)
{
    Bytes out = {0xC5, 0xD0, 0xD3, 0xC6};
    putLe(out, psOffset, 4);
    putLe(out, psLength, 4);
    putLe(out, 0, 4);
    putLe(out, 0, 4);
    putLe(out, tiffOffset, 4);
    putLe(out, tiffLength, 4);
    putLe(out, 0xFFFF, 2);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A little-endian, uncompressed, one-strip RGB TIFF of 2 x 2 pixels.
Bytes tinyTiff()
{
    Bytes t = {'I', 'I', 42, 0};
    putLe(t, 8, 4);
    const struct {
        uint16_t tag, type;
        uint32_t count, value;
    } entries[] = {
        {256, 3, 1, 2},   // width
        {257, 3, 1, 2},   // height
        {258, 3, 3, 0},   // bits per sample: offset patched below
        {259, 3, 1, 1},   // no compression
        {262, 3, 1, 2},   // RGB
        {273, 4, 1, 0},   // strip offset: patched below
        {277, 3, 1, 3},   // samples per pixel
        {278, 3, 1, 2},   // rows per strip
        {279, 4, 1, 12},  // strip byte count
        {284, 3, 1, 1},   // contiguous
    };
    const uint32_t count = sizeof entries / sizeof entries[0];
    const uint32_t bitsAt = 8 + 2 + count * 12 + 4;
    const uint32_t pixelsAt = bitsAt + 6;
    putLe(t, count, 2);
    for (const auto& e : entries) {
        putLe(t, e.tag, 2);
        putLe(t, e.type, 2);
        putLe(t, e.count, 4);
        const uint32_t value = e.tag == 258 ? bitsAt : e.tag == 273 ? pixelsAt : e.value;
        putLe(t, value, e.type == 3 && e.count == 1 ? 2 : 4);
        if (e.type == 3 && e.count == 1)
            putLe(t, 0, 2);
    }
    putLe(t, 0, 4);
    for (int i = 0; i < 3; ++i)
        putLe(t, 8, 2);
    const uint8_t pixels[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};
    t.insert(t.end(), pixels, pixels + sizeof pixels);
    return t;
}

std::string errorOf(const Bytes& bytes)
{
    return decodeFailure([&] { decodeEps(PictureFile{QStringLiteral("test.eps"), std::span<const uint8_t>(bytes)}); });
}

TEST(EpsDecoder, CorpusFilesMatchTheirReferencesAndFilesWithoutBinaryHeaderFail)
{
    SKIP_WITHOUT_CORPUS();
    int compared = 0;
    int refused = 0;
    for (const QString& path : corpusFiles(QStringLiteral("eps"))) {
        SCOPED_TRACE(path.toStdString());
        const QString reference = referenceFor(path);
        const QByteArray bytes = readFileBytes(path);
        const bool binary = bytes.startsWith("\xC5\xD0\xD3\xC6");
        if (reference.isEmpty()) {
            // Plain PostScript: nothing to show.
            EXPECT_FALSE(binary);
            try {
                loadPicture(path);
                ADD_FAILURE() << "decoded";
            } catch (const PictureError& e) {
                EXPECT_NE(std::string(e.what()).find("has no TIFF preview"), std::string::npos) << e.what();
            }
            ++refused;
            continue;
        }
        QImage actual;
        try {
            actual = toBgr888(loadPicture(path)->toImage());
        } catch (const PictureError& e) {
            ADD_FAILURE() << "failed: " << e.what();
            continue;
        }
        const std::string difference = bitmapDifference(loadReference(reference), actual);
        if (!difference.empty())
            ADD_FAILURE() << difference << " (decode kept at " << keepMismatch(path, actual).toStdString() << ")";
        ++compared;
    }
    EXPECT_GE(compared, 9);
    EXPECT_GE(refused, 4);
}

TEST(EpsDecoder, DeliversTheTiffPreviewWhereverTheHeaderPlacesIt)
{
    const Bytes tiff = tinyTiff();
    const std::string postScript = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 2 2\nshowpage\n";
    Bytes body(postScript.begin(), postScript.end());
    body.insert(body.end(), tiff.begin(), tiff.end());
    body.insert(body.end(), 5, 0); // trailing bytes after the preview are not part of it
    const uint32_t tiffAt = 30 + uint32_t(postScript.size());
    const Bytes file = epsFile(30, uint32_t(postScript.size()), tiffAt, uint32_t(tiff.size()), body);

    const QImage image = toBgr888(decodeEps(PictureFile{QStringLiteral("x.eps"), std::span<const uint8_t>(file)}));
    ASSERT_EQ(image.size(), QSize(2, 2));
    EXPECT_EQ(rgbAt(image, 0, 0), 0xFF0000u);
    EXPECT_EQ(rgbAt(image, 1, 0), 0x00FF00u);
    EXPECT_EQ(rgbAt(image, 0, 1), 0x0000FFu);
    EXPECT_EQ(rgbAt(image, 1, 1), 0x0A141Eu);
}

TEST(EpsDecoder, FilesWithoutAUsableTiffPreviewFailClearly)
{
    const Bytes tiff = tinyTiff();
    const uint32_t size = 30 + uint32_t(tiff.size());
    const struct {
        const char* name;
        Bytes file;
        const char* message;
    } cases[] = {
        {"plain PostScript", Bytes{'%', '!', 'P', 'S', '-', 'A', 'd', 'o', 'b', 'e'},
         "has no TIFF preview: it does not start with the binary EPS header"},
        {"empty file", Bytes{}, "does not start with the binary EPS header"},
        {"signature off by one byte", [&] { auto f = epsFile(0, 0, 30, uint32_t(tiff.size()), tiff); f[3] = 0xC7; return f; }(),
         "does not start with the binary EPS header"},
        {"header cut short", Bytes{0xC5, 0xD0, 0xD3, 0xC6, 30, 0, 0, 0}, "ends before the picture data is complete"},
        {"no preview offset", epsFile(30, uint32_t(tiff.size()), 0, uint32_t(tiff.size()), tiff),
         "has no TIFF preview: its header names none"},
        {"no preview length", epsFile(0, 0, 30, 0, tiff), "has no TIFF preview: its header names none"},
        {"preview past the end", epsFile(0, 0, 30, uint32_t(tiff.size()) + 1, tiff),
         "ends before its TIFF preview is complete"},
        {"preview offset past the end", epsFile(0, 0, size + 1, 1, tiff), "ends before its TIFF preview is complete"},
        {"offset and length wrapping around", epsFile(0, 0, 0xFFFFFFF0u, 0x20, tiff),
         "ends before its TIFF preview is complete"},
        {"preview that is not TIFF", epsFile(0, 0, 30, 8, Bytes(8, 'x')),
         "The TIFF preview inside it cannot be read. The file is not a TIFF picture."},
    };
    for (const auto& c : cases) {
        const std::string error = errorOf(c.file);
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    }
}

TEST(EpsDecoder, CorruptSamplesFailWithAnError)
{
    const QStringList files = keptCorruptSamples(QStringLiteral("eps"));
    EXPECT_GE(files.size(), 3);
    expectEachFailsCleanly(files);
}

} // namespace
