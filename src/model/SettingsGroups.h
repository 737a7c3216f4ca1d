#pragma once

#include "render/PhotoSettings.h"

// The fixed groups of settings that the edit dialogs change: what OK, Apply and OK for All
// write, what Cancel restores, and what OK for All carries into every opened photo.
enum class SettingsGroup {
    Resize,       // MaxSize, Optimize, KeepSize, Resample, JpegQuality, MaxFileKB
    Crop,         // CropRect
    ColorBalance, // Contrast, Brightness, Red, Green, Blue, Grayscale, Negative
    Watermark,    // Watermark, Font (as a whole), Opacity, Position, MarginX, MarginY
    Mask,         // Mask, BorderWidth, BackgroundColor
};

// Copies the fields of the group from one record into another, and nothing else.
void CopyGroup(SettingsGroup group, const PhotoSettings& from, PhotoSettings& to);
