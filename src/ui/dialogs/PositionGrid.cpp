#include "PositionGrid.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QPainter>
#include <QToolButton>

namespace {

const char* const kPlaces[9] = {"Top left", "Top center", "Top right", "Middle left", "Center",
                                "Middle right", "Bottom left", "Bottom center", "Bottom right"};

// A small page with a mark at the anchor, so each button shows where it puts the watermark.
QIcon anchorIcon(int n, const QPalette& palette)
{
    QPixmap page(17, 11);
    page.fill(Qt::transparent);
    QPainter painter(&page);
    painter.setPen(palette.color(QPalette::Mid));
    painter.drawRect(0, 0, 16, 10);
    const int x = 2 + (n % 3) * 5;
    const int y = 2 + (n / 3) * 3;
    painter.fillRect(x, y, 3, 1 + 1, palette.color(QPalette::Text));
    return QIcon(page);
}

} // namespace

PositionGrid::PositionGrid(QWidget* parent) : QWidget(parent), group_(new QButtonGroup(this))
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    for (int n = 0; n < 9; ++n) {
        auto* button = new QToolButton(this);
        button->setObjectName(QStringLiteral("SpeedButton%1").arg(n));
        button->setCheckable(true);
        button->setFixedSize(29, 21);
        button->setToolTip(QString::fromLatin1(kPlaces[n]));
        button->setIcon(anchorIcon(n, palette()));
        button->setIconSize(QSize(17, 11));
        grid->addWidget(button, n / 3, n % 3);
        group_->addButton(button, n);
        buttons_[size_t(n)] = button;
    }
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, &PositionGrid::clicked);
}

void PositionGrid::setPosition(int position)
{
    // An exclusive group keeps one button down; to put them all up it is opened for a moment.
    group_->setExclusive(false);
    for (int n = 0; n < 9; ++n)
        buttons_[size_t(n)]->setChecked(n == position);
    group_->setExclusive(true);
}

void PositionGrid::setDownPosition(int position)
{
    if (position >= 0 && position < 9)
        buttons_[size_t(position)]->setChecked(true);
}

int PositionGrid::SelectedPosition() const
{
    int result = 8;
    for (int n = 0; n < 8; ++n)
        if (isDown(n))
            result = n;
    return result;
}

bool PositionGrid::isDown(int n) const
{
    return buttons_[size_t(n)]->isChecked();
}
