#pragma once

#include "PictureError.h"

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

// The one error of a picture or bitmap whose memory cannot be had, decoding or rendering:
// "Not enough memory for a W × H picture", W x H the size that was being allocated.
PictureError notEnoughMemory(int64_t width, int64_t height);

// checkRenderedSize, then allocates a bitmap for a render step (24-bit unless the step needs
// another format). A side of 0 gives a null bitmap; an allocation failure throws
// notEnoughMemory instead of leaving a null bitmap.
QImage allocateRenderedBitmap(int width, int height, QImage::Format pixelFormat = QImage::Format_BGR888);

// The image as a 24-bit bitmap (a shallow copy when it is one already); throws
// notEnoughMemory when the conversion finds no memory.
QImage toRenderedBitmap(const QImage& image);

// Makes the bitmap a 24-bit one whose pixels are its own, so that a step can write into it:
// a bitmap shared with another image is copied, another format converted. Returns its first
// byte; throws notEnoughMemory when the copy finds no memory. A null bitmap stays null.
uint8_t* writablePixels(QImage& bitmap);

// Size arithmetic that throws a PictureError instead of wrapping around.
size_t checkedMul(size_t a, size_t b);
size_t checkedAdd(size_t a, size_t b);
