#pragma once

#include <QString>
#include <QStringList>

// How the exported files are named: prefix + name part + suffix + "." + extension, where the
// name part is the source's file name without its extension or a running number.
struct NamePattern {
    QString prefix;
    bool autoName = false;   // "Auto Created Name": the running number instead of the source's name
    QString suffix;
    QString extension = QStringLiteral("jpg");
    int length = 1;          // the number's least count of digits, zero-padded on the left
    bool lowercase = false;  // the letters A to Z of the file name become a to z
};

// Typed text without the blanks and control characters before and after it.
QString withoutBlanks(const QString& typed);

// The file name of one exported photo. Lowercasing touches the file name only: on a file
// system that tells case apart, the folder keeps its spelling so the file lands in it.
QString exportFileName(const NamePattern& pattern, const QString& sourcePath, int number);

// The paths one export writes, one per source in the same order: folder + "/" + the file
// name of exportFileName, numbers counting from start. A name already given to an earlier
// photo of the same export (letters compared without regard to case, as some file systems
// compare them) gets "_2", "_3", ... before its extension, so no photo's file replaces
// another's.
QStringList exportPaths(const QStringList& sources, const QString& folder, const NamePattern& pattern, int start);

// The sources that writing these paths would replace: a path that is the same file as a
// source, however either is reached (symbolic or hard links, a doubled separator), each
// source named once, in the order of sources.
QStringList sourcesWrittenOver(const QStringList& paths, const QStringList& sources);

// Creates the folder, one level only (its parent must exist), unless it exists. True when
// the folder is there afterwards.
bool ensureFolder(const QString& folder);
