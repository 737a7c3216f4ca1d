#pragma once

#include <QString>
#include <QStringList>

// Where the program finds its own files and keeps the user's.
//
// The program folder holds what ships with the program, Help/ and Masks/: the executable's
// folder when they are beside it (the build tree, a portable copy), or the installed data
// folder share/lumatrim beside the executable's bin/.
//
// The data folder holds what the program writes, lumatrim.dat, templates.dat and the mail
// file photo.jpg: the program folder where it is writable, and otherwise the user's own data
// folder (~/.local/share/Lumatrim). Masks are read from the user's data folder first and then
// from the program folder.
//
// LUMATRIM_HOME, when set, names one folder that is all of these (tests, portable setups).

// What decides the folders.
struct FolderFacts {
    QString home;            // LUMATRIM_HOME; empty when it is not set
    QString programFolder;   // where Help/ and Masks/ were found
    bool programFolderWritable = false;
    QString userDataFolder;  // the user's data folder
};

struct ProgramFolders {
    QString program;
    QString data;
    QStringList masks; // the folders whose pictures are offered as masks, in that order
};

// The folders that follow from the facts.
ProgramFolders chooseFolders(const FolderFacts& facts);

// The folder with Help/ and Masks/ for an executable in executableFolder: that folder when
// either is there, else installedDataFolder (relative to it) when that exists, else the
// executable's folder all the same.
QString shippedDataFolder(const QString& executableFolder, const QString& installedDataFolder);

// The user's data folder: the program's application data location, the same whichever of the
// program's processes asks.
QString userDataFolder();

// The folders of this process.
ProgramFolders programFolders();

// The folder with Help/ and Masks/, and a path inside it.
QString programFolder();
QString programFile(const QString& name);

// A file the program writes, in the data folder. Where that is not the program folder and
// the file is not there yet, the program folder's copy (one written before the program
// folder became read-only, or before an install) is carried over first, so nothing the user
// had is lost.
QString dataFile(const ProgramFolders& folders, const QString& name);
QString dataFile(const QString& name);

// The settings file lumatrim.dat.
QString settingsFilePath();

// The template store templates.dat.
QString templatesFilePath();

// The section of lumatrim.dat holding the default settings (and the workspace color).
QString defaultSettingsSection();
