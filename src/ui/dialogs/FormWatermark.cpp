#include "FormWatermark.h"

#include "ImageBox.h"
#include "NumericBox.h"
#include "PositionGrid.h"
#include "TrackBarBox.h"
#include "WatermarkFields.h"
#include "XorOutline.h"
#include "render/Compositing.h"
#include "ui/photo/Photo.h"

#include <QLineEdit>
#include <QVBoxLayout>

namespace {

bool inLeftColumn(int p)
{
    return p == 0 || p == 3 || p == 6;
}
bool inRightColumn(int p)
{
    return p == 2 || p == 5 || p == 8;
}
bool inTopRow(int p)
{
    return p == 0 || p == 1 || p == 2;
}
bool inBottomRow(int p)
{
    return p == 6 || p == 7 || p == 8;
}

} // namespace

TFormWatermark::TFormWatermark(TPhoto& photo, Desktop& desktop, QWidget* parent)
    : TEditDialog(photo, SettingsGroup::Watermark, parent)
{
    setObjectName(QStringLiteral("TFormWatermark"));
    setWindowTitle(QStringLiteral("Watermark"));

    PanelPreview = newPicturePanel("PanelPreview", QSize(465, 285), this);
    ImagePreview = new ImageBox(PanelPreview);
    ImagePreview->setObjectName(QStringLiteral("ImagePreview"));
    ImagePreview->setCursor(Qt::CrossCursor);
    ImagePreview->onPress = [this](QPoint p) { ImagePreviewMouseDown(p); };
    ImagePreview->onMove = [this](QPoint p) { ImagePreviewMouseMove(p); };
    ImagePreview->onRelease = [this](QPoint p) { ImagePreviewMouseUp(p); };

    Fields = new WatermarkFields({}, desktop, this);
    UpDownX = Fields->marginX();
    UpDownY = Fields->marginY();
    Positions = Fields->positions();
    connect(Fields->signature(), &QLineEdit::textChanged, this, &TFormWatermark::UpdatePreview);
    connect(Fields, &WatermarkFields::fontChosen, this, &TFormWatermark::UpdatePreview);
    connect(Fields->opacity(), &TrackBarBox::valueChanged, this, &TFormWatermark::UpdatePreview);
    // UpDownXClick and EditXExit (and Y's) refresh the preview; a drag sets the boxes without
    // redrawing the watermark.
    for (NumericBox* box : {UpDownX, UpDownY}) {
        connect(box, &NumericBox::stepped, this, &TFormWatermark::UpdatePreview);
        connect(box, &NumericBox::committed, this, &TFormWatermark::UpdatePreview);
    }
    connect(Positions, &PositionGrid::clicked, this, [this] {
        UpdateMarginControls();
        UpdatePreview();
    });

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 8, 12, 8);
    column->addWidget(PanelPreview);
    column->addWidget(Fields);
    column->addStretch();
    column->addLayout(protocolButtons(true));
    setFixedSize(489, 446);
}

void TFormWatermark::SetControls(const TPhotoInfo& info)
{
    Fields->SetControls(info);
    dragging_ = false;
    UpdateMarginControls();
}

void TFormWatermark::ReadControls(TPhotoInfo& info)
{
    Fields->ReadControls(info);
}

QWidget* TFormWatermark::FirstControl()
{
    return Fields->signature();
}

void TFormWatermark::BuildPreview()
{
    UpdatePreview();
}

void TFormWatermark::ButtonFontClick()
{
    Fields->ButtonFontClick();
}

void TFormWatermark::UpdateMarginControls()
{
    // A centered watermark ignores the margin of that direction.
    const bool centerColumn = Positions->isDown(1) || Positions->isDown(4) || Positions->isDown(7);
    const bool middleRow = Positions->isDown(3) || Positions->isDown(4) || Positions->isDown(5);
    UpDownX->setEnabled(!centerColumn);
    UpDownY->setEnabled(!middleRow);
}

void TFormWatermark::UpdatePreview()
{
    const auto scratch = PreviewInfo();
    if (!scratch)
        return;
    // The watermark step alone, on black: the photo plays no part in this preview.
    QImage bitmap(kPreviewWidth, kPreviewHeight, QImage::Format_BGR888);
    bitmap.fill(Qt::black);
    DoWatermark(bitmap, *scratch);
    ImagePreview->showCentered(bitmap);
    DrawGuides();
}

void TFormWatermark::DrawGuides()
{
    // Each guide is a rectangle from (-1, -1): only its right or its bottom edge shows.
    const int p = Positions->SelectedPosition();
    const int w = kPreviewWidth;
    const int h = kPreviewHeight;
    const int x = UpDownX->value();
    const int y = UpDownY->value();
    QImage& bitmap = ImagePreview->editBitmap();
    if (inLeftColumn(p))
        XorOutline(bitmap, {-1, -1, x, h + 1}, kInvert, true);
    if (inRightColumn(p))
        XorOutline(bitmap, {-1, -1, w - x, h + 1}, kInvert, true);
    if (inTopRow(p))
        XorOutline(bitmap, {-1, -1, w + 1, y}, kInvert, true);
    if (inBottomRow(p))
        XorOutline(bitmap, {-1, -1, w + 1, h - y}, kInvert, true);
}

void TFormWatermark::ImagePreviewMouseDown(QPoint p)
{
    dragging_ = true;
    ImagePreviewMouseMove(p);
}

void TFormWatermark::ImagePreviewMouseMove(QPoint p)
{
    if (!dragging_)
        return;
    DrawGuides();
    // The pointer marks the margin line, measured from the edge of the anchor's side.
    const int position = Positions->SelectedPosition();
    if (inLeftColumn(position))
        UpDownX->setValue(p.x());
    if (inRightColumn(position))
        UpDownX->setValue(kPreviewWidth - p.x());
    if (inTopRow(position))
        UpDownY->setValue(p.y());
    if (inBottomRow(position))
        UpDownY->setValue(kPreviewHeight - p.y());
    DrawGuides();
}

void TFormWatermark::ImagePreviewMouseUp(QPoint)
{
    dragging_ = false;
    UpdatePreview();
}
