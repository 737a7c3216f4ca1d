#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>

// Limits on picture sizes, checked before any pixel memory is allocated.
inline constexpr int64_t kMaxPictureSide = 65535;
inline constexpr int64_t kMaxPicturePixels = 400'000'000;

// Throws a PictureError naming the size when width or height is not positive, a side
// exceeds kMaxPictureSide or the area exceeds kMaxPicturePixels.
void checkPictureSize(int64_t width, int64_t height);

// checkPictureSize, then allocates the image; an allocation failure is an error too.
QImage allocatePicture(int64_t width, int64_t height, QImage::Format pixelFormat);

// Throws a PictureError for a side whose number is too large to hold at all ("more than
// 65,535 pixels wide"); `high` names the height instead of the width.
[[noreturn]] void failSideTooLarge(bool high);

// The rendered bitmap of a photo is held to the same limits. Throws a PictureError naming
// the size when a width x height rendering would exceed them.
void checkRenderedSize(int64_t width, int64_t height);

// checkRenderedSize, then allocates a 24-bit rendered bitmap; an allocation failure throws
// a PictureError naming the size instead of leaving a null bitmap.
QImage allocateRenderedBitmap(int width, int height);

// Size arithmetic that throws a PictureError instead of wrapping around.
size_t checkedMul(size_t a, size_t b);
size_t checkedAdd(size_t a, size_t b);
