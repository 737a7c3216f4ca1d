#pragma once

#include "EditDialog.h"

class Desktop;
class MaskFrameControls;

// The Mask dialog: the decorative frame of the current photo, chosen among the thumbnails of
// the masks folder, with the width of a solid border and the color of border and mask. No
// preview: Apply shows the effect on the photo. With OK for All; OK, Apply and Cancel reload
// the photo's mask picture.
class TFormMask : public TEditDialog {
    Q_OBJECT

public:
    TFormMask(TPhoto& photo, Desktop& desktop, QWidget* parent = nullptr);

    // True once the first showing read the masks folder.
    bool MasksLoaded() const;

protected:
    void SetControls(const TPhotoInfo& info) override;
    void ReadControls(TPhotoInfo& info) override;
    QWidget* FirstControl() override;

private:
    MaskFrameControls* controls_;
};
