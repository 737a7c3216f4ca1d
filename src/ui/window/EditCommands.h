#pragma once

#include "model/SettingsGroups.h"

class PhotoList;
class TPhoto;

// The seven edit commands of the Actions menu. Each does nothing without a current photo.
// Resize, Watermark and Mask examine their dialog's result: on OK for All the dialog's group
// is copied from the current photo into every opened photo, the current one included; the
// others are rendered with it when they are next shown or exported, not now.
class EditCommands {
public:
    EditCommands(TPhoto& photo, PhotoList& photos) : photo_(photo), photos_(photos) {}

    void MenuResizeClick();
    void MenuCropClick();
    void MenuClockwiseClick();
    void MenuCounterclockwiseClick();
    void MenuColorClick();
    void MenuWatermarkClick();
    void MenuMaskClick();

private:
    bool hasPhoto() const;
    void carryOnOkForAll(int result, SettingsGroup group);

    TPhoto& photo_;
    PhotoList& photos_;
};
