// The Reopen list: nine slots of section RECENT, the push rule, captions, and the menu.
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "model/KeyValueFile.h"
#include "model/ProgramFolder.h"
#include "ui/photo/Photo.h"
#include "ui/window/FormMain.h"
#include "ui/window/RecentFiles.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTest>

namespace {

QStringList slotsOf(const QString& compact)
{
    // "a,b,,c" -> a, b, "", c, padded to nine slots.
    QStringList list = compact.isEmpty() ? QStringList() : compact.split(QLatin1Char(','));
    while (list.size() < RecentFiles::kSlots)
        list << QString();
    return list;
}

void writeRecent(const QStringList& paths)
{
    KeyValueFile::Pairs values;
    for (int i = 0; i < paths.size(); ++i)
        values.append({QStringLiteral("PHOTO%1").arg(i + 1), paths[i]});
    KeyValueFile(settingsFilePath()).writeValues(QStringLiteral("RECENT"), values);
}

QStringList storedRecent()
{
    const KeyValueFile file(settingsFilePath());
    QStringList list;
    for (int slot = 1; slot <= RecentFiles::kSlots; ++slot)
        list << file.readString(QStringLiteral("RECENT"), QStringLiteral("PHOTO%1").arg(slot), QStringLiteral("<missing>"));
    return list;
}

} // namespace

class RecentFilesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useFreshProgramFolder(); }
    void init() { clearProgramFolder(); }

    void pushMovesPathToTheHead_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("pushed");
        QTest::addColumn<QString>("after");
        QTest::newRow("new path in front") << "a,b,c" << "d" << "d,a,b,c";
        QTest::newRow("listed path moves up") << "d,a,b,c" << "b" << "b,d,a,c";
        QTest::newRow("already first") << "b,d,a" << "b" << "b,d,a";
        QTest::newRow("tenth drops the oldest") << "1,2,3,4,5,6,7,8,9" << "x" << "x,1,2,3,4,5,6,7,8";
        QTest::newRow("full list, listed path") << "1,2,3,4,5,6,7,8,9" << "9" << "9,1,2,3,4,5,6,7,8";
        QTest::newRow("gap keeps its place") << ",b" << "c" << "c,,b";
        QTest::newRow("case counts") << "/P/Beach.jpg" << "/p/beach.jpg" << "/p/beach.jpg,/P/Beach.jpg";
        QTest::newRow("empty list") << "" << "a" << "a";
    }
    void pushMovesPathToTheHead()
    {
        QFETCH(QString, before);
        QFETCH(QString, pushed);
        QFETCH(QString, after);
        QCOMPARE(RecentFiles::pushed(slotsOf(before), pushed), slotsOf(after));
    }

    void pushWritesAllNineKeysAndLoadReadsThem()
    {
        writeRecent(slotsOf(QStringLiteral("/x/a.jpg,/x/b.jpg,/x/c.jpg")));
        RecentFiles recent(settingsFilePath());
        recent.Load();
        recent.Push(QStringLiteral("/y/d.jpg"));
        // Memory keeps the old list until the next Load.
        QCOMPARE(recent.path(1), QStringLiteral("/x/a.jpg"));
        QCOMPARE(storedRecent(), slotsOf(QStringLiteral("/y/d.jpg,/x/a.jpg,/x/b.jpg,/x/c.jpg")));
        QVERIFY(readSettingsFile().contains(QStringLiteral("PHOTO9=")));
        recent.Load();
        QCOMPARE(recent.path(1), QStringLiteral("/y/d.jpg"));
        QCOMPARE(recent.caption(1), QStringLiteral("1. d.jpg"));
        QCOMPARE(recent.caption(5), QStringLiteral("5. "));
        QVERIFY(!recent.isEmpty());
    }

    void missingFileGivesNineEmptySlots()
    {
        RecentFiles recent(settingsFilePath());
        recent.Load();
        QVERIFY(recent.isEmpty());
        QVERIFY(!QFile::exists(settingsFilePath()));
    }

    void failedWriteIsReportedAndKeepsTheList()
    {
        const QString folder = programFile(QStringLiteral("no-such-folder/lumatrim.dat"));
        RecentFiles recent(folder);
        recent.Load();
        try {
            recent.Push(QStringLiteral("/x/a.jpg"));
            QFAIL("a write into a missing folder must fail");
        } catch (const std::exception& error) {
            QVERIFY2(QString::fromUtf8(error.what()).startsWith(QStringLiteral("Unable to write to ")), error.what());
        }
        QVERIFY(recent.isEmpty());
    }

    void menuShowsFilledSlotsOrNone()
    {
        FakeDesktop desktop;
        {
            TFormMain window(desktop);
            QVERIFY(window.Item(QStringLiteral("MenuNone"))->isVisible());
            QVERIFY(!window.Item(QStringLiteral("MenuNone"))->isEnabled());
            for (int slot = 1; slot <= 9; ++slot)
                QVERIFY(!window.Item(QStringLiteral("MenuRecent%1").arg(slot))->isVisible());
        }
        // A hand-edited file: slot 1 empty, slot 2 set.
        writeRecent(slotsOf(QStringLiteral(",/x/Tom & Jerry.jpg")));
        TFormMain window(desktop);
        QVERIFY(!window.Item(QStringLiteral("MenuNone"))->isVisible());
        QVERIFY(!window.Item(QStringLiteral("MenuRecent1"))->isVisible());
        QAction* second = window.Item(QStringLiteral("MenuRecent2"));
        QVERIFY(second->isVisible());
        QCOMPARE(second->text().replace(QStringLiteral("&&"), QStringLiteral("&")), QStringLiteral("2. Tom & Jerry.jpg"));
        QCOMPARE(second->toolTip(), QStringLiteral("/x/Tom & Jerry.jpg"));
    }

    void longNamesLoseTheirMiddle_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<QString>("shown");
        QTest::newRow("short") << "beach.jpg" << 9 << "beach.jpg";
        QTest::newRow("one too long") << "beach1.jpg" << 9 << QString::fromUtf8("beac….jpg");
        QTest::newRow("even length") << "abcdefghijkl" << 6 << QString::fromUtf8("ab…jkl");
        // U+1F600 is two UTF-16 units: never one of them alone.
        QTest::newRow("pair at the head's end") << QString::fromUtf8("ab\U0001F600cdefghij") << 8
                                               << QString::fromUtf8("ab…ghij");
        QTest::newRow("pair at the tail's start") << QString::fromUtf8("abcdefgh\U0001F600ij") << 7
                                                 << QString::fromUtf8("abc…ij");
    }
    void longNamesLoseTheirMiddle()
    {
        QFETCH(QString, text);
        QFETCH(int, maxLength);
        QFETCH(QString, shown);
        QCOMPARE(RecentFiles::elidedInTheMiddle(text, maxLength), shown);
    }

    // A hand-made entry of 2,047 characters: the caption keeps the slot number, the name's
    // start and its extension; the item's tool tip, shown by the menu, is the whole path.
    void longEntryGivesAShortCaptionAndThePathAsToolTip()
    {
        const QString name = QStringLiteral("holiday") + QString(2047 - 7 - 4 - 3, QLatin1Char('x')) + QStringLiteral(".jpg");
        const QString path = QStringLiteral("/x/") + name;
        QCOMPARE(path.size(), 2047);
        writeRecent(slotsOf(path + QStringLiteral(",/x/beach.jpg")));
        RecentFiles recent(settingsFilePath());
        recent.Load();
        const QString caption = recent.caption(1);
        QCOMPARE(caption.size(), 3 + RecentFiles::kCaptionNameLength);
        QVERIFY2(caption.startsWith(QStringLiteral("1. holiday")) && caption.endsWith(QStringLiteral("xx.jpg"))
                     && caption.contains(QChar(0x2026)),
                 qPrintable(caption));
        QCOMPARE(recent.caption(2), QStringLiteral("2. beach.jpg"));

        FakeDesktop desktop;
        TFormMain window(desktop);
        QAction* first = window.Item(QStringLiteral("MenuRecent1"));
        QCOMPARE(first->text(), caption);
        QCOMPARE(first->toolTip(), path);
        auto* menu = window.findChild<QMenu*>(QStringLiteral("MenuReopenItems"));
        QVERIFY(menu);
        QVERIFY(menu->toolTipsVisible());
    }

    void selectingPhotosRewritesTheList()
    {
        const QString a = makePhoto(QStringLiteral("a.bmp"), 40, 30);
        const QString b = makePhoto(QStringLiteral("b.bmp"), 40, 30);
        const QString c = makePhoto(QStringLiteral("c.bmp"), 40, 30);
        const QString d = makePhoto(QStringLiteral("d.bmp"), 40, 30);
        writeRecent(slotsOf(a + QLatin1Char(',') + b + QLatin1Char(',') + c));
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(b, false);
        window.OpenPhoto(d, false);
        QCOMPARE(storedRecent(), slotsOf(QStringList{d, b, a, c}.join(QLatin1Char(','))));
        // b again, through its photo button's selection.
        window.SelectPhoto(0);
        QCOMPARE(storedRecent(), slotsOf(QStringList{b, d, a, c}.join(QLatin1Char(','))));
        QCOMPARE(window.Item(QStringLiteral("MenuRecent1"))->text(), QStringLiteral("1. b.bmp"));
        // The same photo twice writes the same list.
        window.SelectPhoto(0);
        QCOMPARE(storedRecent(), slotsOf(QStringList{b, d, a, c}.join(QLatin1Char(','))));
    }

    void reopenGivesDefaultSettings()
    {
        const QString a = makePhoto(QStringLiteral("a.bmp"), 40, 30);
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(a, false);
        window.Photo().Info()->MaxSize = 17;
        window.Photo().RotateClockwise();
        window.Item(QStringLiteral("MenuRecent1"))->trigger();
        QCOMPARE(window.Photos().count(), 2);
        QCOMPARE(window.Photos().currentIndex(), 1);
        QCOMPARE(window.Photos().current()->FileName, a);
        QCOMPARE(window.Photos().current()->MaxSize, 600);
        QCOMPARE(window.Photos().current()->Rotation, 0);
    }

    void failedWriteKeepsThePhotoAndTheMenu()
    {
        const QString a = makePhoto(QStringLiteral("a.bmp"), 40, 30);
        const QString b = makePhoto(QStringLiteral("b.bmp"), 40, 30);
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(a, false);
        // A folder in the settings file's place makes every write fail.
        QVERIFY(QFile::remove(settingsFilePath()));
        QVERIFY(QDir(programFolder()).mkdir(QStringLiteral("lumatrim.dat")));
        desktop.openAnswers = QStringList{b};
        window.Item(QStringLiteral("MenuOpen"))->trigger();
        QCOMPARE(desktop.errors, QStringList{"Unable to write to " + settingsFilePath() + ": it is a folder"});
        QCOMPARE(window.Photos().count(), 2);
        QCOMPARE(window.Photos().current()->FileName, b);
        QCOMPARE(window.windowTitle(), b + QStringLiteral(" - Lumatrim"));
        QCOMPARE(window.Item(QStringLiteral("MenuRecent1"))->toolTip(), a);
        QVERIFY(!window.Item(QStringLiteral("MenuRecent2"))->isVisible());
        QVERIFY(QDir(programFolder()).rmdir(QStringLiteral("lumatrim.dat")));
    }

    void unreadableEntryStaysListed()
    {
        const QString gone = programFile(QStringLiteral("photos/gone.bmp"));
        writeRecent(slotsOf(gone));
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.Item(QStringLiteral("MenuRecent1"))->trigger();
        QCOMPARE(window.Photos().count(), 0);
        QCOMPARE(desktop.errors.size(), 1);
        QVERIFY2(desktop.errors[0].contains(gone), qPrintable(desktop.errors[0]));
        QCOMPARE(storedRecent()[0], gone);
        QVERIFY(window.Item(QStringLiteral("MenuRecent1"))->isVisible());
    }
};

QTEST_MAIN(RecentFilesTest)
#include "tst_recentfiles.moc"
