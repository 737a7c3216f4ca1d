#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodeJpeg(const PictureFile&)
{
    throw PictureError("JPEG pictures cannot be read yet");
}
