#include "model/KeyValueFile.h"
#include "model/ProgramFolder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {

TEST(ChooseFolders, DataGoesWhereItCanBeWrittenAndMasksComeFromBoth)
{
    const struct {
        const char* name;
        FolderFacts facts;
        ProgramFolders expected;
    } cases[] = {
        {"home wins over everything",
         {"/portable/", "/usr/share/lumatrim", false, "/home/u/.local/share/Lumatrim"},
         {"/portable", "/portable", {"/portable/Masks"}}},
        {"writable program folder keeps the data",
         {"", "/opt/lumatrim", true, "/home/u/.local/share/Lumatrim"},
         {"/opt/lumatrim", "/opt/lumatrim", {"/home/u/.local/share/Lumatrim/Masks", "/opt/lumatrim/Masks"}}},
        {"read-only program folder sends the data to the user's folder",
         {"", "/usr/share/lumatrim", false, "/home/u/.local/share/Lumatrim"},
         {"/usr/share/lumatrim", "/home/u/.local/share/Lumatrim",
          {"/home/u/.local/share/Lumatrim/Masks", "/usr/share/lumatrim/Masks"}}},
        {"the same folder twice is read once",
         {"", "/home/u/.local/share/Lumatrim/", true, "/home/u/.local/share/Lumatrim"},
         {"/home/u/.local/share/Lumatrim", "/home/u/.local/share/Lumatrim", {"/home/u/.local/share/Lumatrim/Masks"}}},
    };
    for (const auto& c : cases) {
        const ProgramFolders folders = chooseFolders(c.facts);
        EXPECT_EQ(folders.program, c.expected.program) << c.name;
        EXPECT_EQ(folders.data, c.expected.data) << c.name;
        EXPECT_EQ(folders.masks, c.expected.masks) << c.name;
    }
}

TEST(ShippedDataFolder, BesideTheExecutableElseTheInstalledShareFolder)
{
    const QString root = freshFolder(QStringLiteral("shipped"));
    QDir(root).mkpath(QStringLiteral("portable/Masks"));
    QDir(root).mkpath(QStringLiteral("help-only/Help"));
    QDir(root).mkpath(QStringLiteral("prefix/bin"));
    QDir(root).mkpath(QStringLiteral("prefix/share/lumatrim/Masks"));
    QDir(root).mkpath(QStringLiteral("bare/bin"));
    const struct {
        const char* executable;
        const char* expected;
    } cases[] = {
        {"portable", "portable"},
        {"help-only", "help-only"},
        {"prefix/bin", "prefix/share/lumatrim"},
        {"bare/bin", "bare/bin"},
    };
    for (const auto& c : cases) {
        const QString executable = root + QLatin1Char('/') + QString::fromUtf8(c.executable);
        EXPECT_EQ(shippedDataFolder(executable, QStringLiteral("../share/lumatrim")),
                  root + QLatin1Char('/') + QString::fromUtf8(c.expected))
            << c.executable;
    }
}

TEST(DataFile, CarriesTheProgramFolderCopyOverOnceAndNeverOverwrites)
{
    const QString root = freshFolder(QStringLiteral("carry"));
    const QString program = root + QStringLiteral("/program");
    QDir().mkpath(program);
    writeFileBytes(program + QStringLiteral("/lumatrim.dat"), "[PHOTO]\nSIZE=321\n");
    writeFileBytes(program + QStringLiteral("/templates.dat"), "[TEMPLATE0]\nNAME=Mine\n");
    // Shipped read-only, as an install leaves it: the carried copy must still be writable.
    QFile::setPermissions(program + QStringLiteral("/lumatrim.dat"), QFileDevice::ReadOwner | QFileDevice::ReadOther);
    const QString user = root + QStringLiteral("/user/Lumatrim");
    QDir().mkpath(user);
    writeFileBytes(user + QStringLiteral("/templates.dat"), "[TEMPLATE0]\nNAME=Newer\n");
    const ProgramFolders moved = chooseFolders({QString(), program, false, user});

    const QString settings = dataFile(moved, QStringLiteral("lumatrim.dat"));
    EXPECT_EQ(settings, user + QStringLiteral("/lumatrim.dat"));
    EXPECT_EQ(readFileBytes(settings), QByteArray("[PHOTO]\nSIZE=321\n"));
    EXPECT_TRUE(QFileInfo(settings).isWritable());
    // What the user's folder already holds is theirs.
    EXPECT_EQ(readFileBytes(dataFile(moved, QStringLiteral("templates.dat"))), QByteArray("[TEMPLATE0]\nNAME=Newer\n"));
    // A file that exists nowhere stays missing.
    EXPECT_FALSE(QFileInfo::exists(dataFile(moved, QStringLiteral("photo.jpg"))));

    // In a writable program folder nothing moves.
    const ProgramFolders kept = chooseFolders({QString(), program, true, user});
    EXPECT_EQ(dataFile(kept, QStringLiteral("lumatrim.dat")), program + QStringLiteral("/lumatrim.dat"));
}

TEST(DataFile, AHomeFolderThatIsNotThereYetIsMadeSoTheFirstWriteSucceeds)
{
    const QString home = freshFolder(QStringLiteral("new-home")) + QStringLiteral("/not/there/yet");
    const ProgramFolders folders = chooseFolders({.home = home, .programFolder = {}, .userDataFolder = {}});
    const QString settings = dataFile(folders, QStringLiteral("lumatrim.dat"));
    EXPECT_EQ(settings, home + QStringLiteral("/lumatrim.dat"));
    EXPECT_TRUE(QFileInfo(home).isDir());
    EXPECT_FALSE(QFileInfo::exists(settings)) << "reading never creates the file";
    KeyValueFile(settings).writeInteger(QStringLiteral("PHOTO"), QStringLiteral("SIZE"), 640);
    EXPECT_EQ(readFileBytes(settings), QByteArray("[PHOTO]\nSIZE=640\n"));
}

TEST(ProgramFolders, LumatrimHomeHoldsEveryFile)
{
    const QString home = QDir::cleanPath(qEnvironmentVariable("LUMATRIM_HOME"));
    EXPECT_EQ(programFolder(), home);
    EXPECT_EQ(settingsFilePath(), home + QStringLiteral("/lumatrim.dat"));
    EXPECT_EQ(templatesFilePath(), home + QStringLiteral("/templates.dat"));
    EXPECT_EQ(programFolders().masks, QStringList{home + QStringLiteral("/Masks")});
}

} // namespace
