#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodePcd(const PictureFile&)
{
    throw PictureError("Photo CD pictures cannot be read yet");
}
