// EMF records written byte by byte and checked pixel by pixel.
#include "formats/Decoders.h"
#include "formats/PictureError.h"

#include "DecoderChecks.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <initializer_list>
#include <vector>

namespace {

enum : uint32_t {
    Polygon = 3,
    SetWindowExtEx = 9,
    SetViewportExtEx = 11,
    SetPixelV = 15,
    SetMapMode = 17,
    SetBkMode = 18,
    SetPolyFillMode = 19,
    SetTextColor = 24,
    SetBkColor = 25,
    MoveToEx = 27,
    ExcludeClipRect = 29,
    IntersectClipRect = 30,
    SaveDc = 33,
    RestoreDc = 34,
    SetWorldTransform = 35,
    ModifyWorldTransform = 36,
    SelectObject = 37,
    CreatePen = 38,
    CreateBrushIndirect = 39,
    Rectangle = 43,
    LineTo = 54,
    BeginPath = 59,
    EndPath = 60,
    CloseFigure = 61,
    FillPath = 62,
    StrokePath = 64,
    ExtSelectClipRgn = 75,
    BitBlt = 76,
    StretchDiBits = 81,
    ExtCreateFontIndirectW = 82,
    ExtTextOutW = 84,
    Polygon16 = 86,
    PolyPolygon16 = 91,
    AlphaBlend = 114,
};

constexpr uint32_t kBlackBrush = 0x80000004;
constexpr uint32_t kNullPen = 0x80000008;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

void put16(QByteArray& b, uint16_t v)
{
    b += char(v & 0xFF);
    b += char(v >> 8);
}
void put32(QByteArray& b, uint32_t v)
{
    put16(b, uint16_t(v));
    put16(b, uint16_t(v >> 16));
}
uint32_t f32(float v)
{
    return std::bit_cast<uint32_t>(v);
}
QByteArray fields(std::initializer_list<uint32_t> values)
{
    QByteArray b;
    for (uint32_t v : values)
        put32(b, v);
    return b;
}
// 0xRRGGBB as a COLORREF.
uint32_t colorRef(uint32_t rgb)
{
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

// An EMF assembled record by record. By default its frame is one inch square on a device of
// 96 pixels per inch, so logical units, device pixels and picture pixels coincide.
class EmfBuilder {
public:
    EmfBuilder& frame(int left, int top, int right, int bottom)
    {
        frame_ = {left, top, right, bottom};
        return *this;
    }
    EmfBuilder& bounds(int left, int top, int right, int bottom)
    {
        bounds_ = {left, top, right, bottom};
        return *this;
    }
    EmfBuilder& record(uint32_t type, std::initializer_list<uint32_t> fields)
    {
        QByteArray payload;
        for (uint32_t f : fields)
            put32(payload, f);
        return record(type, payload);
    }
    EmfBuilder& record(uint32_t type, const QByteArray& payload)
    {
        put32(records_, type);
        put32(records_, uint32_t(8 + payload.size()));
        records_ += payload;
        return *this;
    }
    EmfBuilder& select(uint32_t index) { return record(SelectObject, {index}); }
    EmfBuilder& brush(uint32_t index, uint32_t rgb) { return record(CreateBrushIndirect, {index, 0, colorRef(rgb), 0}); }
    EmfBuilder& fillOnly() { return select(kBlackBrush).select(kNullPen); }
    EmfBuilder& rectangle(int l, int t, int r, int b)
    {
        return record(Rectangle, {uint32_t(l), uint32_t(t), uint32_t(r), uint32_t(b)});
    }
    QByteArray polygon16Payload(const std::vector<int>& xy) const
    {
        QByteArray p;
        for (int i = 0; i < 4; ++i)
            put32(p, 0); // bounds
        put32(p, uint32_t(xy.size() / 2));
        for (int v : xy)
            put16(p, uint16_t(v));
        return p;
    }
    EmfBuilder& polygon16(const std::vector<int>& xy) { return record(Polygon16, polygon16Payload(xy)); }

    QByteArray bytes() const
    {
        QByteArray body = records_;
        put32(body, 14); // EOF
        put32(body, 20);
        put32(body, 0);
        put32(body, 16);
        put32(body, 20);
        QByteArray h;
        put32(h, 1);
        put32(h, 108);
        for (int v : bounds_)
            put32(h, uint32_t(v));
        for (int v : frame_)
            put32(h, uint32_t(v));
        put32(h, 0x464D4520);
        put32(h, 0x10000);
        put32(h, uint32_t(108 + body.size()));
        put32(h, 2);
        put16(h, 16); // handles
        put16(h, 0);
        for (int i = 0; i < 3; ++i)
            put32(h, 0); // description, palette
        for (uint32_t v : {960u, 960u, 254u, 254u}) // device pixels and millimetres
            put32(h, v);
        for (int i = 0; i < 3; ++i)
            put32(h, 0); // pixel format, OpenGL
        put32(h, 254000);
        put32(h, 254000);
        return h + body;
    }

private:
    std::array<int, 4> frame_ = {0, 0, 2540, 2540};
    std::array<int, 4> bounds_ = {0, 0, 95, 95};
    QByteArray records_;
};

std::unique_ptr<Picture> decode(const QByteArray& bytes)
{
    return decodeEmf(PictureFile{QStringLiteral("test.emf"),
                                 std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                                          size_t(bytes.size()))});
}

QImage render(const QByteArray& bytes)
{
    return decode(bytes)->toImage();
}

// Which quadrants of a 96 x 96 picture are black (top-left, top-right, bottom-left, bottom-right).
std::string quadrants(const QImage& image)
{
    std::string s;
    for (QPoint p : {QPoint(24, 24), QPoint(72, 24), QPoint(24, 72), QPoint(72, 72)}) {
        const uint32_t c = rgbAt(image, p.x(), p.y());
        s += c == kBlack ? 'X' : c == kWhite ? '.' : '?';
    }
    return s;
}

TEST(EmfRecords, SizeComesFromTheFrameAtNinetySixPixelsPerInch)
{
    struct Case {
        const char* name;
        EmfBuilder builder;
        QSize size;
    };
    const Case cases[] = {
        {"one inch square", EmfBuilder(), QSize(96, 96)},
        {"two by one inch", EmfBuilder().frame(0, 0, 5080, 2540), QSize(192, 96)},
        {"empty frame: bounds in device pixels", EmfBuilder().frame(0, 0, 0, 0).bounds(10, 10, 59, 39), QSize(50, 30)},
    };
    for (const Case& c : cases) {
        const auto picture = decode(c.builder.bytes());
        EXPECT_EQ(QSize(picture->width(), picture->height()), c.size) << c.name;
    }
}

TEST(EmfRecords, Polygon16WithStockObjects)
{
    EmfBuilder b;
    b.fillOnly().polygon16({0, 0, 48, 0, 48, 48, 0, 48});
    EXPECT_EQ(quadrants(render(b.bytes())), "X...");
}

TEST(EmfRecords, MapModesPlaceTheTopLeftQuadrant)
{
    struct Case {
        const char* name;
        int mode;
        int windowX, windowY, viewportX, viewportY;
        int right, bottom; // rectangle from (0, 0)
    };
    const Case cases[] = {
        {"anisotropic", 8, 200, 400, 96, 96, 100, 200},
        {"isotropic keeps the smaller scale", 7, 200, 100, 96, 96, 100, 100},
        {"lometric, y up", 2, 0, 0, 0, 0, 127, -127},
        {"himetric", 3, 0, 0, 0, 0, 1270, -1270},
        {"twips", 6, 0, 0, 0, 0, 720, -720},
        {"loenglish", 4, 0, 0, 0, 0, 50, -50},
    };
    for (const Case& c : cases) {
        EmfBuilder b;
        b.record(SetMapMode, {uint32_t(c.mode)});
        if (c.windowX) {
            b.record(SetWindowExtEx, {uint32_t(c.windowX), uint32_t(c.windowY)});
            b.record(SetViewportExtEx, {uint32_t(c.viewportX), uint32_t(c.viewportY)});
        }
        b.fillOnly().rectangle(0, 0, c.right, c.bottom);
        EXPECT_EQ(quadrants(render(b.bytes())), "X...") << c.name;
    }
}

TEST(EmfRecords, WorldTransformsComposeInTheirOrder)
{
    const uint32_t one = f32(1), half = f32(0.5f), zero = f32(0);
    const QByteArray translate48 = fields({one, zero, zero, one, f32(48), zero});
    struct Case {
        const char* name;
        std::vector<std::pair<uint32_t, QByteArray>> records;
        QRect rect; // logical rectangle drawn afterwards
        const char* quadrants;
    };
    const Case cases[] = {
        {"set: scale 2", {{SetWorldTransform, fields({f32(2), zero, zero, f32(2), zero, zero})}}, QRect(0, 0, 24, 24), "X..."},
        // from the left, the new scale applies before the translation
        {"left multiply",
         {{SetWorldTransform, translate48}, {ModifyWorldTransform, fields({half, zero, zero, half, zero, zero, 2})}},
         QRect(0, 0, 96, 96), ".X.."},
        // from the right, after it: the translation is halved too
        {"right multiply",
         {{SetWorldTransform, translate48}, {ModifyWorldTransform, fields({half, zero, zero, half, zero, zero, 3})}},
         QRect(-48, 0, 192, 96), "XX.."},
        {"back to identity",
         {{SetWorldTransform, translate48}, {ModifyWorldTransform, fields({half, zero, zero, half, zero, zero, 1})}},
         QRect(0, 0, 48, 48), "X..."},
        {"singular matrix is refused", {{SetWorldTransform, fields({zero, zero, zero, zero, zero, zero})}},
         QRect(0, 0, 48, 48), "X..."},
    };
    for (const Case& c : cases) {
        EmfBuilder b;
        for (const auto& [type, payload] : c.records)
            b.record(type, payload);
        b.fillOnly().rectangle(c.rect.left(), c.rect.top(), c.rect.left() + c.rect.width(), c.rect.top() + c.rect.height());
        EXPECT_EQ(quadrants(render(b.bytes())), c.quadrants) << c.name;
    }
}

TEST(EmfRecords, PathFillModesAndClosedFigures)
{
    const std::vector<int> outer = {8, 8, 88, 8, 88, 88, 8, 88};
    const std::vector<int> inner = {32, 32, 64, 32, 64, 64, 32, 64};
    for (const auto& [mode, centre] : {std::pair{1u, kWhite}, std::pair{2u, kBlack}}) {
        EmfBuilder b;
        b.fillOnly().record(SetPolyFillMode, {mode}).record(BeginPath, {});
        b.polygon16(outer).polygon16(inner).record(EndPath, {}).record(FillPath, {0, 0, 0, 0});
        const QImage image = render(b.bytes());
        EXPECT_EQ(rgbAt(image, 48, 48), centre) << "fill mode " << mode;
        EXPECT_EQ(rgbAt(image, 16, 48), kBlack) << "fill mode " << mode;
        EXPECT_EQ(rgbAt(image, 4, 4), kWhite) << "fill mode " << mode;
    }
    // A stroked figure: CloseFigure draws the edge back to its start.
    for (bool close : {false, true}) {
        EmfBuilder b;
        b.record(CreatePen, {1, 0, 3, 0, 0}).select(1).record(BeginPath, {});
        b.record(MoveToEx, {10, 10}).record(LineTo, {80, 10}).record(LineTo, {80, 80});
        if (close)
            b.record(CloseFigure, {});
        b.record(EndPath, {}).record(StrokePath, {0, 0, 0, 0});
        const QImage image = render(b.bytes());
        EXPECT_EQ(rgbAt(image, 45, 10), kBlack) << close;
        EXPECT_EQ(rgbAt(image, 45, 45), close ? kBlack : kWhite) << "closing edge, close " << close;
        EXPECT_EQ(rgbAt(image, 20, 60), kWhite) << close;
    }
}

TEST(EmfRecords, ClippingRecordsLimitTheFill)
{
    struct Case {
        const char* name;
        std::vector<std::pair<uint32_t, QByteArray>> records;
        const char* quadrants;
    };
    // RGNDATA of one rectangle, the bottom-right quadrant in device pixels.
    const QByteArray region = fields({32, 1, 1, 16, 48, 48, 96, 96, 48, 48, 96, 96});
    const Case cases[] = {
        {"intersect", {{IntersectClipRect, fields({0, 0, 48, 96})}}, "X.X."},
        {"exclude", {{ExcludeClipRect, fields({0, 0, 48, 48})}}, ".XXX"},
        {"intersect twice", {{IntersectClipRect, fields({0, 0, 48, 96})}, {IntersectClipRect, fields({0, 0, 96, 48})}}, "X..."},
        {"restored", {{SaveDc, {}}, {IntersectClipRect, fields({0, 0, 48, 48})}, {RestoreDc, fields({0xFFFFFFFF})}}, "XXXX"},
        {"region copy", {{ExtSelectClipRgn, fields({uint32_t(region.size()), 5}) + region}}, "...X"},
        {"region reset", {{IntersectClipRect, fields({0, 0, 48, 48})}, {ExtSelectClipRgn, fields({0, 5})}}, "XXXX"},
    };
    for (const Case& c : cases) {
        EmfBuilder b;
        for (const auto& [type, payload] : c.records)
            b.record(type, payload);
        b.fillOnly().rectangle(0, 0, 96, 96);
        EXPECT_EQ(quadrants(render(b.bytes())), c.quadrants) << c.name;
    }
}

// A 24-bit DIB of 2 x 2 pixels stored bottom-up: top row red, green; bottom row blue, white.
QByteArray quadrantDib24(QByteArray* bits)
{
    QByteArray info;
    put32(info, 40);
    put32(info, 2);
    put32(info, 2);
    put16(info, 1);
    put16(info, 24);
    for (int i = 0; i < 6; ++i)
        put32(info, 0);
    bits->clear();
    *bits += QByteArray::fromHex("ff0000ffffff0000"); // bottom row: blue, white, padding
    *bits += QByteArray::fromHex("0000ff00ff000000"); // top row: red, green, padding
    return info;
}

TEST(EmfRecords, StretchDiBitsDrawsTheBitmapOverItsDestination)
{
    QByteArray bits;
    const QByteArray info = quadrantDib24(&bits);
    QByteArray payload;
    for (uint32_t v : {0u, 0u, 0u, 0u}) // bounds
        put32(payload, v);
    const uint32_t offBmi = 8 + 72;
    for (uint32_t v : {0u, 0u, 0u, 0u, 2u, 2u, offBmi, uint32_t(info.size()), offBmi + uint32_t(info.size()),
                       uint32_t(bits.size()), 0u, 0x00CC0020u, 96u, 96u})
        put32(payload, v);
    payload += info + bits;
    EmfBuilder b;
    b.record(StretchDiBits, payload);
    const QImage image = render(b.bytes());
    EXPECT_EQ(rgbAt(image, 24, 24), 0xFF0000u);
    EXPECT_EQ(rgbAt(image, 72, 24), 0x00FF00u);
    EXPECT_EQ(rgbAt(image, 24, 72), 0x0000FFu);
    EXPECT_EQ(rgbAt(image, 72, 72), kWhite);

    // Offsets that point past the record leave the bitmap out.
    QByteArray damaged = payload;
    damaged[4 * 10] = char(0xF0);
    EmfBuilder d;
    d.record(StretchDiBits, damaged.left(payload.size() - 8)).fillOnly().rectangle(0, 0, 48, 48);
    EXPECT_EQ(quadrants(render(d.bytes())), "X...");
}

// ALPHABLEND of a 2 x 2 32-bit DIB (rows bottom-up, bytes blue, green, red, alpha) over
// the whole picture, with constant alpha 255. With AC_SRC_ALPHA the fourth byte is
// premultiplied alpha: each pixel is color + background x (255 - alpha) / 255, and a
// channel stored above its alpha counts as the alpha. Without it the pixels are opaque.
TEST(EmfRecords, AlphaBlendUsesThePremultipliedAlphaOfItsPixels)
{
    // Top row: half-covered red (0x80, 0, 0, alpha 0x80), nothing (alpha 0); bottom row:
    // opaque blue, and (0xFF, 0x20, 0xFF) over alpha 0x40, which counts as (0x40, 0x20, 0x40).
    QByteArray info;
    for (uint32_t v : {40u, 2u, 2u})
        put32(info, v);
    put16(info, 1);
    put16(info, 32);
    for (int i = 0; i < 6; ++i)
        put32(info, 0);
    const QByteArray bits = QByteArray::fromHex("ff0000ff" "ff20ff40"   // bottom row
                                                "00008080" "00000000"); // top row
    const struct {
        const char* name;
        uint32_t background;
        uint8_t alphaFormat;
        uint32_t expected[4];
    } cases[] = {
        // 0x80 + 0xFF x 0x7F / 0xFF = 0xFF; 0x20 + 0xBF = 0xDF.
        {"over white", kWhite, 1, {0xFF7F7F, kWhite, 0x0000FF, 0xFFDFFF}},
        {"over black", kBlack, 1, {0x800000, kBlack, 0x0000FF, 0x402040}},
        {"alpha byte ignored", kWhite, 0, {0x800000, kBlack, 0x0000FF, 0xFF20FF}},
    };
    for (const auto& c : cases) {
        QByteArray payload;
        for (uint32_t v : {0u, 0u, 0u, 0u, 0u, 0u, 96u, 96u}) // bounds, destination
            put32(payload, v);
        put32(payload, uint32_t(c.alphaFormat) << 24 | 0xFFu << 16); // blend: constant alpha 255
        put32(payload, 0);                                               // source origin
        put32(payload, 0);
        payload += fields({f32(1), 0, 0, f32(1), 0, 0}); // source transform
        const uint32_t offBmi = 8 + 100;
        for (uint32_t v : {0u, 0u, offBmi, uint32_t(info.size()), offBmi + uint32_t(info.size()), uint32_t(bits.size()),
                           2u, 2u})
            put32(payload, v); // background color, usage, bitmap, source size
        payload += info + bits;
        EmfBuilder b;
        b.brush(1, c.background).select(1).select(kNullPen).rectangle(0, 0, 97, 97);
        b.record(AlphaBlend, payload);
        const QImage image = render(b.bytes());
        const QPoint at[4] = {{24, 24}, {72, 24}, {24, 72}, {72, 72}};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(rgbAt(image, at[i].x(), at[i].y()), c.expected[i]) << c.name << ", quadrant " << i;
    }
}

TEST(EmfRecords, BitBltWithoutBitmapFillsWithTheBrush)
{
    EmfBuilder b;
    b.brush(1, 0x0000FF).select(1);
    QByteArray payload;
    for (uint32_t v : {0u, 0u, 0u, 0u, 48u, 48u, 48u, 48u, 0x00F00021u, 0u, 0u})
        put32(payload, v);
    payload += QByteArray(24 + 4 * 6, '\0'); // source transform, colors, usage, no bitmap
    b.record(BitBlt, payload);
    const QImage image = render(b.bytes());
    EXPECT_EQ(rgbAt(image, 72, 72), 0x0000FFu);
    EXPECT_EQ(rgbAt(image, 24, 24), kWhite);
}

TEST(EmfRecords, SetPixelPaintsOneDevicePixel)
{
    EmfBuilder b;
    b.record(SetPixelV, {10, 20, colorRef(0xFF0000)});
    const QImage image = render(b.bytes());
    EXPECT_EQ(rgbAt(image, 10, 20), 0xFF0000u);
    EXPECT_EQ(rgbAt(image, 11, 20), kWhite);
    EXPECT_EQ(rgbAt(image, 10, 21), kWhite);
}

TEST(EmfRecords, ExtTextOutDrawsTextAndItsOpaqueRectangle)
{
    EmfBuilder b;
    QByteArray font;
    put32(font, 1);
    for (int v : {-30, 0, 0, 0, 400})
        put32(font, uint32_t(v));
    font += QByteArray(8, '\0');
    for (QChar c : QStringLiteral("Arial"))
        put16(font, c.unicode());
    font += QByteArray(64 - 10, '\0');
    b.record(ExtCreateFontIndirectW, font).select(1);
    b.record(SetTextColor, {colorRef(0x0000FF)}).record(SetBkColor, {colorRef(0x00FF00)}).record(SetBkMode, {1});
    QByteArray text;
    for (uint32_t v : {0u, 0u, 0u, 0u, 1u, f32(1), f32(1), 10u, 10u, 2u, 76u, 2u /* ETO_OPAQUE */, 0u, 60u, 96u, 96u,
                       0u})
        put32(text, v);
    put16(text, 'W');
    put16(text, 'W');
    b.record(ExtTextOutW, text);
    const QImage image = render(b.bytes());
    EXPECT_EQ(rgbAt(image, 48, 80), 0x00FF00u); // inside the opaque rectangle, below the text
    EXPECT_EQ(rgbAt(image, 48, 40), kWhite);    // between the text and the rectangle
    int blue = 0;
    for (int y = 10; y < 40; ++y)
        for (int x = 10; x < 70; ++x)
            blue += rgbAt(image, x, y) == 0x0000FF;
    EXPECT_GT(blue, 30);
}

TEST(EmfRecords, DamagedRecordsAreSkippedOrEndThePicture)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* quadrants;
    };
    auto base = [] { return EmfBuilder().fillOnly().rectangle(0, 0, 48, 48); };
    QByteArray lyingCount = EmfBuilder().polygon16Payload({0, 0, 96, 0, 96, 96});
    lyingCount[16] = char(0xFF);
    lyingCount[19] = char(0x7F); // 2 billion points in a few bytes
    QByteArray lyingPolyPolygon;
    for (uint32_t v : {0u, 0u, 0u, 0u, 0x40000000u, 3u, 3u})
        put32(lyingPolyPolygon, v);
    QByteArray pastTheEnd = base().bytes();
    pastTheEnd.chop(20); // no EOF record
    put32(pastTheEnd, Rectangle);
    put32(pastTheEnd, 4000);
    QByteArray tooShort = base().bytes();
    tooShort.chop(20);
    put32(tooShort, Rectangle);
    put32(tooShort, 4);
    const Case cases[] = {
        {"point count past the record", base().record(Polygon16, lyingCount).bytes(), "X..."},
        {"poly-polygon count past the record", base().record(PolyPolygon16, lyingPolyPolygon).bytes(), "X..."},
        {"rectangle without its fields", base().record(Rectangle, {48}).bytes(), "X..."},
        {"record past the end", pastTheEnd, "X..."},
        {"record shorter than its header", tooShort, "X..."},
        {"unknown objects", base().select(12345).select(0x80000063).rectangle(48, 48, 96, 96).bytes(), "X..X"},
    };
    for (const Case& c : cases) {
        std::unique_ptr<Picture> picture;
        ASSERT_NO_THROW(picture = decode(c.bytes)) << c.name;
        EXPECT_EQ(quadrants(picture->toImage()), c.quadrants) << c.name;
    }
}

TEST(EmfRecords, FilesThatAreNotEnhancedMetafilesFailToLoad)
{
    QByteArray badSignature = EmfBuilder().bytes();
    badSignature[40] = 'X';
    QByteArray lyingHeader = EmfBuilder().bytes();
    lyingHeader[5] = char(0x40); // header size 16,492
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* message;
    };
    const Case cases[] = {
        {"empty", QByteArray(), "not a Windows enhanced metafile"},
        {"a WMF", QByteArray::fromHex("d7cdc69a000000000000640064006000000000004c5f01000900000300000000000000000000"),
         "not a Windows enhanced metafile"},
        {"bad signature", badSignature, "not a Windows enhanced metafile"},
        {"header size past the end", lyingHeader, "header claims 16492 bytes in a file of"},
        {"empty frame and bounds", EmfBuilder().frame(0, 0, 0, 0).bounds(0, 0, -1, -1).bytes(), "picture frame is empty"},
        {"frame of 20 metres", EmfBuilder().frame(0, 0, 2000000, 100).bytes(), "too large"},
    };
    for (const Case& c : cases) {
        const std::string error = decodeFailure([&] { decode(c.bytes); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    }
}

} // namespace
