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

// How many photos an export works on at once: one per core, at most 4.
int exportWorkerCount();

// Renders every photo with its own settings and writes it as JPEG to the path of the same
// place in paths (see exportPaths); an existing file is replaced. The photos are shared out
// among workers (workers, or exportWorkerCount() when 0), each rendering one photo at a time
// in a photo object of its own from its own copy of the photo's record, so at most one
// source, mask and bitmap per worker are held at any moment; the files and the result are
// the same for any number of workers. The clipped crop rectangle of every rendered photo is
// stored back into its record. An export that would write over the source of any of its
// photos is refused, before anything is written, with a message naming those photos.
// Photos are rendered side by side but written in photo order. progress(k, n) runs on the
// calling thread each time another of the n photos is finished (k counts the finished
// photos, so it rises by one each call up to n). A file that cannot be written throws (its
// message names the file) once the photos already being worked on have finished; no other
// photo is started or written, and the files written before it stay.
ExportResult exportPhotos(const QList<TPhotoInfo*>& photos, const QStringList& paths,
                          const std::function<void(int done, int total)>& progress, int workers = 0);
