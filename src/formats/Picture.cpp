#include "Picture.h"

#include "ImageConversion.h"

#include <QPainter>

void RasterPicture::draw(QPainter& painter, const QRect& target) const
{
    if (image_.isNull() || target.isEmpty())
        return;
    // Alpha is never part of a picture's look: draw the color channels as stored.
    const QImage opaque = toBgr888(image_);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, opaque);
    painter.restore();
}
