// Drawing operations of the metafile canvas: lines, shapes, arcs, bitmaps and fills.
#include "MetafileCanvas.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace metafile {

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

// Raster operations of bitmap transfers.
enum RasterOp : uint32_t {
    SrcCopy = 0x00CC0020,
    SrcPaint = 0x00EE0086,
    SrcAnd = 0x008800C6,
    SrcInvert = 0x00660046,
    SrcErase = 0x00440328,
    NotSrcCopy = 0x00330008,
    NotSrcErase = 0x001100A6,
    MergePaint = 0x00BB0226,
    PatCopy = 0x00F00021,
    PatInvert = 0x005A0049,
    DstInvert = 0x00550009,
    Blackness = 0x00000042,
    Whiteness = 0x00FF0062,
};

// The raster operation's code is the high word's low byte; writers fill the low word
// inconsistently, so only that byte is compared.
constexpr uint32_t ropCode(uint32_t rop)
{
    return (rop >> 16) & 0xFF;
}

} // namespace

// ---------------------------------------------------------------- lines

void MetafileCanvas::moveTo(QPointF p)
{
    state_.position = p;
    figureOpen_ = false;
}

void MetafileCanvas::lineTo(QPointF p)
{
    if (pathOpen_) {
        pathLineTo(logicalToTarget().map(p));
    } else {
        QPainterPath line(state_.position);
        line.lineTo(p);
        paintShape(line, logicalToTarget(), false, true);
    }
    state_.position = p;
}

void MetafileCanvas::polyline(const QPolygonF& points)
{
    if (points.size() < 2)
        return;
    QPainterPath line;
    line.addPolygon(points);
    if (pathOpen_) {
        drawShape(line, false, true);
        return;
    }
    paintShape(line, logicalToTarget(), false, true);
}

void MetafileCanvas::polylineTo(const QPolygonF& points)
{
    if (points.isEmpty())
        return;
    if (pathOpen_) {
        const QTransform t = logicalToTarget();
        for (QPointF p : points)
            pathLineTo(t.map(p));
    } else {
        QPainterPath line(state_.position);
        for (QPointF p : points)
            line.lineTo(p);
        paintShape(line, logicalToTarget(), false, true);
    }
    state_.position = points.back();
}

void MetafileCanvas::polygon(const QPolygonF& points)
{
    if (points.size() < 2)
        return;
    QPainterPath shape;
    shape.addPolygon(points);
    shape.closeSubpath();
    drawShape(shape, true, true);
}

void MetafileCanvas::polyPolygon(const std::vector<QPolygonF>& polygons)
{
    QPainterPath shape;
    for (const QPolygonF& points : polygons) {
        if (points.size() < 2)
            continue;
        shape.addPolygon(points);
        shape.closeSubpath();
    }
    if (!shape.isEmpty())
        drawShape(shape, true, true);
}

void MetafileCanvas::polyPolyline(const std::vector<QPolygonF>& polylines)
{
    QPainterPath lines;
    for (const QPolygonF& points : polylines) {
        if (points.size() >= 2)
            lines.addPolygon(points);
    }
    if (lines.isEmpty())
        return;
    if (pathOpen_)
        drawShape(lines, false, true);
    else
        paintShape(lines, logicalToTarget(), false, true);
}

void MetafileCanvas::polyBezier(const QPolygonF& points)
{
    if (points.size() < 4)
        return;
    QPainterPath curve(points[0]);
    for (int i = 1; i + 2 < points.size(); i += 3)
        curve.cubicTo(points[i], points[i + 1], points[i + 2]);
    if (pathOpen_)
        drawShape(curve, false, true);
    else
        paintShape(curve, logicalToTarget(), false, true);
}

void MetafileCanvas::polyBezierTo(const QPolygonF& points)
{
    if (points.size() < 3)
        return;
    const QTransform t = logicalToTarget();
    if (pathOpen_) {
        if (!figureOpen_) {
            path_.moveTo(t.map(state_.position));
            figureOpen_ = true;
        }
        for (int i = 0; i + 2 < points.size(); i += 3)
            path_.cubicTo(t.map(points[i]), t.map(points[i + 1]), t.map(points[i + 2]));
    } else {
        QPainterPath curve(state_.position);
        for (int i = 0; i + 2 < points.size(); i += 3)
            curve.cubicTo(points[i], points[i + 1], points[i + 2]);
        paintShape(curve, t, false, true);
    }
    state_.position = points[(points.size() / 3) * 3 - 1];
}

void MetafileCanvas::polyDraw(const QPolygonF& points, const std::vector<uint8_t>& types)
{
    // Point types: PT_CLOSEFIGURE 1, PT_LINETO 2, PT_BEZIERTO 4, PT_MOVETO 6.
    const QTransform t = logicalToTarget();
    QPainterPath lines(state_.position);
    bool started = false;
    const int count = std::min<int>(points.size(), int(types.size()));
    for (int i = 0; i < count; ++i) {
        const uint8_t type = types[size_t(i)] & 6;
        if (type == 6) {
            lines.moveTo(points[i]);
            state_.position = points[i];
            figureOpen_ = false;
            continue;
        }
        if (type == 4) {
            if (i + 2 >= count)
                break;
            if (pathOpen_) {
                if (!figureOpen_) {
                    path_.moveTo(t.map(state_.position));
                    figureOpen_ = true;
                }
                path_.cubicTo(t.map(points[i]), t.map(points[i + 1]), t.map(points[i + 2]));
            }
            lines.cubicTo(points[i], points[i + 1], points[i + 2]);
            state_.position = points[i + 2];
            i += 2;
        } else {
            if (pathOpen_)
                pathLineTo(t.map(points[i]));
            lines.lineTo(points[i]);
            state_.position = points[i];
        }
        started = true;
        if (types[size_t(i)] & 1) {
            lines.closeSubpath();
            if (pathOpen_)
                closeFigure();
        }
    }
    if (!pathOpen_ && started)
        paintShape(lines, t, false, true);
}

// ---------------------------------------------------------------- shapes

void MetafileCanvas::rectangle(const QRectF& box)
{
    QPainterPath shape;
    shape.addRect(box.normalized());
    drawShape(shape, true, true);
}

void MetafileCanvas::roundRect(const QRectF& box, QSizeF corner)
{
    const QRectF r = box.normalized();
    const double rx = std::min(std::abs(corner.width()) / 2, r.width() / 2);
    const double ry = std::min(std::abs(corner.height()) / 2, r.height() / 2);
    QPainterPath shape;
    shape.addRoundedRect(r, rx, ry, Qt::AbsoluteSize);
    drawShape(shape, true, true);
}

void MetafileCanvas::ellipse(const QRectF& box)
{
    QPainterPath shape;
    shape.addEllipse(box.normalized());
    drawShape(shape, true, true);
}

void MetafileCanvas::arc(const QRectF& rawBox, QPointF start, QPointF end, ArcKind kind)
{
    const QRectF box = rawBox.normalized();
    if (box.width() <= 0 || box.height() <= 0)
        return;
    const QPointF c = box.center();
    const double rx = box.width() / 2;
    const double ry = box.height() / 2;
    // The arc runs between the points where the rays from the centre through start and end
    // cross the ellipse; Qt measures those as parametric angles, counterclockwise on screen.
    const double a1 = std::atan2(-(start.y() - c.y()) * rx, (start.x() - c.x()) * ry) * kDegrees;
    const double a2 = std::atan2(-(end.y() - c.y()) * rx, (end.x() - c.x()) * ry) * kDegrees;
    double sweep = a2 - a1;
    while (sweep <= 0)
        sweep += 360;
    while (sweep > 360)
        sweep -= 360;
    // The direction holds on the device surface: a mapping that mirrors reverses it.
    const bool clockwise = state_.clockwiseArcs != (logicalToTarget().determinant() < 0);
    if (clockwise)
        sweep -= 360;
    if (sweep == 0)
        sweep = clockwise ? -360 : 360;

    QPainterPath shape;
    switch (kind) {
    case ArcKind::Arc:
        shape.arcMoveTo(box, a1);
        shape.arcTo(box, a1, sweep);
        break;
    case ArcKind::ArcTo:
        shape.moveTo(state_.position);
        {
            QPainterPath probe;
            probe.arcMoveTo(box, a1);
            shape.lineTo(probe.currentPosition());
        }
        shape.arcTo(box, a1, sweep);
        state_.position = shape.currentPosition();
        break;
    case ArcKind::Chord:
        shape.arcMoveTo(box, a1);
        shape.arcTo(box, a1, sweep);
        shape.closeSubpath();
        break;
    case ArcKind::Pie:
        shape.moveTo(c);
        shape.arcTo(box, a1, sweep);
        shape.closeSubpath();
        break;
    }
    const bool closed = kind == ArcKind::Chord || kind == ArcKind::Pie;
    if (pathOpen_ && kind == ArcKind::ArcTo) {
        const QTransform t = logicalToTarget();
        QPainterPath mapped = t.map(shape);
        if (figureOpen_) {
            // Continue the open figure instead of starting a new one.
            for (int i = 1; i < mapped.elementCount(); ++i) {
                const QPainterPath::Element e = mapped.elementAt(i);
                if (e.type == QPainterPath::CurveToElement && i + 2 < mapped.elementCount()) {
                    path_.cubicTo(e, mapped.elementAt(i + 1), mapped.elementAt(i + 2));
                    i += 2;
                } else {
                    path_.lineTo(e);
                }
            }
        } else {
            path_.addPath(mapped);
            figureOpen_ = true;
        }
        return;
    }
    if (pathOpen_ || closed)
        drawShape(shape, closed, true);
    else
        paintShape(shape, logicalToTarget(), false, true);
}

void MetafileCanvas::angleArc(QPointF center, double radius, double startDegrees, double sweepDegrees)
{
    if (!std::isfinite(startDegrees) || !std::isfinite(sweepDegrees) || !(radius > 0) || !std::isfinite(radius))
        return;
    sweepDegrees = std::clamp(sweepDegrees, -3600.0, 3600.0);
    const QRectF box(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
    QPainterPath shape(state_.position);
    QPainterPath probe;
    probe.arcMoveTo(box, startDegrees);
    shape.lineTo(probe.currentPosition());
    shape.arcTo(box, std::fmod(startDegrees, 360.0), sweepDegrees);
    state_.position = shape.currentPosition();
    if (pathOpen_) {
        const QPainterPath mapped = logicalToTarget().map(shape);
        for (int i = 1; i < mapped.elementCount(); ++i) {
            const QPainterPath::Element e = mapped.elementAt(i);
            if (i == 1 && !figureOpen_) {
                path_.moveTo(mapped.elementAt(0));
                figureOpen_ = true;
            }
            if (e.type == QPainterPath::CurveToElement && i + 2 < mapped.elementCount()) {
                path_.cubicTo(e, mapped.elementAt(i + 1), mapped.elementAt(i + 2));
                i += 2;
            } else {
                path_.lineTo(e);
            }
        }
        return;
    }
    paintShape(shape, logicalToTarget(), false, true);
}

void MetafileCanvas::setPixel(QPointF p, const QColor& color)
{
    if (pathOpen_)
        return;
    const QPointF d = (state_.world * pageTransform()).map(p);
    if (!std::isfinite(d.x()) || !std::isfinite(d.y()))
        return;
    QPainterPath pixel;
    pixel.addRect(QRectF(std::floor(d.x()), std::floor(d.y()), 1, 1));
    fillTarget(setup_.deviceToTarget.map(pixel), BrushSpec{BrushSpec::Solid, color, 0, {}});
}

// ---------------------------------------------------------------- fills

void MetafileCanvas::fillDeviceArea(const std::vector<QRectF>& rects, const BrushSpec& brush)
{
    if (pathOpen_ || rects.empty())
        return;
    QPainterPath area;
    for (const QRectF& r : rects)
        area.addRect(r.normalized());
    area.setFillRule(Qt::WindingFill);
    fillTarget(setup_.deviceToTarget.map(area), brush);
}

void MetafileCanvas::fillLogicalArea(const QPainterPath& area, const BrushSpec& brush)
{
    if (pathOpen_ || area.isEmpty())
        return;
    QPainterPath mapped = logicalToTarget().map(area);
    mapped.setFillRule(Qt::WindingFill);
    fillTarget(mapped, brush);
}

void MetafileCanvas::gradientRect(const QRectF& rect, const QColor& from, const QColor& to, bool vertical)
{
    if (pathOpen_)
        return;
    const QTransform t = logicalToTarget();
    const QRectF r = rect.normalized();
    QPainterPath area;
    area.addRect(t.mapRect(r));
    if (!painter_) {
        fillTarget(area, BrushSpec{});
        return;
    }
    QLinearGradient gradient(t.map(r.topLeft()), t.map(vertical ? r.bottomLeft() : r.topRight()));
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    const QRectF box = area.controlPointRect();
    if (!withinReach(box))
        return;
    painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter_->setWorldTransform(base_);
    painter_->setRenderHint(QPainter::Antialiasing, false);
    painter_->fillPath(area, gradient);
}

void MetafileCanvas::gradientTriangle(const QPolygonF& triangle, const QColor& average)
{
    QPainterPath area;
    area.addPolygon(triangle);
    area.closeSubpath();
    fillLogicalArea(area, BrushSpec{BrushSpec::Solid, average, 0, {}});
}

// ---------------------------------------------------------------- bitmaps

void MetafileCanvas::patternBlt(const QRectF& dest, uint32_t rop)
{
    if (pathOpen_)
        return;
    QPainterPath area;
    area.addRect(dest.normalized());
    const QPainterPath target = logicalToTarget().map(area);
    switch (ropCode(rop)) {
    case ropCode(PatCopy): fillTarget(target, state_.brush); return;
    case ropCode(Blackness): fillTarget(target, BrushSpec{BrushSpec::Solid, Qt::black, 0, {}}); return;
    case ropCode(Whiteness): fillTarget(target, BrushSpec{BrushSpec::Solid, Qt::white, 0, {}}); return;
    case ropCode(PatInvert):
    case ropCode(DstInvert): {
        if (!painter_ || !rasterOps_) {
            if (!painter_)
                fillTarget(target, state_.brush);
            return;
        }
        const QRectF box = target.controlPointRect();
        if (!withinReach(box))
            return;
        painter_->setWorldTransform(base_);
        painter_->setRenderHint(QPainter::Antialiasing, false);
        if (ropCode(rop) == ropCode(DstInvert)) {
            painter_->setCompositionMode(QPainter::RasterOp_NotDestination);
            painter_->fillPath(target, Qt::black);
        } else {
            painter_->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            painter_->fillPath(target, makeBrush(state_.brush, base_));
        }
        painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
        return;
    }
    default:
        return; // leaves the destination as it is, or needs a source we do not have
    }
}

void MetafileCanvas::bitmap(const QRectF& dest, const QImage& image, const QRectF& source, uint32_t rop,
                            double opacity)
{
    if (pathOpen_ || image.isNull() || source.width() == 0 || source.height() == 0)
        return;
    const uint32_t code = ropCode(rop);
    if (code == ropCode(PatCopy) || code == ropCode(Blackness) || code == ropCode(Whiteness)
        || code == ropCode(PatInvert) || code == ropCode(DstInvert)) {
        patternBlt(dest, rop);
        return;
    }
    // Source pixel space to logical space; negative sizes mirror.
    const double sx = dest.width() / source.width();
    const double sy = dest.height() / source.height();
    const QTransform toLogical(sx, 0, 0, sy, dest.x() - source.x() * sx, dest.y() - source.y() * sy);
    const QTransform t = toLogical * logicalToTarget();
    const QRectF src = source.normalized().intersected(QRectF(image.rect()));
    if (src.isEmpty())
        return;
    const QRectF box = t.mapRect(src);
    if (!withinReach(box))
        return;
    if (!painter_) {
        addToBounds(box);
        return;
    }
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    if (rasterOps_) {
        switch (code) {
        case ropCode(SrcPaint): mode = QPainter::RasterOp_SourceOrDestination; break;
        case ropCode(SrcAnd): mode = QPainter::RasterOp_SourceAndDestination; break;
        case ropCode(SrcInvert): mode = QPainter::RasterOp_SourceXorDestination; break;
        case ropCode(SrcErase): mode = QPainter::RasterOp_SourceAndNotDestination; break;
        case ropCode(NotSrcCopy): mode = QPainter::RasterOp_NotSource; break;
        case ropCode(NotSrcErase): mode = QPainter::RasterOp_NotSourceAndNotDestination; break;
        case ropCode(MergePaint): mode = QPainter::RasterOp_NotSourceOrDestination; break;
        default: break;
        }
    }
    if (code == 0xAA) // the destination unchanged
        return;
    painter_->setCompositionMode(mode);
    painter_->setWorldTransform(t * base_);
    painter_->setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter_->setRenderHint(QPainter::Antialiasing, false);
    painter_->setOpacity(std::clamp(opacity, 0.0, 1.0));
    painter_->drawImage(src.topLeft(), image, src);
    painter_->setOpacity(1.0);
    painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

} // namespace metafile
