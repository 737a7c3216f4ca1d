#pragma once

#include "PhotoSettings.h"

#include <QImage>

class Picture;

// Blends the watermark text in the font's color at its anchor, in place.
void DoWatermark(QImage& bitmap, const PhotoSettings& info);

// Blends the border and the mask picture (may be null) in BackgroundColor, in place.
void DoMask(QImage& bitmap, const Picture* maskPicture, const PhotoSettings& info);
