#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>

// The error of a key/value file that cannot be written: "Unable to write to <path>: <reason>".
class FileWriteError : public std::runtime_error {
public:
    FileWriteError(const QString& path, const QString& reason);
    QString path() const { return path_; }

private:
    QString path_;
};

// The largest key/value file that is read or rewritten. A larger one (lumatrim.dat grown
// without end, a sparse file) is left exactly as it is: not read, so its defaults stand in,
// and not replaced, so nothing of it is lost.
inline constexpr qint64 kMaxKeyValueFileBytes = 16 * 1024 * 1024;

// Messages about key/value files that reading had to pass over (one larger than the cap), for
// the program to show: each waits here once until it is taken, however often the file is read.
QStringList takeFileNotices();

// Reads an integer as the settings files store it: "0x"/"0X" + hexadecimal (when longer
// than 2 characters), "$" + hexadecimal, or an optionally signed decimal number. Hexadecimal
// takes up to 8 digits and wraps to 32 bits; nothing else is accepted.
std::optional<int32_t> parseStoredInteger(const QString& text);

// The value of a key among a section's keys (matched without regard to case), or def.
QString valueOf(const QList<QPair<QString, QString>>& keys, const QString& key, const QString& def = QString());

// The content of a key/value file in memory: the parser and editor that KeyValueFile uses
// for every operation. Lines nobody changes keep their bytes exactly. A lookup walks the text
// in place: it splits only the lines of the sections it reads, and of the others looks only
// at lines holding a "[" (the headers). A leading UTF-8 byte-order mark is not part of the
// first line and is written back as it was.
class KeyValueText {
public:
    using Pairs = QList<QPair<QString, QString>>;
    struct Section {
        QString name;
        Pairs keys;
        bool operator==(const Section&) const = default;
    };

    explicit KeyValueText(const QByteArray& content = QByteArray());

    std::optional<QString> value(const QString& section, const QString& key) const;
    Pairs section(const QString& section) const;
    QStringList sections() const;
    // Every section with its keys, read in one pass, in the order of first appearance.
    // Headers naming the same section (in any case) make one section whose first value of
    // each key counts, exactly as section() and value() read it.
    QList<Section> allSections() const;
    // The same sections holding only the keys named here, each with its first value: what
    // allSections() gives with the other keys left out, without decoding them.
    QList<Section> allSections(const QStringList& keys) const;
    // A text holding exactly these sections with their keys, in order.
    static KeyValueText fromSections(const QList<Section>& sections);
    void setValue(const QString& section, const QString& key, const QString& value);
    // False when there was no such section.
    bool eraseSection(const QString& section);
    QByteArray toBytes() const;

    bool hasByteOrderMark() const { return !byteOrderMark_.isEmpty(); }
    void setByteOrderMark(bool on);

private:
    QByteArray byteOrderMark_;
    QByteArray content_; // everything after the byte-order mark
};

// A text file of "[SECTION]" lines, each followed by "KEY=value" lines. Sections and keys are
// matched without regard to case. Every call reads or writes the file itself: nothing is
// cached, so two objects on the same path always see each other's writes. Reading never
// fails and never creates the file; only a regular file is read (a FIFO or a device reads as
// a missing file, without waiting), and only one of at most kMaxKeyValueFileBytes (a larger
// one reads as missing and leaves a notice). Writing keeps every other line byte for byte,
// goes through a temporary file and a rename (a failure never leaves a half-written file),
// writes nothing when the content stays the same, and throws FileWriteError when the file
// system refuses or when the file there is one reading passes over: a folder, a FIFO, a
// device, a file too large or unreadable is never replaced.
class KeyValueFile {
public:
    using Pairs = KeyValueText::Pairs;

    explicit KeyValueFile(QString path);
    const QString& path() const { return path_; }

    // The value of a key: the text after the first "=", blanks and one pair of enclosing
    // quotes removed, at most 2047 characters; def when the file, section or key is missing.
    QString readString(const QString& section, const QString& key, const QString& def) const;
    int32_t readInteger(const QString& section, const QString& key, int32_t def) const;
    bool readBool(const QString& section, const QString& key, bool def) const;

    // All keys of a section with their values, in file order (empty when missing).
    Pairs readSection(const QString& section) const;
    // The names of all sections, in file order.
    QStringList sections() const;
    // Every section with its keys, in one reading of the file (see KeyValueText).
    QList<KeyValueText::Section> readAllSections() const;
    // Every section with only the keys named, in one reading of the file.
    QList<KeyValueText::Section> readAllSections(const QStringList& keys) const;

    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int32_t value);
    void writeBool(const QString& section, const QString& key, bool value);
    // Writes several keys of one section in one update of the file, in the given order.
    void writeValues(const QString& section, const Pairs& values);
    // Removes a section with all its lines; nothing happens when it is missing.
    void eraseSection(const QString& section);
    // One update of the file: the content is read once, edited, and written back.
    void update(const std::function<void(KeyValueText&)>& edit);
    // Replaces the whole file by these sections, in one update: either the new content is
    // there in full or the old file is left as it was.
    void writeAllSections(const QList<KeyValueText::Section>& sections);

private:
    KeyValueText read() const;
    void replaceFile(const QByteArray& bytes) const;

    QString path_;
};
