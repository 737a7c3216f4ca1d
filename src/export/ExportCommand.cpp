#include "ExportCommand.h"

#include "FormExport.h"
#include "model/PhotoList.h"
#include "ui/desktop/Desktop.h"
#include "ui/dialogs/EditDialog.h"

void ExportCommand::MenuExportClick()
{
    if (!photos_.current())
        return;
    dialog_.SetPhotoList(&photos_);
    if (desktop_.execDialog(dialog_) == mrOk && !dialog_.SavedFiles().isEmpty())
        desktop_.sendMail(dialog_.SavedFiles());
}
