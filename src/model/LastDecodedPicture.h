#pragma once

#include "formats/Picture.h"

#include <QString>

#include <memory>

// Opening a photo needs its thumbnail and, right after, its decoded source for the view. The
// last decoded picture is kept, keyed by path, size and modification time, so that the next
// load of the same unchanged file takes it instead of decoding again. One entry only.
namespace LastDecodedPicture {

// Decodes the file (or finds it kept) and keeps it for the next take(). Throws PictureError.
const Picture& load(const QString& path);

// The kept picture when it is of this path and the file is unchanged since; otherwise a
// fresh decode. The caller owns the result; nothing stays kept. Throws PictureError.
std::unique_ptr<Picture> take(const QString& path);

// Drops the kept picture.
void clear();

} // namespace LastDecodedPicture
