// The main window with settings files it cannot use: one it cannot write is told once per
// run and reason; one too large to read is told once and left alone; a FIFO or a device in a
// settings file's place reads as no file, without waiting; a home folder that is not there
// yet is made.
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "model/KeyValueFile.h"
#include "model/PhotoList.h"
#include "model/ProgramFolder.h"
#include "ui/window/FormMain.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTooLarge = QStringLiteral(": the file is larger than 16 MB; Lumatrim does not read or change it");

void makeFifo(const QString& path)
{
    QFile::remove(path);
    if (mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
        qFatal("cannot make the FIFO %s", qPrintable(path));
}

void makeLink(const QString& path, const char* target)
{
    QFile::remove(path);
    if (symlink(target, QFile::encodeName(path).constData()) != 0)
        qFatal("cannot link %s", qPrintable(path));
}

// A sparse file of 17 MB that starts with text.
void makeOversized(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() ||
        !file.resize(17 * 1024 * 1024))
        qFatal("cannot write %s", qPrintable(path));
}

struct Stamp {
    qint64 size;
    QDateTime modified;
    bool operator==(const Stamp&) const = default;
};

Stamp stampOf(const QString& path)
{
    const QFileInfo info(path);
    return {info.size(), info.lastModified()};
}

void openThroughTheMenu(TFormMain& window, FakeDesktop& desktop, const QString& photo)
{
    desktop.openAnswers = QStringList{photo};
    window.Item(QStringLiteral("MenuOpen"))->trigger();
}

} // namespace

class SettingsFilesTest : public QObject {
    Q_OBJECT

    QString a_, b_, c_;

private slots:
    void initTestCase()
    {
        useFreshProgramFolder();
        a_ = makePhoto(QStringLiteral("a.bmp"), 40, 30);
        b_ = makePhoto(QStringLiteral("b.bmp"), 30, 40);
        c_ = makePhoto(QStringLiteral("c.bmp"), 20, 20);
    }

    void init()
    {
        clearProgramFolder();
        QDir(programFolder()).rmdir(QStringLiteral("lumatrim.dat"));
    }

    void aFailedWriteIsToldOncePerRunAndReason()
    {
        const QString settings = settingsFilePath();
        QVERIFY(QDir(programFolder()).mkdir(QStringLiteral("lumatrim.dat")));
        const QString asFolder = "Unable to write to " + settings + ": it is a folder";
        FakeDesktop desktop;
        {
            TFormMain window(desktop);
            // Three photos from the command line, each written to the recent files.
            window.OpenFiles({a_, b_, c_});
            QCOMPARE(window.Photos().count(), 3);
            QCOMPARE(desktop.errors, QStringList{asFolder});
            window.Item(QStringLiteral("MenuPrevious"))->trigger();
            window.Item(QStringLiteral("MenuNext"))->trigger();
            openThroughTheMenu(window, desktop, a_);
            QCOMPARE(desktop.errors, QStringList{asFolder});
            // A new reason is told.
            QVERIFY(QDir(programFolder()).rmdir(QStringLiteral("lumatrim.dat")));
            makeFifo(settings);
            window.Item(QStringLiteral("MenuPrevious"))->trigger();
            window.Item(QStringLiteral("MenuNext"))->trigger();
            QCOMPARE(desktop.errors, (QStringList{asFolder, "Unable to write to " + settings + ": it is not a regular file"}));
            QVERIFY(!QFileInfo(settings).isFile());
        }
        // The next run tells it again.
        TFormMain restarted(desktop);
        openThroughTheMenu(restarted, desktop, a_);
        QCOMPARE(desktop.errors.size(), 3);
        QVERIFY(QFile::remove(settings));
    }

    void filesOverTheCapAreToldOnceAndLeftAlone()
    {
        const QString settings = settingsFilePath();
        const QString store = templatesFilePath();
        makeOversized(settings, "[PHOTO]\nSIZE=123\n[RECENT]\nPHOTO1=/kept.jpg\n");
        makeOversized(store, "[TEMPLATE1]\nNAME=hidden\nBUTTON=1\n");
        const Stamp settingsBefore = stampOf(settings);
        const Stamp storeBefore = stampOf(store);
        FakeDesktop desktop;
        TFormMain window(desktop);
        openThroughTheMenu(window, desktop, a_);
        openThroughTheMenu(window, desktop, b_);
        window.Item(QStringLiteral("MenuPrevious"))->trigger();
        window.Item(QStringLiteral("MenuSet"))->trigger();
        // Told once each while they are only read; "Set as Default Settings", a write the user
        // asked for, is told again.
        QCOMPARE(desktop.errors, (QStringList{"Unable to write to " + settings + kTooLarge,
                                              "Unable to write to " + store + kTooLarge,
                                              "Unable to write to " + settings + kTooLarge}));
        QCOMPARE(window.Photos().count(), 2);
        QCOMPARE(window.Photos().current()->MaxSize, 600);
        QCOMPARE(window.TemplatesMenu()->actions().size(), 3);
        QVERIFY(stampOf(settings) == settingsBefore);
        QVERIFY(stampOf(store) == storeBefore);
    }

    void fifosAndDevicesReadAsNoFileWithoutWaiting_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("store");
        QTest::newRow("FIFO and /dev/zero") << "fifo" << "/dev/zero";
        QTest::newRow("/dev/urandom and FIFO") << "/dev/urandom" << "fifo";
        QTest::newRow("/dev/zero twice") << "/dev/zero" << "/dev/zero";
    }

    void fifosAndDevicesReadAsNoFileWithoutWaiting()
    {
        QFETCH(QString, settings);
        QFETCH(QString, store);
        auto place = [](const QString& path, const QString& what) {
            if (what == QStringLiteral("fifo"))
                makeFifo(path);
            else
                makeLink(path, qPrintable(what));
        };
        place(settingsFilePath(), settings);
        place(templatesFilePath(), store);
        FakeDesktop desktop;
        {
            TFormMain window(desktop);
            openThroughTheMenu(window, desktop, a_);
            QCOMPARE(window.Photos().count(), 1);
            QCOMPARE(window.Photos().current()->MaxSize, 600);
            QCOMPARE(window.TemplatesMenu()->actions().size(), 3);
            // Reading says nothing; the recent-files write cannot replace what is there.
            QCOMPARE(desktop.errors,
                     QStringList{"Unable to write to " + settingsFilePath() + ": it is not a regular file"});
        }
        QVERIFY(!QFileInfo(settingsFilePath()).isFile());
        QVERIFY(!QFileInfo(templatesFilePath()).isFile());
        QFile::remove(settingsFilePath());
        QFile::remove(templatesFilePath());
    }

    void aHomeFolderThatIsNotThereYetIsMade()
    {
        const QByteArray home = qgetenv("LUMATRIM_HOME");
        const QString fresh = programFolder() + QStringLiteral("/new/home");
        qputenv("LUMATRIM_HOME", QFile::encodeName(fresh));
        FakeDesktop desktop;
        {
            TFormMain window(desktop);
            openThroughTheMenu(window, desktop, a_);
            QCOMPARE(desktop.errors, QStringList());
        }
        qputenv("LUMATRIM_HOME", home);
        const KeyValueFile written(fresh + QStringLiteral("/lumatrim.dat"));
        QCOMPARE(written.readString(QStringLiteral("RECENT"), QStringLiteral("PHOTO1"), QString()), a_);
        QDir(programFolder() + QStringLiteral("/new")).removeRecursively();
    }
};

QTEST_MAIN(SettingsFilesTest)
#include "tst_settingsfiles.moc"
