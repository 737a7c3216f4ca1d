#include "ExportNaming.h"

#include <QDir>
#include <QFileInfo>

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

bool ensureFolder(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    if (!QFileInfo(folder).isDir())
        QDir().mkdir(folder);
    return QFileInfo(folder).isDir();
}
