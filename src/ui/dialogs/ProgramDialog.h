#pragma once

#include "ui/desktop/ModalResult.h"

#include <QDialog>

// Moves the dialog to the centre of its owner's screen (or the primary screen).
void centerOnScreen(QDialog& dialog);

// What the program's dialogs share: modal, a fixed border with a title and a close box, named
// as the program names it, centred on the screen at every showing, where FormShow then sets
// the controls up. The close box and Escape close it with Cancel (2).
class ProgramDialog : public QDialog {
    Q_OBJECT

public:
    void reject() override;

protected:
    ProgramDialog(const char* name, const QString& caption, QWidget* parent);
    void showEvent(QShowEvent* event) override;
    // Runs at every showing, after the dialog was centred.
    virtual void FormShow() {}
};
