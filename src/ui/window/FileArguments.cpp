#include "FileArguments.h"

#include <QDir>

QStringList photoPathsFromArguments(const QStringList& arguments, const QString& workingFolder)
{
    QStringList paths;
    const QDir working(workingFolder);
    for (const QString& argument : arguments) {
        if (argument.startsWith(QLatin1String("file://"), Qt::CaseInsensitive)) {
            const QUrl url(argument);
            if (url.isLocalFile()) {
                paths << url.toLocalFile();
                continue;
            }
        }
        paths << QDir::cleanPath(working.absoluteFilePath(argument));
    }
    return paths;
}

QStringList photoPathsFromUrls(const QList<QUrl>& urls)
{
    QStringList paths;
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            paths << QDir::cleanPath(url.toLocalFile());
    }
    return paths;
}
