#include "DefaultSettings.h"

#include "FormDefault.h"
#include "model/ProgramFolder.h"
#include "ui/desktop/Desktop.h"
#include "ui/dialogs/EditDialog.h"
#include "ui/photo/Photo.h"

void DefaultSettings::MenuDefaultClick()
{
    dialog_.setWindowTitle(QStringLiteral("Default Templates"));
    TPhotoInfo& info = dialog_.OwnInfo();
    info.LoadSettings(settingsFilePath(), defaultSettingsSection());
    dialog_.SetEditInfo(&info);
    if (desktop_.execDialog(dialog_) == mrOk)
        info.SaveSettings(settingsFilePath(), defaultSettingsSection());
}

void DefaultSettings::MenuSetClick()
{
    if (const TPhotoInfo* info = photo_.Info())
        info->SaveSettings(settingsFilePath(), defaultSettingsSection());
}

void DefaultSettings::MenuReloadClick()
{
    if (TPhotoInfo* info = photo_.Info()) {
        info->LoadSettings(settingsFilePath(), defaultSettingsSection());
        photo_.LoadMask();
        photo_.Render();
    }
}
