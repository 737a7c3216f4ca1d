#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
QImage decodeCel(const PictureFile&)
{
    throw PictureError("Autodesk Animator pictures cannot be read yet");
}
