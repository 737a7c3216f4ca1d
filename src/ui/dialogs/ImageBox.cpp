#include "ImageBox.h"

#include <QFrame>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace {

// The pixel under the pointer, also to the left of or above the image.
QPoint pixelAt(const QMouseEvent* event)
{
    const QPointF p = event->position();
    return {int(std::floor(p.x())), int(std::floor(p.y()))};
}

} // namespace

QFrame* newPicturePanel(const char* name, QSize size, QWidget* parent)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    panel->setFixedSize(size);
    return panel;
}

ImageBox::ImageBox(QWidget* panel) : QWidget(panel)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage& ImageBox::editBitmap()
{
    update();
    return bitmap_;
}

void ImageBox::showCentered(const QImage& bitmap)
{
    bitmap_ = bitmap;
    const QWidget* panel = parentWidget();
    setGeometry((panel->width() - bitmap.width()) / 2, (panel->height() - bitmap.height()) / 2, bitmap.width(),
                bitmap.height());
    update();
}

void ImageBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.drawImage(event->rect().topLeft(), bitmap_, event->rect());
}

void ImageBox::mousePressEvent(QMouseEvent* event)
{
    if (onPress)
        onPress(pixelAt(event));
}

void ImageBox::mouseMoveEvent(QMouseEvent* event)
{
    if (onMove)
        onMove(pixelAt(event));
}

void ImageBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (onRelease)
        onRelease(pixelAt(event));
}
