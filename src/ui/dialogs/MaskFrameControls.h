#pragma once

#include "model/PhotoInfo.h"

#include <QWidget>

class Desktop;
class MaskList;
class NumericBox;
class QFrame;
class QPushButton;

// The mask frame's three settings as the Mask and the settings dialogs show them: the mask
// thumbnails on top, below them the border width (0..999) and the background color's swatch
// (ShapeColor) with the button "..." (ButtonColor) that opens the color chooser on it.
class MaskFrameControls : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxBorderWidth = 999;

    struct Options {
        int thumbnailSide = 80;
        QSize listSize;
        const char* borderLabelName = "Label1";   // "Border Width:"
        const char* colorLabelName = "Label4";    // "Background Color:"
    };
    MaskFrameControls(const Options& options, Desktop& desktop, QWidget* parent);

    MaskList* list() const { return ListViewMasks; }
    NumericBox* borderBox() const { return UpDownMargin; }

    // The masks folder is read at the first call only; files added later are seen after a
    // restart. Then the controls show the record's mask, border width and color.
    void SetControls(const TPhotoInfo& info);
    // The selected mask's path (empty without a selection), border width and color.
    void ReadControls(TPhotoInfo& info) const;

    TColor color() const { return color_; }
    void setColor(TColor color);
    void ButtonColorClick();

private:
    Desktop& desktop_;
    MaskList* ListViewMasks;
    NumericBox* UpDownMargin;
    QFrame* ShapeColor;
    QPushButton* ButtonColor;
    // The swatch shows the color the photo is painted with; the value is kept as stored, so
    // a system color stays one.
    TColor color_ = 0;
};
