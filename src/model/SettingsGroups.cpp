#include "SettingsGroups.h"

void CopyGroup(SettingsGroup group, const PhotoSettings& from, PhotoSettings& to)
{
    switch (group) {
    case SettingsGroup::Resize:
        to.MaxSize = from.MaxSize;
        to.Optimize = from.Optimize;
        to.KeepSize = from.KeepSize;
        to.Resample = from.Resample;
        to.JpegQuality = from.JpegQuality;
        to.MaxFileKB = from.MaxFileKB;
        return;
    case SettingsGroup::Crop:
        to.CropRect = from.CropRect;
        return;
    case SettingsGroup::ColorBalance:
        to.Contrast = from.Contrast;
        to.Brightness = from.Brightness;
        to.Red = from.Red;
        to.Green = from.Green;
        to.Blue = from.Blue;
        to.Grayscale = from.Grayscale;
        to.Negative = from.Negative;
        return;
    case SettingsGroup::Watermark:
        to.Watermark = from.Watermark;
        to.Font = from.Font;
        to.Opacity = from.Opacity;
        to.Position = from.Position;
        to.MarginX = from.MarginX;
        to.MarginY = from.MarginY;
        return;
    case SettingsGroup::Mask:
        to.Mask = from.Mask;
        to.BorderWidth = from.BorderWidth;
        to.BackgroundColor = from.BackgroundColor;
        return;
    }
}
