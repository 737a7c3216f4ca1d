#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodeEps(const PictureFile&)
{
    throw PictureError("Encapsulated PostScript pictures cannot be read yet");
}
