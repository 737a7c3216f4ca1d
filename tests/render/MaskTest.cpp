#include "TestSupport.h"

#include "formats/Picture.h"
#include "render/Compositing.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

// A picture that is not raster: draws a gray antialiased ellipse into its target.
class EllipsePicture final : public Picture {
public:
    int width() const override { return 40; }
    int height() const override { return 30; }
    void draw(QPainter& painter, const QRect& target) const override
    {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(200, 120, 40));
        painter.drawEllipse(target);
        painter.restore();
    }
    QImage toImage() const override { return {}; }
};

// Plain mask step from a whole-photo coverage bitmap, straight from the formulas. A raster
// picture is stretched by taking, for every target pixel, the picture pixel under its centre.
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
    const QRect inner(QPoint(b, b), QPoint(w - b - 1, h - b - 1));
    {
        QPainter painter(&m);
        painter.fillRect(inner, Qt::black);
        if (picture && inner.isValid() && !dynamic_cast<const RasterPicture*>(picture))
            picture->draw(painter, inner);
    }
    if (const auto* raster = dynamic_cast<const RasterPicture*>(picture); raster && inner.isValid()) {
        const QImage image = raster->image().convertToFormat(QImage::Format_RGB32);
        for (int y = std::max(inner.top(), 0); y <= std::min(inner.bottom(), h - 1); ++y) {
            for (int x = std::max(inner.left(), 0); x <= std::min(inner.right(), w - 1); ++x) {
                const int sx = int(std::floor((x - inner.left() + 0.5) * image.width() / inner.width()));
                const int sy = int(std::floor((y - inner.top() + 0.5) * image.height() / inner.height()));
                m.setPixel(x, y, image.pixel(sx, sy));
            }
        }
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

TEST(Mask, RasterMaskTakesThePixelUnderEachCentre)
{
    struct Case {
        std::vector<int> mask; // gray levels of a one-row mask
        int photoWidth;
        const char* expected; // per column: p = photo, k = background
    };
    const Case cases[] = {
        {{0, 255}, 10, "pppppkkkkk"},
        {{0, 255, 0}, 7, "ppkkkpp"},
        {{255, 0, 0, 255}, 2, "pk"},   // shrunk: columns take mask pixels 1 and 3
        {{0, 0, 255, 0, 0}, 5, "ppkpp"},
    };
    PhotoSettings s;
    s.Mask = "/masks/stripes.png";
    s.BackgroundColor = 0x00010203;
    for (const Case& c : cases) {
        QImage maskImage(int(c.mask.size()), 1, QImage::Format_Grayscale8);
        for (size_t i = 0; i < c.mask.size(); ++i)
            maskImage.scanLine(0)[i] = uint8_t(c.mask[i]);
        const RasterPicture picture(maskImage);
        const QImage source = randomBitmap(c.photoWidth, 3, 4);
        QImage photo = source;
        DoMask(photo, &picture, s);
        std::string columns;
        for (int x = 0; x < c.photoWidth; ++x) {
            const bool kept = rgbAt(photo, x, 1) == rgbAt(source, x, 1);
            const bool background = rgbAt(photo, x, 1) == 0x030201u;
            columns += kept ? 'p' : background ? 'k' : '?';
        }
        EXPECT_EQ(columns, c.expected);
    }
}

TEST(Mask, MatchesReferenceOnRandomMasks)
{
    std::mt19937 rng(99);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 80; ++round) {
        PhotoSettings s;
        s.Mask = pick(0, 4) == 0 ? QString() : QString("/masks/m.png");
        s.BorderWidth = pick(0, 3) == 0 ? 0 : pick(-6, 40);
        s.BackgroundColor = TColor(rng()) & 0xFFFFFF;
        const int w = pick(1, 160);
        const int h = pick(1, 120);
        // Gray and colored (the three channels average) masks of every usual pixel format,
        // one pixel up to larger than the photo.
        QImage maskImage = randomBitmap(pick(1, 50), pick(1, 50), uint32_t(round + 1000));
        const QImage::Format formats[] = {QImage::Format_BGR888, QImage::Format_Grayscale8, QImage::Format_RGB32,
                                          QImage::Format_ARGB32, QImage::Format_Indexed8};
        const QImage::Format format = formats[size_t(pick(0, 4))];
        if (format == QImage::Format_ARGB32) {
            maskImage = maskImage.convertToFormat(format);
            for (int y = 0; y < maskImage.height(); ++y)
                for (int x = 0; x < maskImage.width(); ++x)
                    maskImage.setPixel(x, y, (maskImage.pixel(x, y) & 0xFFFFFF) | (rng() << 24));
        } else if (format != QImage::Format_BGR888) {
            maskImage = maskImage.convertToFormat(format);
        }
        const RasterPicture raster(maskImage);
        const EllipsePicture drawn;
        const int kind = pick(0, 5); // 0: none, 1: drawn, else raster
        const Picture* picture = kind == 0 ? nullptr : kind == 1 ? static_cast<const Picture*>(&drawn) : &raster;
        const QImage source = randomBitmap(w, h, uint32_t(round));
        QImage actual = source;
        DoMask(actual, picture, s);
        SCOPED_TRACE(testing::Message() << "round " << round << " size " << w << "x" << h << " border "
                                        << s.BorderWidth << " picture " << kind << " format " << format);
        ASSERT_EQ(bitmapDifference(referenceMask(source, picture, s), actual), "");
    }
}

TEST(Mask, LargePhotoMatchesReference)
{
    // A photo of a few megapixels with a picture that is scaled up and one scaled down.
    PhotoSettings s;
    s.Mask = "/masks/m.png";
    s.BorderWidth = 7;
    s.BackgroundColor = 0x00C0DCC0;
    const RasterPicture picture(randomBitmap(37, 23, 5));
    const RasterPicture ellipse = ellipseMask(3000, 2000);
    const EllipsePicture drawn;
    for (const Picture* p : {static_cast<const Picture*>(&picture), static_cast<const Picture*>(&ellipse),
                             static_cast<const Picture*>(&drawn)}) {
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
