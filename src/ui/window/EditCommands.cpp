#include "EditCommands.h"

#include "model/PhotoList.h"
#include "ui/dialogs/EditDialog.h"
#include "ui/photo/Photo.h"

bool EditCommands::hasPhoto() const
{
    return photos_.current() != nullptr && photo_.Info() != nullptr;
}

void EditCommands::carryOnOkForAll(int result, SettingsGroup group)
{
    if (result != mrAll)
        return;
    const TPhotoInfo& current = *photo_.Info();
    for (int i = 0; i < photos_.count(); ++i)
        CopyGroup(group, current, *photos_.at(i));
}

void EditCommands::MenuResizeClick()
{
    if (hasPhoto())
        carryOnOkForAll(photo_.ShowResize(), SettingsGroup::Resize);
}

void EditCommands::MenuCropClick()
{
    if (hasPhoto())
        photo_.ShowCrop();
}

void EditCommands::MenuClockwiseClick()
{
    if (hasPhoto())
        photo_.RotateClockwise();
}

void EditCommands::MenuCounterclockwiseClick()
{
    if (hasPhoto())
        photo_.RotateCounterclockwise();
}

void EditCommands::MenuColorClick()
{
    if (hasPhoto())
        photo_.ShowColorBalance();
}

void EditCommands::MenuWatermarkClick()
{
    if (hasPhoto())
        carryOnOkForAll(photo_.ShowWatermark(), SettingsGroup::Watermark);
}

void EditCommands::MenuMaskClick()
{
    if (hasPhoto())
        carryOnOkForAll(photo_.ShowMask(), SettingsGroup::Mask);
}
