#pragma once

#include <QRect>

#include <cstdint>
#include <span>

namespace metafile {

class MetafileCanvas;

// The header record of an enhanced metafile (EMF).
struct EmfHeader {
    QRect bounds;            // device pixels, inclusive (left, top, right, bottom as stored)
    QRect frame;             // 0.01 mm, inclusive
    uint32_t handles = 0;    // size of the object table
    uint32_t headerSize = 0; // the header record's size: the first drawing record follows
    double devicePixelsPerMmX = 96 / 25.4;
    double devicePixelsPerMmY = 96 / 25.4;
};

// Reads and checks the header record; throws PictureError when the bytes are not an EMF.
EmfHeader readEmfHeader(std::span<const uint8_t> data);

// Plays every record on the canvas. Damaged records are skipped; a record that runs past the
// end of the data ends the playback.
void playEmf(std::span<const uint8_t> data, const EmfHeader& header, MetafileCanvas& canvas);

} // namespace metafile
