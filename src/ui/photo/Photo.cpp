#include "Photo.h"

#include "ui/desktop/ModalResult.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>

namespace {
constexpr int kMessageMargin = 16;
}

TPhoto::TPhoto(QWidget* owner) : QWidget(owner)
{
    // A lightweight control: no background of its own, it only paints the bitmap (or the
    // message, on the photo area's own background).
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    connect(&core_, &PhotoCore::OnChange, this, &TPhoto::coreChanged);
    resize(core_.DisplaySize());
}

bool TPhoto::showsMessage() const
{
    return core_.Bitmap().isNull() && !core_.Message().isEmpty();
}

void TPhoto::coreChanged()
{
    // The status bar and the zoom go by the core's size, which stays 0 x 0 while the
    // message shows.
    if (showsMessage())
        resize(fontMetrics().size(Qt::TextSingleLine, core_.Message()) + QSize(2 * kMessageMargin, 2 * kMessageMargin));
    else
        resize(core_.DisplaySize());
    update();
    emit OnChange(this);
}

void TPhoto::CopyToClipboard() const
{
    QGuiApplication::clipboard()->setImage(core_.Bitmap());
}

void TPhoto::paintMessage(QPainter& painter)
{
    // On the photo area's background, in black or white, whichever stands out from it.
    const QWidget* area = parentWidget();
    const QColor background = area ? area->palette().color(area->backgroundRole()) : palette().color(QPalette::Window);
    painter.fillRect(rect(), background);
    painter.setPen(qGray(background.rgb()) < 128 ? Qt::white : Qt::black);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, core_.Message());
}

void TPhoto::paintEvent(QPaintEvent*)
{
    const QImage& bitmap = core_.Bitmap();
    if (bitmap.isNull()) {
        if (showsMessage()) {
            QPainter painter(this);
            paintMessage(painter);
        }
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(QPoint(0, 0), core_.DisplaySize()), bitmap);
}

void TPhoto::SetEditDialogs(const EditDialogs& dialogs, std::function<int(QDialog&)> runModal)
{
    dialogs_ = dialogs;
    runModal_ = std::move(runModal);
}

int TPhoto::showDialog(QDialog* dialog)
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
