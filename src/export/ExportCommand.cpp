#include "ExportCommand.h"

#include "FormExport.h"
#include "ui/dialogs/EditDialog.h"
#include "ui/main/Desktop.h"
#include "ui/main/PhotoList.h"

void ExportCommand::MenuExportClick()
{
    if (!photos_.current())
        return;
    dialog_.SetPhotoList(&photos_);
    if (desktop_.execDialog(dialog_) == mrOk && !dialog_.SavedFiles().isEmpty())
        desktop_.sendMail(dialog_.SavedFiles());
}
