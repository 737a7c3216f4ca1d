#include "model/KeyValueFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

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
    EXPECT_FALSE(QFile::exists(freshFolder("kv-none") + "/never.dat"));
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
        EXPECT_EQ(QString::fromUtf8(e.what()), "Unable to write to " + folder);
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
            _exit(QString::fromUtf8(e.what()) == "Unable to write to " + path ? 0 : 2);
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

TEST(KeyValueText, AppendingAfterALastLineEndingInACarriageReturnStartsANewLine)
{
    KeyValueText text("[A]\nX=1\r");
    text.setValue("B", "K", "v");
    EXPECT_EQ(text.toBytes(), "[A]\nX=1\r\n[B]\nK=v\n");
    EXPECT_EQ(KeyValueText(text.toBytes()).value("b", "k"), "v");
    EXPECT_EQ(KeyValueText(text.toBytes()).value("A", "X"), "1");
}

} // namespace
