#include "SizeFields.h"

#include "LeaveRule.h"
#include "NumericBox.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

SizeFields::SizeFields(const Names& names, QWidget* parent) : QWidget(parent)
{
    auto* label = new QLabel(QStringLiteral("Max Size:"), this);
    label->setObjectName(QString::fromLatin1(names.label));
    size_ = new NumericBox({.spinName = QString::fromLatin1(names.spin),
                            .editName = QString::fromLatin1(names.edit),
                            .maximum = kMaxSizeLimit,
                            .maxLength = 4,
                            .rewriteOnLeave = false},
                           this);
    label->setBuddy(size_);
    auto* note = new QLabel(QStringLiteral("* Always keep the original proportion."), this);
    note->setObjectName(QString::fromLatin1(names.note));
    CheckBoxOptimize = new QCheckBox(QStringLiteral("Optimize the photo"), this);
    CheckBoxOptimize->setObjectName(QStringLiteral("CheckBoxOptimize"));
    CheckBoxResample = new QCheckBox(QStringLiteral("High-quality scaling"), this);
    CheckBoxResample->setObjectName(QStringLiteral("CheckBoxResample"));
    CheckBoxKeep = new QCheckBox(QStringLiteral("Keep original size if smaller than max size"), this);
    CheckBoxKeep->setObjectName(QStringLiteral("CheckBoxKeep"));

    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(label);
    sizeRow->addWidget(size_);
    sizeRow->addStretch();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addLayout(sizeRow);
    column->addWidget(note);
    column->addWidget(CheckBoxOptimize);
    column->addWidget(CheckBoxResample);
    column->addWidget(CheckBoxKeep);
}

void SizeFields::SetControls(const TPhotoInfo& info)
{
    size_->setValue(clampToRange(info.MaxSize, 0, kMaxSizeLimit));
    CheckBoxOptimize->setChecked(info.Optimize);
    CheckBoxResample->setChecked(info.Resample);
    CheckBoxKeep->setChecked(info.KeepSize);
}

void SizeFields::ReadControls(TPhotoInfo& info) const
{
    info.MaxSize = size_->value();
    info.Optimize = CheckBoxOptimize->isChecked();
    info.Resample = CheckBoxResample->isChecked();
    info.KeepSize = CheckBoxKeep->isChecked();
}
