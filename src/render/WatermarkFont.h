#pragma once

#include "PhotoSettings.h"

#include <QFont>
#include <QPoint>
#include <QSize>
#include <QString>

// The watermark text: its font, its measured size and its place on the photo. The watermark
// step and the watermark dialog's preview share these so both lay the text out alike.

// The logical resolution of the primary screen in dots per inch; 96 when there is no screen.
qreal watermarkDpi();

// A size in points as pixels at dpi: round(points x dpi / 72), ties to even; at least 1 and
// at most 32767, the range a font engine accepts.
int fontPixelSize(int points, qreal dpi);

// The font the watermark is drawn in: face, pixel size, bold, italic, underline and strike-out
// of font, grayscale antialiasing. A face that is not installed falls back to sans-serif.
QFont watermarkFont(const TFont& font, qreal dpi = watermarkDpi());

// Width (advance of the whole text) and height (ascent plus descent) of one line of text.
QSize watermarkTextSize(const QFont& font, const QString& text);

// Top-left corner of a text of tw x th pixels on a photo of width x height, placed by
// info.Position, info.MarginX and info.MarginY. May lie outside the photo.
QPoint watermarkOrigin(int width, int height, int tw, int th, const PhotoSettings& info);

// Draws text white, antialiased, as one line whose top-left corner is at origin.
class QPainter;
void drawWatermarkText(QPainter& painter, const QFont& font, const QString& text, QPoint origin);
