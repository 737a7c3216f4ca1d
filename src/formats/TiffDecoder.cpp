#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodeTiff(const PictureFile&)
{
    throw PictureError("TIFF pictures cannot be read yet");
}
