#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QUrl;

// Starts one of the desktop's helper programs (xdg-email, xdg-open) without waiting for it.
// onFailure runs later, on the user-interface thread, when the program cannot be started or
// ends with an error status (the helpers end with 3 when no program for the task exists and
// 4 when it failed). Ending the program while a helper runs ends only the helper, never the
// mail client or browser it started.
void launchDesktopHelper(const QString& program, const QStringList& arguments, std::function<void()> onFailure);

// What the user is told when no e-mail program takes the files: where they were saved.
QString mailFailureText(const QStringList& files);
// What the user is told when nothing opens a help page, web address or mailto: address.
QString openFailureText(const QUrl& url);
