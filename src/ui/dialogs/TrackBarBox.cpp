#include "TrackBarBox.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSlider>

TrackBarBox::TrackBarBox(const Options& options, QWidget* parent) : QWidget(parent)
{
    trackBar_ = new QSlider(Qt::Horizontal, this);
    trackBar_->setObjectName(options.trackBarName);
    trackBar_->setRange(options.minimum, options.maximum);
    trackBar_->setPageStep(options.pageStep);
    trackBar_->setSingleStep(1);
    edit_ = new QLineEdit(this);
    edit_->setObjectName(options.editName);
    limitTypedLength(edit_, options.maxLength);
    edit_->setAlignment(Qt::AlignRight);
    edit_->setFixedWidth(edit_->fontMetrics().horizontalAdvance(QString(options.maxLength + 1, QLatin1Char('0'))) + 12);
    edit_->installEventFilter(this);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(trackBar_, 1);
    row->addWidget(edit_);
    setFocusProxy(trackBar_);

    connect(trackBar_, &QSlider::valueChanged, this, &TrackBarBox::trackBarChange);
    edit_->setText(QString::number(trackBar_->value()));
}

int TrackBarBox::value() const
{
    return trackBar_->value();
}

void TrackBarBox::setValue(int value)
{
    // The change handler runs once either way, so the box shows the value afterwards.
    if (clampToRange(value, trackBar_->minimum(), trackBar_->maximum()) == trackBar_->value())
        trackBarChange();
    else
        trackBar_->setValue(value);
}

void TrackBarBox::trackBarChange()
{
    edit_->setText(QString::number(trackBar_->value()));
    emit valueChanged(trackBar_->value());
}

void TrackBarBox::commitText()
{
    if (const auto typed = parseTypedNumber(edit_->text()))
        trackBar_->setValue(clampToRange(*typed, trackBar_->minimum(), trackBar_->maximum()));
    trackBarChange();
}

bool TrackBarBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == edit_ && event->type() == QEvent::FocusOut)
        commitText();
    return QWidget::eventFilter(watched, event);
}
