#pragma once

#include <QImage>

#include <cstdint>
#include <span>

namespace metafile {

// A device-independent bitmap of a metafile record, top row first.
struct Dib {
    QImage image;          // Format_RGB32, or Format_ARGB32_Premultiplied when alpha was asked for
    bool bottomUp = true;  // rows were stored bottom-up (source rectangles count from the bottom)
};

// Decodes a bitmap from its header and color table (info) and its rows (bits).
// Uncompressed 1, 4, 8, 16, 24 and 32 bits per pixel are decoded; other variants
// (run-length or JPEG/PNG compressed) give a null image. Sizes that do not fit the data throw
// PictureError. paletteIndices: the color table holds 16-bit palette indexes (DIB_PAL_COLORS),
// shown as grays since palettes are not tracked. keepAlpha: 32-bit pixels keep their fourth
// byte as premultiplied alpha (AlphaBlend sources).
Dib decodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits, bool paletteIndices,
              bool keepAlpha = false);

// A packed bitmap: header, color table and rows in one block, as WMF records store it.
Dib decodePackedDib(std::span<const uint8_t> packed, bool paletteIndices);

} // namespace metafile
