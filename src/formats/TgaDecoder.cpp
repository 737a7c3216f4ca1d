#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodeTga(const PictureFile&)
{
    throw PictureError("Truevision pictures cannot be read yet");
}
