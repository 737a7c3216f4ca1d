#include "MaskFrameControls.h"

#include "LeaveRule.h"
#include "MaskList.h"
#include "NumericBox.h"
#include "model/ProgramFolder.h"
#include "ui/desktop/Desktop.h"
#include "ui/desktop/SystemColors.h"

#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

MaskFrameControls::MaskFrameControls(const Options& options, Desktop& desktop, QWidget* parent)
    : QWidget(parent), desktop_(desktop)
{
    ListViewMasks = new MaskList(options.thumbnailSide, this);
    ListViewMasks->setFixedSize(options.listSize);

    auto* borderPanel = new QGroupBox(this);
    auto* borderLabel = new QLabel(QStringLiteral("Border Width:"), borderPanel);
    borderLabel->setObjectName(QString::fromLatin1(options.borderLabelName));
    UpDownMargin = new NumericBox({.spinName = QStringLiteral("UpDownMargin"),
                                   .editName = QStringLiteral("EditMargin"),
                                   .maximum = kMaxBorderWidth,
                                   .maxLength = 3},
                                  borderPanel);
    borderLabel->setBuddy(UpDownMargin);
    auto* colorLabel = new QLabel(QStringLiteral("Background Color:"), borderPanel);
    colorLabel->setObjectName(QString::fromLatin1(options.colorLabelName));
    ShapeColor = new QFrame(borderPanel);
    ShapeColor->setObjectName(QStringLiteral("ShapeColor"));
    ShapeColor->setFixedSize(85, 21);
    ShapeColor->setFrameStyle(QFrame::Box | QFrame::Plain);
    ShapeColor->setAutoFillBackground(true);
    ButtonColor = new QPushButton(QStringLiteral("..."), borderPanel);
    ButtonColor->setObjectName(QStringLiteral("ButtonColor"));
    ButtonColor->setFixedSize(ButtonColor->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 14, 23);
    colorLabel->setBuddy(ButtonColor);
    connect(ButtonColor, &QPushButton::clicked, this, &MaskFrameControls::ButtonColorClick);

    auto* row = new QHBoxLayout(borderPanel);
    row->addWidget(borderLabel);
    row->addWidget(UpDownMargin);
    row->addStretch();
    row->addWidget(colorLabel);
    row->addWidget(ShapeColor);
    row->addSpacing(-2);
    row->addWidget(ButtonColor);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(ListViewMasks);
    column->addWidget(borderPanel);
    setColor(0);
}

void MaskFrameControls::SetControls(const TPhotoInfo& info)
{
    if (!ListViewMasks->loaded())
        ListViewMasks->load(programFolders().masks);
    ListViewMasks->selectPath(info.Mask);
    UpDownMargin->setValue(clampToRange(info.BorderWidth, 0, kMaxBorderWidth));
    setColor(info.BackgroundColor);
}

void MaskFrameControls::ReadControls(TPhotoInfo& info) const
{
    info.Mask = ListViewMasks->selectedPath();
    info.BorderWidth = UpDownMargin->value();
    info.BackgroundColor = color_;
}

void MaskFrameControls::setColor(TColor color)
{
    color_ = color;
    QPalette palette = ShapeColor->palette();
    palette.setColor(QPalette::Window, drawnColor(color));
    ShapeColor->setPalette(palette);
}

void MaskFrameControls::ButtonColorClick()
{
    if (const std::optional<QColor> chosen = desktop_.chooseColor(this, drawnColor(color_)))
        setColor(colorFromQColor(*chosen));
}
