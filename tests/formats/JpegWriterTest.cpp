#include "TestSupport.h"

#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/JpegWriter.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cmath>
#include <vector>

namespace {

struct Segment {
    uint8_t marker;
    QByteArray body; // without marker and length
};

// The marker segments before the first scan.
std::vector<Segment> headerSegments(const QByteArray& jpeg)
{
    std::vector<Segment> segments;
    int pos = 2; // after SOI
    while (pos + 4 <= jpeg.size() && uint8_t(jpeg[pos]) == 0xff) {
        const uint8_t marker = uint8_t(jpeg[pos + 1]);
        const int length = (uint8_t(jpeg[pos + 2]) << 8) | uint8_t(jpeg[pos + 3]);
        segments.push_back({marker, jpeg.mid(pos + 4, length - 2)});
        if (marker == 0xda)
            break;
        pos += 2 + length;
    }
    return segments;
}

// A smooth, photo-like picture: what quality 100 is meant for.
QImage smoothPicture(int width, int height)
{
    QImage image(width, height, kBitmapFormat);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image.scanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            p[0] = uint8_t(128 + 100 * std::sin(x * 0.05));
            p[1] = uint8_t(40 + x / 4);
            p[2] = uint8_t(30 + y / 3);
        }
    }
    return image;
}

TEST(JpegWriter, WritesBaselineJfifWithDefaultSubsamplingAndQuality100Tables)
{
    const QString path = freshFolder("jpeg-writer") + "/out.jpg";
    writeJpeg(smoothPicture(33, 17), path);
    const QByteArray jpeg = readFileBytes(path);
    ASSERT_TRUE(jpeg.startsWith("\xff\xd8"));
    ASSERT_TRUE(jpeg.endsWith("\xff\xd9"));

    int quantTables = 0;
    bool jfif = false, baseline = false;
    for (const Segment& s : headerSegments(jpeg)) {
        EXPECT_NE(s.marker, 0xc2) << "progressive";
        if (s.marker == 0xe0)
            jfif = s.body.startsWith(QByteArray("JFIF\0", 5));
        if (s.marker == 0xdb) {
            // Each table: precision/id byte, then 64 entries of 8 bits (precision 0).
            for (int pos = 0; pos < s.body.size(); pos += 65, ++quantTables) {
                EXPECT_EQ(uint8_t(s.body[pos]) >> 4, 0);
                for (int i = 1; i <= 64; ++i)
                    EXPECT_EQ(uint8_t(s.body[pos + i]), 1);
            }
        }
        if (s.marker == 0xc0) {
            baseline = true;
            EXPECT_EQ(uint8_t(s.body[0]), 8);
            EXPECT_EQ((uint8_t(s.body[1]) << 8) | uint8_t(s.body[2]), 17);
            EXPECT_EQ((uint8_t(s.body[3]) << 8) | uint8_t(s.body[4]), 33);
            ASSERT_EQ(uint8_t(s.body[5]), 3);
            const uint8_t sampling[3] = {0x22, 0x11, 0x11};
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(uint8_t(s.body[6 + 3 * c + 1]), sampling[c]) << c;
        }
    }
    EXPECT_TRUE(jfif);
    EXPECT_TRUE(baseline);
    EXPECT_EQ(quantTables, 2);
}

TEST(JpegWriter, DecodesBackWithinTheErrorOfQuality100)
{
    const QString folder = freshFolder("jpeg-writer-round");
    const struct {
        const char* what;
        QImage picture;
        int maxError;
    } cases[] = {
        {"smooth 640x480", smoothPicture(640, 480), 6},
        {"odd size 17x9", smoothPicture(17, 9), 6},
        {"one pixel", solidBitmap(1, 1, 200, 30, 90), 2},
        {"solid color", solidBitmap(48, 32, 12, 250, 128), 2},
        {"alpha dropped before writing", solidBitmap(8, 8, 40, 80, 120).convertToFormat(QImage::Format_ARGB32), 2},
    };
    for (const auto& c : cases) {
        const QString path = folder + "/round.jpg";
        writeJpeg(c.picture, path);
        const QImage original = toBgr888(c.picture);
        const QImage decoded = toBgr888(loadPicture(path)->toImage());
        ASSERT_EQ(decoded.size(), original.size()) << c.what;
        int worst = 0;
        double sum = 0;
        for (int y = 0; y < original.height(); ++y) {
            for (int x = 0; x < original.width() * 3; ++x) {
                const int d = std::abs(original.constScanLine(y)[x] - decoded.constScanLine(y)[x]);
                worst = std::max(worst, d);
                sum += d;
            }
        }
        EXPECT_LE(worst, c.maxError) << c.what;
        EXPECT_LT(sum / (3.0 * original.width() * original.height()), 1.0) << c.what;
    }
}

TEST(JpegWriter, FailuresNameTheFileAndLeaveItsOldContent)
{
    const QString folder = freshFolder("jpeg-writer-fail");
    const QString existing = folder + "/keep.jpg";
    writeFileBytes(existing, "old content");
    const struct {
        const char* what;
        QImage picture;
        QString path;
    } cases[] = {
        {"empty bitmap", QImage(), existing},
        {"0 x 0 bitmap", QImage(0, 0, kBitmapFormat), existing},
        {"missing folder", solidBitmap(4, 4, 1, 2, 3), folder + "/no/such/folder/out.jpg"},
        {"wider than a JPEG holds", solidBitmap(65501, 1, 1, 2, 3), existing},
        {"higher than a JPEG holds", solidBitmap(1, 65501, 1, 2, 3), existing},
    };
    for (const auto& c : cases) {
        try {
            writeJpeg(c.picture, c.path);
            ADD_FAILURE() << c.what << " written";
        } catch (const PictureError& e) {
            EXPECT_TRUE(e.message().startsWith("Unable to write to " + c.path + ": ")) << e.what();
        }
    }
    EXPECT_EQ(readFileBytes(existing), QByteArray("old content"));
    EXPECT_FALSE(QFile::exists(folder + "/no"));

    try {
        writeJpeg(solidBitmap(65501, 2, 1, 2, 3), existing);
        ADD_FAILURE() << "written";
    } catch (const PictureError& e) {
        EXPECT_EQ(e.message(), "Unable to write to " + existing
                                   + ": a JPEG file holds at most 65500 pixels a side, and the picture is 65501 x 2");
    }
    writeJpeg(solidBitmap(65500, 2, 1, 2, 3), existing);
    EXPECT_EQ(QImage(existing, "JPG").size(), QSize(65500, 2));
}

} // namespace
