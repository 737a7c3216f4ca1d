#pragma once

#include "ui/desktop/Desktop.h"

#include <QDialog>
#include <QUrl>

#include <functional>

// Stands in for the desktop in window tests: answers the dialogs with preset values and
// records what the program asked for.
class FakeDesktop : public Desktop {
public:
    // Answers.
    QStringList openAnswers;          // taken one per openPicture call; empty: cancel
    QString saveAnswer;               // empty: cancel
    std::optional<QColor> colorAnswer;
    std::optional<TFont> fontAnswer; // nothing: cancel
    bool confirmAnswer = true;
    // Runs inside execDialog, with the dialog; the result is the dialog's result afterwards.
    std::function<void(QDialog&)> onExec;
    // Runs inside openPicture and savePicture, with their parent (a real modal dialog, say).
    std::function<void(QWidget*)> duringFileDialog;

    // Records.
    int openCalls = 0;
    QStringList openFolders; // the folder each openPicture call was asked to show
    QList<DecodeOptions> openDecodings; // how each openPicture call's preview was to decode
    QStringList proposedNames;
    QList<QColor> colorInitials;
    QList<TFont> fontInitials;
    QStringList questions;
    QStringList errors;
    QStringList warnings;
    QStringList execDialogs; // objectName of every dialog run
    QList<QStringList> mails;
    QList<QUrl> urls;

    QString openPicture(QWidget* parent, const QString& folder, DecodeOptions decoding = {}) override
    {
        ++openCalls;
        openFolders << folder;
        openDecodings << decoding;
        if (duringFileDialog)
            duringFileDialog(parent);
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString savePicture(QWidget* parent, const QString& proposedName) override
    {
        proposedNames << proposedName;
        if (duringFileDialog)
            duringFileDialog(parent);
        return saveAnswer;
    }
    std::optional<QColor> chooseColor(QWidget*, const QColor& initial) override
    {
        colorInitials << initial;
        return colorAnswer;
    }
    std::optional<TFont> chooseFont(QWidget*, const TFont& initial) override
    {
        fontInitials << initial;
        return fontAnswer;
    }
    bool confirm(QWidget*, const QString& text) override
    {
        questions << text;
        return confirmAnswer;
    }
    void showError(QWidget*, const QString& text) override { errors << text; }
    void warn(QWidget*, const QString& text) override { warnings << text; }
    int execDialog(QDialog& dialog) override
    {
        execDialogs << dialog.objectName();
        if (onExec)
            onExec(dialog);
        return dialog.result();
    }
    void sendMail(const QStringList& files) override { mails << files; }
    void openUrl(const QUrl& url) override { urls << url; }
};
