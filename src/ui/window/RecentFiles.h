#pragma once

#include <QString>
#include <QStringList>

#include <array>

// The last nine photos shown, most recent first, kept in section RECENT (keys PHOTO1 to
// PHOTO9) of a settings file. An empty path is a free slot; slots keep their places, gaps
// included.
class RecentFiles {
public:
    static constexpr int kSlots = 9;
    // The longest file name a caption shows whole, in characters.
    static constexpr int kCaptionNameLength = 60;

    explicit RecentFiles(QString settingsFile);

    // Reads the nine slots from the file (a missing file or key gives an empty slot).
    void Load();
    // Writes the list with path moved to slot 1 to the file. The slots in memory stay as
    // they are until the next Load. Throws "Unable to write to <file>" when the file cannot
    // be written.
    void Push(const QString& path) const;

    // Slot 1..9.
    const QString& path(int slot) const;
    // "<slot>. <file name>", for example "1. beach.jpg". A name longer than
    // kCaptionNameLength loses its middle to "…", so that its start and its end with the
    // extension still show and the Reopen menu stays on the screen.
    QString caption(int slot) const;
    // True when every slot is empty.
    bool isEmpty() const;

    // The nine slots after path has moved to the head: path, then the other slots in their
    // order without any entry equal to path (case counts), cut to nine, padded with empty
    // slots.
    static QStringList pushed(const QStringList& paths, const QString& path);
    // The file-name part of a path: the text after its last separator.
    static QString fileNamePart(const QString& path);
    // The text itself when it has at most maxLength characters, else its first and last
    // characters around "…", maxLength in all; a character outside the Basic Multilingual
    // Plane (two UTF-16 units) is never cut in two.
    static QString elidedInTheMiddle(const QString& text, int maxLength);

private:
    QString settingsFile_;
    std::array<QString, kSlots> paths_;
};
