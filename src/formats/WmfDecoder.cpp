#include "Decoders.h"
#include "PictureError.h"

// Not built yet: the format is registered, and reading it fails with a message naming it.
std::unique_ptr<Picture> decodeWmf(const PictureFile&)
{
    throw PictureError("Windows metafile pictures cannot be read yet");
}
