#include "PhotosToolBar.h"

#include "ui/photo/PageScroller.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>

namespace {

// A photo button: the thumbnail, and while it is the current photo's a frame in the
// palette's highlight color, so the current photo stands out among many thumbnails.
class PhotoButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QToolButton::paintEvent(event);
        if (!isChecked())
            return;
        QPainter painter(this);
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette().color(QPalette::Highlight));
        const QRect r = rect();
        const int t = PhotosToolBar::kCurrentFrameWidth;
        painter.drawRect(0, 0, r.width(), t);
        painter.drawRect(0, r.height() - t, r.width(), t);
        painter.drawRect(0, t, t, r.height() - 2 * t);
        painter.drawRect(r.width() - t, t, t, r.height() - 2 * t);
    }
};

} // namespace

PhotosToolBar::PhotosToolBar()
{
    setObjectName(QStringLiteral("ToolBarPhotos"));
    row_ = new QHBoxLayout(this);
    row_->setContentsMargins(0, 0, 0, 0);
    row_->setSpacing(0);
    row_->setSizeConstraint(QLayout::SetFixedSize);
    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    scroller_ = new PageScroller(this);
    scroller_->setMinimumHeight(38);
}

void PhotosToolBar::addButton(const QString& fileName, const QImage& thumbnail)
{
    auto* button = new PhotoButton(this);
    button->setObjectName(QStringLiteral("PhotoButton"));
    button->setToolTip(fileName);
    button->setIcon(QIcon(QPixmap::fromImage(thumbnail)));
    button->setIconSize(QSize(32, 32));
    button->setFixedSize(39, 38);
    button->setAutoRaise(true);
    button->setCheckable(true);
    group_->addButton(button);
    row_->addWidget(button);
    // Shown at once (not when the event loop next runs) so the row has its new width now.
    button->show();
    buttons_.append(button);
    connect(button, &QToolButton::clicked, this, [this, button] { emit clicked(int(buttons_.indexOf(button))); });
}

void PhotosToolBar::removeButton(int index)
{
    QToolButton* button = buttons_.takeAt(index);
    group_->removeButton(button);
    row_->removeWidget(button);
    delete button;
}

void PhotosToolBar::press(int index)
{
    buttons_.at(index)->setChecked(true);
    scroller_->ensureVisible(buttons_.at(index));
}
