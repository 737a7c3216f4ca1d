#include "Photo.h"

#include "ui/dialogs/EditDialog.h"

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

void TPhoto::SetEditDialogs(const EditDialogs& dialogs, std::function<int(QDialog&)> runModal)
{
    dialogs_ = dialogs;
    runModal_ = std::move(runModal);
}

int TPhoto::showDialog(TEditDialog* dialog)
{
    if (!Source() || !dialog || !runModal_)
        return mrCancel;
    return runModal_(*dialog);
}

int TPhoto::ShowResize()
{
    return showDialog(dialogs_.resize);
}

void TPhoto::ShowCrop()
{
    showDialog(dialogs_.crop);
}

void TPhoto::ShowColorBalance()
{
    showDialog(dialogs_.color);
}

int TPhoto::ShowWatermark()
{
    return showDialog(dialogs_.watermark);
}

int TPhoto::ShowMask()
{
    return showDialog(dialogs_.mask);
}
