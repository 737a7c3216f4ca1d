#pragma once

#include "render/PhotoSettings.h"

#include <optional>

class QWidget;

// The font chooser of the Watermark dialog: face, style and size from the toolkit's font
// dialog, underline and strike-out among its effects, and the text color beside them. Returns
// the chosen font, or nothing when the user cancels.
std::optional<TFont> runFontChooser(QWidget* parent, const TFont& initial);
