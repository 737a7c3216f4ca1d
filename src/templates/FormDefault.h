#pragma once

#include "model/PhotoInfo.h"

#include "ui/dialogs/ProgramDialog.h"

class Desktop;
class MaskFrameControls;
class QPushButton;
class SizeFields;
class WatermarkFields;

// The settings dialog: every setting of one settings block on one page (size, watermark, mask
// frame), for the default settings and for a template. The caller sets the caption, hands the
// record to edit before every showing, and finds it updated after OK; Cancel leaves it alone.
// The dialog keeps a record of its own for callers that have none.
class TFormDefault : public ProgramDialog {
    Q_OBJECT

public:
    TFormDefault(Desktop& desktop, QWidget* parent = nullptr);

    // The record the dialog created for itself.
    TPhotoInfo& OwnInfo() { return ownInfo_; }
    TPhotoInfo* EditInfo() const { return editInfo_; }
    void SetEditInfo(TPhotoInfo* info) { editInfo_ = info; }
    // True once the first showing read the masks folder.
    bool MasksLoaded() const;

    // Commits the box being edited, writes every control into EditInfo and closes with OK.
    void ButtonOKClick();

private:
    void FormShow() override;

    TPhotoInfo ownInfo_;
    TPhotoInfo* editInfo_ = &ownInfo_;
    SizeFields* Size;
    WatermarkFields* Watermark;
    MaskFrameControls* MaskFrame;
    QPushButton* ButtonOK;
    QPushButton* ButtonCancel;
};
