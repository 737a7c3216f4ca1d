#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// Replaces the file at path with bytes in one step: they go to a temporary file beside it,
// which takes the file's place only when every byte is on disk. A failure (a full disk, a file
// size limit, a folder without write permission) leaves the old file as it was and no
// temporary file behind. Returns the toolkit's error text on failure, nothing on success.
//
// The bytes are written unbuffered, again and again until the disk has taken every one: a
// buffered write that the disk takes only in part would otherwise be reported as complete, and
// a truncated file would replace the old one.
std::optional<QString> replaceFile(const QString& path, QByteArrayView bytes);
