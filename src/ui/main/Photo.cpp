#include "Photo.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>

TPhoto::TPhoto(QWidget* owner) : QWidget(owner)
{
    // A lightweight control: no background of its own, it only paints the bitmap.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    connect(&core_, &PhotoCore::OnChange, this, &TPhoto::coreChanged);
    resize(core_.DisplaySize());
}

void TPhoto::coreChanged()
{
    resize(core_.DisplaySize());
    update();
    emit OnChange(this);
}

void TPhoto::CopyToClipboard() const
{
    QGuiApplication::clipboard()->setImage(core_.Bitmap());
}

void TPhoto::paintEvent(QPaintEvent*)
{
    const QImage& bitmap = core_.Bitmap();
    if (bitmap.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(QPoint(0, 0), core_.DisplaySize()), bitmap);
}
