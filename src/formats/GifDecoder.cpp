#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodeGif(const PictureFile&)
{
    throw PictureError("GIF pictures cannot be read yet");
}
