#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodeCut(const PictureFile&)
{
    throw PictureError("Dr. Halo pictures cannot be read yet");
}
