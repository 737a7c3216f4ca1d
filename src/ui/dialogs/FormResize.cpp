#include "FormResize.h"

#include "NumericBox.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFormResize::TFormResize(TPhoto& photo, QWidget* parent) : TEditDialog(photo, SettingsGroup::Resize, parent)
{
    setObjectName(QStringLiteral("TFormResize"));
    setWindowTitle(QStringLiteral("Resize"));

    auto* sizePanel = new QGroupBox(this);
    auto* label1 = new QLabel(QStringLiteral("Max Size:"), sizePanel);
    label1->setObjectName(QStringLiteral("Label1"));
    UpDownMax = new NumericBox({.spinName = QStringLiteral("UpDownMax"),
                                .editName = QStringLiteral("EditMax"),
                                .maximum = kMaxSizeLimit,
                                .maxLength = 4,
                                .rewriteOnLeave = false},
                               sizePanel);
    label1->setBuddy(UpDownMax);
    auto* label2 = new QLabel(QStringLiteral("* Always keep the original proportion."), sizePanel);
    label2->setObjectName(QStringLiteral("Label2"));
    CheckBoxOptimize = new QCheckBox(QStringLiteral("Optimize the photo"), sizePanel);
    CheckBoxOptimize->setObjectName(QStringLiteral("CheckBoxOptimize"));
    CheckBoxKeep = new QCheckBox(QStringLiteral("Keep original size if smaller than max size"), sizePanel);
    CheckBoxKeep->setObjectName(QStringLiteral("CheckBoxKeep"));

    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(label1);
    sizeRow->addWidget(UpDownMax);
    sizeRow->addStretch();
    auto* sizeColumn = new QVBoxLayout(sizePanel);
    sizeColumn->setSpacing(4);
    sizeColumn->addLayout(sizeRow);
    sizeColumn->addWidget(label2);
    sizeColumn->addWidget(CheckBoxOptimize);
    sizeColumn->addWidget(CheckBoxKeep);

    auto* presetPanel = new QGroupBox(this);
    auto* presetColumn = new QVBoxLayout(presetPanel);
    presetColumn->setSpacing(4);
    struct Preset {
        const char* name;
        const char* caption;
        void (TFormResize::*handler)();
    };
    const Preset presets[] = {
        {"ButtonSmall", "Small Size (for 640 * 480 window)", &TFormResize::ButtonSmallClick},
        {"ButtonMedium", "Medium Size (for 800 * 600 window)", &TFormResize::ButtonMediumClick},
        {"ButtonLarge", "Large Size (for 1024 * 768 window)", &TFormResize::ButtonLargeClick},
        {"ButtonOriginal", "Original Size", &TFormResize::ButtonOriginalClick},
    };
    for (const Preset& preset : presets) {
        auto* button = new QPushButton(QString::fromLatin1(preset.caption), presetPanel);
        button->setObjectName(QString::fromLatin1(preset.name));
        presetColumn->addWidget(button);
        connect(button, &QPushButton::clicked, this, preset.handler);
    }

    auto* column = new QVBoxLayout(this);
    column->addWidget(sizePanel);
    column->addWidget(presetPanel);
    column->addStretch();
    column->addLayout(protocolButtons(true));
    setFixedSize(397, 298);
}

void TFormResize::SetControls(const TPhotoInfo& info)
{
    // A stored size beyond the box's range (from an edited settings file) shows as its limit.
    UpDownMax->setValue(clampToRange(info.MaxSize, 0, kMaxSizeLimit));
    CheckBoxOptimize->setChecked(info.Optimize);
    CheckBoxKeep->setChecked(info.KeepSize);
}

void TFormResize::ReadControls(TPhotoInfo& info)
{
    info.MaxSize = UpDownMax->value();
    info.Optimize = CheckBoxOptimize->isChecked();
    info.KeepSize = CheckBoxKeep->isChecked();
}

QWidget* TFormResize::FirstControl()
{
    return UpDownMax;
}

void TFormResize::EditMaxExit()
{
    UpDownMax->commitText();
}

void TFormResize::ButtonSmallClick()
{
    UpDownMax->setValue(400);
}

void TFormResize::ButtonMediumClick()
{
    UpDownMax->setValue(500);
}

void TFormResize::ButtonLargeClick()
{
    UpDownMax->setValue(640);
}

void TFormResize::ButtonOriginalClick()
{
    UpDownMax->setValue(kMaxSizeLimit);
    CheckBoxKeep->setChecked(true);
}
