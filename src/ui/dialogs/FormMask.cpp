#include "FormMask.h"

#include "MaskFrameControls.h"
#include "MaskList.h"

#include <QVBoxLayout>

TFormMask::TFormMask(TPhoto& photo, Desktop& desktop, QWidget* parent)
    : TEditDialog(photo, SettingsGroup::Mask, parent)
{
    setObjectName(QStringLiteral("TFormMask"));
    setWindowTitle(QStringLiteral("Mask"));
    controls_ = new MaskFrameControls({.thumbnailSide = 80, .listSize = QSize(401, 321)}, desktop, this);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->addWidget(controls_);
    column->addStretch();
    column->addLayout(protocolButtons(true));
    setFixedSize(425, 426);
}

bool TFormMask::MasksLoaded() const
{
    return controls_->list()->loaded();
}

void TFormMask::SetControls(const TPhotoInfo& info)
{
    controls_->SetControls(info);
}

void TFormMask::ReadControls(TPhotoInfo& info)
{
    controls_->ReadControls(info);
}

QWidget* TFormMask::FirstControl()
{
    return controls_->list();
}
