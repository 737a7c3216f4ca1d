#include "FormResize.h"

#include "NumericBox.h"
#include "SizeFields.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

TFormResize::TFormResize(TPhoto& photo, QWidget* parent) : TEditDialog(photo, SettingsGroup::Resize, parent)
{
    setObjectName(QStringLiteral("TFormResize"));
    setWindowTitle(QStringLiteral("Resize"));

    auto* sizePanel = new QGroupBox(this);
    Size = new SizeFields({}, sizePanel);
    UpDownMax = Size->sizeBox();
    (new QVBoxLayout(sizePanel))->addWidget(Size);

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
    Size->SetControls(info);
}

void TFormResize::ReadControls(TPhotoInfo& info)
{
    Size->ReadControls(info);
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
    Size->keepBox()->setChecked(true);
}
