#include "FormCrop.h"

#include "CropSelection.h"
#include "ImageBox.h"
#include "XorOutline.h"
#include "model/Pipeline.h"
#include "ui/photo/Photo.h"

#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

Qt::CursorShape zoneCursor(int zone)
{
    switch (zone) {
    case 0:
    case 8:
        return Qt::SizeFDiagCursor;
    case 2:
    case 6:
        return Qt::SizeBDiagCursor;
    case 1:
    case 7:
        return Qt::SizeVerCursor;
    case 3:
    case 5:
        return Qt::SizeHorCursor;
    case 4:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

} // namespace

TFormCrop::TFormCrop(TPhoto& photo, QWidget* parent) : TEditDialog(photo, SettingsGroup::Crop, parent)
{
    setObjectName(QStringLiteral("TFormCrop"));
    setWindowTitle(QStringLiteral("Crop"));

    PanelPreview = newPicturePanel("PanelPreview", QSize(kPreviewPanelSize, kPreviewPanelSize), this);
    PanelPreview->setFocusPolicy(Qt::TabFocus);
    ImagePreview = new ImageBox(PanelPreview);
    ImagePreview->setObjectName(QStringLiteral("ImagePreview"));

    struct Action {
        const char* name;
        const char* caption;
        void (TFormCrop::*handler)();
    };
    auto buttonPanel = [this](std::initializer_list<Action> actions) {
        auto* panel = new QGroupBox(this);
        auto* column = new QVBoxLayout(panel);
        column->setSpacing(4);
        for (const Action& action : actions) {
            auto* button = new QPushButton(QString::fromLatin1(action.caption), panel);
            button->setObjectName(QString::fromLatin1(action.name));
            column->addWidget(button);
            connect(button, &QPushButton::clicked, this, action.handler);
        }
        return panel;
    };
    QGroupBox* ratioPanel = buttonPanel({
        {"ButtonPhoto", "Photo Ratio", &TFormCrop::ButtonPhotoClick},
        {"ButtonSquare", "Square", &TFormCrop::ButtonSquareClick},
        {"ButtonHorizontal", "Horizontal", &TFormCrop::ButtonHorizontalClick},
        {"ButtonVertical", "Vertical", &TFormCrop::ButtonVerticalClick},
    });
    QGroupBox* autoPanel = buttonPanel({
        {"ButtonAuto", "Auto Crop", &TFormCrop::ButtonAutoClick},
        {"ButtonAll", "Select All", &TFormCrop::ButtonAllClick},
    });

    PanelPhoto = newPicturePanel("PanelPhoto", QSize(kPhotoPanelSize, kPhotoPanelSize), this);
    ImagePhoto = new ImageBox(PanelPhoto);
    ImagePhoto->setObjectName(QStringLiteral("ImagePhoto"));
    ImagePhoto->setMouseTracking(true);
    ImagePhoto->onPress = [this](QPoint p) { ImagePhotoMouseDown(p); };
    ImagePhoto->onMove = [this](QPoint p) { ImagePhotoMouseMove(p); };
    ImagePhoto->onRelease = [this](QPoint p) { ImagePhotoMouseUp(p); };

    auto* leftColumn = new QVBoxLayout;
    leftColumn->setSpacing(6);
    leftColumn->addWidget(PanelPreview);
    leftColumn->addWidget(ratioPanel);
    leftColumn->addWidget(autoPanel);
    leftColumn->addStretch();
    auto* panels = new QHBoxLayout;
    panels->setSpacing(12);
    panels->addLayout(leftColumn);
    panels->addWidget(PanelPhoto, 0, Qt::AlignTop);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(6);
    column->addLayout(panels);
    column->addLayout(protocolButtons(false));
    setFixedSize(585, 450);
}

QSize TFormCrop::sourceSize() const
{
    const Picture* source = Photo().Source();
    return source ? QSize(source->width(), source->height()) : QSize();
}

QSize TFormCrop::pictureSize() const
{
    return ImagePhoto->bitmap().size();
}

void TFormCrop::SetControls(const TPhotoInfo& info)
{
    // The picture of the whole photo as it will render, before crop, filter and overlays.
    PhotoSettings shown = info;
    shown.MaxSize = kPhotoPanelSize - 16;
    shown.CropRect = TRect{};
    // The dialog's pictures sample the full source: filtering it at this scale on every
    // change would cost far more than the small picture gains.
    shown.Resample = false;
    photoBitmap_ = renderSource(Photo().Core().SourceBitmap(), shown, nullptr, PipelineStep::ColorBalance);
    ImagePhoto->showCentered(photoBitmap_);
    selection_ = MapRect(info.CropRect, sourceSize(), pictureSize(), info.Rotation, 0);
    dragging_ = false;
}

void TFormCrop::BuildPreview()
{
    drawSelection();
    UpdatePreview();
}

QWidget* TFormCrop::FirstControl()
{
    return PanelPreview;
}

void TFormCrop::ReadControls(TPhotoInfo& info)
{
    // The crop step clips the rectangle to the source when the photo renders.
    info.CropRect = MapRect(selection_, pictureSize(), sourceSize(), 0, info.Rotation);
}

void TFormCrop::drawSelection()
{
    XorOutline(ImagePhoto->editBitmap(), selection_, kNotXorRed);
}

void TFormCrop::HitTest(QPoint p)
{
    dragZone_ = ::HitTest(selection_, p.x(), p.y());
    ImagePhoto->setCursor(zoneCursor(dragZone_));
}

void TFormCrop::ImagePhotoMouseDown(QPoint p)
{
    dragging_ = true;
    if (dragZone_ == -1)
        selection_ = {p.x(), p.y(), p.x(), p.y()};
    lastPoint_ = p;
    // Start from the clean picture, so that exactly one outline is on it.
    ImagePhoto->editBitmap() = photoBitmap_;
    drawSelection();
}

void TFormCrop::ImagePhotoMouseMove(QPoint p)
{
    if (!dragging_) {
        HitTest(p);
        return;
    }
    drawSelection();
    selection_ = DragSelection(selection_, dragZone_, lastPoint_, p);
    lastPoint_ = p;
    drawSelection();
}

void TFormCrop::ImagePhotoMouseUp(QPoint)
{
    if (!dragging_)
        return;
    selection_ = Normalized(selection_);
    dragging_ = false;
    UpdatePreview();
}

void TFormCrop::reshape(const TRect& selection)
{
    drawSelection();
    selection_ = selection;
    drawSelection();
    UpdatePreview();
}

void TFormCrop::ApplyRatio(int a, int b)
{
    if (a != 0 && b != 0)
        reshape(::ApplyRatio(selection_, a, b));
}

void TFormCrop::ButtonPhotoClick()
{
    // The source as loaded: on a turned photo this is the picture's height : width.
    ApplyRatio(sourceSize().width(), sourceSize().height());
}

void TFormCrop::ButtonSquareClick()
{
    ApplyRatio(1, 1);
}

void TFormCrop::ButtonHorizontalClick()
{
    ApplyRatio(4, 3);
}

void TFormCrop::ButtonVerticalClick()
{
    ApplyRatio(3, 4);
}

void TFormCrop::ButtonAutoClick()
{
    reshape(AutoCrop(selection_, pictureSize()));
}

void TFormCrop::ButtonAllClick()
{
    reshape(TRect{});
}

void TFormCrop::UpdatePreview()
{
    // The selection mapped into the source as OK would store it, at the preview's size.
    auto scratch = PreviewInfo();
    if (!scratch)
        return;
    scratch->MaxSize = kPreviewPanelSize - 16;
    scratch->Resample = false; // sampled, as the photo panel's picture
    const QImage& source = Photo().Core().SourceBitmap();
    ImagePreview->showCentered(renderSource(source, *scratch, nullptr, PipelineStep::ColorBalance));
}
