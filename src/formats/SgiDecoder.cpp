#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodeSgi(const PictureFile&)
{
    throw PictureError("SGI pictures cannot be read yet");
}
