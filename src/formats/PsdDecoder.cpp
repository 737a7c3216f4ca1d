#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodePsd(const PictureFile&)
{
    throw PictureError("Photoshop pictures cannot be read yet");
}
