#pragma once

#include <QString>

#include <cstdint>

// A color as $00BBGGRR: red in the low byte, then green, then blue. The high byte holds
// symbolic colors (system colors, clNone, clDefault); drawing uses the low three bytes.
using TColor = uint32_t;

inline constexpr TColor clWhite = 0x00FFFFFF;

inline int colorRed(TColor c) { return int(c & 0xFF); }
inline int colorGreen(TColor c) { return int((c >> 8) & 0xFF); }
inline int colorBlue(TColor c) { return int((c >> 16) & 0xFF); }

// A rectangle in pixels; Right and Bottom are exclusive. Empty when Right <= Left or
// Bottom <= Top.
struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;

    bool isEmpty() const { return Right <= Left || Bottom <= Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

// Font styles, combined as a set.
enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;

// The watermark font: face, size in points, color and style set.
struct TFont {
    QString Name = QStringLiteral("Arial");
    int32_t Size = 10;
    TColor Color = clWhite;
    TFontStyles Style = fsBold;

    bool has(TFontStyle s) const { return (Style & s) != 0; }
    friend bool operator==(const TFont&, const TFont&) = default;
};

// The largest size limit a photo can have, in kilobytes (the box holds five digits).
inline constexpr int32_t kMaxFileKBLimit = 99999;

// Every setting of one photo, in the order the settings record keeps them. The render
// steps read (and the crop step writes) these fields; TPhotoInfo adds loading and saving.
struct PhotoSettings {
    QString FileName;
    int32_t MaxSize = 600;
    bool Optimize = false;
    bool KeepSize = true;
    TRect CropRect;
    int32_t Rotation = 0;
    int32_t Contrast = 0;
    int32_t Brightness = 0;
    int32_t Red = 0;
    int32_t Green = 0;
    int32_t Blue = 0;
    bool Grayscale = false;
    bool Negative = false;
    QString Watermark = QStringLiteral("Lumatrim");
    TFont Font;
    int32_t Opacity = 128;
    int32_t Position = 6;
    int32_t MarginX = 8;
    int32_t MarginY = 8;
    QString Mask;
    int32_t BorderWidth = 0;
    TColor BackgroundColor = clWhite;
    // The resize step filters (Lanczos-3) instead of sampling the nearest pixel.
    bool Resample = false;
    // The JPEG quality every file of the photo is written at, 1..100.
    int32_t JpegQuality = 100;
    // The largest file in kilobytes of 1,024 bytes, 0 for no limit: a file over it is
    // written at the highest lower quality that fits.
    int32_t MaxFileKB = 0;

    friend bool operator==(const PhotoSettings&, const PhotoSettings&) = default;
};
