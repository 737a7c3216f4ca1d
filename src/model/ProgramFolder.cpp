#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString programFolder()
{
    const QString home = qEnvironmentVariable("LUMATRIM_HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(home);
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Without an application object: the folder of the running executable.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

QString programFile(const QString& name)
{
    return QDir(programFolder()).filePath(name);
}

QString settingsFilePath()
{
    return programFile(QStringLiteral("lumatrim.dat"));
}

QString templatesFilePath()
{
    return programFile(QStringLiteral("templates.dat"));
}

QString defaultSettingsSection()
{
    return QStringLiteral("PHOTO");
}
