#include "ExportNaming.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <optional>
#include <set>
#include <utility>

#include <sys/stat.h>

namespace {

bool isBlank(QChar c)
{
    return c.unicode() <= 0x20;
}

} // namespace

QString withoutBlanks(const QString& typed)
{
    qsizetype begin = 0;
    qsizetype end = typed.size();
    while (begin < end && isBlank(typed[begin]))
        ++begin;
    while (end > begin && isBlank(typed[end - 1]))
        --end;
    return typed.mid(begin, end - begin);
}

QString exportFileName(const NamePattern& pattern, const QString& sourcePath, int number)
{
    QString part;
    if (pattern.autoName) {
        part = QStringLiteral("%1").arg(number, pattern.length, 10, QLatin1Char('0'));
    } else {
        part = sourcePath.mid(sourcePath.lastIndexOf(QLatin1Char('/')) + 1);
        const qsizetype dot = part.lastIndexOf(QLatin1Char('.'));
        if (dot >= 0)
            part.truncate(dot);
    }
    QString name = pattern.prefix + part + pattern.suffix + QLatin1Char('.') + pattern.extension;
    if (pattern.lowercase) {
        for (QChar& c : name) {
            if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
                c = QChar(c.unicode() + ('a' - 'A'));
        }
    }
    return name;
}

namespace {

// name with "_count" before its extension.
QString numbered(const QString& name, int count)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return name.left(dot) + QStringLiteral("_%1").arg(count) + name.mid(dot);
}

// The file a path leads to, links followed: its device and inode, or nothing when there is none.
using FileIdentity = std::pair<dev_t, ino_t>;
std::optional<FileIdentity> identityOf(const QString& path)
{
    struct stat facts {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &facts) != 0)
        return std::nullopt;
    return FileIdentity{facts.st_dev, facts.st_ino};
}

} // namespace

QStringList exportPaths(const QStringList& sources, const QString& folder, const NamePattern& pattern, int start)
{
    QStringList paths;
    QSet<QString> given;
    int number = start;
    for (const QString& source : sources) {
        const QString name = exportFileName(pattern, source, number++);
        QString unique = name;
        for (int count = 2; given.contains(unique.toCaseFolded()); ++count)
            unique = numbered(name, count);
        given.insert(unique.toCaseFolded());
        paths << folder + QLatin1Char('/') + unique;
    }
    return paths;
}

QStringList sourcesWrittenOver(const QStringList& paths, const QStringList& sources)
{
    std::set<FileIdentity> targets;
    for (const QString& path : paths) {
        if (const auto identity = identityOf(path))
            targets.insert(*identity);
    }
    QStringList replaced;
    for (const QString& source : sources) {
        const auto identity = identityOf(source);
        if (identity && targets.count(*identity) && !replaced.contains(source))
            replaced << source;
    }
    return replaced;
}

bool ensureFolder(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    if (!QFileInfo(folder).isDir())
        QDir().mkdir(folder);
    return QFileInfo(folder).isDir();
}
