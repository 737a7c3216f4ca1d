#include "ImageLimits.h"

#include "PictureError.h"

#include <limits>
#include <string>

namespace {

std::string sizeText(int64_t width, int64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

} // namespace

void checkPictureSize(const char* format, int64_t width, int64_t height)
{
    if (width <= 0 || height <= 0)
        throw PictureError(std::string(format) + " picture has an invalid size of " + sizeText(width, height) + " pixels");
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels)
        throw PictureError(std::string(format) + " picture of " + sizeText(width, height)
                           + " pixels is too large (at most 65535 pixels a side and 400 megapixels)");
}

QImage allocatePicture(const char* format, int64_t width, int64_t height, QImage::Format pixelFormat)
{
    checkPictureSize(format, width, height);
    QImage image(int(width), int(height), pixelFormat);
    if (image.isNull())
        throw PictureError(std::string("Not enough memory for a ") + format + " picture of " + sizeText(width, height)
                           + " pixels");
    return image;
}

size_t checkedMul(size_t a, size_t b)
{
    if (a != 0 && b > std::numeric_limits<size_t>::max() / a)
        throw PictureError("Picture size arithmetic overflows");
    return a * b;
}

size_t checkedAdd(size_t a, size_t b)
{
    if (b > std::numeric_limits<size_t>::max() - a)
        throw PictureError("Picture size arithmetic overflows");
    return a + b;
}
