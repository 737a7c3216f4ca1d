#include "FormColor.h"

#include "ImageBox.h"
#include "TrackBarBox.h"
#include "model/Pipeline.h"
#include "render/Tone.h"
#include "ui/photo/Photo.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

TFormColor::TFormColor(TPhoto& photo, QWidget* parent) : TEditDialog(photo, SettingsGroup::ColorBalance, parent)
{
    setObjectName(QStringLiteral("TFormColor"));
    setWindowTitle(QStringLiteral("Color Balance"));

    // Each number: its label, then the track bar with its three-character box.
    auto addRow = [this](QGridLayout* grid, const char* label, const char* caption, const char* name, int range,
                         int pageStep) {
        const int row = grid->rowCount();
        auto* text = new QLabel(QString::fromLatin1(caption));
        text->setObjectName(QString::fromLatin1(label));
        auto* bar = new TrackBarBox({.trackBarName = QStringLiteral("TrackBar%1").arg(QLatin1String(name)),
                                     .editName = QStringLiteral("Edit%1").arg(QLatin1String(name)),
                                     .minimum = -range,
                                     .maximum = range,
                                     .pageStep = pageStep,
                                     .maxLength = 3});
        text->setBuddy(bar);
        grid->addWidget(text, row, 0);
        grid->addWidget(bar, row, 1);
        connect(bar, &TrackBarBox::valueChanged, this, &TFormColor::UpdatePreview);
        return bar;
    };
    auto* tonePanel = new QGroupBox(this);
    auto* toneGrid = new QGridLayout(tonePanel);
    TrackBarContrast = addRow(toneGrid, "Label1", "Contrast:", "Contrast", 100, 10);
    TrackBarBrightness = addRow(toneGrid, "Label2", "Brightness:", "Brightness", 100, 10);

    auto* channelPanel = new QGroupBox(this);
    auto* channelGrid = new QGridLayout(channelPanel);
    TrackBarRed = addRow(channelGrid, "Label3", "Red:", "Red", 255, 16);
    TrackBarGreen = addRow(channelGrid, "Label4", "Green:", "Green", 255, 16);
    TrackBarBlue = addRow(channelGrid, "Label5", "Blue:", "Blue", 255, 16);
    CheckBoxGrayscale = new QCheckBox(QStringLiteral("Grayscale"), channelPanel);
    CheckBoxGrayscale->setObjectName(QStringLiteral("CheckBoxGrayscale"));
    CheckBoxNegative = new QCheckBox(QStringLiteral("Negative"), channelPanel);
    CheckBoxNegative->setObjectName(QStringLiteral("CheckBoxNegative"));
    connect(CheckBoxGrayscale, &QCheckBox::clicked, this, &TFormColor::UpdatePreview);
    connect(CheckBoxNegative, &QCheckBox::clicked, this, &TFormColor::UpdatePreview);
    auto* flags = new QHBoxLayout;
    flags->addWidget(CheckBoxGrayscale);
    flags->addWidget(CheckBoxNegative);
    flags->addStretch();
    channelGrid->addLayout(flags, channelGrid->rowCount(), 0, 1, 2);
    // The labels of both panels take the same width, so the track bars line up.
    for (QGridLayout* grid : {toneGrid, channelGrid})
        grid->setColumnMinimumWidth(0, fontMetrics().horizontalAdvance(QStringLiteral("Brightness:")) + 4);

    PanelPreview = newPicturePanel("PanelPreview", QSize(kPreviewPanelSize, kPreviewPanelSize), this);
    ImagePreview = new ImageBox(PanelPreview);
    ImagePreview->setObjectName(QStringLiteral("ImagePreview"));

    auto* controls = new QVBoxLayout;
    controls->addWidget(tonePanel);
    controls->addWidget(channelPanel);
    controls->addStretch();
    auto* previewColumn = new QVBoxLayout;
    previewColumn->addWidget(PanelPreview);
    previewColumn->addStretch();
    previewColumn->addLayout(protocolButtons(false));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 8, 8, 8);
    row->addLayout(controls, 1);
    row->addLayout(previewColumn);
    setFixedSize(497, 254);
}

void TFormColor::SetControls(const TPhotoInfo& info)
{
    // The picture every change colors: crop, resize and rotation once per showing.
    PhotoSettings base = info;
    base.MaxSize = kPreviewPanelSize - 16;
    // Sampled from the full source: only the colors are previewed here.
    base.Resample = false;
    previewBase_ = renderSource(Photo().Core().SourceBitmap(), base, nullptr, PipelineStep::Rotate);
    ImagePreview->showCentered(previewBase_);

    TrackBarContrast->setValue(info.Contrast);
    TrackBarBrightness->setValue(info.Brightness);
    TrackBarRed->setValue(info.Red);
    TrackBarGreen->setValue(info.Green);
    TrackBarBlue->setValue(info.Blue);
    CheckBoxGrayscale->setChecked(info.Grayscale);
    CheckBoxNegative->setChecked(info.Negative);
}

void TFormColor::ReadControls(TPhotoInfo& info)
{
    info.Contrast = TrackBarContrast->value();
    info.Brightness = TrackBarBrightness->value();
    info.Red = TrackBarRed->value();
    info.Green = TrackBarGreen->value();
    info.Blue = TrackBarBlue->value();
    info.Grayscale = CheckBoxGrayscale->isChecked();
    info.Negative = CheckBoxNegative->isChecked();
}

QWidget* TFormColor::FirstControl()
{
    return TrackBarContrast->trackBar();
}

void TFormColor::BuildPreview()
{
    UpdatePreview();
}

void TFormColor::UpdatePreview()
{
    const auto scratch = PreviewInfo();
    if (!scratch)
        return;
    // The one step the dialog changes, on the base made once per showing.
    QImage bitmap = previewBase_;
    DoColorBalance(bitmap, *scratch);
    ImagePreview->showCentered(bitmap);
}
