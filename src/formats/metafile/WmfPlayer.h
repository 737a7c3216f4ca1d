#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <cstdint>
#include <optional>
#include <span>

namespace metafile {

class MetafileCanvas;

// The two headers of a Windows metafile (WMF).
struct WmfHeader {
    bool placeable = false;   // begins with the placeable header (key 0x9AC6CDD7)
    QRectF bounds;            // placeable: picture rectangle in logical units; width or height
                              // is negative where right or bottom is less than left or top
    int unitsPerInch = 0;     // placeable: logical units per inch
    uint16_t objectCount = 0; // size of the object table
    size_t recordsOffset = 0; // first record
};

// Reads and checks the headers; throws PictureError when the bytes are not a metafile.
WmfHeader readWmfHeader(std::span<const uint8_t> data);

// How logical coordinates reach the device space of a WMF picture.
struct WmfMapping {
    // Placeable files and files that set a window extent: the window records map the window
    // onto a fixed viewport, and the file's mapping mode and viewport records are ignored.
    // Otherwise the file's own mapping mode holds (MM_TEXT or a metric mode).
    bool fixedViewport = false;
    QPointF windowOrg;      // the window before the first record
    QSizeF windowExt{1, 1};
    QPointF viewportOrg;    // where that window lands in device space
    QSizeF viewportExt{1, 1};
};

// The first window origin, window extent and mapping mode set by the records.
struct WmfWindowRecords {
    std::optional<QPointF> org;
    std::optional<QSizeF> ext;
    int mapMode = 1;
};
WmfWindowRecords scanWmfWindow(std::span<const uint8_t> data, const WmfHeader& header);

// Plays every record on the canvas. Damaged records are skipped; a record that runs past
// the end of the data ends the playback.
void playWmf(std::span<const uint8_t> data, const WmfHeader& header, const WmfMapping& mapping,
             MetafileCanvas& canvas);

} // namespace metafile
