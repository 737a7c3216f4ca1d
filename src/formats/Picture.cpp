#include "Picture.h"

#include "ImageLimits.h"

#include <QPainter>

QSize fittedSize(QSize pictureSize, QSize box)
{
    QSize fitted = pictureSize.scaled(box, Qt::KeepAspectRatio);
    if (fitted.width() > pictureSize.width() || fitted.height() > pictureSize.height())
        fitted = pictureSize;
    return fitted.expandedTo(QSize(1, 1));
}

RasterPicture::RasterPicture(QImage image)
    : image_(image.hasAlphaChannel() ? toRenderedBitmap(image) : std::move(image))
{
}

void RasterPicture::draw(QPainter& painter, const QRect& target) const
{
    if (image_.isNull() || target.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, image_);
    painter.restore();
}
