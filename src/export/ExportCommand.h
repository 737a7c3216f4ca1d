#pragma once

class Desktop;
class PhotoList;
class TFormExport;

// "Export...": shows the Export dialog on the opened photos and, when it wrote files with
// mailing chosen, hands them all to the mail client in one message.
class ExportCommand {
public:
    ExportCommand(TFormExport& dialog, const PhotoList& photos, Desktop& desktop)
        : dialog_(dialog), photos_(photos), desktop_(desktop)
    {
    }

    void MenuExportClick();

private:
    TFormExport& dialog_;
    const PhotoList& photos_;
    Desktop& desktop_;
};
