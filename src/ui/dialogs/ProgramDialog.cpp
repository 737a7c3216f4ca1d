#include "ProgramDialog.h"

#include "ui/desktop/DialogBorder.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

void centerOnScreen(QDialog& dialog)
{
    const QWidget* owner = dialog.parentWidget();
    if (const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        dialog.move(screen->availableGeometry().center() - dialog.rect().center());
}

ProgramDialog::ProgramDialog(const char* name, const QString& caption, QWidget* parent) : QDialog(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setWindowTitle(caption);
    setFixedDialogBorder(*this);
    setModal(true);
}

void ProgramDialog::reject()
{
    done(mrCancel);
}

void ProgramDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The window system's own showings (a restore, say) set nothing up again.
    if (!event->spontaneous()) {
        centerOnScreen(*this);
        FormShow();
    }
}
