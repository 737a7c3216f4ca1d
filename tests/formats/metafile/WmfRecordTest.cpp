// WMF records written byte by byte and checked pixel by pixel.
#include "formats/Decoders.h"
#include "formats/PictureError.h"

#include "DecoderChecks.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace {

// Record functions used below.
enum : uint16_t {
    SaveDc = 0x001E,
    SetBkMode = 0x0102,
    SetPolyFillMode = 0x0106,
    RestoreDc = 0x0127,
    SelectObject = 0x012D,
    SetTextAlign = 0x012E,
    DeleteObject = 0x01F0,
    SetBkColor = 0x0201,
    SetTextColor = 0x0209,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    LineTo = 0x0213,
    MoveTo = 0x0214,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    Polygon = 0x0324,
    Ellipse = 0x0418,
    Rectangle = 0x041B,
    TextOut = 0x0521,
    PolyPolygon = 0x0538,
    Pie = 0x081A,
    StretchDib = 0x0F43,
    DibBitBlt = 0x0940,
    DibStretchBlt = 0x0B41,
};

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

// A metafile assembled record by record; parameters are 16-bit words as stored.
class WmfBuilder {
public:
    // A placeable header with bounds (logical units) at unitsPerInch; without it, a plain file.
    WmfBuilder& placeable(int left, int top, int right, int bottom, int unitsPerInch)
    {
        placeable_ = {left, top, right, bottom, unitsPerInch};
        return *this;
    }
    WmfBuilder& record(uint16_t function, std::initializer_list<int> words)
    {
        return record(function, std::vector<int>(words));
    }
    WmfBuilder& record(uint16_t function, const std::vector<int>& words)
    {
        QByteArray r;
        put32(r, uint32_t(3 + words.size()));
        put16(r, function);
        for (int w : words)
            put16(r, uint16_t(w));
        records_ += r;
        return *this;
    }
    // A record with raw parameter bytes (padded to whole words).
    WmfBuilder& raw(uint16_t function, QByteArray params)
    {
        if (params.size() % 2)
            params += '\0';
        QByteArray r;
        put32(r, uint32_t(3 + params.size() / 2));
        put16(r, function);
        records_ += r + params;
        return *this;
    }
    // Creation and selection helpers. Colors are 0xRRGGBB.
    WmfBuilder& pen(int style, int width, uint32_t rgb) { return record(CreatePenIndirect, {style, width, 0, lo(rgb), hi(rgb)}); }
    WmfBuilder& brush(int style, uint32_t rgb, int hatch = 0) { return record(CreateBrushIndirect, {style, lo(rgb), hi(rgb), hatch}); }
    WmfBuilder& select(int index) { return record(SelectObject, {index}); }
    WmfBuilder& rectangle(int l, int t, int r, int b) { return record(Rectangle, {b, r, t, l}); }
    WmfBuilder& ellipse(int l, int t, int r, int b) { return record(Ellipse, {b, r, t, l}); }
    WmfBuilder& color(uint16_t function, uint32_t rgb) { return record(function, {lo(rgb), hi(rgb)}); }
    // Null pen in slot 0 and a solid brush of rgb in slot 1, both selected.
    WmfBuilder& fillOnly(uint32_t rgb) { return pen(5, 0, 0).brush(0, rgb).select(0).select(1); }

    QByteArray bytes(bool withEof = true) const
    {
        QByteArray out;
        if (placeable_.unitsPerInch >= 0) {
            put32(out, 0x9AC6CDD7);
            put16(out, 0);
            for (int v : {placeable_.left, placeable_.top, placeable_.right, placeable_.bottom})
                put16(out, uint16_t(v));
            put16(out, uint16_t(placeable_.unitsPerInch));
            put32(out, 0);
            put16(out, 0);
        }
        QByteArray body = records_;
        if (withEof) {
            put32(body, 3);
            put16(body, 0);
        }
        put16(out, 1);
        put16(out, 9);
        put16(out, 0x0300);
        put32(out, uint32_t((18 + body.size()) / 2));
        put16(out, 16); // objects
        put32(out, 0);
        put16(out, 0);
        return out + body;
    }

    static int lo(uint32_t rgb) { return int(((rgb >> 16) & 0xFF) | (rgb & 0xFF00)); }
    static int hi(uint32_t rgb) { return int(rgb & 0xFF); }
    static void put16(QByteArray& b, uint16_t v) { b += char(v & 0xFF), b += char(v >> 8); }
    static void put32(QByteArray& b, uint32_t v) { put16(b, uint16_t(v)), put16(b, uint16_t(v >> 16)); }

private:
    struct {
        int left, top, right, bottom, unitsPerInch;
    } placeable_{0, 0, 0, 0, -1};
    QByteArray records_;
};

std::unique_ptr<Picture> decode(const QByteArray& bytes)
{
    return decodeWmf(PictureFile{QStringLiteral("test.wmf"),
                                 std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                                          size_t(bytes.size()))});
}

QImage render(const QByteArray& bytes)
{
    return decode(bytes)->toImage();
}

// A 64 x 64 picture whose logical units are its pixels.
WmfBuilder square64()
{
    WmfBuilder b;
    b.placeable(0, 0, 64, 64, 96);
    return b;
}

TEST(WmfRecords, BlackEllipseOnWhiteAtTheDeclaredSize)
{
    WmfBuilder b;
    b.placeable(0, 0, 1000, 750, 1000).fillOnly(kBlack).ellipse(0, 0, 1000, 750);
    const QImage image = render(b.bytes());
    ASSERT_EQ(image.size(), QSize(96, 72)); // 1000 x 750 units at 1000 per inch, at 96 dpi
    EXPECT_EQ(rgbAt(image, 48, 36), kBlack);
    EXPECT_EQ(rgbAt(image, 48, 2), kBlack);
    EXPECT_EQ(rgbAt(image, 2, 36), kBlack);
    for (QPoint corner : {QPoint(1, 1), QPoint(94, 1), QPoint(1, 70), QPoint(94, 70)})
        EXPECT_EQ(rgbAt(image, corner.x(), corner.y()), kWhite) << corner.x() << "," << corner.y();
}

TEST(WmfRecords, MaskEllipseStretchedOverAPhotoCoversItsCentreNotItsCorners)
{
    WmfBuilder b;
    b.placeable(0, 0, 400, 400, 1440).fillOnly(kBlack).ellipse(0, 0, 400, 400);
    const auto picture = decode(b.bytes());
    QImage coverage = solidBitmap(600, 450, 255, 255, 255);
    {
        QPainter painter(&coverage);
        picture->draw(painter, coverage.rect());
    }
    const struct {
        int x, y;
        uint32_t expected;
    } samples[] = {
        {300, 225, kBlack}, {300, 4, kBlack},   {300, 445, kBlack}, {4, 225, kBlack},   {595, 225, kBlack},
        {2, 2, kWhite},     {597, 2, kWhite},   {2, 447, kWhite},   {597, 447, kWhite}, {60, 40, kWhite},
    };
    for (const auto& s : samples)
        EXPECT_EQ(rgbAt(coverage, s.x, s.y), s.expected) << s.x << "," << s.y;
}

TEST(WmfRecords, DrawStaysInsideTheTargetRectangle)
{
    // The records draw far outside the declared rectangle; the surface outside the target
    // keeps its pixels.
    WmfBuilder b;
    b.placeable(0, 0, 100, 100, 96).fillOnly(kBlack).rectangle(-500, -500, 600, 600);
    const auto picture = decode(b.bytes());
    QImage surface = solidBitmap(200, 200, 255, 255, 255);
    {
        QPainter painter(&surface);
        picture->draw(painter, QRect(50, 50, 100, 100));
    }
    EXPECT_EQ(rgbAt(surface, 100, 100), kBlack);
    EXPECT_EQ(rgbAt(surface, 50, 50), kBlack);
    EXPECT_EQ(rgbAt(surface, 149, 149), kBlack);
    EXPECT_EQ(rgbAt(surface, 49, 100), kWhite);
    EXPECT_EQ(rgbAt(surface, 150, 100), kWhite);
    EXPECT_EQ(rgbAt(surface, 100, 150), kWhite);
}

TEST(WmfRecords, HatchedBrushesDrawTheirLinesEightPixelsApart)
{
    // The hatch line through a pixel, as a function of its position modulo 8.
    struct Case {
        int hatch;
        const char* name;
        bool (*onLine)(int x, int y, int phaseX, int phaseY);
    };
    const Case cases[] = {
        {0, "horizontal", [](int, int y, int, int py) { return (y - py) % 8 == 0; }},
        {1, "vertical", [](int x, int, int px, int) { return (x - px) % 8 == 0; }},
        {2, "forward diagonal", [](int x, int y, int px, int py) { return ((x - px) - (y - py) + 64) % 8 == 0; }},
        {3, "backward diagonal", [](int x, int y, int px, int py) { return ((x - px) + (y - py)) % 8 == 0; }},
        {4, "cross", [](int x, int y, int px, int py) { return (x - px) % 8 == 0 || (y - py) % 8 == 0; }},
    };
    for (const Case& c : cases) {
        for (bool opaque : {false, true}) {
            WmfBuilder b = square64();
            b.pen(5, 0, 0).brush(2, kBlack, c.hatch).select(0).select(1);
            b.record(SetBkMode, {opaque ? 2 : 1}).color(SetBkColor, 0xFF0000);
            b.rectangle(0, 0, 64, 64);
            const QImage image = render(b.bytes());
            const uint32_t gap = opaque ? 0xFF0000 : kWhite;
            // The pattern's phase: a black row or column for straight lines, else the first
            // black pixel.
            int px = -1, py = -1;
            for (int i = 8; i < 16; ++i) {
                bool row = true, column = true;
                for (int j = 8; j < 16; ++j) {
                    row = row && rgbAt(image, j, i) == kBlack;
                    column = column && rgbAt(image, i, j) == kBlack;
                }
                if (row && py < 0)
                    py = i;
                if (column && px < 0)
                    px = i;
            }
            if (c.hatch == 2 || c.hatch == 3) {
                for (int y = 8; y < 16 && px < 0; ++y)
                    for (int x = 8; x < 16 && px < 0; ++x)
                        if (rgbAt(image, x, y) == kBlack)
                            px = x, py = y;
            }
            px = c.hatch == 0 ? 8 : px; // any column crosses a horizontal line
            py = c.hatch == 1 ? 8 : py;
            ASSERT_TRUE(px >= 0 && py >= 0) << c.name << (opaque ? " opaque" : " transparent") << " has no lines";
            int wrong = 0;
            for (int y = 8; y < 56; ++y)
                for (int x = 8; x < 56; ++x)
                    wrong += rgbAt(image, x, y) != (c.onLine(x, y, px, py) ? kBlack : gap);
            EXPECT_EQ(wrong, 0) << c.name << (opaque ? " opaque" : " transparent");
        }
    }
}

TEST(WmfRecords, PolyPolygonFillModeDecidesWhetherTheInnerSquareIsAHole)
{
    // Two squares wound the same way: alternate leaves the inner one empty, winding fills it.
    const std::vector<int> polygons = {2, 4, 4, 8, 8, 56, 8, 56, 56, 8, 56, 24, 24, 40, 24, 40, 40, 24, 40};
    for (const auto& [mode, centre] : {std::pair{1, kWhite}, std::pair{2, kBlack}}) {
        WmfBuilder b = square64();
        b.fillOnly(kBlack).record(SetPolyFillMode, {mode}).record(PolyPolygon, polygons);
        const QImage image = render(b.bytes());
        EXPECT_EQ(rgbAt(image, 32, 32), centre) << "fill mode " << mode;
        EXPECT_EQ(rgbAt(image, 16, 16), kBlack) << "fill mode " << mode;
        EXPECT_EQ(rgbAt(image, 4, 4), kWhite) << "fill mode " << mode;
    }
}

TEST(WmfRecords, WindowRecordsScaleRelativeToTheFirstWindow)
{
    // The first window (0..200) fills the declared rectangle; halving the extent later
    // doubles what follows.
    WmfBuilder b;
    b.placeable(0, 0, 200, 200, 192); // 100 x 100 pixels
    b.record(SetWindowOrg, {0, 0}).record(SetWindowExt, {200, 200});
    b.fillOnly(0xFF0000).rectangle(0, 0, 100, 100);
    b.record(SetWindowExt, {100, 100}).brush(0, 0x0000FF).select(2).rectangle(50, 50, 100, 100);
    const QImage image = render(b.bytes());
    ASSERT_EQ(image.size(), QSize(100, 100));
    EXPECT_EQ(rgbAt(image, 25, 25), 0xFF0000u);
    EXPECT_EQ(rgbAt(image, 75, 75), 0x0000FFu);
    EXPECT_EQ(rgbAt(image, 75, 25), kWhite);
}

TEST(WmfRecords, PlainMetafileTakesItsSizeFromTheWindowOrFromWhatItDraws)
{
    struct Case {
        const char* name;
        bool window;
        QSize size;
    };
    for (const Case& c : {Case{"window", true, QSize(200, 100)}, Case{"drawn", false, QSize(100, 100)}}) {
        WmfBuilder b;
        if (c.window)
            b.record(SetWindowOrg, {100, 100}).record(SetWindowExt, {100, 200});
        b.fillOnly(kBlack).rectangle(100, 100, 200, 200);
        const QImage image = render(b.bytes());
        ASSERT_EQ(image.size(), c.size) << c.name;
        EXPECT_EQ(rgbAt(image, 50, 50), kBlack) << c.name;
        EXPECT_EQ(rgbAt(image, c.size.width() - 1, c.size.height() - 1),
                  c.window ? kWhite : kBlack) << c.name;
    }
}

TEST(WmfRecords, PlainMetafileWithAHugeWindowIsBroughtDownToAUsableSize)
{
    WmfBuilder b;
    b.record(SetWindowOrg, {0, 0}).record(SetWindowExt, {10000, 20000});
    EXPECT_EQ(decode(b.fillOnly(kBlack).rectangle(0, 0, 100, 100).bytes())->width(), 1024);
}

TEST(WmfRecords, CreatedObjectsTakeTheLowestFreeSlot)
{
    WmfBuilder b = square64();
    b.pen(5, 0, 0).brush(0, 0xFF0000).select(0);      // slots 0 and 1
    b.record(DeleteObject, {1}).brush(0, 0x00FF00);    // the green brush reuses slot 1
    b.brush(0, 0x0000FF);                              // blue goes to slot 2
    b.select(1).rectangle(0, 0, 32, 64).select(2).rectangle(32, 0, 64, 64);
    const QImage image = render(b.bytes());
    EXPECT_EQ(rgbAt(image, 16, 32), 0x00FF00u);
    EXPECT_EQ(rgbAt(image, 48, 32), 0x0000FFu);
}

TEST(WmfRecords, RestoreDcBringsBackTheSavedBrush)
{
    WmfBuilder b = square64();
    b.fillOnly(0xFF0000).record(SaveDc, {}).brush(0, 0x0000FF).select(2).record(RestoreDc, {-1});
    const QImage image = render(b.rectangle(0, 0, 64, 64).bytes());
    EXPECT_EQ(rgbAt(image, 32, 32), 0xFF0000u);
}

TEST(WmfRecords, PieFillsTheQuarterBetweenItsRadials)
{
    // Counterclockwise from the ray through (64, 32) (3 o'clock) to the ray through (32, 0).
    WmfBuilder b = square64();
    b.fillOnly(kBlack).record(Pie, {0, 32, 32, 64, 64, 64, 0, 0});
    const QImage image = render(b.bytes());
    EXPECT_EQ(rgbAt(image, 44, 20), kBlack);
    EXPECT_EQ(rgbAt(image, 20, 20), kWhite);
    EXPECT_EQ(rgbAt(image, 44, 44), kWhite);
    EXPECT_EQ(rgbAt(image, 20, 44), kWhite);
}

TEST(WmfRecords, LinesFollowTheCurrentPosition)
{
    WmfBuilder b = square64();
    b.pen(0, 3, kBlack).select(0).record(MoveTo, {32, 4}).record(LineTo, {32, 60});
    const QImage image = render(b.bytes());
    EXPECT_EQ(rgbAt(image, 32, 32), kBlack);
    EXPECT_EQ(rgbAt(image, 32, 10), kWhite);
    EXPECT_EQ(rgbAt(image, 0, 32), kWhite); // the round cap reaches 1.5 units before the start
}

// The bounding box of the pixels that are not white.
QRect inkBox(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (rgbAt(image, x, y) != kWhite)
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(WmfRecords, TextIsAlignedOnItsReferencePoint)
{
    // "HH" in a 40-unit font at (100, 50) of a 200 x 100 picture, for each alignment.
    struct Case {
        const char* name;
        int align;
        bool (*placed)(const QRect& ink);
    };
    const Case cases[] = {
        {"left top", 0, [](const QRect& ink) { return std::abs(ink.left() - 102) <= 4 && ink.top() > 50 && ink.top() < 62; }},
        {"right top", 2, [](const QRect& ink) { return std::abs(ink.right() - 98) <= 4 && ink.top() > 50; }},
        {"center baseline", 6 | 24,
         [](const QRect& ink) { return std::abs(ink.center().x() - 100) <= 2 && std::abs(ink.bottom() - 49) <= 1; }},
        {"left bottom", 8, [](const QRect& ink) { return ink.left() > 98 && ink.bottom() < 50 && ink.bottom() > 38; }},
    };
    for (const Case& c : cases) {
        WmfBuilder b;
        b.placeable(0, 0, 200, 100, 96);
        QByteArray font;
        for (int v : {-40, 0, 0, 0, 700})
            WmfBuilder::put16(font, uint16_t(v));
        font += QByteArray("\0\0\0\0\0\0\0\0Arial\0", 14);
        b.raw(CreateFontIndirect, font).select(0).record(SetTextAlign, {c.align}).record(SetBkMode, {1});
        QByteArray text;
        WmfBuilder::put16(text, 2);
        text += "HH";
        WmfBuilder::put16(text, 50);
        WmfBuilder::put16(text, 100);
        b.raw(TextOut, text);
        const QRect ink = inkBox(render(b.bytes()));
        EXPECT_TRUE(!ink.isEmpty() && c.placed(ink))
            << c.name << ": ink at " << ink.x() << "," << ink.y() << " " << ink.width() << "x" << ink.height();
        EXPECT_GT(ink.height(), 22) << c.name; // cap height of a 40-pixel font
    }
}

TEST(WmfRecords, OpaqueBackgroundFillsTheTextCell)
{
    WmfBuilder b;
    b.placeable(0, 0, 200, 100, 96);
    QByteArray font;
    for (int v : {-40, 0, 0, 0, 400})
        WmfBuilder::put16(font, uint16_t(v));
    font += QByteArray("\0\0\0\0\0\0\0\0Arial\0", 14);
    b.raw(CreateFontIndirect, font).select(0).record(SetBkMode, {2}).color(SetBkColor, 0x00FF00);
    b.color(SetTextColor, 0x0000FF);
    QByteArray text;
    WmfBuilder::put16(text, 3);
    text += QByteArray("iii\0", 4);
    WmfBuilder::put16(text, 20);
    WmfBuilder::put16(text, 20);
    b.raw(TextOut, text);
    const QImage image = render(b.bytes());
    const QRect ink = inkBox(image);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_NEAR(ink.top(), 20, 1);
    EXPECT_GT(ink.height(), 38);
    int green = 0, blue = 0;
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        for (int x = ink.left(); x <= ink.right(); ++x)
            green += rgbAt(image, x, y) == 0x00FF00, blue += rgbAt(image, x, y) == 0x0000FF;
    EXPECT_GT(green, blue);
    EXPECT_GT(blue, 20);
}

// A DIB of 2 x 2 pixels, top row red and green, bottom row blue and white, at the given depth.
QByteArray quadrantDib(int bits, bool topDown)
{
    QByteArray dib;
    WmfBuilder::put32(dib, 40);
    WmfBuilder::put32(dib, 2);
    WmfBuilder::put32(dib, uint32_t(topDown ? -2 : 2));
    WmfBuilder::put16(dib, 1);
    WmfBuilder::put16(dib, uint16_t(bits));
    for (int i = 0; i < 6; ++i)
        WmfBuilder::put32(dib, 0);
    const uint32_t colors[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}; // row-major from the top
    if (bits <= 8) {
        for (int i = 0; i < (1 << bits); ++i)
            WmfBuilder::put32(dib, i < 4 ? colors[i] : 0); // BGRA of 0xRRGGBB is its little-endian form
    }
    const int stride = ((2 * bits + 31) / 32) * 4;
    for (int row = 0; row < 2; ++row) {
        const int top = topDown ? row : 1 - row; // which picture row this stored row holds
        QByteArray line(stride, '\0');
        for (int x = 0; x < 2; ++x) {
            const int index = top * 2 + x;
            const uint32_t c = colors[index];
            switch (bits) {
            case 1: line[0] = char(line[0] | ((index & 1) << (7 - x))); break;
            case 4: line[0] = char(line[0] | (index << (x ? 0 : 4))); break;
            case 8: line[x] = char(index); break;
            case 24:
            case 32:
                line[x * (bits / 8)] = char(c & 0xFF);
                line[x * (bits / 8) + 1] = char((c >> 8) & 0xFF);
                line[x * (bits / 8) + 2] = char((c >> 16) & 0xFF);
                break;
            }
        }
        dib += line;
    }
    return dib;
}

// A 2 x 2 DIB stretched over the whole 64 x 64 picture by a StretchDIB record (SRCCOPY;
// usage 0: colors, 1: palette indexes); the colors at the centres of the four quadrants,
// top row first.
std::array<uint32_t, 4> quadrantsOfStretchedDib(const QByteArray& dib, int usage = 0)
{
    WmfBuilder b = square64();
    QByteArray params;
    WmfBuilder::put32(params, 0x00CC0020);
    for (int v : {usage, 2, 2, 0, 0, 64, 64, 0, 0})
        WmfBuilder::put16(params, uint16_t(v));
    b.raw(StretchDib, params + dib);
    const QImage image = render(b.bytes());
    return {rgbAt(image, 16, 16), rgbAt(image, 48, 16), rgbAt(image, 16, 48), rgbAt(image, 48, 48)};
}

TEST(WmfRecords, StretchDibDrawsEachDepthStretchedOverItsDestination)
{
    struct Case {
        int bits;
        bool topDown;
        uint32_t expected[4];
    };
    const Case cases[] = {
        {1, false, {0xFF0000, 0x00FF00, 0xFF0000, 0x00FF00}}, // two colors: indexes 0 and 1 only
        {4, false, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
        {8, true, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
        {24, false, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
        {32, true, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
    };
    for (const Case& c : cases) {
        const auto quadrants = quadrantsOfStretchedDib(quadrantDib(c.bits, c.topDown));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(quadrants[size_t(i)], c.expected[i]) << c.bits << " bits, quadrant " << i;
    }
}

TEST(WmfRecords, StretchDibSourceRectangleCountsFromTheBottomOfBottomUpRows)
{
    // Source (0, 0) of size 1 x 1 is the bottom-left pixel: blue.
    WmfBuilder b = square64();
    QByteArray params;
    WmfBuilder::put32(params, 0x00CC0020);
    for (int v : {0, 1, 1, 0, 0, 64, 64, 0, 0})
        WmfBuilder::put16(params, uint16_t(v));
    b.raw(StretchDib, params + quadrantDib(24, false));
    EXPECT_EQ(rgbAt(render(b.bytes()), 32, 32), 0x0000FFu);
}

// The same 2 x 2 quadrant picture under the other header layouts a metafile may carry: the
// 12-byte core header with 3-byte palette entries, a 40-byte header followed by 5-6-5 bit
// masks, and a 108-byte header holding the masks itself (here in an unusual channel order).
QByteArray coreHeaderDib()
{
    QByteArray dib;
    WmfBuilder::put32(dib, 12);
    for (int v : {2, 2, 1, 8})
        WmfBuilder::put16(dib, uint16_t(v));
    const char palette[] = {0, 0, '\xFF', 0, '\xFF', 0, '\xFF', 0, 0, '\xFF', '\xFF', '\xFF'};
    dib += QByteArray(palette, sizeof palette) + QByteArray(3 * 252, '\0');
    return dib + QByteArray("\x02\x03\0\0\x00\x01\0\0", 8); // bottom row first
}

QByteArray bitFieldDib(uint32_t headerSize, int bits, std::initializer_list<uint32_t> masks,
                       std::initializer_list<uint32_t> pixels)
{
    QByteArray dib;
    WmfBuilder::put32(dib, headerSize);
    WmfBuilder::put32(dib, 2);
    WmfBuilder::put32(dib, uint32_t(-2)); // top-down
    WmfBuilder::put16(dib, 1);
    WmfBuilder::put16(dib, uint16_t(bits));
    WmfBuilder::put32(dib, 3); // bit fields
    for (int i = 0; i < 5; ++i)
        WmfBuilder::put32(dib, 0);
    for (uint32_t m : masks)
        WmfBuilder::put32(dib, m);
    dib.resize(qsizetype(std::max<uint32_t>(headerSize, uint32_t(dib.size()))), '\0');
    for (uint32_t v : pixels) {
        if (bits == 16)
            WmfBuilder::put16(dib, uint16_t(v));
        else
            WmfBuilder::put32(dib, v);
    }
    return dib;
}

TEST(WmfRecords, StretchDibReadsEachHeaderLayout)
{
    const struct {
        const char* name;
        QByteArray dib;
    } cases[] = {
        {"12-byte core header", coreHeaderDib()},
        {"40-byte header, 5-6-5 masks after it", bitFieldDib(40, 16, {0xF800, 0x07E0, 0x001F}, {0xF800, 0x07E0, 0x001F, 0xFFFF})},
        {"108-byte header holding its masks",
         bitFieldDib(108, 32, {0x000000FF, 0x0000FF00, 0x00FF0000, 0}, {0xFF, 0xFF00, 0xFF0000, 0xFFFFFF})},
    };
    const std::array<uint32_t, 4> expected = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    for (const auto& c : cases)
        EXPECT_EQ(quadrantsOfStretchedDib(c.dib), expected) << c.name;
}

// A 2 x 2 DIB whose color table holds 16-bit palette indexes (DIB_PAL_COLORS) instead of
// colors; pixels are table positions, top row first, stored bottom-up.
QByteArray paletteIndexDib(int bits, uint32_t colorsUsed, std::initializer_list<uint16_t> table,
                           const uint8_t (&pixels)[4])
{
    QByteArray dib;
    WmfBuilder::put32(dib, 40);
    WmfBuilder::put32(dib, 2);
    WmfBuilder::put32(dib, 2);
    WmfBuilder::put16(dib, 1);
    WmfBuilder::put16(dib, uint16_t(bits));
    for (uint32_t v : {0u, 0u, 0u, 0u, colorsUsed, 0u})
        WmfBuilder::put32(dib, v);
    for (uint16_t index : table)
        WmfBuilder::put16(dib, index);
    for (int row : {1, 0}) {
        const uint8_t left = pixels[2 * row], right = pixels[2 * row + 1];
        uint32_t line = 0;
        switch (bits) {
        case 1: line = uint32_t(left << 7 | right << 6); break;
        case 4: line = uint32_t(left << 4 | right); break;
        case 8: line = uint32_t(left | right << 8); break;
        }
        WmfBuilder::put32(dib, line);
    }
    return dib;
}

// Logical palettes are not tracked, so palette indexes are shown as an even gray ramp over
// the table's entries: entry value v of n entries is min(v, n - 1) x 255 / (n - 1).
TEST(WmfRecords, StretchDibShowsPaletteIndexesAsGrays)
{
    const struct {
        const char* name;
        QByteArray dib;
        uint32_t expected[4];
    } cases[] = {
        // Four entries: 0, 85, 170, 255; index 9 is past the last and counts as 3.
        {"8 bits, 4 entries", paletteIndexDib(8, 4, {3, 0, 2, 9}, {0, 1, 2, 3}), {0xFFFFFF, 0x000000, 0xAAAAAA, 0xFFFFFF}},
        // Two entries (the full table of 1 bit): black and white.
        {"1 bit, 2 entries", paletteIndexDib(1, 0, {1, 0}, {0, 1, 1, 0}), {0xFFFFFF, 0x000000, 0x000000, 0xFFFFFF}},
        // Six entries: steps of 51.
        {"4 bits, 6 entries", paletteIndexDib(4, 6, {0, 1, 2, 3, 4, 5}, {1, 2, 4, 5}), {0x333333, 0x666666, 0xCCCCCC, 0xFFFFFF}},
    };
    for (const auto& c : cases) {
        const auto quadrants = quadrantsOfStretchedDib(c.dib, 1);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(quadrants[size_t(i)], c.expected[i]) << c.name << ", quadrant " << i;
    }
}

// The block transfers with a bitmap copy it at the destination's size (DIBBITBLT) or stretch
// a source rectangle over the destination (DIBSTRETCHBLT); without a bitmap they paint the
// destination by the raster operation alone.
TEST(WmfRecords, BlockTransfersPlaceTheirBitmapOrPaintByTheRasterOperation)
{
    constexpr uint32_t kSrcCopy = 0x00CC0020, kBlackness = 0x00000042;
    struct Case {
        const char* name;
        uint16_t function;
        uint32_t rop;
        std::vector<int> words; // after the raster operation, in record order
        bool withBitmap;
        uint32_t at16x16, at16x48, at60x60;
    };
    const Case cases[] = {
        // 2 x 2 source at (0, 0) copied unscaled to (16, 16): one quadrant pixel each
        {"DIBBITBLT", DibBitBlt, kSrcCopy, {0, 0, 2, 2, 16, 16}, true, 0xFF0000, 0xFFFFFF, 0xFFFFFF},
        // the whole 2 x 2 source stretched over (8, 8)-(56, 56)
        {"DIBSTRETCHBLT", DibStretchBlt, kSrcCopy, {2, 2, 0, 0, 48, 48, 8, 8}, true, 0xFF0000, 0x0000FF, 0xFFFFFF},
        // the top-right source pixel (green) stretched over the whole picture
        {"DIBSTRETCHBLT of one pixel", DibStretchBlt, kSrcCopy, {1, 1, 0, 1, 64, 64, 0, 0}, true, 0x00FF00,
         0x00FF00, 0x00FF00},
        // no bitmap: a reserved word before the size; BLACKNESS over (32, 32)-(64, 64)
        {"DIBBITBLT without bitmap", DibBitBlt, kBlackness, {0, 0, 0, 32, 32, 32, 32}, false, 0xFFFFFF, 0xFFFFFF,
         kBlack},
        {"DIBSTRETCHBLT without bitmap", DibStretchBlt, kBlackness, {0, 0, 0, 0, 0, 32, 32, 32, 32}, false,
         0xFFFFFF, 0xFFFFFF, kBlack},
    };
    for (const Case& c : cases) {
        WmfBuilder b = square64();
        QByteArray params;
        WmfBuilder::put32(params, c.rop);
        for (int v : c.words)
            WmfBuilder::put16(params, uint16_t(v));
        b.raw(c.function, c.withBitmap ? params + quadrantDib(24, true) : params);
        const QImage image = render(b.bytes());
        EXPECT_EQ(rgbAt(image, 16, 16), c.at16x16) << c.name;
        EXPECT_EQ(rgbAt(image, 16, 48), c.at16x48) << c.name;
        EXPECT_EQ(rgbAt(image, 60, 60), c.at60x60) << c.name;
    }
}

// Lines are antialiased. One reaching far beyond the picture (here 500 times its size) is
// drawn aliased, since antialiased filling walks every row and column a shape spans, those
// outside the picture too; its visible part is drawn all the same.
TEST(WmfRecords, LinesReachingFarBeyondThePictureAreDrawnWithoutSmoothing)
{
    const struct {
        const char* name;
        int endX, endY; // from (4, 4), both with a slope of 36 / 56
        bool smooth;
    } cases[] = {
        {"inside", 60, 40, true},
        {"far beyond", 32000, 20574, false},
    };
    for (const auto& c : cases) {
        WmfBuilder b = square64();
        b.pen(0, 3, kBlack).select(0).record(MoveTo, {4, 4}).record(LineTo, {c.endY, c.endX});
        const QImage image = render(b.bytes());
        EXPECT_EQ(rgbAt(image, 32, 22), kBlack) << c.name; // on the line: 4 + 28 * 36 / 56 = 22
        EXPECT_EQ(rgbAt(image, 32, 40), kWhite) << c.name;
        int grays = 0;
        for (uint32_t pixel : pixelsOf(image))
            grays += pixel != kBlack && pixel != kWhite;
        EXPECT_EQ(grays > 0, c.smooth) << c.name << ": " << grays << " smoothed pixels";
    }
}

TEST(WmfRecords, DecodingKeepsItsOwnCopyOfTheRecords)
{
    WmfBuilder b;
    b.placeable(0, 0, 64, 64, 96).fillOnly(kBlack).ellipse(0, 0, 64, 64);
    QByteArray bytes = b.bytes();
    const auto picture = decode(bytes);
    bytes.fill('\0');
    bytes.clear();
    EXPECT_EQ(rgbAt(picture->toImage(), 32, 32), kBlack);
}

TEST(WmfRecords, DamagedRecordsAreSkippedOrEndThePicture)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        uint32_t centre; // after a black rectangle over the whole picture and the damage
    };
    auto base = [] { return square64().fillOnly(kBlack).rectangle(0, 0, 64, 64); };
    const Case cases[] = {
        // a polygon claiming 30000 points in a 4-word record is skipped, the red one after it drawn
        {"lying point count", base().record(Polygon, {30000, 1}).brush(0, 0xFF0000).select(2).rectangle(0, 0, 64, 64).bytes(),
         0xFF0000},
        // a record of size 0 would never advance: the picture ends there
        {"zero-size record", [&] {
             QByteArray bytes = base().bytes(false);
             WmfBuilder::put32(bytes, 0);
             WmfBuilder::put16(bytes, Rectangle);
             return bytes;
         }(), kBlack},
        // a record claiming more words than the file holds ends the picture
        {"record past the end", [&] {
             QByteArray bytes = base().bytes(false);
             WmfBuilder::put32(bytes, 1000);
             WmfBuilder::put16(bytes, Rectangle);
             return bytes;
         }(), kBlack},
        // selecting or deleting slots that were never created changes nothing
        {"unknown slots", base().select(900).record(DeleteObject, {40000}).rectangle(0, 0, 64, 64).bytes(), kBlack},
        // a DIB whose rows are missing is left out
        {"truncated bitmap", [&] {
             QByteArray params;
             WmfBuilder::put32(params, 0x00CC0020);
             for (int v : {0, 2, 2, 0, 0, 64, 64, 0, 0})
                 WmfBuilder::put16(params, uint16_t(v));
             return base().raw(StretchDib, params + quadrantDib(24, false).left(44)).bytes();
         }(), kBlack},
    };
    for (const Case& c : cases) {
        std::unique_ptr<Picture> picture;
        ASSERT_NO_THROW(picture = decode(c.bytes)) << c.name;
        EXPECT_EQ(rgbAt(picture->toImage(), 32, 32), c.centre) << c.name;
    }
}

TEST(WmfRecords, FilesThatAreNotMetafilesFailToLoad)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* message;
    };
    const Case cases[] = {
        {"empty", QByteArray(), "ends before the picture data is complete"},
        {"PNG signature", QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000000010000000108020000000000"),
         "not a Windows metafile"},
        {"placeable without units per inch", WmfBuilder().placeable(0, 0, 10, 10, 0).bytes(), "no units per inch"},
        {"placeable with an empty rectangle", WmfBuilder().placeable(5, 0, 5, 10, 96).bytes(), "picture rectangle is empty"},
        {"placeable of 3 million pixels a side", WmfBuilder().placeable(0, 0, 32767, 10, 1).bytes(), "too large"},
        {"plain without extent or drawing", WmfBuilder().bytes(), "draws nothing"},
    };
    for (const Case& c : cases) {
        const std::string error = decodeFailure([&] { decode(c.bytes); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    }
}

} // namespace
