#include "EmfPlayer.h"

#include "formats/ByteReader.h"
#include "MetafileCanvas.h"
#include "MetafileDib.h"
#include "formats/PictureError.h"

#include <bit>
#include <cmath>
#include <string>
#include <vector>

namespace metafile {

namespace {

constexpr uint32_t kSignature = 0x464D4520; // " EMF"
// More records than any real file holds; every record is at least 8 bytes long anyway.
constexpr size_t kMaxRecords = 20'000'000;

enum Record : uint32_t {
    Header = 1,
    PolyBezier = 2,
    Polygon = 3,
    Polyline = 4,
    PolyBezierTo = 5,
    PolylineTo = 6,
    PolyPolyline = 7,
    PolyPolygon = 8,
    SetWindowExtEx = 9,
    SetWindowOrgEx = 10,
    SetViewportExtEx = 11,
    SetViewportOrgEx = 12,
    Eof = 14,
    SetPixelV = 15,
    SetMapMode = 17,
    SetBkMode = 18,
    SetPolyFillMode = 19,
    SetRop2 = 20,
    SetTextAlign = 22,
    SetTextColor = 24,
    SetBkColor = 25,
    OffsetClipRgn = 26,
    MoveToEx = 27,
    ExcludeClipRect = 29,
    IntersectClipRect = 30,
    ScaleViewportExtEx = 31,
    ScaleWindowExtEx = 32,
    SaveDc = 33,
    RestoreDc = 34,
    SetWorldTransform = 35,
    ModifyWorldTransform = 36,
    SelectObject = 37,
    CreatePen = 38,
    CreateBrushIndirect = 39,
    DeleteObject = 40,
    AngleArc = 41,
    Ellipse = 42,
    Rectangle = 43,
    RoundRect = 44,
    Arc = 45,
    Chord = 46,
    Pie = 47,
    CreatePalette = 49,
    LineTo = 54,
    ArcTo = 55,
    PolyDraw = 56,
    SetArcDirection = 57,
    BeginPath = 59,
    EndPath = 60,
    CloseFigure = 61,
    FillPath = 62,
    StrokeAndFillPath = 63,
    StrokePath = 64,
    SelectClipPath = 67,
    AbortPath = 68,
    FillRgn = 71,
    PaintRgn = 74,
    ExtSelectClipRgn = 75,
    BitBlt = 76,
    StretchBlt = 77,
    SetDiBitsToDevice = 80,
    StretchDiBits = 81,
    ExtCreateFontIndirectW = 82,
    ExtTextOutA = 83,
    ExtTextOutW = 84,
    PolyBezier16 = 85,
    Polygon16 = 86,
    Polyline16 = 87,
    PolyBezierTo16 = 88,
    PolylineTo16 = 89,
    PolyPolyline16 = 90,
    PolyPolygon16 = 91,
    PolyDraw16 = 92,
    CreateMonoBrush = 93,
    CreateDibPatternBrushPt = 94,
    ExtCreatePen = 95,
    SmallTextOut = 108,
    AlphaBlend = 114,
    TransparentBlt = 116,
    GradientFill = 118,
};

constexpr uint32_t kSrcCopy = 0x00CC0020;

uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

float f32(ByteReader& r)
{
    return std::bit_cast<float>(r.u32le());
}

QPointF pointL(ByteReader& r)
{
    const double x = r.i32le();
    const double y = r.i32le();
    return {x, y};
}

QPointF pointS(ByteReader& r)
{
    const double x = r.i16le();
    const double y = r.i16le();
    return {x, y};
}

QRectF rectL(ByteReader& r) // left, top, right, bottom
{
    const QPointF topLeft = pointL(r);
    const QPointF bottomRight = pointL(r);
    return QRectF(topLeft, bottomRight);
}

// count points of 8 (32-bit) or 4 (16-bit) bytes, checked against the record first.
QPolygonF readPoints(ByteReader& r, uint64_t count, bool small)
{
    const uint64_t size = small ? 4 : 8;
    if (count > r.remaining() / size)
        r.fail();
    QPolygonF points;
    points.reserve(qsizetype(count));
    for (uint64_t i = 0; i < count; ++i)
        points << (small ? pointS(r) : pointL(r));
    return points;
}

// Rectangles of a RGNDATA block, device coordinates.
std::vector<QRectF> regionRects(ByteReader& r)
{
    const uint32_t headerSize = r.u32le();
    r.u32le(); // type
    const uint32_t count = r.u32le();
    r.u32le(); // size of the rectangles
    rectL(r);  // bounds
    if (headerSize > 32)
        r.skip(headerSize - 32);
    if (count > r.remaining() / 16)
        r.fail();
    std::vector<QRectF> rects;
    rects.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        rects.push_back(rectL(r));
    return rects;
}

class RecordPlayer {
public:
    RecordPlayer(std::span<const uint8_t> record, MetafileCanvas& canvas)
        : rec_(record), r_(record), c_(canvas)
    {
        r_.seek(8);
    }

    void play(uint32_t type);

private:
    void poly(uint32_t type, bool small);
    void polyPoly(uint32_t type, bool small);
    void create(uint32_t type);
    void text(bool wide);
    void smallText();
    void bitmapRecord(uint32_t type);
    void gradient();
    Dib dibAt(uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits, uint32_t usage, bool alpha = false);
    BrushSpec brushAt(uint32_t index);

    std::span<const uint8_t> rec_;
    ByteReader r_;
    MetafileCanvas& c_;
};

Dib RecordPlayer::dibAt(uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits, uint32_t usage, bool alpha)
{
    return decodeDib(r_.bytesAt(offBmi, cbBmi), r_.bytesAt(offBits, cbBits), usage == 1, alpha);
}

BrushSpec RecordPlayer::brushAt(uint32_t index)
{
    // Fill with an object's brush without disturbing the selected one.
    const BrushSpec selected = c_.state().brush;
    if (index & 0x80000000)
        c_.selectStockObject(index);
    else
        c_.selectObject(index);
    const BrushSpec brush = c_.state().brush;
    c_.state().brush = selected;
    return brush;
}

void RecordPlayer::poly(uint32_t type, bool small)
{
    rectL(r_); // bounds
    const uint32_t count = r_.u32le();
    const QPolygonF points = readPoints(r_, count, small);
    switch (type) {
    case PolyBezier: case PolyBezier16: c_.polyBezier(points); break;
    case Polygon: case Polygon16: c_.polygon(points); break;
    case Polyline: case Polyline16: c_.polyline(points); break;
    case PolyBezierTo: case PolyBezierTo16: c_.polyBezierTo(points); break;
    case PolylineTo: case PolylineTo16: c_.polylineTo(points); break;
    default: break;
    }
}

void RecordPlayer::polyPoly(uint32_t type, bool small)
{
    rectL(r_); // bounds
    const uint32_t polygons = r_.u32le();
    const uint32_t total = r_.u32le();
    if (polygons > r_.remaining() / 4)
        r_.fail();
    std::vector<uint32_t> counts;
    counts.reserve(polygons);
    uint64_t sum = 0;
    for (uint32_t i = 0; i < polygons; ++i) {
        counts.push_back(r_.u32le());
        sum += counts.back();
    }
    if (sum > total)
        throw PictureError("The picture data is damaged: a shape claims more points than its record holds.");
    std::vector<QPolygonF> shapes;
    shapes.reserve(counts.size());
    for (uint32_t count : counts)
        shapes.push_back(readPoints(r_, count, small));
    if (type == PolyPolygon || type == PolyPolygon16)
        c_.polyPolygon(shapes);
    else
        c_.polyPolyline(shapes);
}

void RecordPlayer::create(uint32_t type)
{
    const uint32_t index = r_.u32le();
    GdiObject obj;
    try {
        switch (type) {
        case CreatePen: {
            PenSpec pen;
            pen.style = r_.u32le();
            pen.width = std::abs(double(r_.i32le()));
            r_.i32le();
            pen.color = colorRef(r_.u32le());
            obj = pen;
            break;
        }
        case ExtCreatePen: {
            r_.skip(16); // pattern bitmap offsets: pattern pens draw in their color
            PenSpec pen;
            pen.style = r_.u32le();
            const uint32_t width = r_.u32le();
            pen.width = (pen.style & PenGeometric) ? double(width) : 0.0; // cosmetic pens are one pixel
            const uint32_t brushStyle = r_.u32le();
            pen.color = colorRef(r_.u32le());
            r_.u32le(); // hatch
            pen.extended = true;
            if (brushStyle == 1) // BS_NULL
                pen.style = (pen.style & ~uint32_t(PenStyleMask)) | PenNull;
            if ((pen.style & PenStyleMask) == PenUserStyle) {
                const uint32_t entries = r_.u32le();
                if (entries > r_.remaining() / 4 || entries > 16)
                    r_.fail();
                for (uint32_t i = 0; i < entries; ++i)
                    pen.dashes.push_back(r_.u32le());
            }
            obj = pen;
            break;
        }
        case CreateBrushIndirect: {
            BrushSpec brush;
            const uint32_t style = r_.u32le();
            brush.color = colorRef(r_.u32le());
            brush.hatch = int(r_.u32le() & 0xFF);
            brush.kind = style == 1 ? BrushSpec::Null : style == 2 ? BrushSpec::Hatched : BrushSpec::Solid;
            obj = brush;
            break;
        }
        case CreateMonoBrush:
        case CreateDibPatternBrushPt: {
            const uint32_t usage = r_.u32le();
            const uint32_t offBmi = r_.u32le();
            const uint32_t cbBmi = r_.u32le();
            const uint32_t offBits = r_.u32le();
            const uint32_t cbBits = r_.u32le();
            BrushSpec brush;
            brush.kind = BrushSpec::Pattern;
            brush.color = Qt::black;
            brush.pattern = dibAt(offBmi, cbBmi, offBits, cbBits, type == CreateMonoBrush ? 0 : usage).image;
            obj = brush;
            break;
        }
        case ExtCreateFontIndirectW: {
            FontSpec f;
            f.height = r_.i32le();
            f.width = r_.i32le();
            f.escapement = r_.i32le();
            r_.i32le(); // orientation
            f.weight = r_.i32le();
            f.italic = r_.u8();
            f.underline = r_.u8();
            f.strikeOut = r_.u8();
            f.charSet = r_.u8();
            r_.skip(3);
            f.pitchAndFamily = r_.u8();
            QString face;
            while (r_.remaining() >= 2 && face.size() < 32) {
                const char16_t c = r_.u16le();
                if (c == 0)
                    break;
                face += QChar(c);
            }
            f.face = face;
            obj = f;
            break;
        }
        default: break; // palettes
        }
    } catch (const PictureError&) {
        obj = std::monostate{};
    }
    c_.setObject(index, std::move(obj));
}

void RecordPlayer::text(bool wide)
{
    rectL(r_); // bounds
    r_.u32le(); // graphics mode
    f32(r_);    // x scale
    f32(r_);    // y scale
    TextRun run;
    run.reference = pointL(r_);
    const uint32_t chars = r_.u32le();
    const uint32_t offString = r_.u32le();
    run.options = r_.u32le();
    const QRectF rect = rectL(r_);
    const uint32_t offDx = r_.u32le();
    if (run.options & (TextOpaque | TextClipped))
        run.rect = rect;
    if (chars > rec_.size())
        r_.fail();
    if (wide) {
        const auto bytes = r_.bytesAt(offString, size_t(chars) * 2);
        run.text.reserve(qsizetype(chars));
        for (uint32_t i = 0; i < chars; ++i)
            run.text += QChar(char16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    } else {
        const auto bytes = r_.bytesAt(offString, chars);
        run.text = decodeAnsiText(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(chars)),
                                  c_.state().font.charSet);
    }
    // ETO_PDY: the advances come in pairs, horizontal then vertical.
    const size_t step = (run.options & 0x2000) ? 2 : 1;
    if (offDx != 0 && chars > 0 && size_t(chars) * step * 4 <= rec_.size() && offDx <= rec_.size()
        && rec_.size() - offDx >= size_t(chars) * step * 4) {
        const auto dx = r_.bytesAt(offDx, size_t(chars) * step * 4);
        run.dx.reserve(chars);
        for (uint32_t i = 0; i < chars; ++i)
            run.dx.push_back(int32_t(le32(dx.data() + size_t(i) * step * 4)));
    }
    if (!wide && run.dx.size() != size_t(run.text.size()))
        run.dx.clear(); // multi-byte text: advances count bytes, not characters
    c_.text(run);
}

void RecordPlayer::smallText()
{
    TextRun run;
    run.reference = pointL(r_);
    const uint32_t chars = r_.u32le();
    const uint32_t options = r_.u32le();
    r_.u32le(); // graphics mode
    f32(r_);
    f32(r_);
    run.options = options & ~uint32_t(0x300);
    if (!(options & 0x100)) // ETO_NO_RECT
        run.rect = rectL(r_);
    if (options & 0x200) { // ETO_SMALL_CHARS: 8-bit characters
        const auto bytes = r_.bytes(chars);
        run.text = decodeAnsiText(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(chars)),
                                  c_.state().font.charSet);
    } else {
        if (chars > r_.remaining() / 2)
            r_.fail();
        for (uint32_t i = 0; i < chars; ++i)
            run.text += QChar(char16_t(r_.u16le()));
    }
    c_.text(run);
}

void RecordPlayer::bitmapRecord(uint32_t type)
{
    rectL(r_); // bounds
    QRectF dest;
    QRectF source;
    uint32_t rop = kSrcCopy;
    uint32_t offBmi = 0, cbBmi = 0, offBits = 0, cbBits = 0, usage = 0;
    double opacity = 1;
    bool alpha = false;
    bool fromBottom = false;
    std::optional<QColor> transparent;
    switch (type) {
    case BitBlt:
    case StretchBlt:
    case AlphaBlend:
    case TransparentBlt: {
        const QPointF at = pointL(r_);
        const QSizeF size(r_.i32le(), r_.i32le());
        dest = QRectF(at, size);
        const uint32_t op = r_.u32le();
        if (type == AlphaBlend) {
            opacity = ((op >> 16) & 0xFF) / 255.0;
            alpha = (op >> 24) & 1; // AC_SRC_ALPHA
        } else if (type == TransparentBlt) {
            transparent = colorRef(op);
        } else {
            rop = op;
        }
        const QPointF src = pointL(r_);
        r_.skip(24); // source transform
        r_.u32le();  // source background color
        usage = r_.u32le();
        offBmi = r_.u32le();
        cbBmi = r_.u32le();
        offBits = r_.u32le();
        cbBits = r_.u32le();
        QSizeF srcSize = size;
        if (type != BitBlt)
            srcSize = QSizeF(r_.i32le(), r_.i32le());
        source = QRectF(src, srcSize);
        if (cbBmi == 0) {
            c_.patternBlt(dest, rop);
            return;
        }
        break;
    }
    case StretchDiBits:
    case SetDiBitsToDevice: {
        const QPointF at = pointL(r_);
        const QPointF src = pointL(r_);
        const QSizeF srcSize(r_.i32le(), r_.i32le());
        offBmi = r_.u32le();
        cbBmi = r_.u32le();
        offBits = r_.u32le();
        cbBits = r_.u32le();
        usage = r_.u32le();
        if (type == StretchDiBits) {
            rop = r_.u32le();
            dest = QRectF(at, QSizeF(r_.i32le(), r_.i32le()));
        } else {
            dest = QRectF(at, srcSize);
        }
        source = QRectF(src, srcSize);
        fromBottom = true;
        if (cbBmi == 0)
            return;
        break;
    }
    default: return;
    }
    Dib dib = dibAt(offBmi, cbBmi, offBits, cbBits, usage, alpha);
    if (dib.image.isNull())
        return;
    if (fromBottom && dib.bottomUp) // source rectangles of bottom-up rows count from the bottom
        source.moveTop(dib.image.height() - source.top() - source.height());
    if (transparent) {
        QImage keyed = dib.image.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = transparent->rgb();
        for (int y = 0; y < keyed.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(keyed.scanLine(y));
            for (int x = 0; x < keyed.width(); ++x)
                if ((row[x] | 0xFF000000) == key)
                    row[x] = 0;
        }
        dib.image = keyed;
    }
    c_.bitmap(dest, dib.image, source, rop, opacity);
}

void RecordPlayer::gradient()
{
    rectL(r_); // bounds
    const uint32_t vertices = r_.u32le();
    const uint32_t pieces = r_.u32le();
    const uint32_t mode = r_.u32le();
    if (vertices > r_.remaining() / 16)
        r_.fail();
    struct Vertex {
        QPointF at;
        QColor color;
    };
    std::vector<Vertex> v;
    v.reserve(vertices);
    for (uint32_t i = 0; i < vertices; ++i) {
        const QPointF at = pointL(r_);
        const int red = r_.u16le() >> 8;
        const int green = r_.u16le() >> 8;
        const int blue = r_.u16le() >> 8;
        r_.u16le(); // alpha
        v.push_back({at, QColor(red, green, blue)});
    }
    const uint32_t perPiece = mode == 2 ? 3 : 2;
    if (pieces > r_.remaining() / (4 * perPiece))
        r_.fail();
    for (uint32_t i = 0; i < pieces; ++i) {
        uint32_t idx[3] = {0, 0, 0};
        for (uint32_t k = 0; k < perPiece; ++k)
            idx[k] = r_.u32le();
        if (idx[0] >= vertices || idx[1] >= vertices || (perPiece == 3 && idx[2] >= vertices))
            continue;
        if (mode == 2) {
            const Vertex& a = v[idx[0]];
            const Vertex& b = v[idx[1]];
            const Vertex& c = v[idx[2]];
            const QColor average((a.color.red() + b.color.red() + c.color.red()) / 3,
                                 (a.color.green() + b.color.green() + c.color.green()) / 3,
                                 (a.color.blue() + b.color.blue() + c.color.blue()) / 3);
            c_.gradientTriangle(QPolygonF({a.at, b.at, c.at}), average);
        } else if (mode <= 1) {
            const Vertex& a = v[idx[0]];
            const Vertex& b = v[idx[1]];
            c_.gradientRect(QRectF(a.at, b.at), a.color, b.color, mode == 1);
        }
    }
}

void RecordPlayer::play(uint32_t type)
{
    DcState& st = c_.state();
    switch (type) {
    case PolyBezier: case Polygon: case Polyline: case PolyBezierTo: case PolylineTo:
        poly(type, false);
        break;
    case PolyBezier16: case Polygon16: case Polyline16: case PolyBezierTo16: case PolylineTo16:
        poly(type, true);
        break;
    case PolyPolyline: case PolyPolygon: polyPoly(type, false); break;
    case PolyPolyline16: case PolyPolygon16: polyPoly(type, true); break;
    case PolyDraw:
    case PolyDraw16: {
        rectL(r_);
        const uint32_t count = r_.u32le();
        const QPolygonF points = readPoints(r_, count, type == PolyDraw16);
        const auto types = r_.bytes(count);
        c_.polyDraw(points, std::vector<uint8_t>(types.begin(), types.end()));
        break;
    }
    case SetWindowExtEx: {
        const QPointF ext = pointL(r_);
        c_.setWindowExt(QSizeF(ext.x(), ext.y()));
        break;
    }
    case SetWindowOrgEx: c_.setWindowOrg(pointL(r_)); break;
    case SetViewportExtEx: {
        const QPointF ext = pointL(r_);
        c_.setViewportExt(QSizeF(ext.x(), ext.y()));
        break;
    }
    case SetViewportOrgEx: c_.setViewportOrg(pointL(r_)); break;
    case ScaleViewportExtEx:
    case ScaleWindowExtEx: {
        const double xNum = r_.i32le();
        const double xDenom = r_.i32le();
        const double yNum = r_.i32le();
        const double yDenom = r_.i32le();
        if (xDenom == 0 || yDenom == 0)
            break;
        if (type == ScaleWindowExtEx)
            c_.setWindowExt(QSizeF(st.windowExt.width() * xNum / xDenom, st.windowExt.height() * yNum / yDenom));
        else
            c_.setViewportExt(QSizeF(st.viewportExt.width() * xNum / xDenom, st.viewportExt.height() * yNum / yDenom));
        break;
    }
    case SetPixelV: {
        const QPointF at = pointL(r_);
        c_.setPixel(at, colorRef(r_.u32le()));
        break;
    }
    case SetMapMode: c_.setMapMode(int(r_.u32le())); break;
    case SetBkMode: st.opaqueBackground = r_.u32le() == 2; break;
    case SetPolyFillMode: st.windingFill = r_.u32le() == 2; break;
    case SetRop2: st.rop2 = int(r_.u32le()); break;
    case SetTextAlign: st.textAlign = r_.u32le(); break;
    case SetTextColor: st.textColor = colorRef(r_.u32le()); break;
    case SetBkColor: st.backgroundColor = colorRef(r_.u32le()); break;
    case OffsetClipRgn: c_.offsetClip(pointL(r_)); break;
    case MoveToEx: c_.moveTo(pointL(r_)); break;
    case ExcludeClipRect: c_.excludeClipRect(rectL(r_)); break;
    case IntersectClipRect: c_.intersectClipRect(rectL(r_)); break;
    case SaveDc: c_.saveState(); break;
    case RestoreDc: c_.restoreState(r_.i32le()); break;
    case SetWorldTransform:
    case ModifyWorldTransform: {
        const double m11 = f32(r_), m12 = f32(r_), m21 = f32(r_), m22 = f32(r_), dx = f32(r_), dy = f32(r_);
        const QTransform t(m11, m12, m21, m22, dx, dy);
        if (type == SetWorldTransform)
            c_.setWorldTransform(t);
        else
            c_.modifyWorldTransform(t, int(r_.u32le()));
        break;
    }
    case SelectObject: {
        const uint32_t index = r_.u32le();
        if (index & 0x80000000)
            c_.selectStockObject(index);
        else
            c_.selectObject(index);
        break;
    }
    case DeleteObject: c_.deleteObject(r_.u32le()); break;
    case CreatePen: case ExtCreatePen: case CreateBrushIndirect: case CreateMonoBrush:
    case CreateDibPatternBrushPt: case ExtCreateFontIndirectW: case CreatePalette:
        create(type);
        break;
    case AngleArc: {
        const QPointF center = pointL(r_);
        const double radius = r_.u32le();
        const double start = f32(r_);
        const double sweep = f32(r_);
        c_.angleArc(center, radius, start, sweep);
        break;
    }
    case Ellipse: c_.ellipse(rectL(r_)); break;
    case Rectangle: c_.rectangle(rectL(r_)); break;
    case RoundRect: {
        const QRectF box = rectL(r_);
        const QPointF corner = pointL(r_);
        c_.roundRect(box, QSizeF(corner.x(), corner.y()));
        break;
    }
    case Arc: case Chord: case Pie: case ArcTo: {
        const QRectF box = rectL(r_);
        const QPointF start = pointL(r_);
        const QPointF end = pointL(r_);
        using Kind = MetafileCanvas::ArcKind;
        c_.arc(box, start, end,
               type == Arc ? Kind::Arc : type == Chord ? Kind::Chord : type == Pie ? Kind::Pie : Kind::ArcTo);
        break;
    }
    case LineTo: c_.lineTo(pointL(r_)); break;
    case SetArcDirection: st.clockwiseArcs = r_.u32le() == 2; break;
    case BeginPath: c_.beginPath(); break;
    case EndPath: c_.endPath(); break;
    case CloseFigure: c_.closeFigure(); break;
    case FillPath: c_.fillPath(); break;
    case StrokeAndFillPath: c_.strokeAndFillPath(); break;
    case StrokePath: c_.strokePath(); break;
    case SelectClipPath: c_.selectClipPath(int(r_.u32le())); break;
    case AbortPath: c_.abortPath(); break;
    case FillRgn: {
        rectL(r_);
        r_.u32le(); // region data size
        const uint32_t brush = r_.u32le();
        c_.fillDeviceArea(regionRects(r_), brushAt(brush));
        break;
    }
    case PaintRgn:
        rectL(r_);
        r_.u32le();
        c_.fillDeviceArea(regionRects(r_), st.brush);
        break;
    case ExtSelectClipRgn: {
        const uint32_t size = r_.u32le();
        const int mode = int(r_.u32le());
        if (size == 0)
            c_.combineClipDevice(std::nullopt, mode);
        else
            c_.combineClipDevice(regionRects(r_), mode);
        break;
    }
    case BitBlt: case StretchBlt: case StretchDiBits: case SetDiBitsToDevice: case AlphaBlend: case TransparentBlt:
        bitmapRecord(type);
        break;
    case ExtTextOutA: text(false); break;
    case ExtTextOutW: text(true); break;
    case SmallTextOut: smallText(); break;
    case GradientFill: gradient(); break;
    default: break; // comments (also EMF+ ones), palettes, color management and the rest
    }
}

} // namespace

EmfHeader readEmfHeader(std::span<const uint8_t> data)
{
    ByteReader r(data);
    // A header record cut short still shows its type and signature.
    if (data.size() >= 44 && data.size() < 88 && le32(data.data()) == Header && le32(data.data() + 40) == kSignature)
        throw PictureError(PictureReason::kTruncated);
    if (data.size() < 88 || le32(data.data()) != Header || le32(data.data() + 40) != kSignature)
        throw PictureError("The file is not a Windows enhanced metafile.");
    EmfHeader header;
    r.u32le(); // type
    header.headerSize = r.u32le();
    const QPointF boundsTopLeft = pointL(r);
    const QPointF boundsBottomRight = pointL(r);
    const QPointF frameTopLeft = pointL(r);
    const QPointF frameBottomRight = pointL(r);
    header.bounds = QRect(boundsTopLeft.toPoint(), boundsBottomRight.toPoint());
    header.frame = QRect(frameTopLeft.toPoint(), frameBottomRight.toPoint());
    r.seek(56);
    header.handles = r.u16le();
    r.seek(72);
    const double deviceX = r.i32le();
    const double deviceY = r.i32le();
    const double mmX = r.i32le();
    const double mmY = r.i32le();
    if (header.headerSize < 88 || header.headerSize > data.size())
        throw PictureError("The picture data is damaged: its header claims " + std::to_string(header.headerSize)
                           + " bytes in a file of " + std::to_string(data.size()) + ".");
    // The size in micrometres (more exact) exists when the header is long enough and the
    // description and pixel format do not start inside it; older writers put the description
    // right after the 88-byte header.
    r.seek(60);
    const uint32_t descriptionLength = r.u32le();
    const uint32_t descriptionOffset = r.u32le();
    double microX = 0, microY = 0;
    if (header.headerSize >= 108 && (descriptionLength == 0 || descriptionOffset >= 108)) {
        r.seek(88);
        const uint32_t pixelFormatSize = r.u32le();
        const uint32_t pixelFormatOffset = r.u32le();
        if (pixelFormatSize == 0 || pixelFormatOffset >= 108) {
            r.seek(100);
            microX = r.u32le();
            microY = r.u32le();
        }
    }
    auto resolution = [](double pixels, double micrometers, double millimeters) {
        const double byMm = millimeters > 0 ? pixels / millimeters : 0;
        double perMm = micrometers > 0 ? pixels * 1000 / micrometers : byMm;
        if (byMm > 0 && std::abs(perMm - byMm) > 0.1 * byMm)
            perMm = byMm; // micrometres that disagree with millimetres are not trusted
        return perMm > 0.01 && perMm < 10000 ? perMm : 96 / 25.4;
    };
    header.devicePixelsPerMmX = resolution(deviceX, microX, mmX);
    header.devicePixelsPerMmY = resolution(deviceY, microY, mmY);
    return header;
}

void playEmf(std::span<const uint8_t> data, const EmfHeader& header, MetafileCanvas& canvas)
{
    canvas.resizeObjectTable(header.handles);
    size_t offset = header.headerSize;
    for (size_t count = 0; offset <= data.size() && data.size() - offset >= 8 && count < kMaxRecords; ++count) {
        const uint32_t type = le32(data.data() + offset);
        const uint32_t size = le32(data.data() + offset + 4);
        if (size < 8 || size > data.size() - offset || type == Eof)
            return;
        try {
            RecordPlayer(data.subspan(offset, size), canvas).play(type);
        } catch (const PictureError&) {
            // A record whose fields do not fit its size is skipped.
        }
        offset += size;
    }
}

} // namespace metafile
