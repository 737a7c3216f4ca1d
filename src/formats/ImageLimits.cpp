#include "ImageLimits.h"

#include "ImageConversion.h"
#include "PictureError.h"

#include <limits>
#include <string>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

const char* const kLimitsText = "(at most 65535 pixels a side and 400 megapixels)";

std::string sizeText(int64_t width, int64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

// The product is taken only once both sides are within limits, so it cannot overflow.
bool isOverLimits(int64_t width, int64_t height)
{
    return width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels;
}

} // namespace

void checkPictureSize(int64_t width, int64_t height)
{
    if (width <= 0 || height <= 0)
        throw PictureError("The picture data is damaged: it gives an invalid size of " + sizeText(width, height)
                           + " pixels.");
    if (isOverLimits(width, height))
        throw PictureError("The picture is too large: " + sizeText(width, height) + " pixels " + kLimitsText + ".");
}

void failSideTooLarge(bool high)
{
    throw PictureError(std::string("The picture is too large: more than 65,535 pixels ") + (high ? "high." : "wide."));
}

void checkRenderedSize(int64_t width, int64_t height)
{
    if (isOverLimits(width, height))
        throw PictureError("The photo is too large to render at " + sizeText(width, height) + " pixels " + kLimitsText
                           + ".");
}

PictureError notEnoughMemory(int64_t width, int64_t height)
{
    return PictureError("Not enough memory for a " + std::to_string(width) + " \u00D7 " + std::to_string(height)
                        + " picture");
}

QImage allocateRenderedBitmap(int width, int height, QImage::Format pixelFormat)
{
    checkRenderedSize(width, height);
    QImage bitmap(width, height, pixelFormat);
    if (bitmap.isNull() && width > 0 && height > 0)
        throw notEnoughMemory(width, height);
    return bitmap;
}

QImage toRenderedBitmap(const QImage& image)
{
    QImage bitmap = toBgr888(image);
    if (bitmap.isNull() && !image.isNull())
        throw notEnoughMemory(image.width(), image.height());
    return bitmap;
}

uint8_t* writablePixels(QImage& bitmap)
{
    if (bitmap.isNull())
        return nullptr;
    if (bitmap.format() != kBitmapFormat)
        bitmap = toRenderedBitmap(bitmap);
    // bits() copies pixels shared with another image; when that copy fails the bitmap is
    // left null and bits() gives null.
    const int width = bitmap.width();
    const int height = bitmap.height();
    uint8_t* pixels = bitmap.bits();
    if (!pixels)
        throw notEnoughMemory(width, height);
    return pixels;
}

namespace {

#ifdef __linux__
// Large pictures live in their own mapping, aligned to 2 MB and advised for transparent
// huge pages: filling 72 MB of 4 KB pages costs tens of thousands of page faults, which
// on a virtual machine take longer than decoding a JPEG. Smaller ones use malloc.
struct Mapping {
    void* base;
    size_t size;
};

void unmapPicture(void* info)
{
    auto* mapping = static_cast<Mapping*>(info);
    munmap(mapping->base, mapping->size);
    delete mapping;
}

QImage mappedPicture(int width, int height, QImage::Format pixelFormat)
{
    constexpr size_t kHugePage = size_t(2) << 20;
    const int depth = QImage::toPixelFormat(pixelFormat).bitsPerPixel();
    const size_t bytesPerLine = (size_t(width) * size_t(depth) + 31) / 32 * 4;
    const size_t bytes = bytesPerLine * size_t(height);
    if (depth <= 0 || bytes < 4 * kHugePage)
        return {};
    const size_t size = bytes + kHugePage;
    void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        return {};
    auto* start = reinterpret_cast<uchar*>((reinterpret_cast<uintptr_t>(base) + kHugePage - 1) & ~(kHugePage - 1));
    madvise(start, bytes, MADV_HUGEPAGE);
    auto* mapping = new Mapping{base, size};
    QImage image(start, width, height, qsizetype(bytesPerLine), pixelFormat, unmapPicture, mapping);
    if (image.isNull())
        unmapPicture(mapping);
    return image;
}
#else
QImage mappedPicture(int, int, QImage::Format)
{
    return {};
}
#endif

} // namespace

QImage allocatePicture(int64_t width, int64_t height, QImage::Format pixelFormat)
{
    checkPictureSize(width, height);
    if (QImage mapped = mappedPicture(int(width), int(height), pixelFormat); !mapped.isNull())
        return mapped;
    QImage image(int(width), int(height), pixelFormat);
    if (image.isNull())
        throw notEnoughMemory(width, height);
    return image;
}

size_t checkedMul(size_t a, size_t b)
{
    if (a != 0 && b > std::numeric_limits<size_t>::max() / a)
        throw PictureError("The picture data is damaged: its sizes are too large to work with.");
    return a * b;
}

size_t checkedAdd(size_t a, size_t b)
{
    if (b > std::numeric_limits<size_t>::max() - a)
        throw PictureError("The picture data is damaged: its sizes are too large to work with.");
    return a + b;
}
