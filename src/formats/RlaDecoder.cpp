#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodeRla(const PictureFile&)
{
    throw PictureError("Alias/Wavefront RLA pictures cannot be read yet");
}
