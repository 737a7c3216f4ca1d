#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <cmath>
#include <cstdint>
#include <deque>
#include <optional>
#include <variant>
#include <vector>

class QBrush;
class QPainter;
class QPen;

// The drawing state machine shared by the WMF and EMF record players: the device context
// of the 16- and 32-bit Windows drawing interface (objects, mapping modes, world transform,
// paths, clipping, saved states), drawing through QPainter into a target rectangle.
//
// Coordinates pass through three spaces: logical (what the records hold), device (the
// metafile's reference device, reached through the world transform and the window/viewport
// mapping) and target (the painter's coordinates, reached through a fixed device-to-target
// transform that stretches the picture's frame over the rectangle asked for).
namespace metafile {

// GDI stock colors and style constants used by both players.
enum MapMode : int {
    MapText = 1,
    MapLoMetric = 2,
    MapHiMetric = 3,
    MapLoEnglish = 4,
    MapHiEnglish = 5,
    MapTwips = 6,
    MapIsotropic = 7,
    MapAnisotropic = 8,
};

enum PenStyle : uint32_t {
    PenSolid = 0,
    PenDash = 1,
    PenDot = 2,
    PenDashDot = 3,
    PenDashDotDot = 4,
    PenNull = 5,
    PenInsideFrame = 6,
    PenUserStyle = 7,
    PenAlternate = 8,
    PenStyleMask = 0x0F,
    PenEndCapMask = 0x0F00,
    PenEndCapSquare = 0x0100,
    PenEndCapFlat = 0x0200,
    PenJoinMask = 0xF000,
    PenJoinBevel = 0x1000,
    PenJoinMiter = 0x2000,
    PenGeometric = 0x00010000,
};

// Text alignment flags (SetTextAlign).
enum TextAlign : uint32_t {
    AlignUpdateCp = 1,
    AlignRight = 2,
    AlignCenter = 6,
    AlignHorizontalMask = 6,
    AlignBottom = 8,
    AlignBaseline = 24,
    AlignVerticalMask = 24,
};

// ExtTextOut options.
enum TextOption : uint32_t {
    TextOpaque = 0x0002,
    TextClipped = 0x0004,
    TextGlyphIndex = 0x0010,
};

// Region combination modes (clipping).
enum RegionMode : int {
    RegionAnd = 1,
    RegionOr = 2,
    RegionXor = 3,
    RegionDiff = 4,
    RegionCopy = 5,
};

struct PenSpec {
    uint32_t style = PenSolid; // style, end cap and join bits
    double width = 0;          // logical units; 0 draws one device pixel wide
    QColor color = Qt::black;
    bool extended = false;     // made by ExtCreatePen: dashes at any width
    std::vector<double> dashes; // user style entries, logical units
};

struct BrushSpec {
    enum Kind { Solid, Null, Hatched, Pattern };
    Kind kind = Solid;
    QColor color = Qt::white;
    int hatch = 0;
    QImage pattern;
};

struct FontSpec {
    int height = 0;
    int width = 0;
    int escapement = 0; // tenths of a degree, counterclockwise
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    uint8_t charSet = 0;
    uint8_t pitchAndFamily = 0;
    QString face;
};

// A region object (WMF CreateRegion): its area in logical coordinates.
struct RegionSpec {
    QPainterPath area;
};

// One slot of the object table. std::monostate stands for objects that are created (they
// take their slot) but have no effect here: palettes, unsupported brush kinds.
using GdiObject = std::variant<std::monostate, PenSpec, BrushSpec, FontSpec, RegionSpec>;

struct DcState {
    PenSpec pen;
    BrushSpec brush;
    FontSpec font;
    QColor textColor = Qt::black;
    QColor backgroundColor = Qt::white;
    bool opaqueBackground = true;
    uint32_t textAlign = 0;
    bool windingFill = false;
    int rop2 = 13; // R2_COPYPEN
    int mapMode = MapText;
    QPointF windowOrg{0, 0};
    QPointF viewportOrg{0, 0};
    QSizeF windowExt{1, 1};
    QSizeF viewportExt{1, 1};
    QTransform world;
    QPointF position;
    bool clockwiseArcs = false;
    std::optional<QRegion> clip; // target pixels; none means unclipped
};

// Text to draw with ExtTextOut or TextOut.
struct TextRun {
    QPointF reference;          // logical
    QString text;
    uint32_t options = 0;       // TextOption flags
    std::optional<QRectF> rect; // logical opaquing / clipping rectangle
    std::vector<double> dx;     // advance of each character, logical units (may be empty)
};

// How the canvas maps device space into target space and which mapping records count.
struct CanvasSetup {
    QTransform deviceToTarget;     // fixed for one playback
    QRectF target;                 // drawing is clipped to it (target coordinates)
    double devicePixelsPerMmX = 96 / 25.4;
    double devicePixelsPerMmY = 96 / 25.4;
};

class MetafileCanvas {
public:
    // painter may be null: nothing is drawn and the device-space bounds of every drawing
    // operation are collected instead (used to size metafiles that declare no extent).
    MetafileCanvas(QPainter* painter, const CanvasSetup& setup);
    ~MetafileCanvas();
    MetafileCanvas(const MetafileCanvas&) = delete;
    MetafileCanvas& operator=(const MetafileCanvas&) = delete;

    DcState& state() { return state_; }
    const DcState& state() const { return state_; }

    // The device-space rectangle covered by the drawing so far (bounds mode).
    QRectF drawnBounds() const { return bounds_; }

    // --- object table ---
    void resizeObjectTable(size_t count);
    // Stores obj in the lowest free slot (WMF) and returns its index, or -1 if the table is full.
    int addObject(GdiObject obj);
    // Stores obj at index (EMF); out-of-range indexes are ignored.
    void setObject(uint32_t index, GdiObject obj);
    void selectObject(uint32_t index);
    void deleteObject(uint32_t index);
    // EMF stock objects (index with the high bit set).
    void selectStockObject(uint32_t stock);
    const RegionSpec* regionAt(uint32_t index) const;

    // --- state ---
    void saveState();
    void restoreState(int relative);
    void setMapMode(int mode);
    void setWindowOrg(QPointF org) { state_.windowOrg = org; }
    void setWindowExt(QSizeF ext);
    void setViewportOrg(QPointF org) { state_.viewportOrg = org; }
    void setViewportExt(QSizeF ext);
    void setWorldTransform(const QTransform& t);
    void modifyWorldTransform(const QTransform& t, int mode);

    // Logical to device and logical to target transforms for the current state.
    QTransform pageTransform() const;
    QTransform logicalToTarget() const;

    // --- drawing, logical coordinates ---
    void moveTo(QPointF p);
    void lineTo(QPointF p);
    void polyline(const QPolygonF& points);
    void polylineTo(const QPolygonF& points);
    void polygon(const QPolygonF& points);
    void polyPolygon(const std::vector<QPolygonF>& polygons);
    void polyPolyline(const std::vector<QPolygonF>& polylines);
    void polyBezier(const QPolygonF& points);
    void polyBezierTo(const QPolygonF& points);
    // PolyDraw: each point's type is PT_MOVETO (6), PT_LINETO (2) or PT_BEZIERTO (4), with
    // PT_CLOSEFIGURE (1) or-ed in.
    void polyDraw(const QPolygonF& points, const std::vector<uint8_t>& types);
    void rectangle(const QRectF& box);
    void roundRect(const QRectF& box, QSizeF corner);
    void ellipse(const QRectF& box);
    enum class ArcKind { Arc, ArcTo, Chord, Pie };
    void arc(const QRectF& box, QPointF start, QPointF end, ArcKind kind);
    void angleArc(QPointF center, double radius, double startDegrees, double sweepDegrees);
    void setPixel(QPointF p, const QColor& color);
    void text(const TextRun& run);
    // Bitmap transfer: source pixels of image (rectangle source) stretched over dest
    // (logical; negative sizes mirror) with a ternary raster operation; opacity < 1 blends.
    void bitmap(const QRectF& dest, const QImage& image, const QRectF& source, uint32_t rop,
                double opacity = 1.0);
    // A raster operation without source (PatBlt, BitBlt without bitmap).
    void patternBlt(const QRectF& dest, uint32_t rop);
    // Fills an area given in device coordinates (EMF regions) or logical (WMF regions).
    void fillDeviceArea(const std::vector<QRectF>& rects, const BrushSpec& brush);
    void fillLogicalArea(const QPainterPath& area, const BrushSpec& brush);
    void gradientRect(const QRectF& rect, const QColor& from, const QColor& to, bool vertical);
    void gradientTriangle(const QPolygonF& triangle, const QColor& average);

    // --- paths (EMF) ---
    void beginPath();
    void endPath();
    void abortPath();
    void closeFigure();
    void fillPath();
    void strokePath();
    void strokeAndFillPath();
    void selectClipPath(int mode);

    // --- clipping ---
    void intersectClipRect(const QRectF& logical);
    void excludeClipRect(const QRectF& logical);
    // Combines the clip with rectangles in device coordinates (EMF regions); no rectangles
    // with RegionCopy removes the clip.
    void combineClipDevice(const std::optional<std::vector<QRectF>>& rects, int mode);
    void combineClipLogical(const QPainterPath& area, int mode);
    void offsetClip(QPointF logicalOffset);

private:
    // Adds a shape to the open path, or fills and strokes it.
    void drawShape(const QPainterPath& logical, bool fill, bool stroke);
    // Fills and strokes a shape given in logical coordinates with transform t.
    void paintShape(const QPainterPath& logical, const QTransform& t, bool fill, bool stroke);
    // Fills an area in target coordinates with a brush (no pen).
    void fillTarget(const QPainterPath& target, const BrushSpec& brush);
    void drawPathTarget(bool fill, bool stroke);
    void addToBounds(const QRectF& targetRect);
    void applyClip();
    void combineClip(const QRegion& target, int mode);
    QRegion targetRegion(const QPainterPath& target) const;
    QPen makePen(const QTransform& t, bool& visible) const;
    QBrush makeBrush(const BrushSpec& brush, const QTransform& painterTransform) const;
    // Sets the composition mode for the current ROP2; false when nothing is to be drawn.
    bool applyRop2(QColor* overrideColor);
    void pathLineTo(QPointF target);
    QRect targetPixels() const;
    // Antialiased filling walks every row and column a shape spans, those far outside the
    // target too; a shape reaching beyond the target by more than its own size is drawn
    // aliased, which clips to the target first.
    bool smoothAt(const QRectF& targetBox) const;

    QPainter* painter_;
    CanvasSetup setup_;
    QTransform base_;
    DcState state_;
    std::deque<DcState> saved_;
    std::vector<std::optional<GdiObject>> objects_;
    bool pathOpen_ = false;
    bool figureOpen_ = false;
    QPainterPath path_; // target coordinates
    bool pathWinding_ = false;
    QRectF bounds_;
    bool rasterOps_ = false;
};

// Drawing that lands farther than this from the origin in target pixels is dropped: no
// real picture needs it, and it keeps the rasteriser's fixed-point arithmetic safe.
inline constexpr double kMaxTargetCoordinate = 4.0 * 1024 * 1024;

inline bool withinReach(const QRectF& r)
{
    return std::abs(r.left()) < kMaxTargetCoordinate && std::abs(r.right()) < kMaxTargetCoordinate
        && std::abs(r.top()) < kMaxTargetCoordinate && std::abs(r.bottom()) < kMaxTargetCoordinate;
}

// Text in the given 8-bit character set (LOGFONT lfCharSet) as Unicode.
QString decodeAnsiText(const QByteArray& bytes, uint8_t charSet);

// A COLORREF (0x00BBGGRR) as a color.
inline QColor colorRef(uint32_t value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

} // namespace metafile
