#include "FormWatermark.h"

#include "ImageBox.h"
#include "LeaveRule.h"
#include "NumericBox.h"
#include "PositionGrid.h"
#include "TrackBarBox.h"
#include "XorOutline.h"
#include "ui/main/Desktop.h"
#include "ui/main/Photo.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

QLabel* newLabel(const char* name, const char* caption, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

} // namespace

TFormWatermark::TFormWatermark(TPhoto& photo, Desktop& desktop, QWidget* parent)
    : TEditDialog(photo, SettingsGroup::Watermark, parent), desktop_(desktop)
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

    auto* label1 = newLabel("Label1", "Signature:", this);
    EditSignature = new QLineEdit(this);
    EditSignature->setObjectName(QStringLiteral("EditSignature"));
    limitTypedLength(EditSignature, 100);
    label1->setBuddy(EditSignature);
    connect(EditSignature, &QLineEdit::textChanged, this, &TFormWatermark::UpdatePreview);
    ButtonFont = new QPushButton(QStringLiteral("Font"), this);
    ButtonFont->setObjectName(QStringLiteral("ButtonFont"));
    connect(ButtonFont, &QPushButton::clicked, this, &TFormWatermark::ButtonFontClick);

    auto* label2 = newLabel("Label2", "Opacity:", this);
    TrackBarOpacity = new TrackBarBox(
        {.trackBarName = "TrackBarOpacity", .editName = "EditOpacity", .minimum = 0, .maximum = 255, .pageStep = 16, .maxLength = 3},
        this);
    label2->setBuddy(TrackBarOpacity);
    connect(TrackBarOpacity, &TrackBarBox::valueChanged, this, &TFormWatermark::UpdatePreview);

    auto* label3 = newLabel("Label3", "Margin:", this);
    auto* label4 = newLabel("Label4", "X", this);
    auto* label5 = newLabel("Label5", "Y", this);
    auto newMarginBox = [this](const char* spin, const char* edit) {
        auto* box = new NumericBox(
            {.spinName = QString::fromLatin1(spin), .editName = QString::fromLatin1(edit), .maximum = kMaxMargin, .maxLength = 4},
            this);
        // UpDownXClick and EditXExit (and Y's) refresh the preview; a drag sets the boxes
        // without redrawing the watermark.
        connect(box, &NumericBox::stepped, this, &TFormWatermark::UpdatePreview);
        connect(box, &NumericBox::committed, this, &TFormWatermark::UpdatePreview);
        return box;
    };
    UpDownX = newMarginBox("UpDownX", "EditX");
    UpDownY = newMarginBox("UpDownY", "EditY");
    label4->setBuddy(UpDownX);
    label5->setBuddy(UpDownY);

    auto* label6 = newLabel("Label6", "Position:", this);
    Positions = new PositionGrid(this);
    connect(Positions, &PositionGrid::clicked, this, [this] {
        UpdateMarginControls();
        UpdatePreview();
    });

    auto* margins = new QHBoxLayout;
    margins->addWidget(label4);
    margins->addWidget(UpDownX);
    margins->addSpacing(12);
    margins->addWidget(label5);
    margins->addWidget(UpDownY);
    margins->addStretch();
    auto* fields = new QGridLayout;
    fields->addWidget(label1, 0, 0);
    fields->addWidget(EditSignature, 0, 1);
    fields->addWidget(ButtonFont, 0, 2);
    fields->addWidget(label2, 1, 0);
    fields->addWidget(TrackBarOpacity, 1, 1, 1, 2);
    fields->addWidget(label3, 2, 0);
    fields->addLayout(margins, 2, 1, 1, 2);
    auto* position = new QVBoxLayout;
    position->setSpacing(2);
    position->addWidget(label6);
    position->addWidget(Positions);
    position->addStretch();
    auto* settings = new QHBoxLayout;
    settings->addLayout(fields, 1);
    settings->addSpacing(12);
    settings->addLayout(position);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 8, 12, 8);
    column->addWidget(PanelPreview);
    column->addLayout(settings);
    column->addStretch();
    column->addLayout(protocolButtons(true));
    setTabOrder(EditSignature, ButtonFont);
    setTabOrder(ButtonFont, TrackBarOpacity);
    setFixedSize(489, 446);
}

void TFormWatermark::SetControls(const TPhotoInfo& info)
{
    EditSignature->setText(info.Watermark);
    font_ = info.Font;
    TrackBarOpacity->setValue(info.Opacity);
    UpDownX->setValue(info.MarginX);
    UpDownY->setValue(info.MarginY);
    Positions->setPosition(info.Position);
    dragging_ = false;
    UpdateMarginControls();
}

void TFormWatermark::ReadControls(TPhotoInfo& info)
{
    info.Watermark = EditSignature->text();
    info.Font = font_;
    info.Opacity = TrackBarOpacity->value();
    info.Position = Positions->SelectedPosition();
    info.MarginX = UpDownX->value();
    info.MarginY = UpDownY->value();
}

QWidget* TFormWatermark::FirstControl()
{
    return EditSignature;
}

void TFormWatermark::BuildPreview()
{
    UpdatePreview();
}

void TFormWatermark::ButtonFontClick()
{
    if (const auto chosen = desktop_.chooseFont(this, font_))
        font_ = *chosen;
    UpdatePreview();
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
    QImage bitmap(kPreviewWidth, kPreviewHeight, QImage::Format_BGR888);
    bitmap.fill(Qt::black);
    PhotoCore::DoWatermark(bitmap, *scratch);
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
