#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodePnm(const PictureFile&)
{
    throw PictureError("Portable map pictures cannot be read yet");
}
