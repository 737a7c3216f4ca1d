#include "WatermarkFont.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>

qreal watermarkDpi()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const qreal dpi = screen->logicalDotsPerInch();
            if (dpi > 0)
                return dpi;
        }
    }
    return 96.0;
}

int fontPixelSize(int points, qreal dpi)
{
    const double pixels = std::nearbyint(double(points) * double(dpi) / 72.0);
    return int(std::clamp(pixels, 1.0, 32767.0));
}

QFont watermarkFont(const TFont& font, qreal dpi)
{
    QFont result(font.Name);
    result.setStyleHint(QFont::SansSerif,
                        QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    result.setPixelSize(fontPixelSize(font.Size, dpi));
    result.setBold(font.has(fsBold));
    result.setItalic(font.has(fsItalic));
    result.setUnderline(font.has(fsUnderline));
    result.setStrikeOut(font.has(fsStrikeOut));
    return result;
}

QSize watermarkTextSize(const QFont& font, const QString& text)
{
    const QFontMetrics metrics(font);
    return {metrics.horizontalAdvance(text), metrics.ascent() + metrics.descent()};
}

QPoint watermarkOrigin(int width, int height, int tw, int th, const PhotoSettings& info)
{
    // 64-bit so that margins of any stored size cannot overflow; the result is clamped to a
    // range far outside any photo, which keeps the text just as invisible.
    const int64_t w = width;
    const int64_t h = height;
    int64_t x = 0;
    int64_t y = 0;
    switch (info.Position) {
    case 0:
    case 3:
    case 6:
        x = info.MarginX;
        break;
    case 2:
    case 5:
    case 8:
        x = w - tw - info.MarginX;
        break;
    default:
        x = (w - tw) / 2;
        break;
    }
    switch (info.Position) {
    case 0:
    case 1:
    case 2:
        y = info.MarginY;
        break;
    case 6:
    case 7:
    case 8:
        y = h - th - info.MarginY;
        break;
    default:
        y = (h - th) / 2;
        break;
    }
    constexpr int64_t limit = 1 << 30;
    return {int(std::clamp(x, -limit, limit)), int(std::clamp(y, -limit, limit))};
}

void drawWatermarkText(QPainter& painter, const QFont& font, const QString& text, QPoint origin)
{
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QFontMetrics metrics(font);
    painter.drawText(QPoint(origin.x(), origin.y() + metrics.ascent()), text);
    painter.restore();
}
