#pragma once

#include <QList>
#include <QSize>
#include <QString>

class QLabel;
class QMainWindow;

// The texts of the status bar's four panels: the first what the window is busy with (empty
// when idle); with a photo, the count of opened photos, the photo's size at 100 % (the shown
// size undone by the zoom) and the zoom; without one, the other three empty.
struct PhotoStatus {
    int photos = 0;
    QSize shown;
    int zoom = 100;
};
QList<QString> statusTexts(const PhotoStatus* status, const QString& activity = QString());

// The status bar (StatusBar) with its panels StatusPanel1 .. StatusPanel4: the first takes
// the width the other three (150 pixels each) leave.
struct MainStatusBar {
    QList<QLabel*> panels;

    static MainStatusBar build(QMainWindow& window);
    void show(const PhotoStatus* status, const QString& activity = QString()) const;
};
