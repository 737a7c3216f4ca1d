#include "MetafilePicture.h"

#include "formats/ImageConversion.h"
#include "formats/ImageLimits.h"
#include "formats/PictureError.h"

#include <QPainter>

#include <cstring>
#include <new>

MetafilePicture::MetafilePicture(std::span<const uint8_t> bytes, QSize size, QRectF frame, double pixelsPerMmX,
                                 double pixelsPerMmY, Player player)
    : bytes_(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))
    , size_(size)
    , frame_(frame)
    , pixelsPerMmX_(pixelsPerMmX)
    , pixelsPerMmY_(pixelsPerMmY)
    , player_(std::move(player))
{
    // QByteArray(const char*, size) copies: the file's memory may go once decoding is done.
}

void MetafilePicture::draw(QPainter& painter, const QRect& target) const
{
    if (target.isEmpty() || frame_.width() == 0 || frame_.height() == 0)
        return;
    const QRectF area(target);
    const double sx = area.width() / frame_.width();
    const double sy = area.height() / frame_.height();
    metafile::CanvasSetup setup;
    setup.deviceToTarget = QTransform(sx, 0, 0, sy, area.left() - frame_.left() * sx, area.top() - frame_.top() * sy);
    setup.target = area;
    setup.devicePixelsPerMmX = pixelsPerMmX_;
    setup.devicePixelsPerMmY = pixelsPerMmY_;
    try {
        metafile::MetafileCanvas canvas(&painter, setup);
        player_(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes_.constData()), size_t(bytes_.size())),
                canvas);
    } catch (const PictureError&) {
        // What was drawn before the damage stays.
    } catch (const std::bad_alloc&) {
    }
}

QImage MetafilePicture::toImage() const
{
    // Drawn straight into the pipeline's 24-bit format: as fast to paint as 32 bits, and the
    // render step then needs no conversion.
    QImage image = allocatePicture(size_.width(), size_.height(), kBitmapFormat);
    std::memset(image.bits(), 0xFF, size_t(image.sizeInBytes())); // white, quicker than a 24-bit fill
    QPainter painter(&image);
    draw(painter, image.rect());
    painter.end();
    return image;
}
