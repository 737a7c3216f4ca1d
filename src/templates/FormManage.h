#pragma once

#include "ui/dialogs/ProgramDialog.h"

class Desktop;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TFormAdd;
class TFormDefault;
class TPhotoInfo;

// The Manage Templates dialog: renames templates, switches their tool bar buttons, edits their
// settings, deletes them and changes their order, all on a copy of the store read at every
// showing. Nothing reaches templates.dat before OK, which rewrites the whole store in the
// order shown; Cancel throws every change away.
class TFormManage : public ProgramDialog {
    Q_OBJECT

public:
    TFormManage(Desktop& desktop, TFormAdd& formAdd, TFormDefault& formDefault, QWidget* parent = nullptr);

    QTreeWidget* TreeView() const { return TreeView_; }
    // A node's image: 0 for a template with a tool bar button, 1 for one without.
    static int ImageIndex(const QTreeWidgetItem* node);
    // The settings a node holds.
    static TPhotoInfo& NodeInfo(QTreeWidgetItem* node);

    void ButtonNameClick();
    void ButtonSettingsClick();
    void ButtonDeleteClick();
    void ButtonUpClick();
    void ButtonDownClick();
    // Closes with OK, then rewrites the store from the list. Throws "Unable to write to
    // <path>" when the store cannot be written; the old store is then left as it was.
    void ButtonOKClick();

private:
    void FormShow() override;
    void TreeViewChange(QTreeWidgetItem* node);
    QTreeWidgetItem* selectedNode() const;
    void moveSelected(int by);

    Desktop& desktop_;
    TFormAdd& formAdd_;
    TFormDefault& formDefault_;
    QTreeWidget* TreeView_;
    QPushButton* ButtonName;
    QPushButton* ButtonSettings;
    QPushButton* ButtonDelete;
    QPushButton* ButtonUp;
    QPushButton* ButtonDown;
    QPushButton* ButtonOK;
    QPushButton* ButtonCancel;
};
