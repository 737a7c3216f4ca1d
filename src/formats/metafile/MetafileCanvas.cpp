#include "MetafileCanvas.h"

#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace metafile {

namespace {

// More objects than any real metafile needs; keeps a lying index from growing the table.
constexpr size_t kMaxObjects = 65536;
// Saved states kept; older ones are dropped when a file saves without restoring.
constexpr size_t kMaxSavedStates = 1024;

bool finiteTransform(const QTransform& t)
{
    const double values[] = {t.m11(), t.m12(), t.m13(), t.m21(), t.m22(), t.m23(), t.m31(), t.m32(), t.m33()};
    return std::all_of(std::begin(values), std::end(values), [](double v) { return std::isfinite(v); });
}

// A polygon clipped to an axis-aligned rectangle (Sutherland-Hodgman); exact for the area
// inside the rectangle, which is all a clip region inside the target needs.
QPolygonF clipPolygon(const QPolygonF& polygon, const QRectF& rect)
{
    QPolygonF current = polygon;
    for (int edge = 0; edge < 4 && !current.isEmpty(); ++edge) {
        auto inside = [&](QPointF p) {
            switch (edge) {
            case 0: return p.x() >= rect.left();
            case 1: return p.x() <= rect.right();
            case 2: return p.y() >= rect.top();
            default: return p.y() <= rect.bottom();
            }
        };
        auto cross = [&](QPointF a, QPointF b) {
            double t = 0;
            switch (edge) {
            case 0: t = (rect.left() - a.x()) / (b.x() - a.x()); break;
            case 1: t = (rect.right() - a.x()) / (b.x() - a.x()); break;
            case 2: t = (rect.top() - a.y()) / (b.y() - a.y()); break;
            default: t = (rect.bottom() - a.y()) / (b.y() - a.y()); break;
            }
            return a + (b - a) * t;
        };
        QPolygonF output;
        for (int i = 0; i < current.size(); ++i) {
            const QPointF a = current[i];
            const QPointF b = current[(i + 1) % current.size()];
            const bool ina = inside(a);
            const bool inb = inside(b);
            if (ina)
                output << a;
            if (ina != inb)
                output << cross(a, b);
        }
        current = output;
    }
    return current;
}

} // namespace

MetafileCanvas::MetafileCanvas(QPainter* painter, const CanvasSetup& setup) : painter_(painter), setup_(setup)
{
    if (!painter_)
        return;
    base_ = painter_->worldTransform();
    if (QPaintEngine* engine = painter_->paintEngine())
        rasterOps_ = engine->hasFeature(QPaintEngine::RasterOpModes);
    painter_->save();
    painter_->setClipRect(setup_.target, Qt::IntersectClip);
    painter_->save();
}

MetafileCanvas::~MetafileCanvas()
{
    if (!painter_)
        return;
    painter_->restore();
    painter_->restore();
}

// ---------------------------------------------------------------- object table

void MetafileCanvas::resizeObjectTable(size_t count)
{
    objects_.resize(std::min(count, kMaxObjects));
}

int MetafileCanvas::addObject(GdiObject obj)
{
    for (size_t i = 0; i < objects_.size(); ++i) {
        if (!objects_[i]) {
            objects_[i] = std::move(obj);
            return int(i);
        }
    }
    // Writers sometimes declare too small a table; grow it rather than lose the object.
    if (objects_.size() >= kMaxObjects)
        return -1;
    objects_.push_back(std::move(obj));
    return int(objects_.size() - 1);
}

void MetafileCanvas::setObject(uint32_t index, GdiObject obj)
{
    if (index >= kMaxObjects)
        return;
    if (index >= objects_.size())
        objects_.resize(index + 1);
    objects_[index] = std::move(obj);
}

void MetafileCanvas::selectObject(uint32_t index)
{
    if (index >= objects_.size() || !objects_[index])
        return;
    const GdiObject& obj = *objects_[index];
    if (const auto* pen = std::get_if<PenSpec>(&obj))
        state_.pen = *pen;
    else if (const auto* brush = std::get_if<BrushSpec>(&obj))
        state_.brush = *brush;
    else if (const auto* font = std::get_if<FontSpec>(&obj))
        state_.font = *font;
    else if (const auto* region = std::get_if<RegionSpec>(&obj))
        combineClipLogical(region->area, RegionCopy);
}

void MetafileCanvas::deleteObject(uint32_t index)
{
    if (index < objects_.size())
        objects_[index].reset();
}

void MetafileCanvas::selectStockObject(uint32_t stock)
{
    const uint32_t id = stock & 0x7FFFFFFF;
    auto solidBrush = [this](int gray) {
        state_.brush = BrushSpec{BrushSpec::Solid, QColor(gray, gray, gray), 0, {}};
    };
    auto solidPen = [this](QColor color, uint32_t style) { state_.pen = PenSpec{style, 0, color, false, {}}; };
    switch (id) {
    case 0: solidBrush(255); break;  // WHITE_BRUSH
    case 1: solidBrush(192); break;  // LTGRAY_BRUSH
    case 2: solidBrush(128); break;  // GRAY_BRUSH
    case 3: solidBrush(64); break;   // DKGRAY_BRUSH
    case 4: solidBrush(0); break;    // BLACK_BRUSH
    case 5: state_.brush = BrushSpec{BrushSpec::Null, Qt::white, 0, {}}; break; // NULL_BRUSH
    case 6: solidPen(Qt::white, PenSolid); break;  // WHITE_PEN
    case 7: solidPen(Qt::black, PenSolid); break;  // BLACK_PEN
    case 8: solidPen(Qt::black, PenNull); break;   // NULL_PEN
    case 10: case 11: case 12: case 13: case 14: case 16: case 17: // stock fonts
        state_.font = FontSpec{};
        break;
    case 18: solidBrush(255); break; // DC_BRUSH, white by default
    case 19: solidPen(Qt::black, PenSolid); break; // DC_PEN, black by default
    default: break;
    }
}

const RegionSpec* MetafileCanvas::regionAt(uint32_t index) const
{
    if (index >= objects_.size() || !objects_[index])
        return nullptr;
    return std::get_if<RegionSpec>(&*objects_[index]);
}

// ---------------------------------------------------------------- state and mapping

void MetafileCanvas::saveState()
{
    if (saved_.size() >= kMaxSavedStates)
        saved_.pop_front();
    saved_.push_back(state_);
}

void MetafileCanvas::restoreState(int relative)
{
    // Negative: that many states back; positive: the n-th saved state counted from the first.
    size_t keep = 0;
    if (relative < 0) {
        const int64_t back = -int64_t(relative);
        if (back > int64_t(saved_.size()))
            return;
        keep = saved_.size() - size_t(back);
    } else if (relative > 0) {
        if (size_t(relative) > saved_.size())
            return;
        keep = size_t(relative) - 1;
    } else {
        return;
    }
    state_ = saved_[keep];
    saved_.erase(saved_.begin() + std::ptrdiff_t(keep), saved_.end());
    applyClip();
}

void MetafileCanvas::setMapMode(int mode)
{
    if (mode >= MapText && mode <= MapAnisotropic)
        state_.mapMode = mode;
}

void MetafileCanvas::setWindowExt(QSizeF ext)
{
    if (ext.width() != 0 && ext.height() != 0 && std::isfinite(ext.width()) && std::isfinite(ext.height()))
        state_.windowExt = ext;
}

void MetafileCanvas::setViewportExt(QSizeF ext)
{
    if (ext.width() != 0 && ext.height() != 0 && std::isfinite(ext.width()) && std::isfinite(ext.height()))
        state_.viewportExt = ext;
}

void MetafileCanvas::setWorldTransform(const QTransform& t)
{
    if (finiteTransform(t) && t.isInvertible())
        state_.world = t;
}

void MetafileCanvas::modifyWorldTransform(const QTransform& t, int mode)
{
    switch (mode) {
    case 1: state_.world = QTransform(); break;          // MWT_IDENTITY
    case 2: setWorldTransform(t * state_.world); break;  // MWT_LEFTMULTIPLY
    case 3: setWorldTransform(state_.world * t); break;  // MWT_RIGHTMULTIPLY
    case 4: setWorldTransform(t); break;                 // MWT_SET
    default: break;
    }
}

QTransform MetafileCanvas::pageTransform() const
{
    double sx = 1;
    double sy = 1;
    auto metric = [&](double mmPerUnit) {
        sx = mmPerUnit * setup_.devicePixelsPerMmX;
        sy = -mmPerUnit * setup_.devicePixelsPerMmY;
    };
    switch (state_.mapMode) {
    case MapLoMetric: metric(0.1); break;
    case MapHiMetric: metric(0.01); break;
    case MapLoEnglish: metric(0.254); break;
    case MapHiEnglish: metric(0.0254); break;
    case MapTwips: metric(25.4 / 1440); break;
    case MapIsotropic:
    case MapAnisotropic:
        sx = state_.viewportExt.width() / state_.windowExt.width();
        sy = state_.viewportExt.height() / state_.windowExt.height();
        if (state_.mapMode == MapIsotropic) {
            const double m = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(m, sx);
            sy = std::copysign(m, sy);
        }
        break;
    default: break;
    }
    return QTransform(sx, 0, 0, sy, state_.viewportOrg.x() - state_.windowOrg.x() * sx,
                      state_.viewportOrg.y() - state_.windowOrg.y() * sy);
}

QTransform MetafileCanvas::logicalToTarget() const
{
    return state_.world * pageTransform() * setup_.deviceToTarget;
}

// ---------------------------------------------------------------- painting core

void MetafileCanvas::addToBounds(const QRectF& rect)
{
    if (!std::isfinite(rect.left()) || !std::isfinite(rect.top()) || !std::isfinite(rect.right())
        || !std::isfinite(rect.bottom()))
        return;
    const QRectF r = rect.normalized();
    bounds_ = bounds_.isNull() ? r : bounds_.united(r);
}

QPen MetafileCanvas::makePen(const QTransform& t, bool& visible) const
{
    const PenSpec& wanted = state_.pen;
    const uint32_t style = wanted.style & PenStyleMask;
    visible = style != PenNull;
    QPen pen(wanted.color);
    const double scale = std::sqrt(std::abs(t.determinant()));
    const double targetWidth = wanted.width * scale;
    const bool cosmetic = !(wanted.width > 0) || !(targetWidth >= 1.0);
    if (cosmetic) {
        pen.setWidthF(0); // one pixel whatever the transform
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
    } else {
        // Very wide pens add nothing visible beyond covering the target.
        const double maxWidth = 4 * std::max(setup_.target.width(), setup_.target.height()) + 16;
        pen.setWidthF(targetWidth > maxWidth ? maxWidth / scale : wanted.width);
        switch (wanted.style & PenEndCapMask) {
        case PenEndCapSquare: pen.setCapStyle(Qt::SquareCap); break;
        case PenEndCapFlat: pen.setCapStyle(Qt::FlatCap); break;
        default: pen.setCapStyle(Qt::RoundCap); break;
        }
        switch (wanted.style & PenJoinMask) {
        case PenJoinBevel: pen.setJoinStyle(Qt::BevelJoin); break;
        case PenJoinMiter: pen.setJoinStyle(Qt::MiterJoin); break;
        default: pen.setJoinStyle(Qt::RoundJoin); break;
        }
    }
    // Pens of the 16-bit interface are dashed only when one pixel wide.
    const bool dashed = wanted.extended || cosmetic || targetWidth < 1.5;
    if (dashed) {
        switch (style) {
        case PenDash: pen.setDashPattern({18, 6}); break;
        case PenDot: pen.setDashPattern({3, 3}); break;
        case PenDashDot: pen.setDashPattern({9, 6, 3, 6}); break;
        case PenDashDotDot: pen.setDashPattern({9, 3, 3, 3, 3, 3}); break;
        case PenAlternate: pen.setDashPattern({1, 1}); break;
        case PenUserStyle: {
            // Entries are logical lengths; Qt counts them in pen widths.
            const double unit = cosmetic ? 1.0 / std::max(scale, 1e-9) : pen.widthF();
            QList<qreal> pattern;
            for (double entry : wanted.dashes)
                pattern << std::clamp(entry / unit, 0.5, 1e4);
            if (pattern.size() % 2)
                pattern << pattern.back();
            if (pattern.size() >= 2)
                pen.setDashPattern(pattern);
            break;
        }
        default: break;
        }
    }
    return pen;
}

QBrush MetafileCanvas::makeBrush(const BrushSpec& wanted, const QTransform& painterTransform) const
{
    switch (wanted.kind) {
    case BrushSpec::Null: return QBrush(Qt::NoBrush);
    case BrushSpec::Solid: return QBrush(wanted.color);
    case BrushSpec::Hatched: {
        // Hatch styles 6 to 11 are solid fills in the brush, text or background color.
        if (wanted.hatch >= 6 && wanted.hatch <= 11) {
            const int which = (wanted.hatch - 6) / 2;
            return QBrush(which == 0 ? wanted.color : which == 1 ? state_.textColor : state_.backgroundColor);
        }
        // Hatches are 8 pixels apart on the surface, whatever the picture's scale.
        static const Qt::BrushStyle styles[] = {Qt::HorPattern, Qt::VerPattern, Qt::FDiagPattern,
                                                Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
        const Qt::BrushStyle style = wanted.hatch >= 0 && wanted.hatch < 6 ? styles[wanted.hatch] : Qt::HorPattern;
        QBrush brush(wanted.color, style);
        bool invertible = false;
        const QTransform inverse = painterTransform.inverted(&invertible);
        if (invertible)
            brush.setTransform(base_ * inverse);
        return brush;
    }
    case BrushSpec::Pattern: {
        if (wanted.pattern.isNull())
            return QBrush(wanted.color);
        // Pattern pixels are device pixels: they scale with the picture.
        QBrush brush(wanted.pattern);
        bool invertible = false;
        const QTransform inverse = painterTransform.inverted(&invertible);
        if (invertible)
            brush.setTransform(setup_.deviceToTarget * base_ * inverse);
        return brush;
    }
    }
    return QBrush(Qt::NoBrush);
}

bool MetafileCanvas::applyRop2(QColor* overrideColor)
{
    painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
    switch (state_.rop2) {
    case 11: return false; // R2_NOP
    case 1: *overrideColor = Qt::black; return true;  // R2_BLACK
    case 16: *overrideColor = Qt::white; return true; // R2_WHITE
    default: break;
    }
    if (!rasterOps_)
        return true;
    switch (state_.rop2) {
    case 4: painter_->setCompositionMode(QPainter::RasterOp_NotSource); break;               // R2_NOTCOPYPEN
    case 6: painter_->setCompositionMode(QPainter::RasterOp_NotDestination); break;          // R2_NOT
    case 7: painter_->setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;    // R2_XORPEN
    case 9: painter_->setCompositionMode(QPainter::RasterOp_SourceAndDestination); break;    // R2_MASKPEN
    case 10: painter_->setCompositionMode(QPainter::RasterOp_NotSourceXorDestination); break; // R2_NOTXORPEN
    case 15: painter_->setCompositionMode(QPainter::RasterOp_SourceOrDestination); break;    // R2_MERGEPEN
    default: break;
    }
    return true;
}

void MetafileCanvas::paintShape(const QPainterPath& logical, const QTransform& t, bool fill, bool stroke)
{
    if (!finiteTransform(t))
        return;
    const QRectF box = t.mapRect(logical.controlPointRect());
    if (!withinReach(box))
        return;
    bool penVisible = false;
    const QPen pen = makePen(t, penVisible);
    if (!painter_) {
        const double half = stroke && penVisible ? pen.widthF() * std::sqrt(std::abs(t.determinant())) / 2 : 0;
        addToBounds(box.adjusted(-half, -half, half, half));
        return;
    }
    QColor ropColor;
    if (!applyRop2(&ropColor))
        return;
    const bool plainRop = state_.rop2 == 13;
    const QTransform painterTransform = t * base_;
    painter_->setWorldTransform(painterTransform);
    if (fill && state_.brush.kind != BrushSpec::Null) {
        QPainterPath area = logical;
        area.setFillRule(state_.windingFill ? Qt::WindingFill : Qt::OddEvenFill);
        painter_->setRenderHint(QPainter::Antialiasing, false);
        if (state_.brush.kind == BrushSpec::Hatched && state_.opaqueBackground)
            painter_->fillPath(area, ropColor.isValid() ? ropColor : state_.backgroundColor);
        BrushSpec wanted = state_.brush;
        if (ropColor.isValid())
            wanted = BrushSpec{BrushSpec::Solid, ropColor, 0, {}};
        painter_->fillPath(area, makeBrush(wanted, painterTransform));
    }
    if (stroke && penVisible) {
        QPen p = pen;
        if (ropColor.isValid())
            p.setColor(ropColor);
        const double reach = pen.widthF() * std::sqrt(std::abs(t.determinant())) * std::max(1.0, pen.miterLimit());
        painter_->setRenderHint(QPainter::Antialiasing, plainRop && smoothAt(box.adjusted(-reach, -reach, reach, reach)));
        if (p.style() == Qt::CustomDashLine && state_.opaqueBackground) {
            QPen gap = p;
            gap.setStyle(Qt::SolidLine);
            gap.setColor(state_.backgroundColor);
            painter_->strokePath(logical, gap);
        }
        painter_->strokePath(logical, p);
    }
}

bool MetafileCanvas::smoothAt(const QRectF& targetBox) const
{
    const QRectF& t = setup_.target;
    return t.adjusted(-t.width(), -t.height(), t.width(), t.height()).contains(targetBox);
}

void MetafileCanvas::drawShape(const QPainterPath& logical, bool fill, bool stroke)
{
    const QTransform t = logicalToTarget();
    if (pathOpen_) {
        if (finiteTransform(t))
            path_.addPath(t.map(logical));
        figureOpen_ = false;
        return;
    }
    paintShape(logical, t, fill, stroke);
}

void MetafileCanvas::fillTarget(const QPainterPath& target, const BrushSpec& brush)
{
    if (brush.kind == BrushSpec::Null)
        return;
    const QRectF box = target.controlPointRect();
    if (!withinReach(box))
        return;
    if (!painter_) {
        addToBounds(box);
        return;
    }
    painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter_->setWorldTransform(base_);
    painter_->setRenderHint(QPainter::Antialiasing, false);
    if (brush.kind == BrushSpec::Hatched && state_.opaqueBackground)
        painter_->fillPath(target, state_.backgroundColor);
    painter_->fillPath(target, makeBrush(brush, base_));
}

// ---------------------------------------------------------------- paths

void MetafileCanvas::beginPath()
{
    path_ = QPainterPath();
    pathOpen_ = true;
    figureOpen_ = false;
}

void MetafileCanvas::endPath()
{
    pathOpen_ = false;
}

void MetafileCanvas::abortPath()
{
    path_ = QPainterPath();
    pathOpen_ = false;
    figureOpen_ = false;
}

void MetafileCanvas::closeFigure()
{
    if (pathOpen_ && figureOpen_) {
        path_.closeSubpath();
        figureOpen_ = false;
    }
}

void MetafileCanvas::pathLineTo(QPointF target)
{
    if (!figureOpen_) {
        path_.moveTo(logicalToTarget().map(state_.position));
        figureOpen_ = true;
    }
    path_.lineTo(target);
}

void MetafileCanvas::drawPathTarget(bool fill, bool stroke)
{
    // The path was recorded in target coordinates; take it back to logical ones so that the
    // pen is as wide as the current mapping makes it.
    pathOpen_ = false;
    figureOpen_ = false;
    const QPainterPath recorded = path_;
    path_ = QPainterPath();
    if (recorded.isEmpty())
        return;
    const QTransform t = logicalToTarget();
    bool invertible = false;
    const QTransform inverse = t.inverted(&invertible);
    if (!invertible || !finiteTransform(inverse))
        return;
    paintShape(inverse.map(recorded), t, fill, stroke);
}

void MetafileCanvas::fillPath()
{
    drawPathTarget(true, false);
}

void MetafileCanvas::strokePath()
{
    drawPathTarget(false, true);
}

void MetafileCanvas::strokeAndFillPath()
{
    drawPathTarget(true, true);
}

void MetafileCanvas::selectClipPath(int mode)
{
    pathOpen_ = false;
    figureOpen_ = false;
    QPainterPath recorded = path_;
    path_ = QPainterPath();
    recorded.setFillRule(state_.windingFill ? Qt::WindingFill : Qt::OddEvenFill);
    combineClip(targetRegion(recorded), mode);
}

// ---------------------------------------------------------------- clipping

QRect MetafileCanvas::targetPixels() const
{
    return setup_.target.toAlignedRect().adjusted(-1, -1, 1, 1);
}

QRegion MetafileCanvas::targetRegion(const QPainterPath& target) const
{
    // Polygons are cut to the target first, so a huge clip shape costs no more than a small one.
    const QRectF window = QRectF(targetPixels());
    const bool winding = target.fillRule() == Qt::WindingFill;
    std::vector<QRegion> pieces;
    for (const QPolygonF& polygon : target.toSubpathPolygons()) {
        const QPolygonF clipped = clipPolygon(polygon, window);
        if (clipped.size() < 3)
            continue;
        const QRectF box = clipped.boundingRect();
        const bool rectangle = clipped.size() <= 5
            && std::all_of(clipped.begin(), clipped.end(), [&](QPointF p) {
                   return (p.x() == box.left() || p.x() == box.right()) && (p.y() == box.top() || p.y() == box.bottom());
               });
        if (rectangle)
            pieces.emplace_back(QRect(QPoint(int(std::lround(box.left())), int(std::lround(box.top()))),
                                      QPoint(int(std::lround(box.right())) - 1, int(std::lround(box.bottom())) - 1)));
        else
            pieces.emplace_back(clipped.toPolygon(), winding ? Qt::WindingFill : Qt::OddEvenFill);
    }
    // Combined pairwise, so regions of thousands of rectangles stay quick.
    while (pieces.size() > 1) {
        std::vector<QRegion> merged;
        merged.reserve(pieces.size() / 2 + 1);
        for (size_t i = 0; i + 1 < pieces.size(); i += 2)
            merged.push_back(winding ? pieces[i].united(pieces[i + 1]) : pieces[i].xored(pieces[i + 1]));
        if (pieces.size() % 2)
            merged.push_back(pieces.back());
        pieces.swap(merged);
    }
    return pieces.empty() ? QRegion() : pieces.front();
}

void MetafileCanvas::combineClip(const QRegion& area, int mode)
{
    const QRegion current = state_.clip ? *state_.clip : QRegion(targetPixels());
    switch (mode) {
    case RegionAnd: state_.clip = current.intersected(area); break;
    case RegionOr: state_.clip = current.united(area); break;
    case RegionXor: state_.clip = current.xored(area); break;
    case RegionDiff: state_.clip = current.subtracted(area); break;
    case RegionCopy: state_.clip = area; break;
    default: return;
    }
    applyClip();
}

void MetafileCanvas::applyClip()
{
    if (!painter_)
        return;
    painter_->restore();
    painter_->save();
    if (state_.clip) {
        painter_->setWorldTransform(base_);
        painter_->setClipRegion(*state_.clip, Qt::IntersectClip);
    }
}

void MetafileCanvas::intersectClipRect(const QRectF& logical)
{
    QPainterPath area;
    area.addRect(logical.normalized());
    combineClip(targetRegion(logicalToTarget().map(area)), RegionAnd);
}

void MetafileCanvas::excludeClipRect(const QRectF& logical)
{
    QPainterPath area;
    area.addRect(logical.normalized());
    combineClip(targetRegion(logicalToTarget().map(area)), RegionDiff);
}

void MetafileCanvas::combineClipDevice(const std::optional<std::vector<QRectF>>& rects, int mode)
{
    if (!rects) {
        if (mode == RegionCopy) {
            state_.clip.reset();
            applyClip();
        }
        return;
    }
    QPainterPath area;
    for (const QRectF& r : *rects)
        area.addRect(r.normalized());
    area.setFillRule(Qt::WindingFill);
    combineClip(targetRegion(setup_.deviceToTarget.map(area)), mode);
}

void MetafileCanvas::combineClipLogical(const QPainterPath& area, int mode)
{
    QPainterPath mapped = logicalToTarget().map(area);
    mapped.setFillRule(Qt::WindingFill);
    combineClip(targetRegion(mapped), mode);
}

void MetafileCanvas::offsetClip(QPointF logicalOffset)
{
    if (!state_.clip)
        return;
    const QTransform t = logicalToTarget();
    const QPointF d = t.map(logicalOffset) - t.map(QPointF(0, 0));
    if (!std::isfinite(d.x()) || !std::isfinite(d.y()) || std::abs(d.x()) > kMaxTargetCoordinate
        || std::abs(d.y()) > kMaxTargetCoordinate)
        return;
    state_.clip->translate(int(std::lround(d.x())), int(std::lround(d.y())));
    applyClip();
}

} // namespace metafile
