#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodePcx(const PictureFile&)
{
    throw PictureError("PCX pictures cannot be read yet");
}
