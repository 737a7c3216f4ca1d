#pragma once

#include "model/PhotoInfo.h"
#include "model/SettingsGroups.h"

#include "ProgramDialog.h"

#include <optional>

class QBoxLayout;
class QPushButton;
class TPhoto;

// What the five edit dialogs share: each edits one fixed group of the current photo's
// settings. On every showing SavedInfo receives all settings of the current photo and the
// controls are set from it. OK writes the group from the controls into the photo's record and
// has the photo view render, then closes with 1; Apply does the same and stays open; OK for
// All does the same and closes with 8, and the main window carries the group into every
// opened photo; Cancel restores the group from SavedInfo, renders and closes with 2. The close
// box closes with 2 and restores nothing. The values being edited live in the controls only.
class TEditDialog : public ProgramDialog {
    Q_OBJECT

public:
    TEditDialog(TPhoto& photo, SettingsGroup group, QWidget* parent);

    const TPhotoInfo& SavedInfo() const { return savedInfo_; }
    SettingsGroup Group() const { return group_; }

    void ButtonOKClick();
    void ButtonApplyClick();
    void ButtonAllClick();
    void ButtonCancelClick();

protected:
    // Sets the group's controls from the record (on every showing).
    virtual void SetControls(const TPhotoInfo& info) = 0;
    // Writes the group's fields of the record from the controls.
    virtual void ReadControls(TPhotoInfo& info) = 0;
    // The control that has the focus when the dialog opens.
    virtual QWidget* FirstControl() = 0;
    // Rebuilds the preview after the controls were set; dialogs with a preview override it.
    virtual void BuildPreview() {}

    TPhoto& Photo() const { return photo_; }
    // The scratch record a preview renders with: the current photo's settings with the group's
    // fields taken from the controls. Nothing without a current photo.
    std::optional<TPhotoInfo> PreviewInfo();
    // OK, [OK for All,] Cancel, Apply in a row at the bottom, with their handlers.
    QBoxLayout* protocolButtons(bool withAll);

    // Escape is the Cancel button; the close box only closes (with 2).
    void keyPressEvent(QKeyEvent* event) override;

    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonAll = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonApply = nullptr;

private:
    void FormShow() override;
    // OK's work without closing: commit the edited box, write the group, render.
    void writeGroup();
    // The photo's record changed: reload the mask where the group holds it, then render.
    void renderPhoto();

    TPhoto& photo_;
    SettingsGroup group_;
    TPhotoInfo savedInfo_;
};
