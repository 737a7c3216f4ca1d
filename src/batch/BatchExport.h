#pragma once

#include "ExportNaming.h"

#include <QList>
#include <QStringList>

#include <functional>

class TPhotoInfo;

// What an export did: the paths written, in photo order (a path twice when two photos got
// the same name), and the photos that gave no picture and so were not written, one line each
// saying why: the decoder's line naming the file for a source that could not be read
// ("Cannot open <path>. <reason>"), "<path>: <message>" for a photo that renders to nothing.
struct ExportResult {
    QStringList written;
    QStringList unreadable;
    // The photos written at quality 1 and still over their size limit, one line each naming
    // the photo (sizeLimitMissedMessage).
    QStringList overLimit;
};

// Renders every photo with its own settings, one at a time in a photo object of its own
// (only one source, mask and bitmap are held at any moment), and writes it as JPEG to the
// path of the same place in paths (see exportPaths); an existing file is replaced.
// An export that would write over the source of any of its photos is refused, before
// anything is written, with a message naming those photos. progress(k, n) runs after the
// k-th of n photos. A file that cannot be written throws (its
// message names the file), and the files written before it stay.
ExportResult exportPhotos(const QList<TPhotoInfo*>& photos, const QStringList& paths,
                          const std::function<void(int done, int total)>& progress);
