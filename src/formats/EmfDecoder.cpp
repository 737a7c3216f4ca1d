#include "Decoders.h"
#include "ImageLimits.h"
#include "PictureError.h"
#include "formats/metafile/EmfPlayer.h"
#include "formats/metafile/MetafilePicture.h"

#include <algorithm>
#include <cmath>

std::unique_ptr<Picture> decodeEmf(const PictureFile& file)
{
    using namespace metafile;
    const EmfHeader header = readEmfHeader(file.bytes);
    // The frame (0.01 mm) says where the picture lies on the reference device; where it is
    // empty, the bounds (device pixels, inclusive) stand in.
    const int64_t frameWidth = int64_t(header.frame.right()) - header.frame.left();
    const int64_t frameHeight = int64_t(header.frame.bottom()) - header.frame.top();
    const int64_t boundsWidth = int64_t(header.bounds.right()) - header.bounds.left() + 1;
    const int64_t boundsHeight = int64_t(header.bounds.bottom()) - header.bounds.top() + 1;
    const double px = header.devicePixelsPerMmX;
    const double py = header.devicePixelsPerMmY;
    QRectF frame;
    double width = 0;
    double height = 0;
    if (frameWidth > 0 && frameHeight > 0) {
        frame = QRectF(header.frame.left() * px / 100, header.frame.top() * py / 100, double(frameWidth) * px / 100,
                       double(frameHeight) * py / 100);
        width = double(frameWidth) * 96 / 2540;
        height = double(frameHeight) * 96 / 2540;
    } else if (boundsWidth > 0 && boundsHeight > 0) {
        frame = QRectF(header.bounds.left(), header.bounds.top(), double(boundsWidth), double(boundsHeight));
        width = double(boundsWidth) / px * 96 / 25.4;
        height = double(boundsHeight) / py * 96 / 25.4;
    } else {
        throw PictureError("The metafile's picture frame is empty.");
    }
    // The frame at 96 pixels per inch.
    const int64_t w = std::max<int64_t>(1, int64_t(std::nearbyint(std::min(width, 1e12))));
    const int64_t h = std::max<int64_t>(1, int64_t(std::nearbyint(std::min(height, 1e12))));
    checkPictureSize(w, h);
    return std::make_unique<MetafilePicture>(file.bytes, QSize(int(w), int(h)), frame, px, py,
                                             [header](std::span<const uint8_t> data, MetafileCanvas& canvas) {
                                                 playEmf(data, header, canvas);
                                             });
}
