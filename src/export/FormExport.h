#pragma once

#include "batch/ExportNaming.h"

#include "ui/dialogs/ProgramDialog.h"
#include <QStringList>

class Desktop;
class NumericBox;
class PhotoList;
class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeView;

// The Export dialog: the folder, the name pattern and whether to mail the files, and the
// export itself, which writes every opened photo, rendered with its own settings, into the
// folder. Everything set here stays set for the rest of the run.
class TFormExport : public ProgramDialog {
    Q_OBJECT

public:
    TFormExport(Desktop& desktop, QWidget* parent = nullptr);

    // The opened photos to export; set by the main window before every showing.
    void SetPhotoList(const PhotoList* photos) { PhotoList_ = photos; }
    // The paths the last export wrote when mailing was chosen (empty otherwise).
    const QStringList& SavedFiles() const { return SavedFiles_; }
    // The name pattern as the controls set it.
    NamePattern Pattern() const;

    // Checks or creates the folder, writes every photo, then closes with OK. A folder that
    // cannot be created is reported and keeps the dialog open; an export that would write over
    // a photo's own source, or a file that cannot be written, throws (the dialog stays open
    // and usable with its values; the files written before a failed one stay).
    void ButtonOKClick();
    void ComboBoxNameChange();
    void ShellTreeViewChange();

private:
    void FormShow() override;
    void setExporting(bool exporting);
    QGroupBox* buildFolderPanel();
    QGroupBox* buildNamePanel();
    QGroupBox* buildExportPanel();

    Desktop& desktop_;
    const PhotoList* PhotoList_ = nullptr;
    QStringList SavedFiles_;

    QGroupBox* PanelFolder;
    QGroupBox* PanelName;
    QGroupBox* PanelExport;
    QLineEdit* EditFolder;
    QTreeView* ShellTreeView;
    QFileSystemModel* folders_;
    QLineEdit* EditPrefix;
    QComboBox* ComboBoxName;
    QLineEdit* EditSuffix;
    QComboBox* ComboBoxExt;
    NumericBox* UpDownStart;
    NumericBox* UpDownLength;
    QCheckBox* CheckBoxLowercase;
    QRadioButton* RadioButtonSave;
    QRadioButton* RadioButtonEmail;
    QProgressBar* ProgressBarProcess;
    QPushButton* ButtonOK;
    QPushButton* ButtonCancel;
};
