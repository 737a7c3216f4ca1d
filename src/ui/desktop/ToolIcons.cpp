#include "ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

#include <cmath>

namespace {

const char* themeName(ToolIcon which)
{
    switch (which) {
    case ToolIcon::Open: return "document-open";
    case ToolIcon::Save: return "document-save-as";
    case ToolIcon::Resize: return "zoom-fit-best";
    case ToolIcon::Rotate: return "object-rotate-right";
    case ToolIcon::Watermark: return "insert-text";
    case ToolIcon::Mask: return "insert-image";
    case ToolIcon::Template: return "";
    }
    return "";
}

void drawPhoto(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(QColor(60, 60, 60), 1.2));
    p.setBrush(QColor(120, 180, 235));
    p.drawRect(r);
    QPainterPath hills;
    hills.moveTo(r.left(), r.bottom());
    hills.lineTo(r.left() + r.width() * 0.35, r.top() + r.height() * 0.45);
    hills.lineTo(r.left() + r.width() * 0.6, r.top() + r.height() * 0.75);
    hills.lineTo(r.left() + r.width() * 0.75, r.top() + r.height() * 0.6);
    hills.lineTo(r.right(), r.bottom());
    hills.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 150, 70));
    p.drawPath(hills);
    p.setBrush(QColor(250, 210, 60));
    p.drawEllipse(QPointF(r.left() + r.width() * 0.75, r.top() + r.height() * 0.28), r.width() * 0.09, r.width() * 0.09);
}

void drawArrowHead(QPainter& p, QPointF tip, QPointF from, double size)
{
    QLineF line(tip, from);
    line.setLength(size);
    QLineF left = line;
    left.setAngle(line.angle() + 28);
    QLineF right = line;
    right.setAngle(line.angle() - 28);
    QPolygonF head{tip, left.p2(), right.p2()};
    p.drawPolygon(head);
}

// A point of the circle inscribed in rect, at an angle in degrees counter-clockwise from
// three o'clock (the way QPainter::drawArc counts).
QPointF onCircle(const QRectF& rect, double degrees, double radiusChange = 0)
{
    const double radians = qDegreesToRadians(degrees);
    const double radius = rect.width() / 2 + radiusChange;
    return rect.center() + QPointF(radius * std::cos(radians), -radius * std::sin(radians));
}

// An arc of the circle inscribed in rect, from startDegrees turning through spanDegrees
// (negative: clockwise), with an arrow head where the turn ends, pointing on along it.
void drawTurnArrow(QPainter& p, const QRectF& rect, double startDegrees, double spanDegrees, const QColor& color,
                   double width)
{
    const double headLength = 24; // degrees of the circle the head covers
    const double end = startDegrees + spanDegrees;
    const double tip = end + (spanDegrees < 0 ? -headLength : headLength);
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(rect, qRound(startDegrees * 16), qRound(spanDegrees * 16));
    const double halfBase = width * 1.6;
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(QPolygonF{onCircle(rect, end, halfBase), onCircle(rect, tip), onCircle(rect, end, -halfBase)});
}

} // namespace

QPixmap drawnToolIcon(ToolIcon which)
{
    const int side = which == ToolIcon::Template ? 16 : 32;
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 40, 40);
    switch (which) {
    case ToolIcon::Open: {
        p.setPen(QPen(QColor(150, 110, 20), 1.2));
        p.setBrush(QColor(235, 185, 60));
        QPolygonF back{{3, 8}, {12, 8}, {15, 11}, {28, 11}, {28, 27}, {3, 27}};
        p.drawPolygon(back);
        p.setBrush(QColor(250, 215, 110));
        QPolygonF front{{3, 27}, {7, 15}, {31, 15}, {27, 27}};
        p.drawPolygon(front);
        break;
    }
    case ToolIcon::Save: {
        p.setPen(QPen(QColor(20, 50, 110), 1.2));
        p.setBrush(QColor(60, 110, 190));
        p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
        p.setBrush(QColor(235, 240, 250));
        p.drawRect(QRectF(8, 4, 16, 9));
        p.setBrush(QColor(40, 70, 130));
        p.drawRect(QRectF(19, 6, 3, 5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(8, 17, 16, 11));
        break;
    }
    case ToolIcon::Resize: {
        drawPhoto(p, QRectF(3.5, 12.5, 16, 16));
        p.setPen(QPen(ink, 1, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(3.5, 3.5, 25, 25));
        p.setPen(QPen(ink, 2));
        p.drawLine(QPointF(15, 17), QPointF(25, 7));
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        drawArrowHead(p, QPointF(27, 5), QPointF(15, 17), 8);
        break;
    }
    case ToolIcon::Rotate: {
        drawPhoto(p, QRectF(9.5, 9.5, 13, 13));
        // Clockwise from three o'clock round to just past twelve, the head pointing right.
        drawTurnArrow(p, QRectF(4.5, 4.5, 23, 23), 0, -280, QColor(30, 110, 40), 2.5);
        break;
    }
    case ToolIcon::Watermark: {
        drawPhoto(p, QRectF(2.5, 5.5, 27, 21));
        QFont font;
        font.setPixelSize(13);
        font.setBold(true);
        p.setFont(font);
        p.setPen(QColor(255, 255, 255, 220));
        p.drawText(QRectF(2.5, 13, 27, 13), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Ab "));
        break;
    }
    case ToolIcon::Mask: {
        drawPhoto(p, QRectF(3.5, 5.5, 25, 21));
        QPainterPath frame;
        frame.addRect(QRectF(3.5, 5.5, 25, 21));
        QPainterPath hole;
        hole.addEllipse(QRectF(7, 8.5, 18, 15));
        p.setPen(QPen(ink, 1));
        p.setBrush(QColor(250, 250, 250));
        p.drawPath(frame.subtracted(hole));
        break;
    }
    case ToolIcon::Template: {
        p.setPen(QPen(QColor(90, 90, 90), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 1.5, 10, 13));
        p.setBrush(QColor(70, 130, 200));
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(4, 3, 7, 5));
        p.setBrush(QColor(120, 120, 120));
        p.drawRect(QRectF(4, 10, 7, 1));
        p.drawRect(QRectF(4, 12, 5, 1));
        break;
    }
    }
    return pixmap;
}

QIcon toolIcon(ToolIcon which)
{
    const QString name = QString::fromLatin1(themeName(which));
    if (!name.isEmpty() && QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    return QIcon(drawnToolIcon(which));
}
