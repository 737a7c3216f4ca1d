#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>


// The photos named on the program's command line (what a file manager's "Open with" passes):
// each argument as a path, made absolute against workingFolder as the open dialog's names
// are; a file:// URL, which some launchers pass, as its local file.
QStringList photoPathsFromArguments(const QStringList& arguments, const QString& workingFolder);

// The local files among URLs dropped on the window, in their order; other URLs are left out.
QStringList photoPathsFromUrls(const QList<QUrl>& urls);
