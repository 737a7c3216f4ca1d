#include "SizeFields.h"

#include "LeaveRule.h"
#include "NumericBox.h"
#include "TrackBarBox.h"
#include "formats/JpegWriter.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
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

    const QString hint = QString::fromLatin1(kMetadataHint);
    auto* qualityLabel = new QLabel(QStringLiteral("JPEG quality:"), this);
    qualityLabel->setObjectName(QStringLiteral("LabelQuality"));
    TrackBarQuality = new TrackBarBox({.trackBarName = QStringLiteral("TrackBarQuality"),
                                       .editName = QStringLiteral("EditQuality"),
                                       .minimum = kJpegQualityMin,
                                       .maximum = kJpegQualityMax,
                                       .pageStep = 10,
                                       .maxLength = 3},
                                      this);
    qualityLabel->setBuddy(TrackBarQuality);
    CheckBoxMaxFile = new QCheckBox(QStringLiteral("Largest file: at most"), this);
    CheckBoxMaxFile->setObjectName(QStringLiteral("CheckBoxMaxFile"));
    UpDownMaxFile = new NumericBox({.spinName = QStringLiteral("UpDownMaxFile"),
                                    .editName = QStringLiteral("EditMaxFile"),
                                    .minimum = 1,
                                    .maximum = kMaxFileKBLimit,
                                    .maxLength = 5},
                                   this);
    auto* unit = new QLabel(QStringLiteral("KB"), this);
    unit->setObjectName(QStringLiteral("LabelKB"));
    QWidget* const hinted[] = {qualityLabel,    TrackBarQuality->trackBar(), TrackBarQuality->edit(),
                               CheckBoxMaxFile, UpDownMaxFile,               unit};
    for (QWidget* w : hinted)
        w->setToolTip(hint);
    connect(TrackBarQuality, &TrackBarBox::valueChanged, this, &SizeFields::jpegChanged);
    connect(UpDownMaxFile, &NumericBox::valueChanged, this, &SizeFields::jpegChanged);
    connect(CheckBoxMaxFile, &QCheckBox::toggled, this, [this](bool on) {
        UpDownMaxFile->setEnabled(on);
        emit jpegChanged();
    });
    UpDownMaxFile->setEnabled(false);

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
    auto* qualityRow = new QHBoxLayout;
    qualityRow->addWidget(qualityLabel);
    qualityRow->addWidget(TrackBarQuality, 1);
    column->addLayout(qualityRow);
    auto* limitRow = new QHBoxLayout;
    limitRow->addWidget(CheckBoxMaxFile);
    limitRow->addWidget(UpDownMaxFile);
    limitRow->addWidget(unit);
    limitRow->addStretch();
    column->addLayout(limitRow);
}

void SizeFields::SetControls(const TPhotoInfo& info)
{
    size_->setValue(clampToRange(info.MaxSize, 0, kMaxSizeLimit));
    CheckBoxOptimize->setChecked(info.Optimize);
    CheckBoxResample->setChecked(info.Resample);
    CheckBoxKeep->setChecked(info.KeepSize);
    TrackBarQuality->setValue(info.JpegQuality);
    CheckBoxMaxFile->setChecked(info.MaxFileKB > 0);
    UpDownMaxFile->setValue(info.MaxFileKB > 0 ? info.MaxFileKB : kProposedFileKB);
}

void SizeFields::ReadControls(TPhotoInfo& info) const
{
    info.MaxSize = size_->value();
    info.Optimize = CheckBoxOptimize->isChecked();
    info.Resample = CheckBoxResample->isChecked();
    info.KeepSize = CheckBoxKeep->isChecked();
    info.JpegQuality = TrackBarQuality->value();
    info.MaxFileKB = CheckBoxMaxFile->isChecked() ? UpDownMaxFile->value() : 0;
}
