#pragma once

#include "EditDialog.h"
#include "SizeFields.h"

class NumericBox;

// The Resize dialog: the maximum length of the photo's longer side, whether a smaller photo
// keeps its own size, and whether the smoothing filter runs; with four size presets. No
// preview. "Original Size" is the largest maximum (9999) with the keep box checked.
class TFormResize : public TEditDialog {
    Q_OBJECT

public:
    static constexpr int kMaxSizeLimit = SizeFields::kMaxSizeLimit;

    explicit TFormResize(TPhoto& photo, QWidget* parent = nullptr);

    void EditMaxExit();
    void ButtonSmallClick();
    void ButtonMediumClick();
    void ButtonLargeClick();
    void ButtonOriginalClick();

protected:
    void SetControls(const TPhotoInfo& info) override;
    void ReadControls(TPhotoInfo& info) override;
    QWidget* FirstControl() override;

private:
    SizeFields* Size;
    NumericBox* UpDownMax; // the size box of Size
};
