#include "WmfPlayer.h"

#include "formats/ByteReader.h"
#include "MetafileCanvas.h"
#include "MetafileDib.h"
#include "formats/PictureError.h"

#include <string>
#include <vector>

namespace metafile {

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
// More records than any real file holds; every record is at least 6 bytes long anyway.
constexpr size_t kMaxRecords = 20'000'000;

// Record functions.
enum Function : uint16_t {
    SaveDc = 0x001E,
    CreatePalette = 0x00F7,
    SetBkMode = 0x0102,
    SetMapModeRecord = 0x0103,
    SetRop2 = 0x0104,
    SetPolyFillMode = 0x0106,
    RestoreDc = 0x0127,
    PaintRegion = 0x012B,
    SelectClipRegion = 0x012C,
    SelectObject = 0x012D,
    SetTextAlign = 0x012E,
    DibCreatePatternBrush = 0x0142,
    DeleteObject = 0x01F0,
    CreatePatternBrush = 0x01F9,
    SetBkColor = 0x0201,
    SetTextColor = 0x0209,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    OffsetWindowOrg = 0x020F,
    LineTo = 0x0213,
    MoveTo = 0x0214,
    OffsetClipRgn = 0x0220,
    FillRegion = 0x0228,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    Polygon = 0x0324,
    Polyline = 0x0325,
    ScaleWindowExt = 0x0410,
    ExcludeClipRect = 0x0415,
    IntersectClipRect = 0x0416,
    Ellipse = 0x0418,
    Rectangle = 0x041B,
    SetPixel = 0x041F,
    TextOut = 0x0521,
    PolyPolygon = 0x0538,
    RoundRect = 0x061C,
    PatBlt = 0x061D,
    CreateRegion = 0x06FF,
    Arc = 0x0817,
    Pie = 0x081A,
    Chord = 0x0830,
    BitBlt = 0x0922,
    DibBitBlt = 0x0940,
    ExtTextOut = 0x0A32,
    StretchBlt = 0x0B23,
    DibStretchBlt = 0x0B41,
    SetDibToDev = 0x0D33,
    StretchDib = 0x0F43,
};

uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Calls f(function, sizeInWords, parameters) for each record up to the end-of-file record.
template <class F>
void forEachRecord(std::span<const uint8_t> data, size_t offset, F&& f)
{
    for (size_t count = 0; offset <= data.size() && data.size() - offset >= 6 && count < kMaxRecords; ++count) {
        const uint32_t words = le32(data.data() + offset);
        const uint16_t function = uint16_t(data[offset + 4] | (data[offset + 5] << 8));
        if (function == 0)
            return;
        if (words < 3 || words > (data.size() - offset) / 2)
            return; // runs past the end: the rest is lost
        f(function, words, data.subspan(offset + 6, size_t(words) * 2 - 6));
        offset += size_t(words) * 2;
    }
}

QPointF point(ByteReader& r) // stored x, y
{
    const double x = r.i16le();
    const double y = r.i16le();
    return {x, y};
}

QPointF pointYX(ByteReader& r) // stored y, x
{
    const double y = r.i16le();
    const double x = r.i16le();
    return {x, y};
}

QRectF rectBRTL(ByteReader& r) // stored bottom, right, top, left
{
    const double bottom = r.i16le();
    const double right = r.i16le();
    const double top = r.i16le();
    const double left = r.i16le();
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

QPolygonF points(ByteReader& r, size_t count)
{
    if (count * 4 > r.remaining())
        r.fail();
    QPolygonF result;
    result.reserve(qsizetype(count));
    for (size_t i = 0; i < count; ++i)
        result << point(r);
    return result;
}

// A monochrome 16-bit bitmap (Bitmap16 with its bits), the pattern of old pattern brushes.
QImage monochromeBitmap16(ByteReader& r, size_t reservedAfterHeader)
{
    r.i16le(); // type
    const int width = r.i16le();
    const int height = r.i16le();
    const int widthBytes = r.i16le();
    const int planes = r.u8();
    const int bitsPixel = r.u8();
    r.skip(reservedAfterHeader);
    if (planes != 1 || bitsPixel != 1 || width <= 0 || height <= 0 || width > 64 || height > 64
        || widthBytes * 8 < width)
        return {};
    const auto bits = r.bytes(size_t(widthBytes) * size_t(height));
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            out[x] = (bits[size_t(y * widthBytes + x / 8)] >> (7 - x % 8)) & 1 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    return image;
}

// A region object: bands of rectangles, in logical units.
QPainterPath region(ByteReader& r)
{
    r.u16le(); // next in chain
    r.u16le(); // object type
    r.u32le(); // object count
    r.i16le(); // region size
    const int scanCount = r.i16le();
    r.i16le(); // largest scan
    const double left = r.i16le();
    const double top = r.i16le();
    const double right = r.i16le();
    const double bottom = r.i16le();
    QPainterPath area;
    area.setFillRule(Qt::WindingFill);
    if (scanCount <= 0) {
        area.addRect(QRectF(QPointF(left, top), QPointF(right, bottom)).normalized());
        return area;
    }
    for (int s = 0; s < scanCount; ++s) {
        const int count = r.u16le();
        const double scanTop = r.u16le();
        const double scanBottom = r.u16le();
        for (int i = 0; i + 1 < count; i += 2) {
            const double l = r.u16le();
            const double rr = r.u16le();
            area.addRect(QRectF(QPointF(l, scanTop), QPointF(rr, scanBottom)).normalized());
        }
        r.u16le(); // count repeated
    }
    return area;
}

FontSpec font(ByteReader& r)
{
    FontSpec f;
    f.height = r.i16le();
    f.width = r.i16le();
    f.escapement = r.i16le();
    r.i16le(); // orientation
    f.weight = r.i16le();
    f.italic = r.u8();
    f.underline = r.u8();
    f.strikeOut = r.u8();
    f.charSet = r.u8();
    r.skip(3); // output precision, clip precision, quality
    f.pitchAndFamily = r.u8();
    QByteArray face;
    while (!r.atEnd() && face.size() < 32) {
        const char c = char(r.u8());
        if (c == 0)
            break;
        face += c;
    }
    f.face = decodeAnsiText(face, f.charSet);
    return f;
}

class RecordPlayer {
public:
    RecordPlayer(MetafileCanvas& canvas, const WmfMapping& mapping) : c_(canvas), mapping_(mapping) {}

    void play(uint16_t function, uint32_t words, std::span<const uint8_t> params);

private:
    void create(uint16_t function, ByteReader& r);
    void text(ByteReader& r, bool extended);
    void dibRecord(uint16_t function, uint32_t words, ByteReader& r);

    MetafileCanvas& c_;
    const WmfMapping& mapping_;
};

void RecordPlayer::create(uint16_t function, ByteReader& r)
{
    // Every creation takes a slot, also when its object cannot be read: later records count on it.
    GdiObject obj;
    try {
        switch (function) {
        case CreatePenIndirect: {
            PenSpec pen;
            pen.style = r.u16le();
            pen.width = std::abs(double(r.i16le()));
            r.i16le();
            pen.color = colorRef(r.u32le());
            obj = pen;
            break;
        }
        case CreateBrushIndirect: {
            BrushSpec brush;
            const uint16_t style = r.u16le();
            brush.color = colorRef(r.u32le());
            brush.hatch = r.u16le();
            brush.kind = style == 1 ? BrushSpec::Null : style == 2 ? BrushSpec::Hatched : BrushSpec::Solid;
            obj = brush;
            break;
        }
        case CreateFontIndirect: obj = font(r); break;
        case CreateRegion: obj = RegionSpec{region(r)}; break;
        case DibCreatePatternBrush: {
            const uint16_t style = r.u16le();
            const uint16_t usage = r.u16le();
            BrushSpec brush;
            brush.kind = BrushSpec::Pattern;
            brush.color = Qt::black;
            if (style == 3) // BS_PATTERN: a 16-bit bitmap
                brush.pattern = monochromeBitmap16(r, 0);
            else
                brush.pattern = decodePackedDib(r.bytes(r.remaining()), usage == 1).image;
            obj = brush;
            break;
        }
        case CreatePatternBrush: {
            BrushSpec brush;
            brush.kind = BrushSpec::Pattern;
            brush.color = Qt::black;
            brush.pattern = monochromeBitmap16(r, 18);
            obj = brush;
            break;
        }
        default: break; // palettes and other objects without effect here
        }
    } catch (const PictureError&) {
        obj = std::monostate{};
    }
    c_.addObject(std::move(obj));
}

void RecordPlayer::text(ByteReader& r, bool extended)
{
    TextRun run;
    QByteArray bytes;
    if (!extended) {
        const int length = r.u16le();
        const auto s = r.bytes(size_t(length));
        bytes = QByteArray(reinterpret_cast<const char*>(s.data()), qsizetype(s.size()));
        if (length % 2)
            r.skip(1);
        run.reference = pointYX(r);
    } else {
        run.reference = pointYX(r);
        const int length = r.i16le();
        run.options = r.u16le();
        if (length < 0)
            return;
        if (run.options & (TextOpaque | TextClipped)) {
            const double left = r.i16le();
            const double top = r.i16le();
            const double right = r.i16le();
            const double bottom = r.i16le();
            run.rect = QRectF(QPointF(left, top), QPointF(right, bottom));
        }
        const auto s = r.bytes(size_t(length));
        bytes = QByteArray(reinterpret_cast<const char*>(s.data()), qsizetype(s.size()));
        if (length % 2 && !r.atEnd())
            r.skip(1);
        if (r.remaining() >= size_t(length) * 2) {
            run.dx.reserve(size_t(length));
            for (int i = 0; i < length; ++i)
                run.dx.push_back(r.i16le());
        }
    }
    while (!bytes.isEmpty() && bytes.back() == '\0')
        bytes.chop(1);
    run.text = decodeAnsiText(bytes, c_.state().font.charSet);
    if (run.dx.size() > size_t(run.text.size()))
        run.dx.resize(size_t(run.text.size()));
    else if (!run.dx.empty() && run.dx.size() < size_t(run.text.size()))
        run.dx.clear(); // multi-byte text: advances count bytes, not characters
    c_.text(run);
}

void RecordPlayer::dibRecord(uint16_t function, uint32_t words, ByteReader& r)
{
    const uint32_t rop = r.u32le();
    // The records without a bitmap are (high byte of the function) + 3 words long.
    const bool withoutBitmap = words == uint32_t(function >> 8) + 3;
    QRectF source;
    QRectF dest;
    bool paletteIndices = false;
    bool fromBottom = false;
    switch (function) {
    case DibBitBlt:
    case BitBlt:
    case DibStretchBlt:
    case StretchBlt: {
        // The stretching records give the source size first; the others copy at the
        // destination's size.
        const bool stretched = function == DibStretchBlt || function == StretchBlt;
        double srcHeight = 0, srcWidth = 0;
        if (stretched) {
            srcHeight = r.i16le();
            srcWidth = r.i16le();
        }
        const double ySrc = r.i16le();
        const double xSrc = r.i16le();
        if (withoutBitmap)
            r.skip(2);
        const double height = r.i16le();
        const double width = r.i16le();
        const QPointF at = pointYX(r);
        if (!stretched) {
            srcWidth = width;
            srcHeight = height;
        }
        source = QRectF(xSrc, ySrc, srcWidth, srcHeight);
        dest = QRectF(at, QSizeF(width, height));
        break;
    }
    case StretchDib: {
        paletteIndices = r.u16le() == 1;
        const double srcHeight = r.i16le();
        const double srcWidth = r.i16le();
        const double ySrc = r.i16le();
        const double xSrc = r.i16le();
        const double height = r.i16le();
        const double width = r.i16le();
        const QPointF at = pointYX(r);
        source = QRectF(xSrc, ySrc, srcWidth, srcHeight);
        dest = QRectF(at, QSizeF(width, height));
        fromBottom = true;
        break;
    }
    default: return;
    }
    if (withoutBitmap && function != StretchDib) {
        c_.patternBlt(dest, rop);
        return;
    }
    if (function == BitBlt || function == StretchBlt)
        return; // device-dependent 16-bit bitmaps are not drawn
    const Dib dib = decodePackedDib(r.bytes(r.remaining()), paletteIndices);
    if (dib.image.isNull())
        return;
    if (fromBottom && dib.bottomUp) // source rectangles of bottom-up rows count from the bottom
        source.moveTop(dib.image.height() - source.top() - source.height());
    c_.bitmap(dest, dib.image, source, rop);
}

void RecordPlayer::play(uint16_t function, uint32_t words, std::span<const uint8_t> params)
{
    ByteReader r(params);
    DcState& st = c_.state();
    switch (function) {
    case SaveDc: c_.saveState(); break;
    case RestoreDc: c_.restoreState(r.i16le()); break;
    case SetBkMode: st.opaqueBackground = r.u16le() == 2; break;
    case SetMapModeRecord:
        if (!mapping_.fixedViewport)
            c_.setMapMode(r.u16le());
        break;
    case SetRop2: st.rop2 = r.u16le(); break;
    case SetPolyFillMode: st.windingFill = r.u16le() == 2; break;
    case SetTextAlign: st.textAlign = r.u16le(); break;
    case SetBkColor: st.backgroundColor = colorRef(r.u32le()); break;
    case SetTextColor: st.textColor = colorRef(r.u32le()); break;
    case SetWindowOrg: c_.setWindowOrg(pointYX(r)); break;
    case SetWindowExt: {
        const QPointF ext = pointYX(r);
        c_.setWindowExt(QSizeF(ext.x(), ext.y()));
        break;
    }
    case OffsetWindowOrg: c_.setWindowOrg(st.windowOrg + pointYX(r)); break;
    case ScaleWindowExt: {
        const double yDenom = r.i16le();
        const double yNum = r.i16le();
        const double xDenom = r.i16le();
        const double xNum = r.i16le();
        if (xDenom != 0 && yDenom != 0)
            c_.setWindowExt(QSizeF(st.windowExt.width() * xNum / xDenom, st.windowExt.height() * yNum / yDenom));
        break;
    }
    case LineTo: c_.lineTo(pointYX(r)); break;
    case MoveTo: c_.moveTo(pointYX(r)); break;
    case Polygon:
    case Polyline: {
        const int count = r.i16le();
        if (count <= 0)
            break;
        const QPolygonF pts = points(r, size_t(count));
        function == Polygon ? c_.polygon(pts) : c_.polyline(pts);
        break;
    }
    case PolyPolygon: {
        const int polygons = r.u16le();
        std::vector<int> counts;
        counts.reserve(size_t(polygons));
        for (int i = 0; i < polygons; ++i)
            counts.push_back(r.u16le());
        std::vector<QPolygonF> shapes;
        for (int count : counts)
            shapes.push_back(points(r, size_t(count)));
        c_.polyPolygon(shapes);
        break;
    }
    case Rectangle: c_.rectangle(rectBRTL(r)); break;
    case Ellipse: c_.ellipse(rectBRTL(r)); break;
    case RoundRect: {
        const double height = r.i16le();
        const double width = r.i16le();
        c_.roundRect(rectBRTL(r), QSizeF(width, height));
        break;
    }
    case Arc:
    case Pie:
    case Chord: {
        const QPointF end = pointYX(r);
        const QPointF start = pointYX(r);
        const QRectF box = rectBRTL(r);
        c_.arc(box, start, end,
               function == Arc ? MetafileCanvas::ArcKind::Arc
                               : function == Pie ? MetafileCanvas::ArcKind::Pie : MetafileCanvas::ArcKind::Chord);
        break;
    }
    case SetPixel: {
        const QColor color = colorRef(r.u32le());
        c_.setPixel(pointYX(r), color);
        break;
    }
    case TextOut: text(r, false); break;
    case ExtTextOut: text(r, true); break;
    case CreatePenIndirect:
    case CreateBrushIndirect:
    case CreateFontIndirect:
    case CreateRegion:
    case CreatePalette:
    case CreatePatternBrush:
    case DibCreatePatternBrush: create(function, r); break;
    case SelectObject: c_.selectObject(r.u16le()); break;
    case DeleteObject: c_.deleteObject(r.u16le()); break;
    case SelectClipRegion:
        if (const RegionSpec* rgn = c_.regionAt(r.u16le()))
            c_.combineClipLogical(rgn->area, RegionCopy);
        break;
    case ExcludeClipRect: c_.excludeClipRect(rectBRTL(r)); break;
    case IntersectClipRect: c_.intersectClipRect(rectBRTL(r)); break;
    case OffsetClipRgn: c_.offsetClip(pointYX(r)); break;
    case FillRegion: {
        const RegionSpec* rgn = c_.regionAt(r.u16le());
        const uint16_t brushIndex = r.u16le();
        if (!rgn)
            break;
        // Fill with the brush in the slot without disturbing the selected one.
        const BrushSpec selected = st.brush;
        c_.selectObject(brushIndex);
        const BrushSpec brush = c_.state().brush;
        c_.state().brush = selected;
        c_.fillLogicalArea(rgn->area, brush);
        break;
    }
    case PaintRegion:
        if (const RegionSpec* rgn = c_.regionAt(r.u16le()))
            c_.fillLogicalArea(rgn->area, st.brush);
        break;
    case PatBlt: {
        const uint32_t rop = r.u32le();
        const double height = r.i16le();
        const double width = r.i16le();
        const QPointF at = pointYX(r);
        c_.patternBlt(QRectF(at, QSizeF(width, height)), rop);
        break;
    }
    case BitBlt:
    case StretchBlt:
    case DibBitBlt:
    case DibStretchBlt:
    case StretchDib: dibRecord(function, words, r); break;
    case SetDibToDev: {
        const bool paletteIndices = r.u16le() == 1;
        r.u16le(); // scan count
        r.u16le(); // start scan
        const double yDib = r.i16le();
        const double xDib = r.i16le();
        const double height = r.i16le();
        const double width = r.i16le();
        const QPointF at = pointYX(r);
        const Dib dib = decodePackedDib(r.bytes(r.remaining()), paletteIndices);
        if (dib.image.isNull())
            break;
        QRectF source(xDib, yDib, width, height);
        if (dib.bottomUp)
            source.moveTop(dib.image.height() - yDib - height);
        c_.bitmap(QRectF(at, QSizeF(width, height)), dib.image, source, 0x00CC0020);
        break;
    }
    default: break; // viewport records, palettes, escapes and the rest do not change the picture
    }
}

} // namespace

WmfHeader readWmfHeader(std::span<const uint8_t> data)
{
    ByteReader r(data);
    WmfHeader header;
    if (data.size() >= 4 && le32(data.data()) == kPlaceableKey) {
        r.skip(4);
        r.u16le(); // handle
        const int left = r.i16le();
        const int top = r.i16le();
        const int right = r.i16le();
        const int bottom = r.i16le();
        header.unitsPerInch = r.u16le();
        r.u32le(); // reserved
        r.u16le(); // checksum: not checked, writers get it wrong
        if (right == left || bottom == top)
            throw PictureError("The metafile's picture rectangle is empty.");
        if (header.unitsPerInch == 0)
            throw PictureError("The metafile gives no units per inch.");
        header.placeable = true;
        header.bounds = QRectF(left, top, right - left, bottom - top);
    }
    const uint16_t type = r.u16le();
    const uint16_t headerWords = r.u16le();
    const uint16_t version = r.u16le();
    r.u32le(); // size in words: often wrong, the records are walked instead
    header.objectCount = r.u16le();
    r.u32le(); // largest record
    r.u16le(); // unused
    if ((type != 1 && type != 2) || headerWords != 9)
        throw PictureError("The file is not a Windows metafile.");
    if (version != 0x0100 && version != 0x0300)
        throw PictureError("Windows metafiles of version " + std::to_string(version >> 8) + "."
                           + std::to_string(version & 0xFF) + " are not supported.");
    header.recordsOffset = r.pos();
    return header;
}

WmfWindowRecords scanWmfWindow(std::span<const uint8_t> data, const WmfHeader& header)
{
    WmfWindowRecords found;
    bool mapModeSeen = false;
    forEachRecord(data, header.recordsOffset, [&](uint16_t function, uint32_t, std::span<const uint8_t> params) {
        if (params.size() < 4 && function != SetMapModeRecord)
            return;
        ByteReader r(params);
        try {
            if (function == SetWindowOrg && !found.org) {
                found.org = pointYX(r);
            } else if (function == SetWindowExt && !found.ext) {
                const QPointF ext = pointYX(r);
                if (ext.x() != 0 && ext.y() != 0)
                    found.ext = QSizeF(ext.x(), ext.y());
            } else if (function == SetMapModeRecord && !mapModeSeen) {
                found.mapMode = r.u16le();
                mapModeSeen = true;
            }
        } catch (const PictureError&) {
        }
    });
    return found;
}

void playWmf(std::span<const uint8_t> data, const WmfHeader& header, const WmfMapping& mapping, MetafileCanvas& canvas)
{
    canvas.resizeObjectTable(header.objectCount);
    if (mapping.fixedViewport) {
        canvas.setMapMode(MapAnisotropic);
        canvas.setViewportOrg(mapping.viewportOrg);
        canvas.setViewportExt(mapping.viewportExt);
        canvas.setWindowOrg(mapping.windowOrg);
        canvas.setWindowExt(mapping.windowExt);
    }
    RecordPlayer player(canvas, mapping);
    forEachRecord(data, header.recordsOffset, [&](uint16_t function, uint32_t words, std::span<const uint8_t> params) {
        try {
            player.play(function, words, params);
        } catch (const PictureError&) {
            // A record whose parameters do not fit its size is skipped.
        }
    });
}

} // namespace metafile
