#include "FormResize.h"

#include "NumericBox.h"
#include "SizeFields.h"
#include "ui/photo/FileSizeEstimator.h"
#include "ui/photo/Photo.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

TFormResize::TFormResize(TPhoto& photo, QWidget* parent) : TEditDialog(photo, SettingsGroup::Resize, parent)
{
    setObjectName(QStringLiteral("TFormResize"));
    setWindowTitle(QStringLiteral("Resize"));

    auto* sizePanel = new QGroupBox(this);
    Size = new SizeFields({}, sizePanel);
    UpDownMax = Size->sizeBox();
    // Wide enough for the longest text ("About 99999 KB at quality 1, over the limit"),
    // so the panel does not change its size while the numbers change.
    LabelFileSize = new QLabel(sizePanel);
    LabelFileSize->setObjectName(QStringLiteral("LabelFileSize"));
    LabelFileSize->setToolTip(QString::fromLatin1(SizeFields::kMetadataHint));
    LabelFileSize->setMinimumWidth(
        LabelFileSize->fontMetrics().horizontalAdvance(QStringLiteral("About 99999 KB at quality 1, over the limit")));
    auto* sizeColumn = new QVBoxLayout(sizePanel);
    sizeColumn->addWidget(Size);
    sizeColumn->addWidget(LabelFileSize);
    estimator_ = new FileSizeEstimator(this);
    connect(estimator_, &FileSizeEstimator::estimated, this, &TFormResize::FileSizeEstimated);
    connect(Size, &SizeFields::jpegChanged, this, &TFormResize::UpdateFileSize);
    // After Apply the photo is rendered anew, at its new size.
    connect(&photo, &TPhoto::OnChange, this, &TFormResize::UpdateFileSize);

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
    setFixedSize(std::max(397, sizeHint().width()), std::max(298, sizeHint().height()));
}

void TFormResize::SetControls(const TPhotoInfo& info)
{
    LabelFileSize->clear();
    estimator_->clear();
    Size->SetControls(info);
    UpdateFileSize();
}

void TFormResize::UpdateFileSize()
{
    const std::optional<TPhotoInfo> info = isVisible() ? PreviewInfo() : std::nullopt;
    const QImage& bitmap = Photo().Bitmap();
    if (!info || bitmap.isNull() || bitmap.width() <= 0 || bitmap.height() <= 0) {
        estimator_->clear();
        LabelFileSize->clear();
        return;
    }
    estimator_->request(bitmap, *info);
    // Greyed while the size for the controls' values is still being worked out.
    LabelFileSize->setEnabled(!estimator_->pending());
}

void TFormResize::FileSizeEstimated(const FileSizeEstimate& estimate)
{
    LabelFileSize->setText(fileSizeText(estimate));
    LabelFileSize->setEnabled(true);
}

void TFormResize::hideEvent(QHideEvent* event)
{
    estimator_->clear();
    TEditDialog::hideEvent(event);
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
