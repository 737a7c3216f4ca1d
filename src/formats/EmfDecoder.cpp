#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
std::unique_ptr<Picture> decodeEmf(const PictureFile&)
{
    throw PictureError("Windows enhanced metafile pictures cannot be read yet");
}
