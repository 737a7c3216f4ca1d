#pragma once

#include "EditDialog.h"
#include "WatermarkFields.h"

class Desktop;
class ImageBox;
class NumericBox;
class PositionGrid;
class QFrame;

// The Watermark dialog: the signature text, its font, its opacity, its anchor among nine
// positions and its margins from the edges. The preview shows the watermark alone on black as
// it would sit on a picture of the preview's size, with dotted guides at the margins; dragging
// in the preview sets the margins. With OK for All.
class TFormWatermark : public TEditDialog {
    Q_OBJECT

public:
    static constexpr int kPreviewWidth = 449;
    static constexpr int kPreviewHeight = 269;
    static constexpr int kMaxMargin = WatermarkFields::kMaxMargin;

    TFormWatermark(TPhoto& photo, Desktop& desktop, QWidget* parent = nullptr);

    const TFont& Font() const { return Fields->font(); }

    void ButtonFontClick();
    void UpdateMarginControls();
    void UpdatePreview();
    void ImagePreviewMouseDown(QPoint p);
    void ImagePreviewMouseMove(QPoint p);
    void ImagePreviewMouseUp(QPoint p);

protected:
    void SetControls(const TPhotoInfo& info) override;
    void ReadControls(TPhotoInfo& info) override;
    QWidget* FirstControl() override;
    void BuildPreview() override;

private:
    // The dotted margin guides of the selected position; drawing them again erases them.
    void DrawGuides();

    QFrame* PanelPreview;
    ImageBox* ImagePreview;
    WatermarkFields* Fields;
    // The controls of Fields that the preview and its drag work with.
    NumericBox* UpDownX;
    NumericBox* UpDownY;
    PositionGrid* Positions;

    bool dragging_ = false;
};
