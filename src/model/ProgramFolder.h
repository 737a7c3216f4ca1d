#pragma once

#include <QString>

// The folder where the program keeps lumatrim.dat, templates.dat, Masks/, Help/ and the
// mail file photo.jpg: the executable's folder, unless LUMATRIM_HOME names another one.
QString programFolder();

// A path inside the program folder.
QString programFile(const QString& name);

// The settings file lumatrim.dat in the program folder.
QString settingsFilePath();

// The template store templates.dat in the program folder.
QString templatesFilePath();

// The section of lumatrim.dat holding the default settings (and the workspace color).
QString defaultSettingsSection();
