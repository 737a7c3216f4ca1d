#pragma once

#include "EditDialog.h"
#include "SizeFields.h"

class FileSizeEstimator;
class NumericBox;
class QLabel;
struct FileSizeEstimate;

// The Resize dialog: the maximum length of the photo's longer side, whether a smaller photo
// keeps its own size, and whether the smoothing filter runs; with four size presets. No
// preview. "Original Size" is the largest maximum (9999) with the keep box checked. Also the
// JPEG quality and the largest file of the photo's files, with the size of the file the
// photo as rendered now would give with them (LabelFileSize, "About 212 KB"), worked out in
// the background while the dialog is shown, and again whenever the photo renders.
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
    // Asks for the file size with the quality and limit in the controls.
    void UpdateFileSize();

protected:
    void SetControls(const TPhotoInfo& info) override;
    void ReadControls(TPhotoInfo& info) override;
    QWidget* FirstControl() override;
    void hideEvent(QHideEvent* event) override;

private:
    void FileSizeEstimated(const FileSizeEstimate& estimate);

    SizeFields* Size;
    NumericBox* UpDownMax; // the size box of Size
    QLabel* LabelFileSize;
    FileSizeEstimator* estimator_;
};
