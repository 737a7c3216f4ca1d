#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodeIco(const PictureFile&)
{
    throw PictureError("Windows icon pictures cannot be read yet");
}
