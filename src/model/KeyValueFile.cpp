#include "KeyValueFile.h"

#include "formats/FileReplacement.h"
#include "formats/RegularFile.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr int kMaxValueLength = 2047;
constexpr QByteArrayView kByteOrderMark("\xEF\xBB\xBF");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// What trimming takes from both ends of a line's parts: blanks and stray carriage returns.
bool isTrimmed(char c)
{
    return isBlank(c) || c == '\r';
}

QByteArrayView trimBlanks(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmed(text[begin]))
        ++begin;
    while (end > begin && isTrimmed(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

bool isAscii(QByteArrayView text)
{
    for (char c : text) {
        if (uchar(c) >= 0x80)
            return false;
    }
    return true;
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// A section or key name looked for, matched as the toolkit compares text without regard to
// case. Names of plain ASCII, which nearly all are, are compared byte by byte.
class Name {
public:
    explicit Name(const QString& wanted) : text_(wanted), utf8_(wanted.toUtf8()), ascii_(isAscii(utf8_)) {}

    bool matches(QByteArrayView stored) const
    {
        if (ascii_ && isAscii(stored)) {
            if (stored.size() != utf8_.size())
                return false;
            for (qsizetype i = 0; i < stored.size(); ++i) {
                if (asciiLower(stored[i]) != asciiLower(utf8_[i]))
                    return false;
            }
            return true;
        }
        return QString::fromUtf8(stored).compare(text_, Qt::CaseInsensitive) == 0;
    }

private:
    QString text_;
    QByteArray utf8_;
    bool ascii_;
};

// What makes two names one for the first-value rule: their case-folded text.
QByteArray foldedName(QByteArrayView name)
{
    if (!isAscii(name))
        return QString::fromUtf8(name).toCaseFolded().toUtf8();
    QByteArray folded(name.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < name.size(); ++i)
        folded[i] = asciiLower(name[i]);
    return folded;
}

// One line of the text, found in place.
struct LineView {
    enum Kind { Other, Section, BrokenSection, Key };
    qsizetype start = 0;      // its first byte
    qsizetype end = 0;        // the end of its bytes, before its line end
    qsizetype next = 0;       // where the next line starts; end == next: the last line, without a line end
    Kind kind = Other;
    QByteArrayView name;      // section name or key
    qsizetype valueStart = 0; // a key's value: the bytes from here to end
};

// The lines of a text. A line ends at "\n"; a "\r" just before it belongs to the line end. A
// line whose text (blanks and carriage returns aside) starts with "[" is a section header, or
// a broken one without "]" that no name matches, so the keys below it are not mistaken for
// keys of the section above.
class Lines {
public:
    explicit Lines(QByteArrayView text) : text_(text) {}

    qsizetype size() const { return text_.size(); }

    LineView at(qsizetype start) const
    {
        LineView line;
        line.start = start;
        const char* base = text_.data();
        if (const void* feed = std::memchr(base + start, '\n', size_t(text_.size() - start))) {
            const qsizetype at = static_cast<const char*>(feed) - base;
            line.next = at + 1;
            line.end = at > start && base[at - 1] == '\r' ? at - 1 : at;
        } else {
            line.end = line.next = text_.size();
        }
        const QByteArrayView raw = text_.sliced(start, line.end - start);
        const QByteArrayView trimmed = trimBlanks(raw);
        if (trimmed.startsWith('[')) {
            const qsizetype close = trimmed.indexOf(']');
            if (close < 0) {
                line.kind = LineView::BrokenSection;
            } else {
                line.kind = LineView::Section;
                line.name = trimBlanks(trimmed.sliced(1, close - 1));
            }
        } else if (const qsizetype eq = raw.indexOf('='); eq >= 0) {
            line.kind = LineView::Key;
            line.name = trimBlanks(raw.first(eq));
            line.valueStart = start + eq + 1;
        }
        return line;
    }

    QByteArrayView value(const LineView& line) const
    {
        return text_.sliced(line.valueStart, line.end - line.valueStart);
    }

    // Calls visit(header, bodyEnd) for every header line in order, while it returns true.
    // The header's section runs from header.next to bodyEnd, the next header's start.
    template <typename Visit>
    void forEachHeader(Visit&& visit) const
    {
        for (qsizetype header = nextHeader(0); header < size();) {
            const LineView line = at(header);
            const qsizetype bodyEnd = nextHeader(line.next);
            if (!visit(line, bodyEnd))
                return;
            header = bodyEnd;
        }
    }

    // Calls visit(line) for every key line from the line starting at from up to to, while it
    // returns true.
    template <typename Visit>
    void forEachKey(qsizetype from, qsizetype to, Visit&& visit) const
    {
        for (qsizetype start = from; start < to;) {
            const LineView line = at(start);
            if (line.kind == LineView::Key && !visit(line))
                return;
            start = line.next;
        }
    }

private:
    // The start of the first header line at or after from (a line's start), or size(). Only
    // lines holding a "[" are looked at; the others are passed over at the speed of memchr.
    qsizetype nextHeader(qsizetype from) const
    {
        const char* base = text_.data();
        const qsizetype size = text_.size();
        qsizetype pos = from;
        while (pos < size) {
            const void* found = std::memchr(base + pos, '[', size_t(size - pos));
            if (!found)
                return size;
            const qsizetype bracket = static_cast<const char*>(found) - base;
            qsizetype lineStart = bracket;
            while (lineStart > pos && isTrimmed(base[lineStart - 1]))
                --lineStart;
            if (lineStart == 0 || base[lineStart - 1] == '\n')
                return lineStart;
            const void* feed = std::memchr(base + bracket, '\n', size_t(size - bracket));
            if (!feed)
                return size;
            pos = static_cast<const char*>(feed) - base + 1;
        }
        return size;
    }

    QByteArrayView text_;
};

QString decodeValue(QByteArrayView raw)
{
    QByteArrayView text = trimBlanks(raw);
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
        text = text.sliced(1, text.size() - 2);
    // No more than the longest value is decoded: a value of megabytes costs no more than one
    // of 2047 characters. Each character takes at most 4 bytes.
    QString value = QString::fromUtf8(text.first(std::min<qsizetype>(text.size(), 4 * kMaxValueLength)));
    if (value.size() > kMaxValueLength)
        value.truncate(kMaxValueLength);
    return value;
}

// The first key line named key in any section named section.
std::optional<LineView> findKey(const Lines& lines, const QString& section, const QString& key)
{
    const Name wantedSection(section);
    const Name wantedKey(key);
    std::optional<LineView> found;
    lines.forEachHeader([&](const LineView& header, qsizetype bodyEnd) {
        if (header.kind == LineView::Section && wantedSection.matches(header.name)) {
            lines.forEachKey(header.next, bodyEnd, [&](const LineView& line) {
                if (wantedKey.matches(line.name))
                    found = line;
                return !found;
            });
        }
        return !found;
    });
    return found;
}

// The line a new key of the first section named section goes after: its last key, or its
// header when it has none. Nothing when there is no such section.
std::optional<LineView> lastLineOf(const Lines& lines, const QString& section)
{
    const Name wanted(section);
    std::optional<LineView> last;
    lines.forEachHeader([&](const LineView& header, qsizetype bodyEnd) {
        if (header.kind != LineView::Section || !wanted.matches(header.name))
            return true;
        last = header;
        lines.forEachKey(header.next, bodyEnd, [&](const LineView& line) {
            last = line;
            return true;
        });
        return false;
    });
    return last;
}

// The line end new lines get: the file's own when it has one, else "\n".
QByteArray lineEnding(QByteArrayView text)
{
    const qsizetype feed = text.indexOf('\n');
    return feed > 0 && text[feed - 1] == '\r' ? QByteArray("\r\n") : QByteArray("\n");
}

// A value is one line: line breaks inside it would start new keys or sections.
QByteArray encodeValue(const QString& value)
{
    QByteArray bytes = value.toUtf8();
    bytes.replace('\r', ' ').replace('\n', ' ');
    return bytes;
}

// Whether a stored name folds to folded (a name folded by foldedName), without building the
// stored name's folded text where it is plain ASCII.
bool foldsTo(QByteArrayView stored, const QByteArray& folded)
{
    if (!isAscii(stored))
        return foldedName(stored) == folded;
    if (stored.size() != folded.size())
        return false;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (asciiLower(stored[i]) != folded[i])
            return false;
    }
    return true;
}

// The keys of a section body not yet seen, first value of each name, appended to keys.
void collectKeys(const Lines& lines, qsizetype from, qsizetype to, QSet<QByteArray>& seen, KeyValueText::Pairs& keys)
{
    lines.forEachKey(from, to, [&](const LineView& line) {
        QByteArray folded = foldedName(line.name);
        if (!seen.contains(folded)) {
            seen.insert(std::move(folded));
            keys.append({QString::fromUtf8(line.name), decodeValue(lines.value(line))});
        }
        return true;
    });
}

// Every section of the text, headers naming the same section (in any case) making one
// section at its first place: appends each section's name to sections when it first appears,
// then calls body(index, from, to) for the key lines of each of its headers.
template <typename Body>
void forEachSection(const Lines& lines, QList<KeyValueText::Section>& sections, Body&& body)
{
    QHash<QByteArray, qsizetype> indexOf;
    lines.forEachHeader([&](const LineView& header, qsizetype bodyEnd) {
        if (header.kind != LineView::Section)
            return true;
        QByteArray folded = foldedName(header.name);
        qsizetype index = indexOf.value(folded, -1);
        if (index < 0) {
            index = sections.size();
            indexOf.insert(std::move(folded), index);
            sections.append({QString::fromUtf8(header.name), {}});
        }
        body(index, header.next, bodyEnd);
        return true;
    });
}

// The notices that reading left for the program to show.
struct Notices {
    std::mutex lock;
    QStringList pending;
};

Notices& notices()
{
    static Notices instance;
    return instance;
}

void leaveNotice(const QString& message)
{
    Notices& all = notices();
    const std::lock_guard<std::mutex> guard(all.lock);
    if (!all.pending.contains(message))
        all.pending << message;
}

// A key/value file as reading and updating find it.
struct StoredFile {
    QByteArray bytes;
    KeyValueText text;
    bool exists = false;
    std::optional<QString> refusal; // why the file is to be left as it is
    bool tooLarge = false;
};

StoredFile loadFile(const QString& path)
{
    RegularFile file(path);
    StoredFile stored;
    try {
        if (const std::optional<QByteArray> bytes = file.isOpen() ? file.readAll(kMaxKeyValueFileBytes) : std::nullopt) {
            stored.bytes = *bytes;
            stored.text = KeyValueText(stored.bytes);
            stored.exists = true;
            return stored;
        }
    } catch (const std::bad_alloc&) {
        StoredFile unread;
        unread.refusal = QStringLiteral("there is not enough memory to read the file");
        return unread;
    }
    switch (file.problem()) {
    case FileProblem::None:
    case FileProblem::Missing:
    case FileProblem::NameNotUtf8:
        break; // nothing stored yet: writing creates the file
    case FileProblem::Folder:
        stored.refusal = QStringLiteral("it is a folder");
        break;
    case FileProblem::NotRegular:
        stored.refusal = QStringLiteral("it is not a regular file");
        break;
    case FileProblem::TooLarge:
        stored.refusal = QStringLiteral("the file is larger than 16 MB; Lumatrim does not read or change it");
        stored.tooLarge = true;
        break;
    case FileProblem::NoPermission:
    case FileProblem::ReadFailed:
        stored.refusal = QStringLiteral("the file cannot be read (%1), so it is left as it is").arg(file.systemReason());
        break;
    }
    return stored;
}

} // namespace

FileWriteError::FileWriteError(const QString& path, const QString& reason)
    : std::runtime_error(QStringLiteral("Unable to write to %1: %2").arg(path, reason).toStdString())
    , path_(path)
{
}

QStringList takeFileNotices()
{
    Notices& all = notices();
    const std::lock_guard<std::mutex> guard(all.lock);
    return std::exchange(all.pending, {});
}

QString valueOf(const QList<QPair<QString, QString>>& keys, const QString& key, const QString& def)
{
    for (const auto& [name, value] : keys) {
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return value;
    }
    return def;
}

std::optional<int32_t> parseStoredInteger(const QString& text)
{
    auto parseHex = [](QStringView digits) -> std::optional<int32_t> {
        if (digits.isEmpty() || digits.size() > 8)
            return std::nullopt;
        uint32_t value = 0;
        for (QChar c : digits) {
            const int d = QChar(c).isDigit() ? c.unicode() - '0'
                : (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ? c.unicode() - 'a' + 10
                : (c >= QLatin1Char('A') && c <= QLatin1Char('F')) ? c.unicode() - 'A' + 10
                                                                    : -1;
            if (d < 0 || c.unicode() > 127)
                return std::nullopt;
            value = value * 16 + uint32_t(d);
        }
        return int32_t(value);
    };
    if (text.size() > 2 && (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X"))))
        return parseHex(QStringView(text).mid(2));
    if (text.startsWith(QLatin1Char('$')))
        return parseHex(QStringView(text).mid(1));

    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > int64_t(INT32_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return int32_t(value);
}

KeyValueText::KeyValueText(const QByteArray& content)
{
    if (content.startsWith(kByteOrderMark)) {
        byteOrderMark_ = kByteOrderMark.toByteArray();
        content_ = content.sliced(kByteOrderMark.size());
    } else {
        content_ = content;
    }
}

void KeyValueText::setByteOrderMark(bool on)
{
    byteOrderMark_ = on ? kByteOrderMark.toByteArray() : QByteArray();
}

std::optional<QString> KeyValueText::value(const QString& section, const QString& key) const
{
    const Lines lines(content_);
    if (const std::optional<LineView> found = findKey(lines, section, key))
        return decodeValue(lines.value(*found));
    return std::nullopt;
}

KeyValueText::Pairs KeyValueText::section(const QString& section) const
{
    const Lines lines(content_);
    const Name wanted(section);
    Pairs pairs;
    QSet<QByteArray> seen;
    lines.forEachHeader([&](const LineView& header, qsizetype bodyEnd) {
        if (header.kind == LineView::Section && wanted.matches(header.name))
            collectKeys(lines, header.next, bodyEnd, seen, pairs);
        return true;
    });
    return pairs;
}

QStringList KeyValueText::sections() const
{
    QStringList names;
    Lines(content_).forEachHeader([&](const LineView& header, qsizetype) {
        if (header.kind == LineView::Section)
            names << QString::fromUtf8(header.name);
        return true;
    });
    return names;
}

QList<KeyValueText::Section> KeyValueText::allSections() const
{
    const Lines lines(content_);
    QList<Section> result;
    std::vector<QSet<QByteArray>> seenKeys;
    forEachSection(lines, result, [&](qsizetype index, qsizetype from, qsizetype to) {
        seenKeys.resize(size_t(result.size()));
        collectKeys(lines, from, to, seenKeys[size_t(index)], result[index].keys);
    });
    return result;
}

QList<KeyValueText::Section> KeyValueText::allSections(const QStringList& keys) const
{
    std::vector<QByteArray> wanted;
    for (const QString& key : keys)
        wanted.push_back(foldedName(key.toUtf8()));
    const Lines lines(content_);
    QList<Section> result;
    std::vector<std::vector<bool>> found; // per section: which of the wanted keys it has
    forEachSection(lines, result, [&](qsizetype index, qsizetype from, qsizetype to) {
        found.resize(size_t(result.size()), std::vector<bool>(wanted.size(), false));
        lines.forEachKey(from, to, [&](const LineView& line) {
            for (size_t k = 0; k < wanted.size(); ++k) {
                if (!found[size_t(index)][k] && foldsTo(line.name, wanted[k])) {
                    found[size_t(index)][k] = true;
                    result[index].keys.append({QString::fromUtf8(line.name), decodeValue(lines.value(line))});
                    break;
                }
            }
            return true;
        });
    });
    return result;
}

KeyValueText KeyValueText::fromSections(const QList<Section>& sections)
{
    QByteArray bytes;
    for (const Section& section : sections) {
        bytes += '[' + encodeValue(section.name) + "]\n";
        for (const auto& [key, value] : section.keys)
            bytes += encodeValue(key) + '=' + encodeValue(value) + '\n';
    }
    return KeyValueText(bytes);
}

void KeyValueText::setValue(const QString& section, const QString& key, const QString& value)
{
    const QByteArray encoded = encodeValue(value);
    const Lines lines(content_);
    if (const std::optional<LineView> found = findKey(lines, section, key)) {
        // The key stays as the file spells it; only its value changes.
        content_.replace(found->valueStart, found->end - found->valueStart, encoded);
        return;
    }
    const QByteArray ending = lineEnding(content_);
    QByteArray added;
    qsizetype at = content_.size();
    if (const std::optional<LineView> last = lastLineOf(lines, section)) {
        at = last->next;
        if (last->end == last->next)
            added += ending;
    } else {
        if (!content_.isEmpty() && !content_.endsWith('\n'))
            added += ending;
        added += '[' + section.toUtf8() + ']' + ending;
    }
    added += key.toUtf8() + '=' + encoded + ending;
    content_.insert(at, added);
}

bool KeyValueText::eraseSection(const QString& section)
{
    const Lines lines(content_);
    const Name wanted(section);
    QByteArray kept;
    qsizetype keptFrom = 0;
    bool erased = false;
    lines.forEachHeader([&](const LineView& header, qsizetype bodyEnd) {
        if (header.kind == LineView::Section && wanted.matches(header.name)) {
            kept += QByteArrayView(content_).sliced(keptFrom, header.start - keptFrom);
            keptFrom = bodyEnd;
            erased = true;
        }
        return true;
    });
    if (!erased)
        return false;
    kept += QByteArrayView(content_).sliced(keptFrom);
    content_ = kept;
    return true;
}

QByteArray KeyValueText::toBytes() const
{
    return byteOrderMark_.isEmpty() ? content_ : byteOrderMark_ + content_;
}

KeyValueFile::KeyValueFile(QString path) : path_(std::move(path)) {}

KeyValueText KeyValueFile::read() const
{
    StoredFile stored = loadFile(path_);
    if (stored.tooLarge)
        leaveNotice(QString::fromUtf8(FileWriteError(path_, *stored.refusal).what()));
    return std::move(stored.text);
}

void KeyValueFile::replaceFile(const QByteArray& bytes) const
{
    // The new file would take the old one's place even where the old one is read-only.
    if (const QFileInfo info(path_); info.exists() && !info.isWritable())
        throw FileWriteError(path_, QStringLiteral("Permission denied"));
    if (const std::optional<QString> reason = ::replaceFile(path_, bytes))
        throw FileWriteError(path_, *reason);
}

QString KeyValueFile::readString(const QString& section, const QString& key, const QString& def) const
{
    return read().value(section, key).value_or(def);
}

int32_t KeyValueFile::readInteger(const QString& section, const QString& key, int32_t def) const
{
    return parseStoredInteger(readString(section, key, QString())).value_or(def);
}

bool KeyValueFile::readBool(const QString& section, const QString& key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

KeyValueFile::Pairs KeyValueFile::readSection(const QString& section) const
{
    return read().section(section);
}

QStringList KeyValueFile::sections() const
{
    return read().sections();
}

QList<KeyValueText::Section> KeyValueFile::readAllSections() const
{
    return read().allSections();
}

QList<KeyValueText::Section> KeyValueFile::readAllSections(const QStringList& keys) const
{
    return read().allSections(keys);
}

void KeyValueFile::writeAllSections(const QList<KeyValueText::Section>& sections)
{
    update([&](KeyValueText& text) {
        const bool mark = text.hasByteOrderMark();
        text = KeyValueText::fromSections(sections);
        text.setByteOrderMark(mark);
    });
}

void KeyValueFile::writeString(const QString& section, const QString& key, const QString& value)
{
    writeValues(section, {{key, value}});
}

void KeyValueFile::writeInteger(const QString& section, const QString& key, int32_t value)
{
    writeString(section, key, QString::number(value));
}

void KeyValueFile::writeBool(const QString& section, const QString& key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void KeyValueFile::writeValues(const QString& section, const Pairs& values)
{
    update([&](KeyValueText& text) {
        for (const auto& [key, value] : values)
            text.setValue(section, key, value);
    });
}

void KeyValueFile::update(const std::function<void(KeyValueText&)>& edit)
{
    StoredFile stored = loadFile(path_);
    if (stored.refusal)
        throw FileWriteError(path_, *stored.refusal);
    edit(stored.text);
    const QByteArray bytes = stored.text.toBytes();
    if (!stored.exists || bytes != stored.bytes)
        replaceFile(bytes);
}

void KeyValueFile::eraseSection(const QString& section)
{
    update([&](KeyValueText& text) { text.eraseSection(section); });
}
