#include "UiTestSupport.h"

#include "model/ProgramFolder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

QString useFreshProgramFolder()
{
    static QTemporaryDir home;
    qputenv("LUMATRIM_HOME", home.path().toUtf8());
    // Qt's own settings (the file dialogs keep their folder history and column widths) go
    // there too, not into the user's configuration.
    qputenv("XDG_CONFIG_HOME", QDir(home.path()).filePath(QStringLiteral("config")).toUtf8());
    return home.path();
}

void clearProgramFolder()
{
    QDir folder(programFolder());
    for (const QString& name : folder.entryList(QDir::Files))
        folder.remove(name);
}

void writeSettingsFile(const QString& text)
{
    QFile file(settingsFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.write(text.toUtf8());
}

QString readSettingsFile()
{
    QFile file(settingsFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString makePhoto(const QString& name, int width, int height, QColor color)
{
    QDir(programFolder()).mkpath(QStringLiteral("photos"));
    const QString path = programFile(QStringLiteral("photos/") + name);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, width / 2, height / 2), color.darker(200));
    painter.fillRect(QRect(width / 2, height / 2, width - width / 2, height - height / 2), Qt::white);
    painter.end();
    if (!image.save(path, nullptr, 100))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void pressKey(QWidget* window, int key, Qt::KeyboardModifiers modifiers)
{
    // Through the native window, as the platform delivers keys: the window's key preview sees
    // the key there, then the focused control gets it.
    if (!window->windowHandle())
        qFatal("pressKey: the window must be shown");
    QTest::keyClick(window->windowHandle(), Qt::Key(key), modifiers);
}

void ModalDriver::expect(std::function<void(QWidget*)> inspect)
{
    auto* timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [this, timer, inspect, started] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            seen = true;
            inspect(modal);
        } else if (started->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

void useOffscreenScreen(const QTemporaryDir& config, const QString& name, int width, int height)
{
    const QString screens = config.filePath(QStringLiteral("screens.json"));
    QFile file(screens);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(screens));
    file.write(QStringLiteral(R"({"screens": [{"name": "%1", "x": 0, "y": 0, "width": %2, "height": %3, "logicalDpi": 96}]})")
                   .arg(name)
                   .arg(width)
                   .arg(height)
                   .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens).toUtf8());
}
