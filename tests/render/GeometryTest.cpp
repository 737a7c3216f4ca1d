#include "render/Geometry.h"

#include "formats/PictureError.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QPoint>

#include <cmath>
#include <map>

namespace {

// Pixels of a small bitmap as 0xRRGGBB, row by row.
std::vector<uint32_t> pixels(const QImage& image)
{
    std::vector<uint32_t> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            out.push_back(rgbAt(image, x, y));
    return out;
}

QImage fromPixels(int w, int h, const std::vector<uint32_t>& values)
{
    QImage image = solidBitmap(w, h, 0, 0, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t v = values[size_t(y * w + x)];
            uint8_t* p = image.scanLine(y) + 3 * x;
            p[0] = uint8_t(v);
            p[1] = uint8_t(v >> 8);
            p[2] = uint8_t(v >> 16);
        }
    return image;
}

struct CropCase {
    TRect crop;
    QSize image;
    QSize expectedSize;
    TRect stored;
};

TEST(DoCrop, IntersectsStoresAndCuts)
{
    const CropCase cases[] = {
        {{0, 0, 0, 0}, {640, 480}, {640, 480}, {0, 0, 0, 0}},
        {{-10, -10, 50, 40}, {100, 100}, {50, 40}, {0, 0, 50, 40}},
        {{200, 200, 300, 300}, {100, 100}, {100, 100}, {0, 0, 0, 0}},
        {{50, 10, 20, 90}, {100, 100}, {100, 100}, {0, 0, 0, 0}},
        {{10, 20, 10, 90}, {100, 100}, {100, 100}, {0, 0, 0, 0}},
        {{-50, -50, 500, 500}, {100, 80}, {100, 80}, {0, 0, 100, 80}},
        {{99, 79, 120, 90}, {100, 80}, {1, 1}, {99, 79, 100, 80}},
        {{100, 0, 120, 50}, {100, 80}, {100, 80}, {0, 0, 0, 0}},
        {{5, 5, 10, 10}, {0, 0}, {0, 0}, {0, 0, 0, 0}},
    };
    for (const CropCase& c : cases) {
        QImage bitmap = randomBitmap(c.image.width(), c.image.height(), 7);
        const QImage before = bitmap;
        PhotoSettings info;
        info.CropRect = c.crop;
        DoCrop(bitmap, info);
        EXPECT_EQ(bitmap.size(), c.expectedSize) << c.crop.Left << "," << c.crop.Top;
        EXPECT_EQ(info.CropRect, c.stored) << c.crop.Left << "," << c.crop.Top;
        if (c.expectedSize == c.image) {
            EXPECT_EQ(bitmap.constBits(), before.constBits()) << "an uncropped bitmap is left untouched";
        } else {
            for (int y = 0; y < bitmap.height(); ++y)
                for (int x = 0; x < bitmap.width(); ++x)
                    ASSERT_EQ(rgbAt(bitmap, x, y), rgbAt(before, x + c.stored.Left, y + c.stored.Top));
        }
    }
}

struct ResizeCase {
    int maxSize;
    bool keep;
    QSize from;
    QSize to;
};

TEST(DoResize, SizesRoundHalfToEven)
{
    const ResizeCase cases[] = {
        {600, true, {500, 300}, {500, 300}},
        {600, true, {600, 300}, {600, 300}},
        {600, true, {1200, 900}, {600, 450}},
        {600, false, {300, 200}, {600, 400}},
        {600, true, {200, 800}, {150, 600}},
        {600, true, {500, 500}, {500, 500}},
        {600, false, {500, 500}, {600, 600}},
        {100, true, {800, 500}, {100, 62}},
        {100, true, {800, 540}, {100, 68}},
        {100, true, {500, 900}, {56, 100}},
        {0, true, {40, 30}, {0, 0}},
        {600, true, {6000, 1}, {0, 0}}, // 600 x 0 has no pixels: an empty bitmap
    };
    for (const ResizeCase& c : cases) {
        QImage bitmap = randomBitmap(c.from.width(), c.from.height(), 3);
        PhotoSettings info;
        info.MaxSize = c.maxSize;
        info.KeepSize = c.keep;
        DoResize(bitmap, info);
        EXPECT_EQ(bitmap.width(), c.to.width()) << c.from.width() << "x" << c.from.height() << " to " << c.maxSize;
        EXPECT_EQ(bitmap.height(), c.to.height()) << c.from.width() << "x" << c.from.height() << " to " << c.maxSize;
    }
}

TEST(DoResize, SamplesWithoutAveraging)
{
    // Every destination pixel is one of the source pixels, found by its color (all colors of
    // the source differ), with row and column choices shared by all rows and columns, and
    // the chosen pixel is the one under the destination pixel's centre.
    const QImage source = randomBitmap(37, 23, 11);
    std::map<uint32_t, QPoint> placeOf;
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            placeOf.emplace(rgbAt(source, x, y), QPoint(x, y));
    ASSERT_EQ(placeOf.size(), size_t(37 * 23)) << "a color the source holds twice";
    for (const auto& [size, keep] : {std::pair{80, false}, {10, true}, {37, true}, {50, false}}) {
        QImage bitmap = source;
        PhotoSettings info;
        info.MaxSize = size;
        info.KeepSize = keep;
        DoResize(bitmap, info);
        const int w = bitmap.width();
        const int h = bitmap.height();
        std::vector<int> column(size_t(w), -1);
        std::vector<int> row(size_t(h), -1);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const auto found = placeOf.find(rgbAt(bitmap, x, y));
                ASSERT_NE(found, placeOf.end()) << size << ": a color the source does not hold at " << x << "," << y;
                const QPoint from = found->second;
                if (column[size_t(x)] < 0)
                    column[size_t(x)] = from.x();
                if (row[size_t(y)] < 0)
                    row[size_t(y)] = from.y();
                ASSERT_EQ(from, QPoint(column[size_t(x)], row[size_t(y)])) << size << " at " << x << "," << y;
            }
        }
        // Source pixel s spans [s, s + 1) in source units; the centre of destination pixel i
        // lies at (i + 0.5) x source / destination.
        for (int x = 0; x < w; ++x)
            EXPECT_TRUE(2 * column[size_t(x)] * w <= (2 * x + 1) * 37 && (2 * x + 1) * 37 < 2 * (column[size_t(x)] + 1) * w)
                << size << " column " << x << " takes " << column[size_t(x)];
        for (int y = 0; y < h; ++y)
            EXPECT_TRUE(2 * row[size_t(y)] * h <= (2 * y + 1) * 23 && (2 * y + 1) * 23 < 2 * (row[size_t(y)] + 1) * h)
                << size << " row " << y << " takes " << row[size_t(y)];
    }
}

TEST(DoResize, LeavesEmptyImagesAlone)
{
    for (const QSize size : {QSize(0, 0), QSize(0, 10), QSize(10, 0)}) {
        QImage bitmap(size, QImage::Format_BGR888);
        PhotoSettings info;
        info.KeepSize = false;
        DoResize(bitmap, info);
        EXPECT_TRUE(bitmap.isNull());
    }
}

// The rendered bitmap is held to the limits of a picture: a result beyond them is refused,
// naming its size, before anything is allocated, and the bitmap stays as it was.
TEST(DoResize, RefusesResultsOverThePictureLimits)
{
    const struct {
        QSize source;
        int maxSize;
        QSize expected;       // when within the limits
        const char* refused;  // the size named otherwise
    } cases[] = {
        {{1000, 1}, 65535, {65535, 66}, nullptr},
        {{1000, 1}, 65536, {}, "65536 x 66"},
        {{1, 1000}, 65536, {}, "66 x 65536"},
        {{1000, 1000}, 20001, {}, "20001 x 20001"},
        {{3, 2}, 2147483647, {}, "2147483647 x 1431655765"},
    };
    for (const auto& c : cases) {
        QImage bitmap = solidBitmap(c.source.width(), c.source.height(), 1, 2, 3);
        PhotoSettings info;
        info.MaxSize = c.maxSize;
        info.KeepSize = false;
        if (!c.refused) {
            DoResize(bitmap, info);
            EXPECT_EQ(bitmap.size(), c.expected);
            continue;
        }
        try {
            DoResize(bitmap, info);
            ADD_FAILURE() << c.refused << " was rendered";
        } catch (const PictureError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("The photo is too large to render at %1 pixels (at most 65535 pixels "
                                                  "a side and 400 megapixels).")
                                       .arg(QLatin1String(c.refused)));
        }
        EXPECT_EQ(bitmap.size(), c.source);
    }
}

TEST(DoRotate, QuarterTurnsMoveWholePixels)
{
    const uint32_t A = 0x010203, B = 0x040506, C = 0x070809, D = 0x0a0b0c, E = 0x0d0e0f, F = 0x101112;
    const struct {
        int rotation;
        QSize size;
        std::vector<uint32_t> expected;
    } cases[] = {
        {0, {3, 2}, {A, B, C, D, E, F}},
        {90, {2, 3}, {C, F, B, E, A, D}},
        {270, {2, 3}, {D, A, E, B, F, C}},
        {180, {3, 2}, {F, E, D, C, B, A}},
    };
    for (const auto& c : cases) {
        QImage bitmap = fromPixels(3, 2, {A, B, C, D, E, F});
        PhotoSettings info;
        info.Rotation = c.rotation;
        DoRotate(bitmap, info);
        EXPECT_EQ(bitmap.size(), c.size) << c.rotation;
        EXPECT_EQ(pixels(bitmap), c.expected) << c.rotation;
    }
}

TEST(DoRotate, MatchesPlainReferenceOnLargeOddImages)
{
    // Sizes that are not multiples of the tile exercise the tile edges.
    const QImage source = randomBitmap(101, 67, 5);
    for (int rotation : {90, 180, 270}) {
        QImage bitmap = source;
        PhotoSettings info;
        info.Rotation = rotation;
        DoRotate(bitmap, info);
        const int W2 = bitmap.width();
        const int H2 = bitmap.height();
        for (int y = 0; y < H2; ++y)
            for (int x = 0; x < W2; ++x) {
                const QPoint from = rotation == 90 ? QPoint(H2 - 1 - y, x)
                    : rotation == 180             ? QPoint(W2 - 1 - x, H2 - 1 - y)
                                                  : QPoint(y, W2 - 1 - x);
                ASSERT_EQ(rgbAt(bitmap, x, y), rgbAt(source, from.x(), from.y())) << rotation;
            }
    }
}

TEST(GeometrySteps, ZeroAndTinyImagesPassThrough)
{
    for (const QSize size : {QSize(0, 0), QSize(1, 1), QSize(2, 1), QSize(1, 2)}) {
        for (int rotation : {0, 90, 180, 270}) {
            QImage bitmap = size.isEmpty() ? QImage() : randomBitmap(size.width(), size.height(), 1);
            PhotoSettings info;
            info.CropRect = {0, 0, 1, 1};
            info.Rotation = rotation;
            info.KeepSize = false;
            info.MaxSize = 3;
            const uint32_t corner = bitmap.isNull() ? 0 : rgbAt(bitmap, 0, 0);
            DoCrop(bitmap, info);
            DoResize(bitmap, info);
            DoRotate(bitmap, info);
            // Nothing stays nothing; anything else is cut to its corner pixel, enlarged to 3 x 3.
            const QSize expected = size.isEmpty() ? QSize(0, 0) : QSize(3, 3);
            ASSERT_EQ(bitmap.size(), expected) << size.width() << "x" << size.height() << " turned " << rotation;
            EXPECT_EQ(pixelsOf(bitmap), std::vector<uint32_t>(size_t(expected.width() * expected.height()), corner));
        }
    }
}

} // namespace

#include "render/Tone.h"

namespace {

TEST(DoCrop, LaterStepsNeverWriteIntoTheUncroppedBitmap)
{
    const QImage source = randomBitmap(40, 30, 9);
    const QImage pristine = source.copy();
    QImage bitmap = source;
    PhotoSettings info;
    info.CropRect = {5, 6, 25, 26};
    info.Negative = true;
    DoCrop(bitmap, info);
    DoColorBalance(bitmap, info);
    EXPECT_EQ(bitmapDifference(pristine, source), "");
    EXPECT_EQ(rgbAt(bitmap, 0, 0), 0xFFFFFFu - rgbAt(source, 5, 6));
}

} // namespace
