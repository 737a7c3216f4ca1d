#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef LUMATRIM_INSTALLED_DATA
#define LUMATRIM_INSTALLED_DATA "../share/lumatrim"
#endif

namespace {

QString executableFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Without an application object: the folder of the running executable.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

QString masksIn(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("Masks"));
}

} // namespace

ProgramFolders chooseFolders(const FolderFacts& facts)
{
    if (!facts.home.isEmpty()) {
        const QString home = QDir::cleanPath(facts.home);
        return {home, home, {masksIn(home)}};
    }
    ProgramFolders folders;
    folders.program = QDir::cleanPath(facts.programFolder);
    const QString user = QDir::cleanPath(facts.userDataFolder);
    folders.data = facts.programFolderWritable ? folders.program : user;
    if (user != folders.program)
        folders.masks << masksIn(user);
    folders.masks << masksIn(folders.program);
    return folders;
}

QString shippedDataFolder(const QString& executableFolder, const QString& installedDataFolder)
{
    const QDir beside(executableFolder);
    if (beside.exists(QStringLiteral("Help")) || beside.exists(QStringLiteral("Masks")))
        return executableFolder;
    const QString installed = QDir::cleanPath(beside.filePath(installedDataFolder));
    return QFileInfo(installed).isDir() ? installed : executableFolder;
}

QString userDataFolder()
{
    // The application data location of a program named "Lumatrim" with no organisation,
    // spelled out so that tools and tests without that application object agree with it.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Lumatrim");
}

ProgramFolders programFolders()
{
    const QString home = qEnvironmentVariable("LUMATRIM_HOME");
    if (!home.isEmpty())
        return chooseFolders({.home = home});
    // Where the program is installed does not change while it runs: looked up once, not at
    // every settings access.
    static const ProgramFolders installed = [] {
        FolderFacts facts;
        facts.programFolder = shippedDataFolder(executableFolder(), QString::fromUtf8(LUMATRIM_INSTALLED_DATA));
        facts.programFolderWritable = QFileInfo(facts.programFolder).isWritable();
        facts.userDataFolder = userDataFolder();
        return chooseFolders(facts);
    }();
    return installed;
}

QString programFolder()
{
    return programFolders().program;
}

QString programFile(const QString& name)
{
    return QDir(programFolder()).filePath(name);
}

QString dataFile(const ProgramFolders& folders, const QString& name)
{
    const QString path = QDir(folders.data).filePath(name);
    if (QFileInfo::exists(path))
        return path;
    // The folder is made here (LUMATRIM_HOME may name one that is not there yet), so that
    // writing the file later can succeed; a failure shows then, as the write's own error.
    QDir().mkpath(folders.data);
    if (folders.data != folders.program) {
        const QString earlier = QDir(folders.program).filePath(name);
        if (QFileInfo(earlier).isFile() && QFile::copy(earlier, path))
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                            QFileDevice::ReadOther);
    }
    return path;
}

QString dataFile(const QString& name)
{
    return dataFile(programFolders(), name);
}

QString settingsFilePath()
{
    return dataFile(QStringLiteral("lumatrim.dat"));
}

QString templatesFilePath()
{
    return dataFile(QStringLiteral("templates.dat"));
}

QString defaultSettingsSection()
{
    return QStringLiteral("PHOTO");
}
