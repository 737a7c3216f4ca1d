#pragma once

#include "render/PhotoSettings.h"

#include <QString>

#include <optional>

// Colors in settings files: by name from the toolkit's color table ("clWhite",
// "clAppWorkSpace") or as "$" + 8 upper-case hexadecimal digits of $00BBGGRR.

// The first name the table gives the value, else "$XXXXXXXX".
QString colorToString(TColor color);

// A table name (any case), else an integer ("$" hexadecimal, "0x" hexadecimal or decimal);
// anything else is white.
TColor colorFromString(const QString& text);

// The value of a table name (any case), if it is one.
std::optional<TColor> colorFromName(const QString& name);

// Values of the system colors: $FF000000 plus the system color index.
inline constexpr TColor kSystemColorBase = 0xFF000000;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;
inline constexpr TColor clAppWorkSpace = kSystemColorBase + 12;

// True for the symbolic values (system colors, clNone, clDefault) that have no RGB of their own.
inline bool isSymbolicColor(TColor color) { return (color & 0xFF000000) != 0; }
