#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

// The photos named on the program's command line (what a file manager's "Open with" passes):
// each argument as a path, made absolute against workingFolder as the open dialog's names
// are; a file:// URL, which some launchers pass, as its local file.
QStringList photoPathsFromArguments(const QStringList& arguments, const QString& workingFolder);

// The local files among URLs dropped on the window, in their order; other URLs are left out.
QStringList photoPathsFromUrls(const QList<QUrl>& urls);

// Opens every path with open, in order, going on past the ones that fail. Returns the
// failures' messages in the same order.
QStringList openEach(const QStringList& paths, const std::function<void(const QString&)>& open);
