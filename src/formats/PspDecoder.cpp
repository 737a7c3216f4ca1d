#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodePsp(const PictureFile&)
{
    throw PictureError("Paint Shop Pro pictures cannot be read yet");
}
