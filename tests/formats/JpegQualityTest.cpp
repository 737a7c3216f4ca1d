#include "TestSupport.h"

#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/JpegSizeLimit.h"
#include "formats/JpegWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
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
    for (JSAMPROW row; info.next_scanline < info.image_height; jpeg_write_scanlines(&info, &row, 1))
        row = const_cast<JSAMPROW>(bgr.constScanLine(int(info.next_scanline)));
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

TEST(JpegQuality, EachQualityIsThePlainLibraryRecipeByteForByteInMemoryAndInTheFile)
{
    const QString path = freshFolder("jpeg-quality") + "/out.jpg";
    const QImage picture = randomBitmap(97, 61, 5);
    // {asked, written}: out of range goes to the nearest end; 100 is also the default.
    const int cases[][2] = {{100, 100}, {99, 99}, {85, 85}, {12, 12}, {1, 1}, {250, 100}, {0, 1}, {-7, 1}};
    for (const auto& [asked, written] : cases) {
        const QByteArray expected = referenceEncode(picture, written);
        EXPECT_EQ(encodeJpeg(picture, asked), expected) << asked;
        writeJpeg(picture, path, asked);
        EXPECT_EQ(readFileBytes(path), expected) << asked;
    }
    writeJpeg(picture, path);
    EXPECT_EQ(readFileBytes(path), referenceEncode(picture, 100));
}

TEST(JpegQuality, LowerQualitiesGiveSmallerFilesThatDecodeCloseToTheBitmap)
{
    const QString path = freshFolder("jpeg-quality-decode") + "/q.jpg";
    const QImage picture = randomBitmap(320, 200, 9).scaled(640, 400); // blocks of 2 x 2
    qint64 previous = std::numeric_limits<qint64>::max();
    double previousDifference = 0;
    for (int quality : {100, 90, 75, 50, 20, 1}) {
        const QByteArray jpeg = encodeJpeg(picture, quality);
        EXPECT_LT(jpeg.size(), previous) << quality;
        previous = jpeg.size();
        writeFileBytes(path, jpeg);
        const QImage decoded = toBgr888(loadPicture(path)->toImage());
        ASSERT_EQ(decoded.size(), picture.size()) << quality;
        const double difference = meanSampleDifference(decoded, picture);
        EXPECT_GE(difference, previousDifference) << quality;
        EXPECT_LE(difference, quality >= 50 ? 40 : 80) << quality;
        previousDifference = difference;
    }
}

// Against the sizes at every quality: for limits around each of them and several photo
// qualities, the chosen quality fits and the next one (unless it is the photo's) does not.
TEST(JpegSizeLimit, TheChosenQualityFitsAndTheNextOneDoesNotForEveryLimit)
{
    const QImage picture = randomBitmap(60, 45, 11).scaled(120, 90);
    std::vector<qint64> size(101, 0);
    for (int q = 1; q <= 100; ++q)
        size[size_t(q)] = encodeJpeg(picture, q).size();
    for (int own : {100, 93, 65, 64, 33, 2, 1}) {
        std::vector<qint64> limits = {1, size[1] - 1, size[100] * 2};
        for (int q = 1; q <= own; q += 3)
            limits.insert(limits.end(), {size[size_t(q)] - 1, size[size_t(q)], size[size_t(q)] + 1});
        for (qint64 limit : limits) {
            SCOPED_TRACE(testing::Message() << "quality " << own << ", limit " << limit);
            const FittedJpeg fitted = *encodeJpegWithin(picture, own, limit);
            EXPECT_LE(fitted.encodes, kMaxJpegSearchEncodes);
            ASSERT_TRUE(fitted.quality >= 1 && fitted.quality <= own);
            EXPECT_EQ(fitted.bytes, encodeJpeg(picture, fitted.quality));
            EXPECT_EQ(fitted.fits, size[size_t(fitted.quality)] <= limit);
            EXPECT_TRUE(fitted.fits || fitted.quality == 1);
            EXPECT_TRUE(!fitted.fits || fitted.quality == own || size[size_t(fitted.quality) + 1] > limit);
        }
    }
    // No limit: one compression at the photo's quality; a fitting one costs at most three.
    EXPECT_EQ(encodeJpegWithin(picture, 85, 0)->encodes, 1);
    EXPECT_EQ(encodeJpegWithin(picture, 85, -5)->bytes, encodeJpeg(picture, 85));
    EXPECT_LE(encodeJpegWithin(picture, 100, size[100])->encodes, 3);
    int asked = 0;
    EXPECT_FALSE(encodeJpegWithin(picture, 100, 1, [&] { return ++asked > 2; }));
    EXPECT_EQ(asked, 3) << "stops before the third compression";
}

TEST(JpegSizeLimit, SizesAreShownInWholeKilobytes)
{
    const std::pair<qint64, const char*> cases[] = {
        {0, "About 1 KB"}, {1535, "About 1 KB"}, {1536, "About 2 KB"}, {212 * 1024, "About 212 KB"}};
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(approximateFileSize(bytes), QString::fromLatin1(text)) << bytes;
    EXPECT_EQ(sizeLimitMissedMessage("/p/a.jpg", 2049, 1),
              "/p/a.jpg is 3 KB even at the lowest JPEG quality, over the limit of 1 KB; it was written at quality 1.");
}

} // namespace
