#pragma once

#include "EditDialog.h"

#include <QImage>
#include <QPoint>

class ImageBox;
class QFrame;

// The Crop dialog: the user draws, moves and resizes a selection on a picture of the whole
// photo, shown turned and color-balanced as it will render; four buttons shape it to a ratio,
// Auto Crop enlarges it to the largest centered rectangle of its ratio, Select All removes it.
// A small preview shows the cropped result. OK stores the selection mapped back into pixels
// of the unturned source as the photo's crop rectangle. No OK for All.
class TFormCrop : public TEditDialog {
    Q_OBJECT

public:
    // The photo picture is fitted into the panel less 16 pixels, the preview likewise.
    static constexpr int kPhotoPanelSize = 397;
    static constexpr int kPreviewPanelSize = 157;

    explicit TFormCrop(TPhoto& photo, QWidget* parent = nullptr);

    const TRect& Selection() const { return selection_; }
    int DragZone() const { return dragZone_; }

    void ImagePhotoMouseDown(QPoint p);
    void ImagePhotoMouseMove(QPoint p);
    void ImagePhotoMouseUp(QPoint p);
    void ButtonPhotoClick();
    void ButtonSquareClick();
    void ButtonHorizontalClick();
    void ButtonVerticalClick();
    void ButtonAutoClick();
    // Select All. (The Crop dialog has no OK for All; this hides the protocol's handler.)
    void ButtonAllClick();

protected:
    void SetControls(const TPhotoInfo& info) override;
    void ReadControls(TPhotoInfo& info) override;
    QWidget* FirstControl() override;
    void BuildPreview() override;

private:
    void HitTest(QPoint p);
    // Draws the selection outline on the picture; drawing it again erases it.
    void drawSelection();
    // Erases the outline, changes the selection, draws it again and refreshes the preview.
    void reshape(const TRect& selection);
    void ApplyRatio(int a, int b);
    void UpdatePreview();
    QSize sourceSize() const;
    QSize pictureSize() const;

    QFrame* PanelPreview;
    ImageBox* ImagePreview;
    QFrame* PanelPhoto;
    ImageBox* ImagePhoto;

    QImage photoBitmap_; // the clean picture of this showing, without the outline
    TRect selection_;
    int dragZone_ = 0; // kept between showings
    bool dragging_ = false;
    QPoint lastPoint_;
};
