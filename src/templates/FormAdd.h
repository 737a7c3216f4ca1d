#pragma once

#include "ui/dialogs/ProgramDialog.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

// The template name dialog: a name and whether the template gets a tool bar button. Its
// callers ("Add to Templates" and the Manage dialog's "Change Name") set the caption, the
// name and the check box before showing it, and read them after OK. The check box is
// unchecked once, when the dialog is created, and otherwise keeps what the last showing left.
class TFormAdd : public ProgramDialog {
    Q_OBJECT

public:
    explicit TFormAdd(QWidget* parent = nullptr);

    QLineEdit* EditName() const { return EditName_; }
    QCheckBox* CheckBoxToolbar() const { return CheckBoxToolbar_; }
    QPushButton* ButtonOK() const { return ButtonOK_; }

    // OK is enabled exactly while the name is not blank.
    void EditNameChange();

private:
    void FormShow() override;

    QLineEdit* EditName_;
    QCheckBox* CheckBoxToolbar_;
    QPushButton* ButtonOK_;
    QPushButton* ButtonCancel_;
};
