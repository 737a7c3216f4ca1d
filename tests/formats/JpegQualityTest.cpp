#include "TestSupport.h"

#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/JpegSizeLimit.h"
#include "formats/JpegWriter.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace {

// The plain libjpeg recipe, written out here: the library's defaults for three components,
// then the quality with baseline tables, into libjpeg's own memory destination.
QByteArray referenceEncode(const QImage& bgr, int quality)
{
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(bgr.width());
    info.image_height = JDIMENSION(bgr.height());
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(bgr.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

// Smooth shading under fine grain: a photo's kind of detail, which the quality trades.
QImage grainyPicture(int width, int height, uint32_t seed)
{
    QImage image(width, height, kBitmapFormat);
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image.scanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            state = state * 1664525u + 1013904223u;
            const int grain = int(state >> 28) - 8;
            p[0] = uint8_t(std::clamp(int(128 + 90 * std::sin(x * 0.04 + y * 0.01)) + grain, 0, 255));
            p[1] = uint8_t(std::clamp(40 + x * 150 / width + grain, 0, 255));
            p[2] = uint8_t(std::clamp(30 + y * 180 / height - grain, 0, 255));
        }
    }
    return image;
}

TEST(JpegQuality, EveryQualityIsThePlainLibraryRecipeByteForByteAndTheFileIsTheStream)
{
    const QString folder = freshFolder("jpeg-quality");
    const QImage picture = grainyPicture(97, 61, 5);
    for (int quality : {100, 99, 85, 50, 12, 1}) {
        const QByteArray expected = referenceEncode(picture, quality);
        EXPECT_EQ(encodeJpeg(picture, quality), expected) << quality;
        const QString path = folder + QStringLiteral("/q%1.jpg").arg(quality);
        writeJpeg(picture, path, quality);
        EXPECT_EQ(readFileBytes(path), expected) << quality;
    }
    // Without a quality, and out of range, the ends of 1..100.
    EXPECT_EQ(encodeJpeg(picture), referenceEncode(picture, 100));
    writeJpeg(picture, folder + "/default.jpg");
    EXPECT_EQ(readFileBytes(folder + "/default.jpg"), referenceEncode(picture, 100));
    EXPECT_EQ(encodeJpeg(picture, 250), referenceEncode(picture, 100));
    EXPECT_EQ(encodeJpeg(picture, 0), referenceEncode(picture, 1));
    EXPECT_EQ(encodeJpeg(picture, -7), referenceEncode(picture, 1));
}

TEST(JpegQuality, LowerQualitiesGiveSmallerFilesThatDecodeCloseToTheBitmap)
{
    const QString folder = freshFolder("jpeg-quality-decode");
    const QImage picture = grainyPicture(320, 200, 9);
    const struct {
        int quality;
        double maxMeanDifference;
    } cases[] = {{100, 3.5}, {90, 4.5}, {75, 5}, {50, 5}, {20, 6}, {1, 20}};
    qint64 previous = 0;
    for (const auto& c : cases) {
        const QByteArray jpeg = encodeJpeg(picture, c.quality);
        if (previous) {
            EXPECT_LT(jpeg.size(), previous) << c.quality;
        }
        previous = jpeg.size();
        const QString path = folder + QStringLiteral("/q%1.jpg").arg(c.quality);
        writeFileBytes(path, jpeg);
        const QImage decoded = toBgr888(loadPicture(path)->toImage());
        ASSERT_EQ(decoded.size(), picture.size()) << c.quality;
        EXPECT_LE(meanSampleDifference(decoded, picture), c.maxMeanDifference) << c.quality;
    }
}

TEST(JpegQuality, AnEmptyOrOversizedBitmapThrowsFromTheInMemoryEncoder)
{
    for (const QImage& bad : {QImage(), QImage(0, 5, kBitmapFormat), QImage(65501, 1, kBitmapFormat)})
        EXPECT_THROW(encodeJpeg(bad, 80), PictureError);
}

// The sizes at every quality of one picture, to check a search against.
std::vector<qint64> sizesAtEveryQuality(const QImage& picture)
{
    std::vector<qint64> sizes(101, 0);
    for (int q = 1; q <= 100; ++q)
        sizes[size_t(q)] = encodeJpeg(picture, q).size();
    return sizes;
}

TEST(JpegSizeLimit, TheChosenQualityFitsAndTheNextOneDoesNotForEveryLimit)
{
    const QImage picture = grainyPicture(120, 90, 11);
    const std::vector<qint64> size = sizesAtEveryQuality(picture);
    // Limits around every file size of the picture, for several photo qualities.
    for (int own : {100, 93, 64, 65, 33, 2, 1}) {
        std::vector<qint64> limits = {1, size[1] - 1, size[1], size[100] * 2};
        for (int q = 1; q <= own; q += 3)
            limits.insert(limits.end(), {size[size_t(q)] - 1, size[size_t(q)], size[size_t(q)] + 1});
        for (qint64 limit : limits) {
            SCOPED_TRACE(testing::Message() << "quality " << own << ", limit " << limit);
            const FittedJpeg fitted = *encodeJpegWithin(picture, own, limit);
            EXPECT_LE(fitted.encodes, kMaxJpegSearchEncodes);
            ASSERT_GE(fitted.quality, 1);
            ASSERT_LE(fitted.quality, own);
            EXPECT_EQ(fitted.bytes, encodeJpeg(picture, fitted.quality));
            if (!fitted.fits) {
                EXPECT_EQ(fitted.quality, 1);
                EXPECT_GT(size[1], limit);
                continue;
            }
            EXPECT_LE(size[size_t(fitted.quality)], limit);
            if (fitted.quality < own) {
                EXPECT_GT(size[size_t(fitted.quality) + 1], limit);
            }
        }
    }
}

TEST(JpegSizeLimit, WithoutALimitItIsOneCompressionAtThePhotosQuality)
{
    const QImage picture = grainyPicture(40, 30, 2);
    const struct {
        int quality;
        qint64 limit;
        int expected;
    } cases[] = {{85, 0, 85}, {100, -5, 100}, {0, 0, 1}, {300, 0, 100}};
    for (const auto& c : cases) {
        const FittedJpeg fitted = *encodeJpegWithin(picture, c.quality, c.limit);
        EXPECT_EQ(fitted.encodes, 1) << c.quality;
        EXPECT_EQ(fitted.quality, c.expected) << c.quality;
        EXPECT_TRUE(fitted.fits);
        EXPECT_EQ(fitted.bytes, encodeJpeg(picture, c.expected));
    }
}

TEST(JpegSizeLimit, APhotoWhoseOwnQualityFitsCostsAtMostThreeCompressionsAndStopGivesNothing)
{
    const QImage picture = grainyPicture(64, 64, 4);
    for (int own : {100, 90, 64, 20}) {
        const FittedJpeg fitted = *encodeJpegWithin(picture, own, qint64(1) << 30);
        EXPECT_EQ(fitted.quality, own);
        EXPECT_LE(fitted.encodes, own <= 64 ? 1 : 3) << own;
    }
    int asked = 0;
    EXPECT_FALSE(encodeJpegWithin(picture, 100, 1000, [&] { return ++asked > 2; }));
    EXPECT_EQ(asked, 3) << "stops before the third compression";
}

TEST(JpegSizeLimit, FileSizeTexts)
{
    const struct {
        qint64 bytes;
        const char* text;
    } cases[] = {{0, "About 1 KB"}, {511, "About 1 KB"}, {1535, "About 1 KB"}, {1536, "About 2 KB"},
                 {212 * 1024, "About 212 KB"}, {10 * 1024 * 1024, "About 10240 KB"}};
    for (const auto& c : cases)
        EXPECT_EQ(approximateFileSize(c.bytes), QString::fromLatin1(c.text)) << c.bytes;
    EXPECT_EQ(sizeLimitMissedMessage("/p/a.jpg", 2049, 1),
              "/p/a.jpg is 3 KB even at the lowest JPEG quality, over the limit of 1 KB; it was written at quality 1.");
}

} // namespace
