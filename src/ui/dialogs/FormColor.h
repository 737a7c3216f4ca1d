#pragma once

#include "EditDialog.h"

#include <QImage>

class ImageBox;
class QCheckBox;
class QFrame;
class TrackBarBox;

// The Color Balance dialog: contrast, brightness and the three channel offsets on track bars
// with boxes, grayscale and negative as check boxes, and a preview of the photo with the
// controls' values, recomputed on every change. No OK for All.
class TFormColor : public TEditDialog {
    Q_OBJECT

public:
    static constexpr int kPreviewPanelSize = 201;

    explicit TFormColor(TPhoto& photo, QWidget* parent = nullptr);

    // The photo cropped, resized to the preview and rotated, without color balance.
    const QImage& PreviewBase() const { return previewBase_; }

    void UpdatePreview();

protected:
    void SetControls(const TPhotoInfo& info) override;
    void ReadControls(TPhotoInfo& info) override;
    QWidget* FirstControl() override;
    void BuildPreview() override;

private:
    TrackBarBox* TrackBarContrast;
    TrackBarBox* TrackBarBrightness;
    TrackBarBox* TrackBarRed;
    TrackBarBox* TrackBarGreen;
    TrackBarBox* TrackBarBlue;
    QCheckBox* CheckBoxGrayscale;
    QCheckBox* CheckBoxNegative;
    QFrame* PanelPreview;
    ImageBox* ImagePreview;

    QImage previewBase_;
};
