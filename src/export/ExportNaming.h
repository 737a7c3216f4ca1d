#pragma once

#include <QString>

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

// Creates the folder, one level only (its parent must exist), unless it exists. True when
// the folder is there afterwards.
bool ensureFolder(const QString& folder);
