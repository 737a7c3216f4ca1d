#include "RecentFiles.h"

#include "model/KeyValueFile.h"

#include <stdexcept>

namespace {
const QString kSection = QStringLiteral("RECENT");

QString slotKey(int slot)
{
    return QStringLiteral("PHOTO%1").arg(slot);
}
}

RecentFiles::RecentFiles(QString settingsFile) : settingsFile_(std::move(settingsFile)) {}

void RecentFiles::Load()
{
    const KeyValueFile file(settingsFile_);
    for (int slot = 1; slot <= kSlots; ++slot)
        paths_[size_t(slot - 1)] = file.readString(kSection, slotKey(slot), QString());
}

void RecentFiles::Push(const QString& path) const
{
    QStringList paths;
    for (const QString& p : paths_)
        paths << p;
    const QStringList list = pushed(paths, path);
    KeyValueFile::Pairs values;
    for (int slot = 1; slot <= kSlots; ++slot)
        values.append({slotKey(slot), list[slot - 1]});
    // All nine keys, empty slots included, in one update of the file.
    KeyValueFile(settingsFile_).writeValues(kSection, values);
}

const QString& RecentFiles::path(int slot) const
{
    if (slot < 1 || slot > kSlots)
        throw std::out_of_range("recent-files slot out of range");
    return paths_[size_t(slot - 1)];
}

QString RecentFiles::caption(int slot) const
{
    return QStringLiteral("%1. %2").arg(slot).arg(elidedInTheMiddle(fileNamePart(path(slot)), kCaptionNameLength));
}

bool RecentFiles::isEmpty() const
{
    for (const QString& p : paths_)
        if (!p.isEmpty())
            return false;
    return true;
}

QStringList RecentFiles::pushed(const QStringList& paths, const QString& path)
{
    QStringList list{path};
    for (const QString& p : paths)
        if (p != path)
            list << p;
    while (list.size() < kSlots)
        list << QString();
    return list.mid(0, kSlots);
}

QString RecentFiles::fileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString RecentFiles::elidedInTheMiddle(const QString& text, int maxLength)
{
    if (text.size() <= maxLength || maxLength < 1)
        return text;
    qsizetype head = (maxLength - 1) / 2;
    qsizetype tail = maxLength - 1 - head;
    if (head > 0 && text[head - 1].isHighSurrogate())
        --head;
    if (tail > 0 && text[text.size() - tail].isLowSurrogate())
        --tail;
    return text.left(head) + QChar(0x2026) + text.right(tail);
}
