#include "model/KeyValueFile.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <random>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString fileWith(const QString& name, const QByteArray& content)
{
    const QString path = freshFolder(QStringLiteral("kv")) + QLatin1Char('/') + name;
    writeFileBytes(path, content);
    return path;
}

TEST(ParseStoredInteger, AcceptsDecimalAndBothHexForms)
{
    const struct {
        const char* text;
        std::optional<int32_t> value;
    } cases[] = {
        {"600", 600},         {"-12", -12},        {"+7", 7},           {"0x258", 600},
        {"0X258", 600},       {"$258", 600},       {"$FFFFFFFF", -1},   {"$0080FF00", 0x0080FF00},
        {"abc", std::nullopt}, {"", std::nullopt}, {"0x", std::nullopt}, {"$", std::nullopt},
        {"12a", std::nullopt}, {"1 2", std::nullopt}, {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN}, {"2147483648", std::nullopt}, {"$123456789", std::nullopt},
        {"0x1g", std::nullopt}, {"-", std::nullopt}, {"0", 0}, {"00012", 12},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseStoredInteger(QString::fromUtf8(c.text)), c.value) << c.text;
}

TEST(KeyValueFile, ReadsValuesByTheFileRules)
{
    const QString path = fileWith("read.dat",
        "[photo]\r\n"
        "size = 0x258 \r\n"
        "Name=  \"  quoted  \"  \r\n"
        "single='x'\n"
        "mixed=\"x'\n"
        "empty=\n"
        "eq=a=b\n"
        "noequals line\n"
        "[OTHER]\n"
        "SIZE=1\n"
        "[PHOTO]\n"
        "LATER=2\n"
        "SIZE=999\n");
    const KeyValueFile file(path);
    EXPECT_EQ(file.readInteger("PHOTO", "SIZE", 0), 600);
    EXPECT_EQ(file.readString("Photo", "NAME", "d"), "  quoted  ");
    EXPECT_EQ(file.readString("PHOTO", "single", "d"), "x");
    EXPECT_EQ(file.readString("PHOTO", "mixed", "d"), "\"x'");
    EXPECT_EQ(file.readString("PHOTO", "empty", "d"), "");
    EXPECT_EQ(file.readString("PHOTO", "eq", "d"), "a=b");
    EXPECT_EQ(file.readString("PHOTO", "noequals line", "d"), "d");
    EXPECT_EQ(file.readInteger("OTHER", "size", 0), 1);
    EXPECT_EQ(file.readInteger("PHOTO", "LATER", 0), 2) << "a repeated section continues the first";
    EXPECT_EQ(file.readString("MISSING", "SIZE", "d"), "d");
    EXPECT_EQ(file.readBool("PHOTO", "SIZE", false), true);
    EXPECT_EQ(file.sections(), QStringList({"photo", "OTHER", "PHOTO"}));
}

TEST(KeyValueFile, CutsValuesAt2047Characters)
{
    const QString path = fileWith("long.dat", "[S]\nK=" + QByteArray(10 * 1024 * 1024, 'v') + "\nN=5\n");
    const KeyValueFile file(path);
    EXPECT_EQ(file.readString("S", "K", "").size(), 2047);
    EXPECT_EQ(file.readInteger("S", "N", 0), 5);
}

TEST(KeyValueFile, BadInputGivesDefaultsAndNeverCrashes)
{
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(char((i * 131 + 7) % 256));
    const struct {
        const char* name;
        QByteArray content;
    } cases[] = {
        {"junk", junk},
        {"empty", ""},
        {"unclosed", "[PHOTO\nSIZE=5\n"},
        {"only-brackets", "[]\n=\n==\n[\n]\n"},
        {"nul", QByteArray("[PHOTO]\nSIZE=\0\n", 15)},
    };
    for (const auto& c : cases) {
        const KeyValueFile file(fileWith(c.name, c.content));
        EXPECT_EQ(file.readInteger("PHOTO", "SIZE", 600), 600) << c.name;
    }
    // A folder in place of the file reads as a missing file.
    const QString folder = freshFolder("kv-folder");
    EXPECT_EQ(KeyValueFile(folder).readString("PHOTO", "SIZE", "d"), "d");
    // Reading a missing file gives the defaults and never creates it.
    const QString missing = freshFolder("kv-none") + "/never.dat";
    EXPECT_EQ(KeyValueFile(missing).readInteger("PHOTO", "SIZE", 600), 600);
    EXPECT_TRUE(KeyValueFile(missing).sections().isEmpty());
    EXPECT_FALSE(QFile::exists(missing));
}

TEST(KeyValueFile, WritesInPlaceAppendsAndKeepsEverythingElse)
{
    const QByteArray original = "; comment\r\n[PHOTO]\r\nSIZE=600\r\nBACKGROUND=clRed\r\n\r\n[RECENT]\r\nPHOTO1=/a.jpg\r\n";
    const QString path = fileWith("write.dat", original);
    KeyValueFile file(path);
    file.writeInteger("photo", "size", 800);
    file.writeString("PHOTO", "WATERMARK", "Me");
    file.writeString("NEW", "K", "v");
    file.writeBool("RECENT", "FLAG", true);
    EXPECT_EQ(readFileBytes(path),
              "; comment\r\n[PHOTO]\r\nSIZE=800\r\nBACKGROUND=clRed\r\nWATERMARK=Me\r\n\r\n[RECENT]\r\nPHOTO1=/a.jpg\r\n"
              "FLAG=1\r\n[NEW]\r\nK=v\r\n");
}

TEST(KeyValueFile, CreatesTheFileAndKeepsValuesOnOneLine)
{
    const QString path = freshFolder("kv-new") + "/created.dat";
    KeyValueFile file(path);
    file.writeString("A", "TEXT", "one\ntwo\r\n[B]");
    file.writeInteger("A", "N", -3);
    EXPECT_EQ(readFileBytes(path), "[A]\nTEXT=one two  [B]\nN=-3\n");
    EXPECT_EQ(file.sections(), QStringList({"A"}));
}

TEST(KeyValueFile, AppendsAfterALastLineWithoutLineEnd)
{
    const QString path = fileWith("noeol.dat", "[A]\nX=1");
    KeyValueFile(path).writeString("A", "Y", "2");
    KeyValueFile(path).writeString("B", "Z", "3");
    EXPECT_EQ(readFileBytes(path), "[A]\nX=1\nY=2\n[B]\nZ=3\n");
}

TEST(KeyValueFile, EraseSectionRemovesEveryLineOfIt)
{
    const QString path = fileWith("erase.dat", "[A]\nX=1\n[B]\nY=2\n\n[C]\nZ=3\n");
    KeyValueFile file(path);
    file.eraseSection("b");
    EXPECT_EQ(readFileBytes(path), "[A]\nX=1\n[C]\nZ=3\n");
    EXPECT_EQ(file.readSection("C").size(), 1);
}

TEST(KeyValueFile, NothingIsCachedBetweenOperations)
{
    const QString path = fileWith("live.dat", "[A]\nX=1\n");
    const KeyValueFile reader(path);
    EXPECT_EQ(reader.readInteger("A", "X", 0), 1);
    writeFileBytes(path, "[A]\nX=2\n");
    EXPECT_EQ(reader.readInteger("A", "X", 0), 2);
}

TEST(KeyValueFile, FailedWriteReportsThePathAndLeavesTheFileIntact)
{
    // A folder in place of the file.
    const QString folder = freshFolder("kv-isdir");
    try {
        KeyValueFile(folder).writeString("A", "X", "1");
        ADD_FAILURE() << "writing over a folder succeeded";
    } catch (const FileWriteError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), "Unable to write to " + folder + ": it is a folder");
    }
}

TEST(KeyValueFile, WriteIntoReadOnlyFolderFailsAndKeepsOldFile)
{
    // Runs as a user the permissions apply to, even when the tests run as root.
    char pattern[] = "/tmp/lumatrim-ro-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const QString dir = QString::fromUtf8(pattern);
    const QString path = dir + "/lumatrim.dat";
    writeFileBytes(path, "[PHOTO]\nSIZE=600\n");
    chmod(pattern, 0555);
    chmod(path.toUtf8().constData(), 0444);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        try {
            KeyValueFile(path).writeInteger("PHOTO", "SIZE", 700);
            _exit(1);
        } catch (const FileWriteError& e) {
            _exit(QString::fromUtf8(e.what()) == "Unable to write to " + path + ": Permission denied" ? 0 : 2);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the write succeeded, 2: wrong message, 3: could not drop privileges";
    EXPECT_EQ(readFileBytes(path), "[PHOTO]\nSIZE=600\n");
    chmod(pattern, 0755);
    QDir(dir).removeRecursively();
}

} // namespace

namespace {

// The reading rules applied the plain way: every line split off, one after another.
class PlainReading {
public:
    explicit PlainReading(QByteArray text)
    {
        if (text.startsWith("\xEF\xBB\xBF"))
            text.remove(0, 3);
        const QList<QByteArray> parts = text.split('\n');
        for (qsizetype i = 0; i < parts.size(); ++i) {
            QByteArray raw = parts[i];
            if (i + 1 < parts.size() && raw.endsWith('\r'))
                raw.chop(1);
            const QByteArray trimmed = trim(raw);
            Line line;
            if (trimmed.startsWith('[')) {
                const qsizetype close = trimmed.indexOf(']');
                line.kind = close < 0 ? Line::Broken : Line::Section;
                line.name = close < 0 ? QByteArray() : trim(trimmed.mid(1, close - 1));
            } else if (const qsizetype eq = raw.indexOf('='); eq >= 0) {
                line.kind = Line::Key;
                line.name = trim(raw.left(eq));
                line.value = raw.mid(eq + 1);
            }
            lines_.push_back(line);
        }
    }

    std::optional<QString> value(const QString& section, const QString& key) const
    {
        bool inSection = false;
        for (const Line& line : lines_) {
            if (line.kind == Line::Section || line.kind == Line::Broken)
                inSection = line.kind == Line::Section && same(line.name, section);
            else if (inSection && line.kind == Line::Key && same(line.name, key))
                return decode(line.value);
        }
        return std::nullopt;
    }

    KeyValueText::Pairs section(const QString& section) const
    {
        KeyValueText::Pairs pairs;
        QSet<QString> seen;
        bool inSection = false;
        for (const Line& line : lines_) {
            if (line.kind == Line::Section || line.kind == Line::Broken)
                inSection = line.kind == Line::Section && same(line.name, section);
            else if (inSection && line.kind == Line::Key) {
                const QString key = QString::fromUtf8(line.name);
                if (!seen.contains(key.toCaseFolded())) {
                    seen.insert(key.toCaseFolded());
                    pairs.append({key, decode(line.value)});
                }
            }
        }
        return pairs;
    }

    QStringList sections() const
    {
        QStringList names;
        for (const Line& line : lines_) {
            if (line.kind == Line::Section)
                names << QString::fromUtf8(line.name);
        }
        return names;
    }

private:
    struct Line {
        enum Kind { Other, Section, Broken, Key } kind = Other;
        QByteArray name;
        QByteArray value;
    };

    static QByteArray trim(QByteArray text)
    {
        auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
        while (!text.isEmpty() && blank(text.front()))
            text.remove(0, 1);
        while (!text.isEmpty() && blank(text.back()))
            text.chop(1);
        return text;
    }
    static bool same(const QByteArray& stored, const QString& wanted)
    {
        return QString::fromUtf8(stored).compare(wanted, Qt::CaseInsensitive) == 0;
    }
    static QString decode(const QByteArray& raw)
    {
        QByteArray text = trim(raw);
        if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
            text = text.mid(1, text.size() - 2);
        return QString::fromUtf8(text).left(2047);
    }

    std::vector<Line> lines_;
};

TEST(KeyValueText, LookupsAgreeWithAPlainLineByLineReading)
{
    // Pieces of lines that meet the rules' corners: headers with blanks and carriage returns
    // around them, broken headers, repeated keys and sections in other cases, non-ASCII
    // names (the Kelvin sign folds to "k"), quotes, a byte-order mark in and out of place.
    const char* const pieces[] = {
        "[A]", " [a] ", "\t[A]x", "[B", "[ B ]", "[]", "[PHOTO]", "K=1", "k = 2 ", "K=\"q\"", "X=='", "=", "K",
        "\xe2\x84\xaa=kelvin", "[\xc3\x89t\xc3\xa9]", "\xc3\xa9T\xc3\xa9=v", "\r", "\n", "\r\n", "\n",
        "\n", " ", "\t", "x[A]", "\xEF\xBB\xBF", "\xEF\xBB\xBF[A]", ";c", "K=a=b", "\r[A]", "[A]]", "[[A]",
    };
    const QString sectionNames[] = {"A", "a", "B", "PHOTO", "", "\u00e9t\u00e9", "[A", "x"};
    const QString keyNames[] = {"K", "k", "X", "", "\u00c9T\u00c9", "K=a"};
    std::mt19937 random(2718);
    for (int round = 0; round < 3000; ++round) {
        QByteArray text;
        const int count = int(random() % 24);
        for (int i = 0; i < count; ++i)
            text += pieces[random() % std::size(pieces)];
        const KeyValueText fast(text);
        const PlainReading plain(text);
        ASSERT_EQ(fast.sections(), plain.sections()) << text.toStdString();
        ASSERT_EQ(fast.toBytes(), text);
        // Reading only some keys of every section leaves out the others and nothing else.
        QList<KeyValueText::Section> some = fast.allSections();
        for (KeyValueText::Section& section : some)
            section.keys.removeIf([](const auto& pair) { return pair.first.compare("k", Qt::CaseInsensitive) != 0 && pair.first != "X"; });
        ASSERT_EQ(fast.allSections({"K", "X"}), some) << text.toStdString();
        for (const QString& section : sectionNames) {
            ASSERT_EQ(fast.section(section), plain.section(section)) << text.toStdString() << " [" << section.toStdString() << "]";
            for (const QString& key : keyNames)
                ASSERT_EQ(fast.value(section, key), plain.value(section, key))
                    << text.toStdString() << " [" << section.toStdString() << "] " << key.toStdString();
        }
    }
}

TEST(KeyValueFile, AByteOrderMarkIsSkippedWhenReadingAndKeptWhenWriting)
{
    const QByteArray mark = "\xEF\xBB\xBF";
    const struct {
        const char* name;
        QByteArray content;
        std::function<void(KeyValueFile&)> write;
        int size;          // SIZE of [PHOTO] before the write
        QByteArray after;
    } cases[] = {
        {"one value changed", mark + "[PHOTO]\r\nSIZE=200\r\n", [](KeyValueFile& f) { f.writeInteger("PHOTO", "SIZE", 300); },
         200, mark + "[PHOTO]\r\nSIZE=300\r\n"},
        {"key added to the section", mark + "[PHOTO]\nSIZE=200", [](KeyValueFile& f) { f.writeBool("PHOTO", "KEEP", false); },
         200, mark + "[PHOTO]\nSIZE=200\nKEEP=0\n"},
        {"whole store rewritten", mark + "[T1]\nNAME=a\n",
         [](KeyValueFile& f) { f.writeAllSections({{"TEMPLATE0", {{"NAME", "b"}}}}); }, 600,
         mark + "[TEMPLATE0]\nNAME=b\n"},
        {"mark alone", mark, [](KeyValueFile& f) { f.writeString("PHOTO", "SIZE", "5"); }, 600,
         mark + "[PHOTO]\nSIZE=5\n"},
        {"a second mark is text", mark + mark + "[PHOTO]\nSIZE=200\n",
         [](KeyValueFile& f) { f.writeString("PHOTO", "SIZE", "5"); }, 600,
         mark + mark + "[PHOTO]\nSIZE=200\n[PHOTO]\nSIZE=5\n"},
        {"no mark, none added", "[PHOTO]\nSIZE=200\n", [](KeyValueFile& f) { f.writeAllSections({{"A", {}}}); }, 200,
         "[A]\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = fileWith("mark.dat", c.content);
        KeyValueFile file(path);
        EXPECT_EQ(file.readInteger("photo", "size", 600), c.size);
        c.write(file);
        EXPECT_EQ(readFileBytes(path), c.after);
    }
}

// One line telling what a file that reading passes over gave: the value read, the notices
// left, and the write's error.
std::string passedOverOutcome(const QString& path)
{
    const KeyValueFile file(path);
    QString seen = file.readString("PHOTO", "SIZE", "default");
    for (int i = 0; i < 3; ++i)
        seen += QLatin1Char(' ') + QString::number(file.readInteger("PHOTO", "SIZE", 600));
    seen += QLatin1Char('|') + takeFileNotices().join(QLatin1Char('+'));
    try {
        KeyValueFile(path).writeString("PHOTO", "SIZE", "1");
        seen += "|written";
    } catch (const FileWriteError& e) {
        seen += QLatin1Char('|') + QString::fromUtf8(e.what());
    }
    return seen.toStdString();
}

TEST(KeyValueFile, FilesReadingPassesOverAreNeitherReadNorReplaced)
{
    const QString folder = freshFolder("kv-special");
    const QString fifo = folder + "/fifo.dat";
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    auto link = [&](const char* name, const QByteArray& target) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(name);
        EXPECT_EQ(symlink(target.constData(), QFile::encodeName(path).constData()), 0);
        return path;
    };
    auto sized = [&](const char* name, qint64 size, const QByteArray& start) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(name);
        writeFileBytes(path, start);
        EXPECT_TRUE(QFile::resize(path, size)); // sparse: no disk space taken
        return path;
    };
    const QString cap = QStringLiteral("the file is larger than 16 MB; Lumatrim does not read or change it");
    const struct {
        const char* name;
        QString path;
        QString reason;
        bool notice;
    } cases[] = {
        {"FIFO", fifo, "it is not a regular file", false},
        {"link to a FIFO", link("fifo-link.dat", QFile::encodeName(fifo)), "it is not a regular file", false},
        {"link to /dev/zero", link("zero.dat", "/dev/zero"), "it is not a regular file", false},
        {"link to /dev/urandom", link("random.dat", "/dev/urandom"), "it is not a regular file", false},
        {"folder", freshFolder("kv-special-folder"), "it is a folder", false},
        {"2 GB sparse file", sized("sparse.dat", qint64(2) << 30, "[PHOTO]\nSIZE=7\n"), cap, true},
        {"one byte over the cap", sized("over.dat", kMaxKeyValueFileBytes + 1, "[PHOTO]\nSIZE=7\n"), cap, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QFileInfo before(c.path);
        const ChildOutcome outcome = runInChild(
            [&] {
                std::fputs(passedOverOutcome(c.path).c_str(), stdout);
                return 0;
            },
            60, rlim_t(1) << 30);
        ASSERT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
        const QString error = "Unable to write to " + c.path + ": " + c.reason;
        EXPECT_EQ(QString::fromUtf8(outcome.output),
                  "default 600 600 600|" + (c.notice ? error : QString()) + QLatin1Char('|') + error);
        const QFileInfo after(c.path);
        EXPECT_EQ(after.size(), before.size());
        EXPECT_EQ(after.isSymLink(), before.isSymLink());
        EXPECT_EQ(after.lastModified(), before.lastModified());
    }
    // Just at the cap the file is read, to its last line.
    const QString full = folder + "/full.dat";
    QByteArray bytes = "[PHOTO]\nSIZE=5\n";
    const QByteArray last = "[END]\nK=last\n";
    bytes += QByteArray(kMaxKeyValueFileBytes - bytes.size() - last.size(), '\n') + last;
    writeFileBytes(full, bytes);
    EXPECT_EQ(KeyValueFile(full).readString("END", "K", "missed"), "last");
    EXPECT_TRUE(takeFileNotices().isEmpty());
}

TEST(KeyValueFile, AFileThatCannotBeReadIsNotReplaced)
{
    // Writing it would put the few keys written in place of everything the file holds. The
    // folder is open to everyone, so only the file's own permission stands in the way.
    char pattern[] = "/tmp/lumatrim-unreadable-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    chmod(pattern, 0777);
    const QString path = QString::fromUtf8(pattern) + "/lumatrim.dat";
    const QByteArray content = "[PHOTO]\nSIZE=700\n[RECENT]\nPHOTO1=/a.jpg\n";
    writeFileBytes(path, content);
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0222), 0);
    const ChildOutcome outcome = runInChild(
        [&] {
            // The permissions apply to this user even when the tests run as root.
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                return 3;
            try {
                KeyValueFile(path).writeInteger("PHOTO", "SIZE", 800);
                return 1;
            } catch (const FileWriteError& e) {
                std::fputs(e.what(), stdout);
                return 0;
            }
        },
        60);
    chmod(QFile::encodeName(path).constData(), 0600);
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
    EXPECT_EQ(QString::fromUtf8(outcome.output),
              "Unable to write to " + path + ": the file cannot be read (Permission denied), so it is left as it is");
    EXPECT_EQ(readFileBytes(path), content);
    QDir(QString::fromUtf8(pattern)).removeRecursively();
}

TEST(KeyValueFile, WritingWhatIsAlreadyThereLeavesTheFileAlone)
{
    const QString path = fileWith("same.dat", "[PHOTO]\nSIZE=600\n");
    struct stat before {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &before), 0);
    KeyValueFile(path).writeValues("photo", {{"SIZE", "600"}});
    struct stat after {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was replaced";
    KeyValueFile(path).writeValues("photo", {{"SIZE", "601"}});
    EXPECT_EQ(readFileBytes(path), "[PHOTO]\nSIZE=601\n");
}

TEST(KeyValueText, AppendingAfterALastLineEndingInACarriageReturnStartsANewLine)
{
    KeyValueText text("[A]\nX=1\r");
    text.setValue("B", "K", "v");
    EXPECT_EQ(text.toBytes(), "[A]\nX=1\r\n[B]\nK=v\n");
    EXPECT_EQ(KeyValueText(text.toBytes()).value("b", "k"), "v");
    EXPECT_EQ(KeyValueText(text.toBytes()).value("A", "X"), "1");
}

} // namespace
