#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/JpegWriter.h"
#include "formats/Orientation.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include <jpeglib.h>

namespace {

TEST(JpegDecoder, CorpusFilesMatchTheirReferenceDecodes)
{
    SKIP_WITHOUT_CORPUS();
    // Damaged files fail instead of showing gray blocks where data is missing. The
    // reference of pillow_truncated_jpeg.jpg is such a partly gray decode.
    const std::set<QString> mustFail = {
        "gen_trunc60_im_baseline_420_q90.jpg", "gen_trunc60_im_progressive.jpeg", "pillow_truncated_jpeg.jpg",
        "imagers_oss-fuzz-36829.jpg", // entropy data cut short by a marker
        "libjpegturbo_monkey12.jpg",  // 12-bit precision: not an 8-bit JPEG
    };
    // Adobe CMYK: the plain ink formula truncates, the reference rounds at 16 bits.
    const std::map<QString, int> tolerance = {
        {"gen_im_cmyk.jpg", 1}, {"pillow_pil_sample_cmyk.jpg", 1}, {"pillow_pil_sample_cmyk.jpe", 1}};

    int compared = 0;
    for (const char* ext : {"jpg", "jpe", "jpeg", "jfif"}) {
        for (const QString& file : corpusFiles(ext)) {
            const QString name = QFileInfo(file).fileName();
            if (mustFail.count(name)) {
                EXPECT_THROW(loadPicture(file), PictureError) << name.toStdString();
                continue;
            }
            const QString reference = referenceFor(file);
            ASSERT_FALSE(reference.isEmpty()) << name.toStdString();
            const QImage actual = loadBitmap(file);
            const QImage expected = loadReference(reference);
            const int allowed = tolerance.count(name) ? tolerance.at(name) : 0;
            const int difference = maxChannelDifference(expected, actual);
            if (difference < 0 || difference > allowed)
                ADD_FAILURE() << name.toStdString() << ": " << bitmapDifference(expected, actual) << " (kept as "
                              << keepMismatch(file, actual).toStdString() << ")";
            ++compared;
        }
    }
    // Among them: EXIF orientations 2, 3 and 6 delivered as stored, progressive and
    // arithmetic coding, gray and RGB components, stray bytes before markers.
    EXPECT_GE(compared, 30);
}

TEST(JpegDecoder, AMissingEndMarkerAfterTheLastScanLosesNoPixel)
{
    const QString folder = freshFolder("jpeg-eoi");
    const QString whole = folder + "/whole.jpg";
    writeJpeg(randomBitmap(40, 24, 3), whole);
    QByteArray bytes = readFileBytes(whole);
    ASSERT_TRUE(bytes.endsWith("\xff\xd9"));
    bytes.chop(2);
    writeFileBytes(folder + "/cut.jpg", bytes);
    EXPECT_EQ(bitmapDifference(loadBitmap(whole), loadBitmap(folder + "/cut.jpg")), "");
}

// A four-component JPEG written with libjpeg at quality 100, with or without the Adobe
// marker: 24 x 8 pixels, three flat 8 x 8 blocks of the stored samples given. At quality
// 100 (every quantizer 1) a flat block keeps its samples exactly, so no tolerance is needed.
QByteArray cmykJpeg(const std::array<std::array<uint8_t, 4>, 3>& blocks, bool adobeMarker)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = 24;
    info.image_height = 8;
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, JCS_CMYK);
    jpeg_set_quality(&info, 100, TRUE);
    info.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row;
    for (int x = 0; x < 24; ++x)
        row.insert(row.end(), blocks[size_t(x / 8)].begin(), blocks[size_t(x / 8)].end());
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

// Without the Adobe marker the four samples are ink amounts (0 is no ink); with it they are
// stored inverted, as Adobe's writers do (255 is no ink). Each color is the plain ink formula
// (255 - ink) x (255 - black) / 255, truncated: inks 64, 128, 0 with black 51 give
// 191 x 204 / 255 = 152, 127 x 204 / 255 = 101 and 204; read as inverted they give
// 64 x 51 / 255 = 12, 128 x 51 / 255 = 25 and 0.
TEST(JpegDecoder, CmykInksAreInvertedOnlyUnderTheAdobeMarker)
{
    const std::array<std::array<uint8_t, 4>, 3> blocks = {{{0, 255, 255, 0}, {0, 0, 0, 0}, {64, 128, 0, 51}}};
    const struct {
        bool adobeMarker;
        uint32_t expected[3];
    } cases[] = {
        {false, {0xFF0000, 0xFFFFFF, 0x9865CC}},
        {true, {0x000000, 0x000000, 0x0C1900}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.adobeMarker ? "with the Adobe marker" : "without the Adobe marker");
        const QByteArray file = cmykJpeg(blocks, c.adobeMarker);
        const QImage image = decodeWith(decodeJpeg, file, QStringLiteral("cmyk.jpg"));
        ASSERT_EQ(image.size(), QSize(24, 8));
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 24; ++x)
                ASSERT_EQ(rgbAt(image, x, y), c.expected[x / 8]) << "at " << x << ", " << y;
        // Reduced to one pixel a block, each flat block keeps its color exactly.
        const auto* data = reinterpret_cast<const uint8_t*>(file.constData());
        const ScaledImage scaled =
            decodeJpegScaled(PictureFile{"cmyk.jpg", std::span<const uint8_t>(data, size_t(file.size()))}, QSize(3, 3));
        ASSERT_EQ(scaled.image.size(), QSize(3, 1));
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(rgbAt(toBgr888(scaled.image), x, 0), c.expected[x]) << "block " << x;
    }
}

// Turning while decoding gives the stored decode turned, for every kind of JPEG file (color,
// gray, CMYK, progressive, odd sizes, pictures shorter than a band of rows, and tall ones
// turned band by band on a second thread), and a file that
// fails fails with the same line.
TEST(JpegDecoder, AnUprightDecodeIsTheStoredDecodeTurned)
{
    SKIP_WITHOUT_CORPUS();
    // Besides the corpus, a picture tall enough for its bands to be turned on a second thread,
    // whole and cut short (the decode fails while bands are still being turned).
    const QString folder = freshFolder("upright-jpeg");
    writeJpeg(randomBitmap(301, 533, 7), folder + "/tall.jpg");
    const QByteArray tall = readFileBytes(folder + "/tall.jpg");
    QFile cut(folder + "/tall-cut.jpg");
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(tall.left(tall.size() * 3 / 5));
    cut.close();
    QStringList paths{folder + "/tall.jpg", cut.fileName()};
    for (const char* ext : {"jpg", "jpe", "jpeg", "jfif"})
        paths += corpusFiles(ext);
    int compared = 0;
    for (const QString& path : paths) {
        const QByteArray bytes = readFileBytes(path);
        const PictureFile file{path, spanOf(bytes)};
        std::optional<QImage> stored;
        std::string storedError;
        try {
            stored = decodeJpeg(file);
        } catch (const PictureError& error) {
            storedError = error.what();
        }
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(QFileInfo(path).fileName().toStdString() + ", orientation " + std::to_string(orientation));
            if (!stored) {
                try {
                    decodeJpegUpright(file, orientation);
                    ADD_FAILURE() << "decoded a file that fails as stored";
                } catch (const PictureError& error) {
                    EXPECT_EQ(std::string(error.what()), storedError);
                }
                continue;
            }
            const QImage turned = decodeJpegUpright(file, orientation);
            EXPECT_EQ(bitmapDifference(orientImage(*stored, orientation), turned), "");
        }
        compared += stored ? 1 : 0;
    }
    EXPECT_GE(compared, 31);
}

TEST(JpegDecoder, DecodesBytesFromAnyPlaceInMemory)
{
    SKIP_WITHOUT_CORPUS();
    const QByteArray file = readFileBytes(corpusDir() + "/jpg/libjpegturbo_testorig.jpg");
    const QByteArray padded = QByteArray(7, 'x') + file + QByteArray(5, 'y');
    const auto* data = reinterpret_cast<const uint8_t*>(padded.constData());
    const QImage inner = decodeJpeg(PictureFile{"inner.jpg", std::span<const uint8_t>(data + 7, size_t(file.size()))});
    EXPECT_EQ(bitmapDifference(loadBitmap(corpusDir() + "/jpg/libjpegturbo_testorig.jpg"), inner), "");
}

ScaledImage decodeScaledFile(const QString& path, QSize box)
{
    const std::optional<ScaledImage> scaled = FormatRegistry::standard().loadScaled(path, box);
    if (!scaled)
        throw PictureError("no reduced decode for " + path.toStdString());
    return *scaled;
}

// The smallest scale of 1/8 ... 8/8 whose output still holds the picture fitted into the
// box, sides rounded up; the header's size goes with it for the size label.
TEST(JpegScaledDecode, TakesTheSmallestScaleThatStillFillsTheBox)
{
    const struct {
        QSize picture, box, expected;
    } cases[] = {
        {{6000, 4000}, {180, 180}, {750, 500}},     // 1/8
        {{1441, 1000}, {180, 180}, {181, 125}},     // 1/8, rounded up
        {{1000, 200}, {180, 180}, {250, 50}},       // 2/8: 1/8 gives 125 < 180
        {{300, 200}, {180, 180}, {188, 125}},       // 5/8
        {{100, 80}, {180, 180}, {100, 80}},         // smaller than the box: unscaled
        {{6000, 4000}, {1600, 1600}, {2250, 1500}}, // 3/8: 2/8 gives 1500 < 1600
    };
    const QString folder = freshFolder("jpeg-scaled-size");
    for (const auto& c : cases) {
        const QString path = folder + QStringLiteral("/%1x%2.jpg").arg(c.picture.width()).arg(c.picture.height());
        if (!QFileInfo::exists(path))
            writeJpeg(solidBitmap(c.picture.width(), c.picture.height(), 90, 140, 200), path);
        const ScaledImage scaled = decodeScaledFile(path, c.box);
        EXPECT_EQ(scaled.image.size(), c.expected) << path.toStdString();
        EXPECT_EQ(scaled.pictureSize, c.picture) << path.toStdString();
    }
}

// Same checks, limits and messages: every damaged sample and corpus file fails or succeeds
// alike in the full and the reduced decode.
TEST(JpegScaledDecode, FailsAndSucceedsExactlyAsTheFullDecode)
{
    SKIP_WITHOUT_CORPUS();
    QStringList files = corpusFiles("jpg") + corpusFiles("jpeg");
    const QDir damaged(testDataDir() + "/corrupt/jpg");
    for (const QString& name : damaged.entryList(QDir::Files))
        files << damaged.filePath(name);
    int failures = 0;
    for (const QString& file : files) {
        QSize fullSize, scaledSize;
        const std::string full = decodeFailure([&] { fullSize = loadPicture(file)->toImage().size(); });
        EXPECT_EQ(decodeFailure([&] { scaledSize = decodeScaledFile(file, QSize(180, 180)).pictureSize; }), full);
        EXPECT_EQ(scaledSize, fullSize) << file.toStdString();
        failures += full != "(decoded)";
    }
    EXPECT_GE(failures, 8); // the damaged samples and the corpus files that must fail
}

} // namespace
