#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

class QTemporaryDir;
class QWidget;

// Points the program folder (LUMATRIM_HOME) and Qt's settings (XDG_CONFIG_HOME) at a fresh
// temporary folder for the whole test program and returns it. Call first in initTestCase,
// before anything reads settings.
QString useFreshProgramFolder();
// Removes lumatrim.dat and every other file of the program folder.
void clearProgramFolder();

// Writes the text as the settings file lumatrim.dat of the program folder.
void writeSettingsFile(const QString& text);
QString readSettingsFile();

// A photo file of width x height in the program folder's "photos" subfolder, saved by Qt as
// BMP (.bmp) or JPEG (.jpg) by the name's extension; pixels vary so that each is recognisable.
QString makePhoto(const QString& name, int width, int height, QColor color = QColor(200, 120, 40));

// Gives the offscreen platform one screen of width x height at 96 DPI in place of its default
// 800 x 800, through a configuration file in config. Call before the application is made.
void useOffscreenScreen(const QTemporaryDir& config, const QString& name, int width, int height);

// Presses a key as the user would, through the shown window's native window.
void pressKey(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Calls inspect with the next modal dialog that appears within five seconds; inspect must
// close it. A dialog that never appears leaves `seen` false, which the caller checks.
struct ModalDriver {
    bool seen = false;
    void expect(std::function<void(QWidget*)> inspect);
};
