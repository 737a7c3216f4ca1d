#pragma once

#include "render/PhotoSettings.h"

class QImage;

// Outlines the dialogs draw over their pictures by flipping pixels, so that drawing the same
// outline again restores what was under it: the Crop dialog's selection and the Watermark
// dialog's margin guides.

// The Crop selection's pen: red in not-xor mode keeps red and inverts green and blue.
inline constexpr TColor kNotXorRed = 0x00FFFF00;
// A focus rectangle inverts every channel.
inline constexpr TColor kInvert = 0x00FFFFFF;

// XORs each channel of the pixels on the outline of r (from Left, Top to Right - 1,
// Bottom - 1; an inverted r covers the same pixels as its normalized form) with the matching
// channel of flip, on a 24-bit blue-green-red bitmap. Every outline pixel is flipped exactly
// once; pixels outside the bitmap are skipped. Dotted, only the pixels where x + y is even are
// flipped, as a focus rectangle is drawn.
void XorOutline(QImage& bitmap, const TRect& r, TColor flip, bool dotted = false);
