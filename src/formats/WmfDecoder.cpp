#include "Decoders.h"
#include "ImageLimits.h"
#include "PictureError.h"
#include "formats/metafile/MetafilePicture.h"
#include "formats/metafile/WmfPlayer.h"

#include <algorithm>
#include <cmath>

namespace {

// A metafile without placeable header declares no physical size: its logical units are taken
// as pixels, and the larger side is brought down to this many pixels when it is longer.
constexpr double kPlainMaxSide = 1024;

QSize plainSize(double width, double height)
{
    const double scale = std::max(width, height) > kPlainMaxSide ? kPlainMaxSide / std::max(width, height) : 1.0;
    return QSize(int(std::max(1.0, std::nearbyint(width * scale))), int(std::max(1.0, std::nearbyint(height * scale))));
}

} // namespace

std::unique_ptr<Picture> decodeWmf(const PictureFile& file)
{
    using namespace metafile;
    const WmfHeader header = readWmfHeader(file.bytes);
    WmfMapping mapping;
    QSize size;
    QRectF frame;
    if (header.placeable) {
        // The placeable header's rectangle at its units per inch, shown at 96 pixels per inch.
        const double width = std::nearbyint(std::abs(header.bounds.width()) * 96 / header.unitsPerInch);
        const double height = std::nearbyint(std::abs(header.bounds.height()) * 96 / header.unitsPerInch);
        checkPictureSize(int64_t(std::max(1.0, width)), int64_t(std::max(1.0, height)));
        size = QSize(int(std::max(1.0, width)), int(std::max(1.0, height)));
        // The header's rectangle fills the picture. The window the records set first is placed
        // where that rectangle puts it, so later window changes act relative to it; writers
        // often set a window a little smaller than what they draw and declare.
        const WmfWindowRecords window = scanWmfWindow(file.bytes, header);
        const QPointF org = window.org.value_or(header.bounds.topLeft());
        const QSizeF ext = window.ext.value_or(header.bounds.size());
        const double sx = size.width() / header.bounds.width();
        const double sy = size.height() / header.bounds.height();
        mapping.fixedViewport = true;
        mapping.windowOrg = org;
        mapping.windowExt = ext;
        mapping.viewportOrg = QPointF((org.x() - header.bounds.left()) * sx, (org.y() - header.bounds.top()) * sy);
        mapping.viewportExt = QSizeF(ext.width() * sx, ext.height() * sy);
        frame = QRectF(QPointF(0, 0), QSizeF(size));
    } else {
        const WmfWindowRecords window = scanWmfWindow(file.bytes, header);
        if (window.ext) {
            // The window fills the picture.
            size = plainSize(std::abs(window.ext->width()), std::abs(window.ext->height()));
            mapping.fixedViewport = true;
            mapping.windowOrg = window.org.value_or(QPointF(0, 0));
            mapping.windowExt = *window.ext;
            mapping.viewportExt = QSizeF(size);
            frame = QRectF(QPointF(0, 0), QSizeF(size));
        } else {
            // No extent anywhere: the picture is what its records draw.
            CanvasSetup setup;
            setup.target = QRectF(-kMaxTargetCoordinate, -kMaxTargetCoordinate, 2 * kMaxTargetCoordinate,
                                  2 * kMaxTargetCoordinate);
            MetafileCanvas measure(nullptr, setup);
            playWmf(file.bytes, header, mapping, measure);
            frame = measure.drawnBounds();
            if (!(frame.width() > 0 && frame.height() > 0))
                throw PictureError("The metafile gives no picture size and draws nothing.");
            size = plainSize(frame.width(), frame.height());
        }
    }
    const double pixelsPerMm = 96 / 25.4;
    return std::make_unique<MetafilePicture>(
        file.bytes, size, frame, pixelsPerMm, pixelsPerMm,
        [header, mapping](std::span<const uint8_t> data, MetafileCanvas& canvas) {
            playWmf(data, header, mapping, canvas);
        });
}
