#include "TestSupport.h"

#include "render/Compositing.h"
#include "render/WatermarkFont.h"

#include <QFontInfo>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

// The whole-photo coverage bitmap: the text drawn white on black at its place.
QImage fullCoverage(const QSize& size, const PhotoSettings& s)
{
    QImage t(size, QImage::Format_RGB32);
    t.fill(Qt::black);
    if (t.isNull())
        return t;
    const QFont font = watermarkFont(s.Font);
    const QSize text = watermarkTextSize(font, s.Watermark);
    QPainter painter(&t);
    drawWatermarkText(painter, font, s.Watermark,
                      watermarkOrigin(size.width(), size.height(), text.width(), text.height(), s));
    return t;
}

// Plain per-pixel blend of the photo toward the font color, from a whole-photo coverage.
QImage referenceWatermark(const QImage& source, const PhotoSettings& s)
{
    QImage out = source.copy();
    if (s.Watermark.isEmpty())
        return out;
    const QImage t = fullCoverage(source.size(), s);
    const int64_t f[3] = {colorBlue(s.Font.Color), colorGreen(s.Font.Color), colorRed(s.Font.Color)};
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const QRgb px = t.pixel(x, y);
            int64_t a = (qRed(px) + qGreen(px) + qBlue(px)) / 3;
            a = a * (255 - int64_t(s.Opacity)) / 255;
            uint8_t* p = out.scanLine(y) + 3 * x;
            for (int c = 0; c < 3; ++c)
                p[c] = uint8_t(std::clamp<int64_t>(((255 - a) * p[c] + a * f[c]) / 255, 0, 255));
        }
    }
    return out;
}

// Bounding box of the pixels that differ between two bitmaps of one size.
QRect changedBox(const QImage& before, const QImage& after)
{
    QRect box;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (rgbAt(before, x, y) != rgbAt(after, x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(WatermarkFont, PointsBecomePixelsThroughTheResolution)
{
    struct Case {
        int points;
        qreal dpi;
        int pixels;
    };
    const Case cases[] = {
        {10, 96, 13}, {12, 96, 16}, {9, 96, 12}, {10, 120, 17}, {72, 96, 96},
        {3, 60, 2},  // 2.5: ties go to the even neighbour
        {9, 60, 8},  // 7.5
        {0, 96, 1}, {-4, 96, 1}, {1000000, 96, 32767},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fontPixelSize(c.points, c.dpi), c.pixels) << c.points << " pt at " << c.dpi;
    EXPECT_EQ(watermarkDpi(), 96); // the offscreen screen of the tests
}

TEST(WatermarkFont, FaceSizeAndStyles)
{
    TFont f;
    QFont font = watermarkFont(f, 96);
    EXPECT_EQ(font.pixelSize(), 13);
    EXPECT_TRUE(font.bold());
    EXPECT_FALSE(font.italic() || font.underline() || font.strikeOut());
    EXPECT_EQ(QFontInfo(font).family(), "Liberation Sans");
    EXPECT_TRUE(font.styleStrategy() & QFont::NoSubpixelAntialias);

    f.Style = fsItalic | fsUnderline | fsStrikeOut;
    font = watermarkFont(f, 96);
    EXPECT_FALSE(font.bold());
    EXPECT_TRUE(font.italic() && font.underline() && font.strikeOut());
}

TEST(WatermarkFont, MissingFaceFallsBackAndStillDraws)
{
    PhotoSettings s;
    s.Font.Name = "No Such Face Anywhere";
    s.Opacity = 0;
    const QFontInfo info(watermarkFont(s.Font, 96));
    EXPECT_FALSE(info.family().isEmpty());
    QImage photo = solidBitmap(200, 60, 0, 0, 0);
    DoWatermark(photo, s);
    EXPECT_FALSE(changedBox(solidBitmap(200, 60, 0, 0, 0), photo).isEmpty());
}

TEST(WatermarkLayout, AnchorsMarginsAndCentring)
{
    struct Case {
        int position;
        QPoint expected;
    };
    // A 100 x 16 text on a 301 x 200 photo with margins 8 and 5.
    const Case cases[] = {
        {0, {8, 5}},     {1, {100, 5}},   {2, {193, 5}},   {3, {8, 92}},  {4, {100, 92}},
        {5, {193, 92}},  {6, {8, 179}},   {7, {100, 179}}, {8, {193, 179}},
        {9, {100, 92}},  {-1, {100, 92}}, {12, {100, 92}},
    };
    PhotoSettings s;
    s.MarginX = 8;
    s.MarginY = 5;
    for (const Case& c : cases) {
        s.Position = c.position;
        EXPECT_EQ(watermarkOrigin(301, 200, 100, 16, s), c.expected) << "position " << c.position;
    }
    // Centring a text wider than the photo truncates toward zero: -9 div 2 is -4.
    s.Position = 4;
    EXPECT_EQ(watermarkOrigin(301, 200, 310, 209, s), QPoint(-4, -4));
    // Margins larger than the photo push the text out of it.
    s.Position = 8;
    s.MarginX = 9999;
    s.MarginY = -9999;
    EXPECT_EQ(watermarkOrigin(301, 200, 100, 16, s), QPoint(301 - 100 - 9999, 200 - 16 + 9999));
}

TEST(Watermark, DefaultTextSitsAtTheBottomLeft)
{
    const PhotoSettings s;
    const QImage before = solidBitmap(600, 450, 0, 0, 0);
    QImage photo = before;
    DoWatermark(photo, s);
    const QRect ink = changedBox(before, photo);
    const QSize text = watermarkTextSize(watermarkFont(s.Font), s.Watermark);
    ASSERT_FALSE(ink.isEmpty());
    // The text starts at column 8 (the L's stem within a pixel of it) and its line box,
    // ascent plus descent high, ends 8 pixels above the bottom edge.
    EXPECT_GE(ink.left(), 8);
    EXPECT_LE(ink.left(), 9);
    EXPECT_LE(ink.bottom(), 450 - 8 - 1);
    EXPECT_GE(ink.top(), 450 - 8 - text.height());
    EXPECT_LE(ink.right(), 8 + text.width());
    EXPECT_GT(ink.width(), text.width() - 4);
}

TEST(Watermark, RightAnchorEndsAtTheMargin)
{
    PhotoSettings s;
    s.Position = 2;
    const QImage before = solidBitmap(400, 100, 0, 0, 0);
    QImage photo = before;
    DoWatermark(photo, s);
    const QRect ink = changedBox(before, photo);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_LE(ink.right(), 400 - 8 - 1);
    EXPECT_GE(ink.right(), 400 - 8 - 3); // the m's right bearing
    EXPECT_GE(ink.top(), 8);
}

TEST(Watermark, OpacityWeightsAFullyCoveredPixel)
{
    struct Case {
        int opacity;
        int expected;
    };
    PhotoSettings s;
    s.Watermark = "H";
    s.Font.Size = 72;
    s.Font.Color = clWhite;
    s.Position = 0;
    const QImage t = fullCoverage(QSize(120, 120), s);
    QPoint full(-1, -1);
    for (int y = 0; y < t.height() && full.x() < 0; ++y)
        for (int x = 0; x < t.width() && full.x() < 0; ++x)
            if (t.pixel(x, y) == qRgb(255, 255, 255))
                full = QPoint(x, y);
    ASSERT_GE(full.x(), 0) << "no fully covered pixel";

    for (const Case c : {Case{128, 127}, Case{0, 255}, Case{255, 0}, Case{1, 254}}) {
        s.Opacity = c.opacity;
        QImage photo = solidBitmap(120, 120, 0, 0, 0);
        DoWatermark(photo, s);
        EXPECT_EQ(rgbAt(photo, full.x(), full.y()), uint32_t(c.expected * 0x010101)) << "opacity " << c.opacity;
    }
}

TEST(Watermark, EmptyTextOrFullOpacityLeavesTheBitmapUntouched)
{
    PhotoSettings s;
    for (const auto& set : {+[](PhotoSettings& p) { p.Watermark.clear(); },
                            +[](PhotoSettings& p) { p.Opacity = 255; }}) {
        PhotoSettings settings = s;
        set(settings);
        QImage photo = randomBitmap(300, 200, 1);
        const qint64 key = photo.cacheKey();
        DoWatermark(photo, settings);
        EXPECT_EQ(photo.cacheKey(), key);
    }
}

TEST(Watermark, MatchesReferenceOnRandomSettings)
{
    std::mt19937 rng(2024);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const QString texts[] = {"Lumatrim", "fjord Ägypten", "(c) 2024 — Wally", "W", "  spaced  ", "jjj///"};
    const QString faces[] = {"Arial", "DejaVu Serif", "Not Installed"};
    for (int round = 0; round < 60; ++round) {
        PhotoSettings s;
        s.Watermark = texts[size_t(pick(0, 5))];
        s.Font.Name = faces[size_t(pick(0, 2))];
        s.Font.Size = pick(0, 3) == 0 ? pick(1, 60) : pick(6, 16);
        s.Font.Style = TFontStyles(pick(0, 15));
        s.Font.Color = TColor(rng()) & 0xFFFFFF;
        s.Opacity = pick(0, 5) == 0 ? pick(-300, 600) : pick(0, 255);
        s.Position = pick(-1, 9);
        s.MarginX = pick(-40, 120);
        s.MarginY = pick(-40, 80);
        const QImage source = randomBitmap(pick(1, 260), pick(1, 90), uint32_t(round));
        QImage actual = source;
        DoWatermark(actual, s);
        SCOPED_TRACE(testing::Message() << "round " << round << " size " << source.width() << "x" << source.height()
                                        << " position " << s.Position << " font " << s.Font.Size << " style "
                                        << int(s.Font.Style) << " opacity " << s.Opacity);
        ASSERT_EQ(bitmapDifference(referenceWatermark(source, s), actual), "");
    }
}

TEST(Watermark, TinyAndEmptyImages)
{
    PhotoSettings s;
    s.Position = 4;
    s.Opacity = 0;
    for (const QSize size : {QSize(0, 0), QSize(0, 4), QSize(4, 0), QSize(1, 1), QSize(2, 2), QSize(2, 1)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        const QImage source = randomBitmap(size.width(), size.height(), 5);
        QImage actual = source;
        DoWatermark(actual, s);
        EXPECT_EQ(bitmapDifference(referenceWatermark(source, s), actual), "");
    }
}

} // namespace
