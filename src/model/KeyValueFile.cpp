#include "KeyValueFile.h"

#include "formats/FileReplacement.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <utility>
#include <vector>

namespace {

constexpr int kMaxValueLength = 2047;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimBlanks(QByteArray text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (isBlank(text[begin]) || text[begin] == '\r'))
        ++begin;
    while (end > begin && (isBlank(text[end - 1]) || text[end - 1] == '\r'))
        --end;
    return text.mid(begin, end - begin);
}

bool sameName(const QByteArray& stored, const QString& wanted)
{
    return QString::fromUtf8(stored).compare(wanted, Qt::CaseInsensitive) == 0;
}

} // namespace

// One line of the file, split into what the lookup needs. The raw bytes are kept so that
// lines nobody changes are written back exactly as they were.
struct KeyValueText::Line {
    QByteArray raw;       // without the line end
    QByteArray ending;    // "\n", "\r\n" or empty for a last line without one
    enum Kind { Other, Section, BrokenSection, Key } kind = Other;
    QByteArray name;      // section name or key
    QByteArray value;     // raw text after the first "="
};

namespace {

using Line = KeyValueText::Line;

std::vector<Line> splitLines(const QByteArray& content)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        Line line;
        if (end < 0) {
            line.raw = content.mid(start);
            start = content.size();
        } else {
            line.raw = content.mid(start, end - start);
            line.ending = "\n";
            start = end + 1;
        }
        // A carriage return belongs to the line end only before a line feed; a last line that
        // ends in a lone carriage return has no line end yet.
        if (!line.ending.isEmpty() && line.raw.endsWith('\r')) {
            line.raw.chop(1);
            line.ending.prepend('\r');
        }
        const QByteArray trimmed = trimBlanks(line.raw);
        if (trimmed.startsWith('[')) {
            const qsizetype close = trimmed.indexOf(']');
            if (close < 0) {
                // No closing bracket: a section no name can match, so the keys below it
                // are not mistaken for keys of the section above.
                line.kind = Line::BrokenSection;
            } else {
                line.kind = Line::Section;
                line.name = trimBlanks(trimmed.mid(1, close - 1));
            }
        } else if (const qsizetype eq = line.raw.indexOf('='); eq >= 0) {
            line.kind = Line::Key;
            line.name = trimBlanks(line.raw.left(eq));
            line.value = line.raw.mid(eq + 1);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

QString decodeValue(const QByteArray& raw)
{
    QByteArray text = trimBlanks(raw);
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
        text = text.mid(1, text.size() - 2);
    QString value = QString::fromUtf8(text);
    if (value.size() > kMaxValueLength)
        value.truncate(kMaxValueLength);
    return value;
}

// Index of the first key line named key in any section named section, or -1.
qsizetype findKey(const std::vector<Line>& lines, const QString& section, const QString& key)
{
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.kind == Line::Section)
            inSection = sameName(line.name, section);
        else if (line.kind == Line::BrokenSection)
            inSection = false;
        else if (inSection && line.kind == Line::Key && sameName(line.name, key))
            return qsizetype(i);
    }
    return -1;
}

// Index just after the last key of the first section named section (its header when it has
// no keys), or -1 when no such section exists.
qsizetype sectionEnd(const std::vector<Line>& lines, const QString& section)
{
    qsizetype header = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == Line::Section && sameName(lines[i].name, section)) {
            header = qsizetype(i);
            break;
        }
    }
    if (header < 0)
        return -1;
    qsizetype last = header;
    for (size_t i = size_t(header) + 1; i < lines.size(); ++i) {
        if (lines[i].kind == Line::Section || lines[i].kind == Line::BrokenSection)
            break;
        if (lines[i].kind == Line::Key)
            last = qsizetype(i);
    }
    return last + 1;
}

QByteArray joinLines(const std::vector<Line>& lines)
{
    QByteArray out;
    for (const Line& line : lines)
        out += line.raw + line.ending;
    return out;
}

// The line end new lines get: the file's own when it has one, else "\n".
QByteArray lineEnding(const std::vector<Line>& lines)
{
    for (const Line& line : lines) {
        if (!line.ending.isEmpty())
            return line.ending;
    }
    return "\n";
}

// A value is one line: line breaks inside it would start new keys or sections.
QByteArray encodeValue(const QString& value)
{
    QByteArray bytes = value.toUtf8();
    bytes.replace('\r', ' ').replace('\n', ' ');
    return bytes;
}

Line makeKeyLine(const QString& key, const QString& value, const QByteArray& ending)
{
    Line line;
    line.kind = Line::Key;
    line.name = key.toUtf8();
    line.value = encodeValue(value);
    line.raw = line.name + '=' + line.value;
    line.ending = ending;
    return line;
}

void setValue(std::vector<Line>& lines, const QString& section, const QString& key, const QString& value)
{
    const QByteArray ending = lineEnding(lines);
    const qsizetype found = findKey(lines, section, key);
    if (found >= 0) {
        Line& line = lines[size_t(found)];
        // Keep the key as the file spells it.
        const qsizetype eq = line.raw.indexOf('=');
        line.value = encodeValue(value);
        line.raw = line.raw.left(eq + 1) + line.value;
        return;
    }
    qsizetype at = sectionEnd(lines, section);
    if (at < 0) {
        if (!lines.empty() && lines.back().ending.isEmpty())
            lines.back().ending = ending;
        Line header;
        header.kind = Line::Section;
        header.name = section.toUtf8();
        header.raw = '[' + header.name + ']';
        header.ending = ending;
        lines.push_back(header);
        at = qsizetype(lines.size());
    }
    if (at > 0 && lines[size_t(at - 1)].ending.isEmpty())
        lines[size_t(at - 1)].ending = ending;
    lines.insert(lines.begin() + at, makeKeyLine(key, value, ending));
}

} // namespace

FileWriteError::FileWriteError(const QString& path)
    : std::runtime_error(QStringLiteral("Unable to write to %1").arg(path).toStdString())
    , path_(path)
{
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

KeyValueText::KeyValueText(const QByteArray& content) : lines_(splitLines(content)) {}
KeyValueText::~KeyValueText() = default;
KeyValueText::KeyValueText(const KeyValueText&) = default;
KeyValueText& KeyValueText::operator=(const KeyValueText&) = default;

std::optional<QString> KeyValueText::value(const QString& section, const QString& key) const
{
    const qsizetype found = findKey(lines_, section, key);
    if (found < 0)
        return std::nullopt;
    return decodeValue(lines_[size_t(found)].value);
}

KeyValueText::Pairs KeyValueText::section(const QString& section) const
{
    Pairs pairs;
    QSet<QString> seen;
    bool inSection = false;
    for (const Line& line : lines_) {
        if (line.kind == Line::Section)
            inSection = sameName(line.name, section);
        else if (line.kind == Line::BrokenSection)
            inSection = false;
        else if (inSection && line.kind == Line::Key) {
            const QString key = QString::fromUtf8(line.name);
            if (!seen.contains(key.toCaseFolded())) {
                seen.insert(key.toCaseFolded());
                pairs.append({key, decodeValue(line.value)});
            }
        }
    }
    return pairs;
}

QStringList KeyValueText::sections() const
{
    QStringList names;
    for (const Line& line : lines_) {
        if (line.kind == Line::Section)
            names << QString::fromUtf8(line.name);
    }
    return names;
}

QList<KeyValueText::Section> KeyValueText::allSections() const
{
    QList<Section> result;
    std::vector<QSet<QString>> seenKeys;
    QHash<QString, qsizetype> indexOf;
    qsizetype current = -1;
    for (const Line& line : lines_) {
        if (line.kind == Line::Section) {
            const QString name = QString::fromUtf8(line.name);
            const QString folded = name.toCaseFolded();
            const auto found = indexOf.constFind(folded);
            if (found != indexOf.constEnd()) {
                current = *found;
            } else {
                current = result.size();
                indexOf.insert(folded, current);
                result.append({name, {}});
                seenKeys.emplace_back();
            }
        } else if (line.kind == Line::BrokenSection) {
            current = -1;
        } else if (current >= 0 && line.kind == Line::Key) {
            const QString key = QString::fromUtf8(line.name);
            QSet<QString>& seen = seenKeys[size_t(current)];
            if (!seen.contains(key.toCaseFolded())) {
                seen.insert(key.toCaseFolded());
                result[current].keys.append({key, decodeValue(line.value)});
            }
        }
    }
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
    ::setValue(lines_, section, key, value);
}

bool KeyValueText::eraseSection(const QString& section)
{
    std::vector<Line> kept;
    bool erasing = false;
    bool changed = false;
    for (Line& line : lines_) {
        if (line.kind == Line::Section || line.kind == Line::BrokenSection)
            erasing = line.kind == Line::Section && sameName(line.name, section);
        if (erasing)
            changed = true;
        else
            kept.push_back(std::move(line));
    }
    lines_ = std::move(kept);
    return changed;
}

QByteArray KeyValueText::toBytes() const
{
    return joinLines(lines_);
}

KeyValueFile::KeyValueFile(QString path) : path_(std::move(path)) {}

KeyValueText KeyValueFile::read() const
{
    QFile file(path_);
    if (QFileInfo(path_).isDir() || !file.open(QIODevice::ReadOnly))
        return KeyValueText();
    return KeyValueText(file.readAll());
}

void KeyValueFile::replaceFile(const KeyValueText& content) const
{
    const QFileInfo info(path_);
    if (info.isDir() || (info.exists() && !info.isWritable()))
        throw FileWriteError(path_);
    const QByteArray bytes = content.toBytes();
    if (::replaceFile(path_, bytes))
        throw FileWriteError(path_);
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

void KeyValueFile::writeAllSections(const QList<KeyValueText::Section>& sections)
{
    replaceFile(KeyValueText::fromSections(sections));
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
    KeyValueText text = read();
    edit(text);
    replaceFile(text);
}

void KeyValueFile::eraseSection(const QString& section)
{
    KeyValueText text = read();
    if (text.eraseSection(section))
        replaceFile(text);
}
