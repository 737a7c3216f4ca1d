#pragma once

#include "model/PhotoInfo.h"

#include <QWidget>

class Desktop;
class NumericBox;
class PositionGrid;
class QLineEdit;
class QPushButton;
class TrackBarBox;

// The watermark settings as the Watermark and the settings dialogs show them: the signature
// (100 typed characters) with the "Font" button, the opacity track bar with its box, the X and
// Y margins (0..9999) and the nine position buttons. The font chooser's font is kept here
// between showings.
class WatermarkFields : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxMargin = 9999;

    struct Names {
        const char* signatureLabel = "Label1"; // "Signature:"
        const char* opacityLabel = "Label2";   // "Opacity:"
        const char* marginLabel = "Label3";    // "Margin:"
        const char* xLabel = "Label4";
        const char* yLabel = "Label5";
        const char* positionLabel = "Label6"; // "Position:"
        const char* trackBar = "TrackBarOpacity";
        const char* trackBarEdit = "EditOpacity";
        // A position outside 0..8 puts every button up; otherwise it leaves the button of the
        // previous showing down.
        bool unknownPositionRaisesAll = true;
    };
    WatermarkFields(const Names& names, Desktop& desktop, QWidget* parent);

    QLineEdit* signature() const { return EditSignature; }
    QPushButton* fontButton() const { return ButtonFont; }
    TrackBarBox* opacity() const { return opacity_; }
    NumericBox* marginX() const { return UpDownX; }
    NumericBox* marginY() const { return UpDownY; }
    PositionGrid* positions() const { return Positions; }
    const TFont& font() const { return font_; }

    void SetControls(const TPhotoInfo& info);
    void ReadControls(TPhotoInfo& info) const;

    // Opens the font chooser on the kept font; a confirmed choice replaces it.
    void ButtonFontClick();

signals:
    // The font chooser closed, whether or not the font changed.
    void fontChosen();

private:
    Desktop& desktop_;
    bool unknownPositionRaisesAll_;
    QLineEdit* EditSignature;
    QPushButton* ButtonFont;
    TrackBarBox* opacity_;
    NumericBox* UpDownX;
    NumericBox* UpDownY;
    PositionGrid* Positions;
    TFont font_;
};
