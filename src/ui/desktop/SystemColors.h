#pragma once

#include "render/PhotoSettings.h"

#include <QColor>
#include <QPalette>

// Turns a stored color into the color to paint on screen. The system colors ($FF000000 +
// index, such as clAppWorkSpace) are looked up in the desktop palette (the workspace is its
// Dark entry); clNone and clDefault give the workspace color; any other value paints its low
// three bytes ($00BBGGRR).
QColor screenColor(TColor color, const QPalette& palette);

// The color a stored value draws with in the pipeline: its low three bytes, whatever the
// high byte says.
QColor drawnColor(TColor color);

// A plain color ($00BBGGRR) from a screen color.
TColor colorFromQColor(const QColor& color);
