#include "WatermarkFields.h"

#include "LeaveRule.h"
#include "NumericBox.h"
#include "PositionGrid.h"
#include "TrackBarBox.h"
#include "ui/desktop/Desktop.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* newLabel(const char* name, const char* caption, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

} // namespace

WatermarkFields::WatermarkFields(const Names& names, Desktop& desktop, QWidget* parent)
    : QWidget(parent), desktop_(desktop), unknownPositionRaisesAll_(names.unknownPositionRaisesAll)
{
    auto* signatureLabel = newLabel(names.signatureLabel, "Signature:", this);
    EditSignature = new QLineEdit(this);
    EditSignature->setObjectName(QStringLiteral("EditSignature"));
    limitTypedLength(EditSignature, 100);
    signatureLabel->setBuddy(EditSignature);
    ButtonFont = new QPushButton(QStringLiteral("Font"), this);
    ButtonFont->setObjectName(QStringLiteral("ButtonFont"));
    connect(ButtonFont, &QPushButton::clicked, this, &WatermarkFields::ButtonFontClick);

    auto* opacityLabel = newLabel(names.opacityLabel, "Opacity:", this);
    opacity_ = new TrackBarBox({.trackBarName = QString::fromLatin1(names.trackBar),
                                .editName = QString::fromLatin1(names.trackBarEdit),
                                .minimum = 0,
                                .maximum = 255,
                                .pageStep = 16,
                                .maxLength = 3},
                               this);
    opacityLabel->setBuddy(opacity_);

    auto* marginLabel = newLabel(names.marginLabel, "Margin:", this);
    auto* xLabel = newLabel(names.xLabel, "X", this);
    auto* yLabel = newLabel(names.yLabel, "Y", this);
    auto newMarginBox = [this](const char* spin, const char* edit) {
        return new NumericBox(
            {.spinName = QString::fromLatin1(spin), .editName = QString::fromLatin1(edit), .maximum = kMaxMargin, .maxLength = 4},
            this);
    };
    UpDownX = newMarginBox("UpDownX", "EditX");
    UpDownY = newMarginBox("UpDownY", "EditY");
    xLabel->setBuddy(UpDownX);
    yLabel->setBuddy(UpDownY);

    auto* positionLabel = newLabel(names.positionLabel, "Position:", this);
    Positions = new PositionGrid(this);

    auto* margins = new QHBoxLayout;
    margins->addWidget(xLabel);
    margins->addWidget(UpDownX);
    margins->addSpacing(12);
    margins->addWidget(yLabel);
    margins->addWidget(UpDownY);
    margins->addStretch();
    auto* fields = new QGridLayout;
    fields->addWidget(signatureLabel, 0, 0);
    fields->addWidget(EditSignature, 0, 1);
    fields->addWidget(ButtonFont, 0, 2);
    fields->addWidget(opacityLabel, 1, 0);
    fields->addWidget(opacity_, 1, 1, 1, 2);
    fields->addWidget(marginLabel, 2, 0);
    fields->addLayout(margins, 2, 1, 1, 2);
    auto* position = new QVBoxLayout;
    position->setSpacing(2);
    position->addWidget(positionLabel);
    position->addWidget(Positions);
    position->addStretch();
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addLayout(fields, 1);
    row->addSpacing(12);
    row->addLayout(position);
    setTabOrder(EditSignature, ButtonFont);
    setTabOrder(ButtonFont, opacity_);
}

void WatermarkFields::SetControls(const TPhotoInfo& info)
{
    EditSignature->setText(info.Watermark);
    font_ = info.Font;
    opacity_->setValue(info.Opacity);
    UpDownX->setValue(info.MarginX);
    UpDownY->setValue(info.MarginY);
    if (unknownPositionRaisesAll_)
        Positions->setPosition(info.Position);
    else
        Positions->setDownPosition(info.Position);
}

void WatermarkFields::ReadControls(TPhotoInfo& info) const
{
    info.Watermark = EditSignature->text();
    info.Font = font_;
    info.Opacity = opacity_->value();
    info.Position = Positions->SelectedPosition();
    info.MarginX = UpDownX->value();
    info.MarginY = UpDownY->value();
}

void WatermarkFields::ButtonFontClick()
{
    if (const auto chosen = desktop_.chooseFont(this, font_))
        font_ = *chosen;
    emit fontChosen();
}
