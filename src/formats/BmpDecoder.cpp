#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodeBmp(const PictureFile&)
{
    throw PictureError("Windows bitmap pictures cannot be read yet");
}
