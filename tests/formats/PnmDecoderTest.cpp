#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

namespace {

QImage decodeBytes(const QByteArray& bytes)
{
    return decodeWith(decodePnm, bytes, QStringLiteral("test.ppm"));
}

QImage decodeFile(const QString& path)
{
    return decodeBytes(readFileBytes(path));
}

// The 16-bit files gen_im_p6_16bit.ppm and gen_im_p3_16bit_plain.ppm have disputed
// references (another decoder rounds 16-bit samples to 8 bits); the references keep the
// high byte, which is our rule for samples of more than 8 bits, so they are compared as is.
TEST(PnmDecoder, CorpusFilesMatchTheirReferences)
{
    SKIP_WITHOUT_CORPUS();
    EXPECT_GE(expectCorpusMatchesReferences({"pbm", "pgm", "ppm"}, decodeFile), 30);
}

TEST(PnmDecoder, CorpusFilesWithoutReferenceFailCleanly)
{
    SKIP_WITHOUT_CORPUS();
    const struct {
        const char* file;
        const char* errorPart;
    } cases[] = {
        {"pbm/pillow_courB08.pbm", "not a portable map picture"}, // a PNG file
        {"ppm/pillow_negative_size.ppm", "too large"},
        {"ppm/gen_trunc60_im_p6_8bit.ppm", "ends before the picture data is complete"},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { decodeFile(corpusDir() + QLatin1Char('/') + QString::fromLatin1(c.file)); });
        EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.file << ": " << error;
    }
}

TEST(PnmDecoder, HandMadeVariants)
{
    const struct {
        const char* name;
        QByteArray bytes;
        QSize size;
        std::vector<uint32_t> pixels;
    } cases[] = {
        {"plain bitmap without separators, 1 is black", "P1\n3 2\n010\n1 1 0", {3, 2},
         {0xFFFFFF, 0x000000, 0xFFFFFF, 0x000000, 0x000000, 0xFFFFFF}},
        {"comments between every header field", "P2#c\n#x\n2#w\n 1 # h\n255#m\n0 255", {2, 1}, {0x000000, 0xFFFFFF}},
        {"raw bitmap rows padded to a byte", QByteArray("P4 9 2\n") + QByteArray::fromHex("8080" "7F00"), {9, 2},
         {0x000000, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0x000000,
          0xFFFFFF, 0x000000, 0x000000, 0x000000, 0x000000, 0x000000, 0x000000, 0x000000, 0xFFFFFF}},
        {"maximum 15: bits replicated", "P2 4 1 15 0 1 8 15", {4, 1}, {0x000000, 0x111111, 0x888888, 0xFFFFFF}},
        {"maximum 1000: rounded to 16 bits, high byte", "P2 5 1 1000 1 4 500 996 1000", {5, 1},
         {0x000000, 0x010101, 0x808080, 0xFEFEFE, 0xFFFFFF}},
        {"samples above the maximum count as the maximum", "P3 1 1 100 200 50 100", {1, 1}, {0xFF80FF}},
        {"raw 16-bit samples, most significant byte first", QByteArray("P6 1 1 65535\n") + QByteArray::fromHex("12FF80000001"),
         {1, 1}, {0x128000}},
        {"raw 8-bit color", QByteArray("P6 2 1 255\n") + QByteArray::fromHex("102030405060"), {2, 1}, {0x102030, 0x405060}},
        {"raw with a maximum under 255", QByteArray("P5 2 1 3\n") + QByteArray::fromHex("0203"), {2, 1}, {0xAAAAAA, 0xFFFFFF}},
        {"only the first picture of the file", QByteArray("P5 1 1 255\n") + QByteArray::fromHex("40") + "P5 1 1 255\n\x80",
         {1, 1}, {0x404040}},
        {"a raw sample that looks like white space", QByteArray("P5 1 1 255\n") + QByteArray::fromHex("0A"), {1, 1}, {0x0A0A0A}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const QImage image = decodeBytes(c.bytes);
            EXPECT_EQ(image.size(), c.size);
            EXPECT_EQ(pixelsOf(image), c.pixels);
        } catch (const PictureError& e) {
            ADD_FAILURE() << e.what();
        }
    }
}

TEST(PnmDecoder, BadInputFailsQuicklyWithoutLargeAllocations)
{
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"empty", {}},
        {"magic alone", "P6"},
        {"header alone", "P6 4 4 255\n"},
        {"60000 x 60000", "P6 60000 60000 255\n\x01\x02\x03"},
        {"60000 x 60000 plain", "P3 60000 60000 255 1 2 3"},
        {"size with twenty digits", "P5 99999999999999999999 1 255\n\x01"},
        {"negative width", "P5 -2 1 255\n\x01\x02"},
        {"zero height", "P5 2 0 255\n"},
        {"maximum 0", "P5 1 1 0\n\x01"},
        {"maximum 70000", "P5 1 1 70000\n\x01\x02"},
        {"truncated raw 16-bit", "P5 2 1 65535\n\x01\x02\x03"},
        {"truncated plain", "P2 2 2 255 1 2 3"},
        {"letters in a plain raster", "P2 2 1 255 1 x"},
        {"bad bitmap digit", "P1 2 1 0 2"},
        {"no white space after the header", "P5 1 1 255"},
        {"unknown kind", "P7\nWIDTH 1\n"},
        {"not a portable map", "BM...."},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { decodeBytes(c.bytes); });
        EXPECT_TRUE(!error.empty() && error != "(decoded)") << c.name << ": " << error;
    }
}

// A size that 64 bits hold is named by its number; one past them by the limit it exceeds,
// never by a number the file does not hold.
TEST(PnmDecoder, SizesOverTheLimitsAreNamedAsTheFileGivesThem)
{
    const QString limits = QStringLiteral(" pixels (at most 65535 pixels a side and 400 megapixels).");
    const struct {
        const char* header;
        QString message;
    } cases[] = {
        {"P6 70000 2 255\n", "The picture is too large: 70000 x 2" + limits},
        {"P5 2 9223372036854775807 255\n", "The picture is too large: 2 x 9223372036854775807" + limits},
        {"P6 9223372036854775808 2 255\n", "The picture is too large: more than 65,535 pixels wide."},
        {"P6 18446744073709551617 2 255\n", "The picture is too large: more than 65,535 pixels wide."},
        {"P6 99999999999999999999 2 255\n", "The picture is too large: more than 65,535 pixels wide."},
        {"P3 2 99999999999999999999999999999999 255 ", "The picture is too large: more than 65,535 pixels high."},
        {"P4 99999999999999999999 99999999999999999999\n", "The picture is too large: more than 65,535 pixels wide."},
        {"P5 000000000000000000000000000002 3 255\n", "The file ends before the picture data is complete: its pixels "
                                                       "need 6 bytes, 0 are left."},
    };
    for (const auto& c : cases) {
        const std::string error = decodeFailure([&] { decodeBytes(QByteArray(c.header)); });
        EXPECT_EQ(QString::fromStdString(error), c.message) << c.header;
    }
}

TEST(PnmDecoder, CorruptSamplesFailCleanly)
{
    const QStringList files = keptCorruptSamples(QStringLiteral("pnm"));
    EXPECT_FALSE(files.isEmpty());
    expectEachFailsCleanly(files, decodeFile);
}

} // namespace
