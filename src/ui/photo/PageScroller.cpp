#include "PageScroller.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QWheelEvent>

namespace {
constexpr int kStep = 39; // one photo button
}

PageScroller::PageScroller(QWidget* content, QWidget* parent) : QWidget(parent), content_(content)
{
    setObjectName(QStringLiteral("PageScroller"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    left_ = new QToolButton(this);
    left_->setArrowType(Qt::LeftArrow);
    left_->setAutoRaise(true);
    left_->setAutoRepeat(true);
    right_ = new QToolButton(this);
    right_->setArrowType(Qt::RightArrow);
    right_->setAutoRaise(true);
    right_->setAutoRepeat(true);

    area_ = new QScrollArea(this);
    area_->setFrameShape(QFrame::NoFrame);
    area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area_->setWidgetResizable(false);
    area_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    area_->setWidget(content_);
    area_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    content_->installEventFilter(this);
    area_->viewport()->installEventFilter(this);

    row->addWidget(left_);
    row->addWidget(area_, 1);
    row->addWidget(right_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    connect(left_, &QToolButton::clicked, this, [this] { scrollBy(-kStep); });
    connect(right_, &QToolButton::clicked, this, [this] { scrollBy(kStep); });
    connect(area_->horizontalScrollBar(), &QScrollBar::valueChanged, this, &PageScroller::updateArrows);
    connect(area_->horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this] {
        // The row or the strip changed its width (the strip narrows when its arrows
        // appear): keep the chosen child in view.
        if (keepVisible_)
            area_->ensureWidgetVisible(keepVisible_, 0, 0);
        updateArrows();
    });
    updateArrows();
}

void PageScroller::ensureVisible(QWidget* child)
{
    // A button added just now has no place in the row until the layout has run.
    if (content_->layout())
        content_->layout()->activate();
    content_->resize(content_->sizeHint());
    keepVisible_ = child;
    area_->ensureWidgetVisible(child, 0, 0);
}

int PageScroller::position() const
{
    return area_->horizontalScrollBar()->value();
}

QSize PageScroller::sizeHint() const
{
    const QSize content = content_->sizeHint();
    return {content.width() + 2 * left_->sizeHint().width(), content.height()};
}

QSize PageScroller::minimumSizeHint() const
{
    return {2 * left_->sizeHint().width() + kStep, content_->sizeHint().height()};
}

bool PageScroller::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == content_ && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest)) {
        content_->resize(content_->sizeHint());
        updateGeometry();
        updateArrows();
    } else if (watched == area_->viewport() && event->type() == QEvent::Wheel) {
        const QPoint delta = static_cast<QWheelEvent*>(event)->angleDelta();
        scrollBy(-(delta.y() != 0 ? delta.y() : delta.x()) / 120 * kStep);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PageScroller::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateArrows();
}

void PageScroller::scrollBy(int dx)
{
    QScrollBar* bar = area_->horizontalScrollBar();
    bar->setValue(bar->value() + dx);
}

void PageScroller::updateArrows()
{
    const QScrollBar* bar = area_->horizontalScrollBar();
    const bool overflow = bar->maximum() > 0;
    left_->setVisible(overflow);
    right_->setVisible(overflow);
    left_->setEnabled(bar->value() > bar->minimum());
    right_->setEnabled(bar->value() < bar->maximum());
}
