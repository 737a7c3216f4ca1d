#pragma once

#include "formats/DecodeOptions.h"
#include "render/PhotoSettings.h"

#include <QColor>
#include <QString>
#include <QStringList>

#include <optional>

class QDialog;
class QUrl;
class QWidget;

// Everything the main window does that waits for the user or leaves the process: the common
// dialogs, message boxes, running a modal dialog, the mail hand-over and the shell's open of
// a URL. The program uses SystemDesktop; tests put a recording stand-in in its place.
class Desktop {
public:
    virtual ~Desktop() = default;

    // The open dialog ("Open", the "All Photos" filter, one existing file, with a preview),
    // showing folder when it names one (the folder of the photo opened last), else the folder
    // it showed before. Its preview decodes as decoding says (as a photo opened now would be).
    // An empty string when the user cancels.
    virtual QString openPicture(QWidget* parent, const QString& folder, DecodeOptions decoding = {}) = 0;
    // The save dialog ("Save As", two JPEG filters, default extension jpg, overwrite question)
    // preset to proposedName. The confirmed name, or an empty string on Cancel.
    virtual QString savePicture(QWidget* parent, const QString& proposedName) = 0;
    // The color dialog preset to initial; nothing when cancelled.
    virtual std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) = 0;
    // The font chooser (face, style, size, color, underline, strike-out) preset to initial;
    // nothing when cancelled.
    virtual std::optional<TFont> chooseFont(QWidget* parent, const TFont& initial) = 0;
    // A question box captioned "Lumatrim" with OK and Cancel; true for OK.
    virtual bool confirm(QWidget* parent, const QString& text) = 0;
    // A message box captioned "Lumatrim" telling the user that a command failed.
    virtual void showError(QWidget* parent, const QString& text) = 0;
    // A warning box captioned "Lumatrim" with an OK button.
    virtual void warn(QWidget* parent, const QString& text) = 0;
    // Shows a dialog modally and returns its result.
    virtual int execDialog(QDialog& dialog) = 0;
    // Opens a new message of the desktop's mail client with the files attached. When no
    // e-mail program can be started, the user is told so and where the files were saved.
    virtual void sendMail(const QStringList& files) = 0;
    // The shell's "Open" of a page, file or mailto: URL. When nothing can open it, the user
    // is told so.
    virtual void openUrl(const QUrl& url) = 0;
};

// The real desktop: Qt's dialogs and message boxes, and xdg-email and xdg-open started
// without waiting for them. The open and save dialogs are created once and kept, so each
// remembers its folder and chosen filter for the rest of the run.
class SystemDesktop final : public Desktop {
public:
    SystemDesktop();
    ~SystemDesktop() override;

    QString openPicture(QWidget* parent, const QString& folder, DecodeOptions decoding = {}) override;
    QString savePicture(QWidget* parent, const QString& proposedName) override;
    std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) override;
    std::optional<TFont> chooseFont(QWidget* parent, const TFont& initial) override;
    bool confirm(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;
    void warn(QWidget* parent, const QString& text) override;
    int execDialog(QDialog& dialog) override;
    void sendMail(const QStringList& files) override;
    void openUrl(const QUrl& url) override;

private:
    struct Dialogs;
    Dialogs* dialogs_;
};
