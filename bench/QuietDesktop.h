#pragma once

#include "ui/desktop/Desktop.h"

#include <QDialog>
#include <QUrl>

// The desktop of the window benchmarks: nothing waits for the user, and an error message
// ends the run, since a benchmark that meets one measures the wrong thing.
class QuietDesktop final : public Desktop {
public:
    QString openPicture(QWidget*, const QString&, DecodeOptions = {}) override { return {}; }
    QString savePicture(QWidget*, const QString&) override { return {}; }
    std::optional<QColor> chooseColor(QWidget*, const QColor&) override { return std::nullopt; }
    std::optional<TFont> chooseFont(QWidget*, const TFont&) override { return std::nullopt; }
    bool confirm(QWidget*, const QString&) override { return true; }
    void showError(QWidget*, const QString& text) override { qFatal("%s", qPrintable(text)); }
    void warn(QWidget*, const QString& text) override { qFatal("%s", qPrintable(text)); }
    int execDialog(QDialog&) override { return QDialog::Rejected; }
    void sendMail(const QStringList&) override {}
    void openUrl(const QUrl&) override {}
};
