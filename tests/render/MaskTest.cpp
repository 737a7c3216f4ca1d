#include "TestSupport.h"

#include "formats/Picture.h"
#include "render/Compositing.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

// Plain mask step from a whole-photo coverage bitmap, straight from the formulas.
QImage referenceMask(const QImage& source, const Picture* picture, const PhotoSettings& s)
{
    QImage out = source.copy();
    if (s.Mask.isEmpty() && s.BorderWidth <= 0)
        return out;
    const int w = source.width();
    const int h = source.height();
    const int b = std::min(s.BorderWidth, std::min(w, h) / 2);
    QImage m(w, h, QImage::Format_RGB32);
    if (m.isNull())
        return out;
    m.fill(Qt::white);
    {
        QPainter painter(&m);
        const QRect inner(QPoint(b, b), QPoint(w - b - 1, h - b - 1));
        painter.fillRect(inner, Qt::black);
        if (picture && inner.isValid())
            picture->draw(painter, inner);
    }
    const int k[3] = {colorBlue(s.BackgroundColor), colorGreen(s.BackgroundColor), colorRed(s.BackgroundColor)};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb px = m.pixel(x, y);
            const int a = (qRed(px) + qGreen(px) + qBlue(px)) / 3;
            uint8_t* p = out.scanLine(y) + 3 * x;
            for (int c = 0; c < 3; ++c)
                p[c] = uint8_t(std::clamp(((255 - a) * p[c] + a * k[c]) / 255, 0, 255));
        }
    }
    return out;
}

// A white picture with a black ellipse filling it.
RasterPicture ellipseMask(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(QRect(0, 0, w, h));
    painter.end();
    return RasterPicture(image);
}

TEST(Mask, BorderOnly)
{
    struct Case {
        int border;
        int expectedWidth;
    };
    PhotoSettings s;
    s.BackgroundColor = 0x00336699; // red 0x99, green 0x66, blue 0x33
    for (const Case c : {Case{10, 10}, Case{1, 1}, Case{29, 29}, Case{30, 30}, Case{50, 30}}) {
        SCOPED_TRACE(testing::Message() << "border " << c.border);
        s.BorderWidth = c.border;
        const QImage source = randomBitmap(100, 60, 11);
        QImage photo = source;
        DoMask(photo, nullptr, s);
        const int b = c.expectedWidth;
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 100; ++x) {
                const bool border = x < b || x >= 100 - b || y < b || y >= 60 - b;
                ASSERT_EQ(rgbAt(photo, x, y), border ? 0x996633u : rgbAt(source, x, y)) << "at " << x << "," << y;
            }
        }
    }
}

TEST(Mask, NothingToDrawLeavesTheBitmapUntouched)
{
    struct Case {
        const char* name;
        QString mask;
        int border;
    };
    const RasterPicture ellipse = ellipseMask(10, 10);
    const Case cases[] = {
        {"no mask, no border", "", 0},
        {"no mask, negative border", "", -5},
        {"unreadable mask, no border", "/nowhere/mask.bmp", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PhotoSettings s;
        s.Mask = c.mask;
        s.BorderWidth = c.border;
        QImage photo = randomBitmap(50, 40, 2);
        const qint64 key = photo.cacheKey();
        // Without a stored path even a loaded picture is not drawn.
        DoMask(photo, c.mask.isEmpty() ? &ellipse : nullptr, s);
        EXPECT_EQ(photo.cacheKey(), key);
    }
}

TEST(Mask, EllipseShowsThePhotoInsideAndBackgroundInTheCorners)
{
    PhotoSettings s;
    s.Mask = "/masks/ellipse.png";
    s.BackgroundColor = 0x00102030;
    const RasterPicture mask = ellipseMask(60, 40);
    const QImage source = randomBitmap(200, 150, 8);
    QImage photo = source;
    DoMask(photo, &mask, s);
    for (const QPoint centre : {QPoint(100, 75), QPoint(80, 70), QPoint(120, 80)})
        EXPECT_EQ(rgbAt(photo, centre.x(), centre.y()), rgbAt(source, centre.x(), centre.y()));
    for (const QPoint corner : {QPoint(0, 0), QPoint(199, 0), QPoint(0, 149), QPoint(199, 149), QPoint(5, 5)})
        EXPECT_EQ(rgbAt(photo, corner.x(), corner.y()), 0x302010u);
}

TEST(Mask, MatchesReferenceOnRandomMasks)
{
    std::mt19937 rng(99);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 40; ++round) {
        PhotoSettings s;
        s.Mask = pick(0, 4) == 0 ? QString() : QString("/masks/m.png");
        s.BorderWidth = pick(0, 3) == 0 ? 0 : pick(-6, 40);
        s.BackgroundColor = TColor(rng()) & 0xFFFFFF;
        const int w = pick(1, 160);
        const int h = pick(1, 120);
        // Gray, colored (the three channels average) and one-pixel masks.
        QImage maskImage = randomBitmap(pick(1, 50), pick(1, 50), uint32_t(round + 1000));
        if (pick(0, 1) == 0)
            maskImage = maskImage.convertToFormat(QImage::Format_Grayscale8);
        const RasterPicture picture(maskImage);
        const bool withPicture = pick(0, 5) != 0;
        const QImage source = randomBitmap(w, h, uint32_t(round));
        QImage actual = source;
        DoMask(actual, withPicture ? &picture : nullptr, s);
        SCOPED_TRACE(testing::Message() << "round " << round << " size " << w << "x" << h << " border "
                                        << s.BorderWidth << " picture " << withPicture);
        ASSERT_EQ(bitmapDifference(referenceMask(source, withPicture ? &picture : nullptr, s), actual), "");
    }
}

TEST(Mask, LargePhotoDrawnInBandsMatchesReference)
{
    // Wide enough that the coverage is drawn in several bands.
    PhotoSettings s;
    s.Mask = "/masks/m.png";
    s.BorderWidth = 7;
    s.BackgroundColor = 0x00C0DCC0;
    const RasterPicture picture(randomBitmap(37, 23, 5));
    const RasterPicture ellipse = ellipseMask(300, 200);
    for (const Picture* p : {static_cast<const Picture*>(&picture), static_cast<const Picture*>(&ellipse)}) {
        const QImage source = randomBitmap(2100, 1300, 6);
        QImage actual = source;
        DoMask(actual, p, s);
        ASSERT_EQ(bitmapDifference(referenceMask(source, p, s), actual), "");
    }
}

TEST(Mask, TinyAndEmptyImages)
{
    PhotoSettings s;
    s.Mask = "/masks/m.png";
    s.BorderWidth = 3;
    const RasterPicture picture = ellipseMask(9, 9);
    for (const QSize size : {QSize(0, 0), QSize(0, 4), QSize(4, 0), QSize(1, 1), QSize(2, 2), QSize(2, 1),
                             QSize(3, 2)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        const QImage source = randomBitmap(size.width(), size.height(), 5);
        QImage actual = source;
        DoMask(actual, &picture, s);
        EXPECT_EQ(bitmapDifference(referenceMask(source, &picture, s), actual), "");
    }
}

TEST(Compositing, WatermarkIsHiddenUnderABorder)
{
    PhotoSettings s; // default watermark at the bottom left, 8 pixels from the edges
    s.BorderWidth = 20;
    const QImage source = randomBitmap(600, 450, 3);
    QImage marked = source;
    DoWatermark(marked, s);
    ASSERT_NE(bitmapDifference(source, marked), "");
    DoMask(marked, nullptr, s);
    QImage plain = source;
    DoMask(plain, nullptr, s);
    EXPECT_EQ(bitmapDifference(plain, marked), "");
}

} // namespace
