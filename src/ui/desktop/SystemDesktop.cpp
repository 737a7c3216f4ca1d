#include "Desktop.h"

#include "DesktopLaunch.h"
#include "FileDialogSize.h"
#include "FontChooser.h"
#include "MessageBox.h"
#include "OpenPictureDialog.h"
#include "PreviewLoader.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QColorDialog>
#include <QCompleter>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QUrl>

struct SystemDesktop::Dialogs {
    QPointer<OpenPictureDialog> open;
    QPointer<QFileDialog> save;
};

SystemDesktop::SystemDesktop() : dialogs_(new Dialogs) {}

SystemDesktop::~SystemDesktop()
{
    delete dialogs_;
}

namespace {

// Runs a kept file dialog. Accepting a typed name with Enter while the name completer's list
// is open leaves that list on screen after the dialog closes, so it is closed with the dialog.
bool runFileDialog(QFileDialog& dialog)
{
    // A kept dialog shows the last name again, selected, so that typing replaces it.
    if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        QTimer::singleShot(0, name, [name] { name->selectAll(); });
    const bool accepted = dialog.exec() == QDialog::Accepted;
    for (QCompleter* completer : dialog.findChildren<QCompleter*>()) {
        if (completer->popup()->isVisible())
            completer->popup()->hide();
    }
    return accepted && !dialog.selectedFiles().isEmpty();
}

} // namespace

QString SystemDesktop::openPicture(QWidget* parent, const QString& folder, DecodeOptions decoding)
{
    if (!dialogs_->open) {
        dialogs_->open = new OpenPictureDialog(parent);
        dialogs_->open->setDirectory(initialPictureFolder());
        sizeFileDialogForColumns(*dialogs_->open);
    }
    OpenPictureDialog& dialog = *dialogs_->open;
    dialog.previewLoader().setDecodeOptions(decoding);
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        dialog.setDirectory(folder);
    if (!runFileDialog(dialog))
        return {};
    return dialog.selectedFiles().constFirst();
}

QString SystemDesktop::savePicture(QWidget* parent, const QString& proposedName)
{
    if (!dialogs_->save) {
        auto* dialog = new QFileDialog(parent, QStringLiteral("Save As"));
        dialog->setObjectName(QStringLiteral("SavePictureDialog"));
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setNameFilters({QStringLiteral("JPEG Files (*.jpg)"), QStringLiteral("JPEG Files (*.jpeg)")});
        dialog->setDefaultSuffix(QStringLiteral("jpg"));
        dialog->setSizeGripEnabled(true);
        sizeFileDialogForColumns(*dialog);
        dialogs_->save = dialog;
    }
    QFileDialog& dialog = *dialogs_->save;
    dialog.selectFile(proposedName);
    if (!runFileDialog(dialog))
        return {};
    return dialog.selectedFiles().constFirst();
}

std::optional<QColor> SystemDesktop::chooseColor(QWidget* parent, const QColor& initial)
{
    QColorDialog dialog(initial, parent);
    dialog.setObjectName(QStringLiteral("ColorDialog"));
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.selectedColor();
}

std::optional<TFont> SystemDesktop::chooseFont(QWidget* parent, const TFont& initial)
{
    return runFontChooser(parent, initial);
}

bool SystemDesktop::confirm(QWidget* parent, const QString& text)
{
    ProgramMessageBox box(QMessageBox::Question, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}

namespace {
void showErrorBox(QWidget* parent, const QString& text)
{
    ProgramMessageBox box(QMessageBox::Critical, text, QMessageBox::Ok, parent);
    box.exec();
}
}

void SystemDesktop::showError(QWidget* parent, const QString& text)
{
    showErrorBox(parent, text);
}

void SystemDesktop::warn(QWidget* parent, const QString& text)
{
    ProgramMessageBox box(QMessageBox::Warning, text, QMessageBox::Ok, parent);
    box.exec();
}

int SystemDesktop::execDialog(QDialog& dialog)
{
    return dialog.exec();
}

void SystemDesktop::sendMail(const QStringList& files)
{
    QStringList arguments;
    for (const QString& file : files)
        arguments << QStringLiteral("--attach") << file;
    launchDesktopHelper(QStringLiteral("xdg-email"), arguments,
                        [files] { showErrorBox(QApplication::activeWindow(), mailFailureText(files)); });
}

void SystemDesktop::openUrl(const QUrl& url)
{
    launchDesktopHelper(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)},
                        [url] { showErrorBox(QApplication::activeWindow(), openFailureText(url)); });
}
