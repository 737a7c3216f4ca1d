// The main window: menus, opening, selecting and closing photos, the status bar, zoom, keys,
// the close query, the background color, Help and About.
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "formats/JpegWriter.h"
#include "model/ProgramFolder.h"
#include "ui/photo/Photo.h"
#include "ui/window/FormAbout.h"
#include "ui/window/FormMain.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

namespace {

const char* const kPhotoItems[] = {"MenuCurrent", "MenuSave", "MenuEmail", "MenuCopy", "MenuClose", "MenuAll",
                                   "MenuExport", "MenuResize", "MenuCrop", "MenuClockwise", "MenuCounterclockwise",
                                   "MenuColor", "MenuWatermark", "MenuMask", "MenuAdd", "MenuSet", "MenuReload"};
const char* const kAlwaysItems[] = {"MenuOpen", "MenuReopen", "MenuExit", "MenuManage", "MenuDefault", "MenuZoom",
                                    "MenuOrientation", "MenuBackground", "MenuIndex", "MenuHome", "MenuAbout"};

// The captions of a menu in order, separators as "-", shortcuts after a tab.
QStringList layoutOf(const QMenu* menu)
{
    QStringList items;
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator())
            items << QStringLiteral("-");
        else if (action->shortcut().isEmpty())
            items << action->text();
        else
            items << action->text() + QLatin1Char('\t') + action->shortcut().toString();
    }
    return items;
}

QMenu* topMenu(const TFormMain& window, const QString& caption)
{
    for (QAction* action : window.findChild<QMenuBar*>(QStringLiteral("MainMenu"))->actions())
        if (action->text() == caption)
            return action->menu();
    return nullptr;
}

QString fileNames(const TFormMain& window)
{
    QStringList names;
    for (int i = 0; i < window.Photos().count(); ++i)
        names << QFileInfo(window.Photos().at(i)->FileName).baseName();
    return names.join(QLatin1Char(','));
}

// A 40 x 24 JPEG recording that its camera was turned a quarter clockwise (24 x 40 upright).
QString turnedJpeg()
{
    const QString path = programFolder() + QStringLiteral("/turned.jpg");
    writeJpeg(QImage(40, 24, QImage::Format_BGR888), path);
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray plain = file.readAll();
    file.close();
    const char segment[] = {'\xFF', '\xE1', 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                            1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
    file.open(QIODevice::WriteOnly);
    file.write(plain.left(2) + QByteArray(segment, sizeof segment) + plain.mid(2));
    return path;
}

QSize sourceSize(const TFormMain& window)
{
    return window.Photo().Core().SourceBitmap().size();
}

QString currentName(const TFormMain& window)
{
    const TPhotoInfo* current = window.Photos().current();
    return current ? QFileInfo(current->FileName).baseName() : QString();
}

} // namespace

class FormMainTest : public QObject {
    Q_OBJECT

    QString a_, b_, c_;

private slots:
    void initTestCase()
    {
        useFreshProgramFolder();
    }
    void init()
    {
        clearProgramFolder();
        a_ = makePhoto(QStringLiteral("A.bmp"), 64, 48);
        b_ = makePhoto(QStringLiteral("B.bmp"), 48, 64);
        c_ = makePhoto(QStringLiteral("C.bmp"), 30, 30);
    }

    void menusHaveTheirItemsInOrder()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        QCOMPARE(window.windowTitle(), QStringLiteral("Lumatrim"));
        QCOMPARE(layoutOf(topMenu(window, QStringLiteral("File"))),
                 QStringList({"Open...\tCtrl+O", "Open with Current Settings...", "Reopen", "-", "Save As...\tCtrl+S",
                              "Send Email To...\tCtrl+E", "Copy to Clipboard", "Close\tDel", "Close All\tCtrl+Del", "-",
                              "Export...\tCtrl+X", "-", "Previous\tPgUp", "Next\tPgDown", "-", "Exit"}));
        QCOMPARE(layoutOf(topMenu(window, QStringLiteral("Actions"))),
                 QStringList({"Resize...\tCtrl+R", "Crop...", "Rotate Clockwise\tCtrl+C", "Rotate Counterclockwise", "-",
                              "Color Balance...", "-", "Watermark...\tCtrl+W", "Mask...\tCtrl+M"}));
        QCOMPARE(layoutOf(topMenu(window, QStringLiteral("Templates"))),
                 QStringList({"Add to Templates...\tCtrl+A", "Manage Templates...", "-"}));
        QCOMPARE(layoutOf(topMenu(window, QStringLiteral("Options"))),
                 QStringList({"Default Settings...\tCtrl+D", "Set as Default Settings", "Reload Default Settings", "-",
                              "Zoom", "Turn Photos as the Camera Held Them", "Background Color..."}));
        QCOMPARE(layoutOf(window.Item(QStringLiteral("MenuZoom"))->menu()),
                 QStringList({"33%", "50%", "66%", "Actual Size", "150%", "200%", "300%"}));
        QCOMPARE(layoutOf(topMenu(window, QStringLiteral("Help"))),
                 QStringList({"Help Contents and Index\tF1", "-", "Quorvane Home Page", "-", "About..."}));
        QCOMPARE(layoutOf(window.findChild<QMenu*>(QStringLiteral("PopupMenuScrollBox"))),
                 QStringList({"Resize...", "Crop...", "Rotate Clockwise", "Rotate Counterclockwise", "-",
                              "Color Balance...", "-", "Watermark...", "Mask...", "-", "Save As...",
                              "Send Email To...", "Copy to Clipboard", "Close", "-", "Previous", "Next"}));
    }

    void toolBarButtonsHaveHints()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        const QList<QPair<QString, QString>> hints = {{"ToolButtonOpen", "Open"},
                                                      {"ToolButtonSave", "Save As"},
                                                      {"ToolButtonResize", "Resize"},
                                                      {"ToolButtonRotate", "Rotate Clockwise"},
                                                      {"ToolButtonWatermark", "Watermark"},
                                                      {"ToolButtonMask", "Mask"}};
        for (const auto& [name, hint] : hints) {
            auto* button = window.findChild<QToolButton*>(name);
            QVERIFY2(button, qPrintable(name));
            QCOMPARE(button->toolTip(), hint);
            QVERIFY(!button->icon().isNull());
        }
        auto* none = window.findChild<QToolButton*>(QStringLiteral("ToolButtonNone"));
        QVERIFY(none);
        QCOMPARE(none->text(), QStringLiteral("None"));
        QVERIFY(!none->isEnabled());
    }

    void enabledStatesFollowTheCurrentPhoto()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        auto check = [&](bool hasPhoto, bool previous, bool next) {
            for (const char* name : kPhotoItems)
                QVERIFY2(window.Item(QString::fromLatin1(name))->isEnabled() == hasPhoto, name);
            for (const char* name : kAlwaysItems)
                QVERIFY2(window.Item(QString::fromLatin1(name))->isEnabled(), name);
            QCOMPARE(window.Item(QStringLiteral("MenuPrevious"))->isEnabled(), previous);
            QCOMPARE(window.Item(QStringLiteral("MenuNext"))->isEnabled(), next);
            // Pop-up items and tool buttons copy their menu twins.
            for (const char* role : {"Resize", "Save", "Close", "Previous", "Next", "Clockwise"}) {
                auto* twin = window.findChild<QAction*>(QStringLiteral("Popup") + QString::fromLatin1(role));
                QCOMPARE(twin->isEnabled(), window.Item(QStringLiteral("Menu") + QString::fromLatin1(role))->isEnabled());
            }
            for (const char* name : {"ToolButtonSave", "ToolButtonResize", "ToolButtonRotate", "ToolButtonWatermark",
                                     "ToolButtonMask"})
                QCOMPARE(window.findChild<QToolButton*>(QString::fromLatin1(name))->isEnabled(), hasPhoto);
            QVERIFY(window.findChild<QToolButton*>(QStringLiteral("ToolButtonOpen"))->isEnabled());
        };
        check(false, false, false);
        window.OpenPhoto(a_, false);
        check(true, false, false);
        window.OpenPhoto(b_, false);
        check(true, true, false);
        window.OpenPhoto(c_, false);
        window.SelectPhoto(1);
        check(true, true, true);
        window.SelectPhoto(0);
        check(true, false, true);
        window.MenuAllClick();
        check(false, false, false);
    }

    void closeMakesFollowerElsePredecessorCurrent_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("current");
        QTest::newRow("C current: B") << 2 << "A,B" << "B";
        QTest::newRow("B current: C") << 1 << "A,C" << "C";
        QTest::newRow("A current: B") << 0 << "B,C" << "B";
    }
    void closeMakesFollowerElsePredecessorCurrent()
    {
        QFETCH(int, selected);
        QFETCH(QString, left);
        QFETCH(QString, current);
        FakeDesktop desktop;
        TFormMain window(desktop);
        for (const QString& file : {a_, b_, c_})
            window.OpenPhoto(file, false);
        window.SelectPhoto(selected);
        window.Item(QStringLiteral("MenuClose"))->trigger();
        QCOMPARE(fileNames(window), left);
        QCOMPARE(currentName(window), current);
        QCOMPARE(window.Photo().Info(), window.Photos().current());
        QCOMPARE(window.StatusText(2), QStringLiteral("2 photo(s)"));
        // Exactly one photo button, the current one, is pressed.
        const QList<QToolButton*> buttons = window.findChildren<QToolButton*>(QStringLiteral("PhotoButton"));
        QCOMPARE(buttons.size(), 2);
        for (int i = 0; i < buttons.size(); ++i)
            QCOMPARE(buttons[i]->isChecked(), i == window.Photos().currentIndex());
    }

    void closingTheLastPhotoEmptiesTheWindow()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(a_, false);
        QCOMPARE(window.windowTitle(), a_ + QStringLiteral(" - Lumatrim"));
        window.MenuCloseClick();
        QCOMPARE(window.Photos().count(), 0);
        QVERIFY(window.Photo().Info() == nullptr);
        QCOMPARE(window.windowTitle(), QStringLiteral("Lumatrim"));
        for (int panel = 1; panel <= 4; ++panel)
            QCOMPARE(window.StatusText(panel), QString());
        // Without a photo Close only refreshes.
        window.MenuCloseClick();
        QCOMPARE(window.Photos().count(), 0);
    }

    void closeAllAndTheSameFileTwice()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(a_, false);
        window.OpenPhoto(a_, false);
        QCOMPARE(window.Photos().count(), 2);
        window.Photo().RotateClockwise();
        QCOMPARE(window.Photos().at(1)->Rotation, 270);
        QCOMPARE(window.Photos().at(0)->Rotation, 0);
        window.MenuCloseClick();
        QCOMPARE(window.Photos().count(), 1);
        QCOMPARE(window.Photos().current()->FileName, a_);
        window.OpenPhoto(b_, false);
        window.Item(QStringLiteral("MenuAll"))->trigger();
        QCOMPARE(window.Photos().count(), 0);
        QVERIFY(window.findChildren<QToolButton*>(QStringLiteral("PhotoButton")).isEmpty());
        QCOMPARE(window.windowTitle(), QStringLiteral("Lumatrim"));
    }

    void openWithCurrentSettingsCopiesEverything()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(a_, false);
        TPhotoInfo* first = window.Photos().current();
        first->CropRect = TRect{1, 2, 30, 40};
        first->Contrast = 25;
        first->Watermark = QStringLiteral("Holiday");
        window.Photo().RotateCounterclockwise();
        desktop.openAnswers = QStringList{b_};
        window.Item(QStringLiteral("MenuCurrent"))->trigger();
        QCOMPARE(window.Photos().count(), 2);
        const TPhotoInfo* second = window.Photos().current();
        QCOMPARE(second->FileName, b_);
        QVERIFY(second->CropRect == (TRect{1, 2, 30, 40}));
        QCOMPARE(second->Rotation, 90);
        QCOMPARE(second->Contrast, 25);
        QCOMPARE(second->Watermark, QStringLiteral("Holiday"));
        // Plain Open starts from the defaults.
        desktop.openAnswers = QStringList{c_};
        window.Item(QStringLiteral("MenuOpen"))->trigger();
        QCOMPARE(window.Photos().current()->Rotation, 0);
        QCOMPARE(window.Photos().current()->Watermark, QStringLiteral("Lumatrim"));
        // Cancel opens nothing.
        window.Item(QStringLiteral("MenuOpen"))->trigger();
        QCOMPARE(window.Photos().count(), 3);
    }

    void undecodableFileIsNotAdded()
    {
        const QString broken = programFile(QStringLiteral("photos/broken.bmp"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture at all");
        file.close();
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(a_, false);
        desktop.openAnswers = QStringList{broken};
        window.Item(QStringLiteral("MenuOpen"))->trigger();
        QCOMPARE(desktop.errors.size(), 1);
        QCOMPARE(desktop.errors[0], "Cannot open " + broken + ". The file is not a Windows bitmap.");
        QCOMPARE(window.Photos().count(), 1);
        QCOMPARE(window.Photos().current()->FileName, a_);
        QCOMPARE(window.findChildren<QToolButton*>(QStringLiteral("PhotoButton")).size(), 1);
    }

    void sourceGoneWhenSelectedShowsAnEmptyPhoto()
    {
        const QString doomed = makePhoto(QStringLiteral("doomed.bmp"), 20, 20);
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(doomed, false);
        window.OpenPhoto(a_, false);
        QVERIFY(QFile::remove(doomed));
        window.Item(QStringLiteral("MenuPrevious"))->trigger();
        QCOMPARE(window.Photos().currentIndex(), 0);
        QCOMPARE(window.StatusText(3), QStringLiteral("0 * 0"));
        QVERIFY(desktop.errors.isEmpty());
        window.MenuCloseClick();
        QCOMPARE(window.Photos().count(), 1);
    }

    void statusBarReportsTheDisplayedSize_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QString>("size");
        QTest::newRow("actual size") << 1001 << 100 << "1001 * 500";
        QTest::newRow("1001 at 33%") << 1001 << 33 << "1000 * 500";
        QTest::newRow("1003 at 33%") << 1003 << 33 << "1000 * 500";
        QTest::newRow("1001 at 150%") << 1001 << 150 << "1000 * 500";
        QTest::newRow("3 at 150%") << 3 << 150 << "2 * 500";
    }
    void statusBarReportsTheDisplayedSize()
    {
        QFETCH(int, width);
        QFETCH(int, zoom);
        QFETCH(QString, size);
        // Large enough that the photo keeps its size and carries no watermark to speak of.
        writeSettingsFile(QStringLiteral("[PHOTO]\nSIZE=5000\nKEEP=1\nWATERMARK=\n"));
        const QString photo = makePhoto(QStringLiteral("wide.bmp"), width, 500);
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo, false);
        window.OpenPhoto(photo, false);
        window.MenuZoomClick(zoom);
        QCOMPARE(window.StatusText(1), QString());
        QCOMPARE(window.StatusText(2), QStringLiteral("2 photo(s)"));
        QCOMPARE(window.StatusText(3), size);
        QCOMPARE(window.StatusText(4), QStringLiteral("Zoom: %1%").arg(zoom));
        QCOMPARE(window.windowTitle(), photo + QStringLiteral(" - Lumatrim"));
    }

    void zoomIsTheViewsAndOneItemIsChecked()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        auto checkedZoom = [&] {
            QStringList checked;
            for (const char* name : {"Menu33", "Menu50", "Menu66", "Menu100", "Menu150", "Menu200", "Menu300"})
                if (window.Item(QString::fromLatin1(name))->isChecked())
                    checked << QString::fromLatin1(name);
            return checked;
        };
        QCOMPARE(checkedZoom(), QStringList{"Menu100"});
        window.Item(QStringLiteral("Menu50"))->trigger();
        QCOMPARE(checkedZoom(), QStringList{"Menu50"});
        window.OpenPhoto(a_, false);
        // A photo opened afterwards appears at that zoom.
        QCOMPARE(window.Photo().Zoom(), 50);
        QCOMPARE(window.Photo().size(), QSize(32, 24));
        window.Item(QStringLiteral("Menu300"))->trigger();
        window.OpenPhoto(b_, false);
        window.MenuPreviousClick();
        QCOMPARE(window.Photo().Zoom(), 300);
        QCOMPARE(checkedZoom(), QStringList{"Menu300"});
        QCOMPARE(window.StatusText(4), QStringLiteral("Zoom: 300%"));
    }

    void keysPerformTheirItems()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (const QString& file : {a_, b_, c_})
            window.OpenPhoto(file, false);
        // The key reaches the focused photo area first and then its parents; it acts once.
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto* area = window.findChild<QScrollArea*>(QStringLiteral("ScrollBox"));
        area->setFocus();
        QCOMPARE(QApplication::focusWidget(), area);

        pressKey(&window, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(window.Photos().current()->Rotation, 270);
        // Shift is not examined.
        pressKey(&window, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(window.Photos().current()->Rotation, 180);
        QCOMPARE(QApplication::clipboard()->image().isNull(), true);

        pressKey(&window, Qt::Key_PageUp);
        QCOMPARE(currentName(window), QStringLiteral("B"));
        pressKey(&window, Qt::Key_PageUp);
        pressKey(&window, Qt::Key_PageUp); // no wrapping at the first photo
        QCOMPARE(currentName(window), QStringLiteral("A"));
        pressKey(&window, Qt::Key_PageDown);
        QCOMPARE(currentName(window), QStringLiteral("B"));

        pressKey(&window, Qt::Key_Delete);
        QCOMPARE(fileNames(window), QStringLiteral("A,C"));
        QCOMPARE(currentName(window), QStringLiteral("C"));

        pressKey(&window, Qt::Key_F1);
        QCOMPARE(desktop.urls.size(), 1);

        desktop.openAnswers = QStringList{b_};
        pressKey(&window, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(desktop.openCalls, 1);
        QCOMPARE(window.Photos().count(), 3);

        pressKey(&window, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(window.Photos().count(), 0);
        // Without a photo the photo commands' keys do nothing.
        pressKey(&window, Qt::Key_C, Qt::ControlModifier);
        pressKey(&window, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(desktop.proposedNames.isEmpty());
        QVERIFY(desktop.errors.isEmpty());
        window.hide();
    }

    void keyTableMapsKeysToItems_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<QString>("item");
        QTest::newRow("PgUp") << int(Qt::Key_PageUp) << false << "MenuPrevious";
        QTest::newRow("PgDn") << int(Qt::Key_PageDown) << false << "MenuNext";
        QTest::newRow("Del") << int(Qt::Key_Delete) << false << "MenuClose";
        QTest::newRow("F1") << int(Qt::Key_F1) << false << "MenuIndex";
        QTest::newRow("Ctrl+Del") << int(Qt::Key_Delete) << true << "MenuAll";
        QTest::newRow("Ctrl+A") << int(Qt::Key_A) << true << "MenuAdd";
        QTest::newRow("Ctrl+C") << int(Qt::Key_C) << true << "MenuClockwise";
        QTest::newRow("Ctrl+D") << int(Qt::Key_D) << true << "MenuDefault";
        QTest::newRow("Ctrl+E") << int(Qt::Key_E) << true << "MenuEmail";
        QTest::newRow("Ctrl+M") << int(Qt::Key_M) << true << "MenuMask";
        QTest::newRow("Ctrl+O") << int(Qt::Key_O) << true << "MenuOpen";
        QTest::newRow("Ctrl+R") << int(Qt::Key_R) << true << "MenuResize";
        QTest::newRow("Ctrl+S") << int(Qt::Key_S) << true << "MenuSave";
        QTest::newRow("Ctrl+W") << int(Qt::Key_W) << true << "MenuWatermark";
        QTest::newRow("Ctrl+X") << int(Qt::Key_X) << true << "MenuExport";
        QTest::newRow("plain C") << int(Qt::Key_C) << false << "";
        QTest::newRow("Ctrl+PgUp") << int(Qt::Key_PageUp) << true << "";
        QTest::newRow("Ctrl+F1") << int(Qt::Key_F1) << true << "";
        QTest::newRow("Ctrl+P") << int(Qt::Key_P) << true << "";
    }
    void keyTableMapsKeysToItems()
    {
        QFETCH(int, key);
        QFETCH(bool, ctrl);
        QFETCH(QString, item);
        QCOMPARE(menuItemForKey(key, ctrl ? Qt::ControlModifier : Qt::NoModifier), item);
        QCOMPARE(menuItemForKey(key, (ctrl ? Qt::ControlModifier : Qt::NoModifier) | Qt::AltModifier), item);
        // Every item the table names exists in the window.
        if (!item.isEmpty()) {
            FakeDesktop desktop;
            TFormMain window(desktop);
            QVERIFY(window.Router().hasItem(item));
        }
    }

    void closeQueryAsksWhilePhotosAreOpen()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.show();
        QVERIFY(window.close());
        QVERIFY(desktop.questions.isEmpty());

        window.show();
        window.OpenPhoto(a_, false);
        window.OpenPhoto(b_, false);
        window.OpenPhoto(c_, false);
        desktop.confirmAnswer = false;
        QVERIFY(!window.close());
        QCOMPARE(desktop.questions, QStringList{"3 photo(s) still opened, quit Lumatrim now?"});
        QCOMPARE(window.Photos().count(), 3);
        QVERIFY(window.isVisible());

        window.MenuCloseClick();
        window.MenuCloseClick();
        desktop.confirmAnswer = true;
        window.Item(QStringLiteral("MenuExit"))->trigger();
        QCOMPARE(desktop.questions.last(), QStringLiteral("1 photo(s) still opened, quit Lumatrim now?"));
        QCOMPARE(window.Photos().count(), 0);
        QVERIFY(!window.isVisible());
    }

    void backgroundColorIsStoredAndRead()
    {
        FakeDesktop desktop;
        QColor workspace;
        {
            TFormMain window(desktop);
            QCOMPARE(window.BackgroundColor(), TColor(0xFF00000C));
            workspace = window.BackgroundScreenColor();
            QCOMPARE(workspace, QApplication::palette().color(QPalette::Dark));
            // Cancel changes nothing.
            window.Item(QStringLiteral("MenuBackground"))->trigger();
            QCOMPARE(desktop.colorInitials, QList<QColor>{workspace});
            QVERIFY(!QFile::exists(settingsFilePath()));
            desktop.colorAnswer = QColor(0x12, 0x34, 0x56);
            window.Item(QStringLiteral("MenuBackground"))->trigger();
            QCOMPARE(window.BackgroundScreenColor(), QColor(0x12, 0x34, 0x56));
        }
        QVERIFY2(readSettingsFile().contains(QStringLiteral("BACKGROUND=$00563412")), qPrintable(readSettingsFile()));
        {
            TFormMain restarted(desktop);
            QCOMPARE(restarted.BackgroundScreenColor(), QColor(0x12, 0x34, 0x56));
        }
        const QList<QPair<QString, QColor>> stored = {{"clRed", QColor(255, 0, 0)},
                                                      {"clappworkspace", workspace},
                                                      {"$000000FF", QColor(255, 0, 0)},
                                                      {"not a color", workspace},
                                                      {"", workspace}};
        for (const auto& [text, expected] : stored) {
            writeSettingsFile(QStringLiteral("[PHOTO]\nBACKGROUND=%1\n").arg(text));
            TFormMain window(desktop);
            QVERIFY2(window.BackgroundScreenColor() == expected, qPrintable(text));
        }
    }

    void orientationChoiceIsStoredAndAppliesToPhotosOpenedAfterIt()
    {
        const QString turned = turnedJpeg();
        FakeDesktop desktop;
        {
            TFormMain window(desktop);
            QAction* item = window.Item(QStringLiteral("MenuOrientation"));
            QVERIFY(item->isCheckable() && item->isChecked() && item->isEnabled());
            window.OpenPhoto(turned, false);
            QCOMPARE(sourceSize(window), QSize(24, 40));

            item->trigger();
            QVERIFY(!item->isChecked());
            QVERIFY2(readSettingsFile().contains(QStringLiteral("[OPTIONS]\nORIENTATION=0")), qPrintable(readSettingsFile()));
            // Photos open before the change keep their pixels; the next one follows it.
            window.OpenPhoto(turned, true);
            QCOMPARE(sourceSize(window), QSize(40, 24));
            window.SelectPhoto(0);
            QCOMPARE(sourceSize(window), QSize(24, 40));
            QVERIFY(window.Photos().at(0)->Decoding.upright && !window.Photos().at(1)->Decoding.upright);
            // The open dialog's preview decodes as the open will.
            window.Item(QStringLiteral("MenuOpen"))->trigger();
            QCOMPARE(desktop.openDecodings.size(), 1);
            QVERIFY(!desktop.openDecodings.constLast().upright);
        }
        {
            TFormMain restarted(desktop);
            QAction* item = restarted.Item(QStringLiteral("MenuOrientation"));
            QVERIFY(!item->isChecked());
            item->trigger();
            QVERIFY(item->isChecked());
            QVERIFY(readSettingsFile().contains(QStringLiteral("[OPTIONS]\nORIENTATION=1")));
        }
        QVERIFY(desktop.errors.isEmpty());
        // A choice that cannot be stored is reported, and holds until the program ends.
        clearProgramFolder();
        QDir(programFolder()).mkdir(QStringLiteral("lumatrim.dat"));
        {
            TFormMain window(desktop);
            window.Item(QStringLiteral("MenuOrientation"))->trigger();
            QVERIFY(!window.Item(QStringLiteral("MenuOrientation"))->isChecked());
            QCOMPARE(desktop.errors, QStringList{"Unable to write to " + settingsFilePath() + ": it is a folder"});
        }
        QDir(programFolder()).rmdir(QStringLiteral("lumatrim.dat"));
    }

    void backgroundWriteFailureIsReportedButTheColorStays()
    {
        // A folder where the settings file should be makes every write fail.
        QDir(programFolder()).mkdir(QStringLiteral("lumatrim.dat"));
        FakeDesktop desktop;
        {
            TFormMain window(desktop);
            desktop.colorAnswer = QColor(Qt::green);
            window.Item(QStringLiteral("MenuBackground"))->trigger();
            QCOMPARE(window.BackgroundScreenColor(), QColor(Qt::green));
            QCOMPARE(desktop.errors, QStringList{"Unable to write to " + settingsFilePath() + ": it is a folder"});
        }
        QDir(programFolder()).rmdir(QStringLiteral("lumatrim.dat"));
    }

    void photoIsCentredInTheArea()
    {
        writeSettingsFile(QStringLiteral("[PHOTO]\nSIZE=5000\n"));
        const QString big = makePhoto(QStringLiteral("big.bmp"), 900, 100);
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.resize(700, 500);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* area = window.findChild<QScrollArea*>(QStringLiteral("ScrollBox"));
        window.OpenPhoto(a_, false);
        QApplication::processEvents();
        const QSize client = area->viewport()->size();
        QCOMPARE(window.Photo().pos(), QPoint((client.width() - 64) / 2, (client.height() - 48) / 2));
        // Wider than the area: at the left edge, centred vertically, scrolled to the origin.
        window.OpenPhoto(big, false);
        QApplication::processEvents();
        const QSize narrower = area->viewport()->size();
        QCOMPARE(window.Photo().x(), 0);
        QCOMPARE(window.Photo().y(), (narrower.height() - 100) / 2);
        QCOMPARE(area->horizontalScrollBar()->value(), 0);
        area->horizontalScrollBar()->setValue(50);
        window.Photo().RotateClockwise();
        window.Photo().RotateCounterclockwise();
        QCOMPARE(area->horizontalScrollBar()->value(), 0);
        window.MenuAllClick();
        window.hide();
    }

    void photosToolBarScrollsToTheCurrentPhoto()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.resize(600, 400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (int i = 0; i < 30; ++i)
            window.OpenPhoto(c_, false);
        QApplication::processEvents();
        const QList<QToolButton*> buttons = window.findChildren<QToolButton*>(QStringLiteral("PhotoButton"));
        QCOMPARE(buttons.size(), 30);
        auto inView = [&](int index) {
            QWidget* viewport = buttons[index]->parentWidget()->parentWidget();
            const QRect place(buttons[index]->mapTo(viewport, QPoint(0, 0)), buttons[index]->size());
            return viewport->rect().contains(place);
        };
        QVERIFY(inView(29));
        QVERIFY(!inView(0));
        window.SelectPhoto(0);
        QApplication::processEvents();
        QVERIFY(inView(0));
        QVERIFY(!inView(29));
        window.MenuAllClick();
        window.hide();
    }

    void aboutAppearsOnceAtStartAndOnRequest()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.show();
        QTRY_COMPARE(desktop.execDialogs, QStringList{"TFormAbout"});
        window.hide();
        window.show();
        QTest::qWait(20);
        QCOMPARE(desktop.execDialogs.size(), 1);
        window.Item(QStringLiteral("MenuAbout"))->trigger();
        QCOMPARE(desktop.execDialogs.size(), 2);
        window.hide();
    }

    void helpOpensThroughTheShell()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.Item(QStringLiteral("MenuIndex"))->trigger();
        window.Item(QStringLiteral("MenuHome"))->trigger();
        QCOMPARE(desktop.urls.size(), 2);
        QCOMPARE(desktop.urls[0].scheme(), QStringLiteral("file"));
        QCOMPARE(desktop.urls[0].toLocalFile(), programFolder() + QStringLiteral("/Help/default.htm"));
        QCOMPARE(desktop.urls[1], homePageUrl());
        QVERIFY(desktop.errors.isEmpty());
    }

    void aboutBoxLayoutAndLinks()
    {
        FakeDesktop desktop;
        TFormAbout about(desktop);
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        QCOMPARE(about.size(), QSize(391, 259));
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("Lumatrim"));
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("Image1"))->geometry(), QRect(20, 8, 117, 200));
        auto* ok = about.findChild<QPushButton*>(QStringLiteral("ButtonOK"));
        QVERIFY(ok->isDefault());
        QTest::mouseClick(about.findChild<QLabel*>(QStringLiteral("LabelDomain")), Qt::LeftButton);
        QTest::mouseClick(about.findChild<QLabel*>(QStringLiteral("LabelEmail")), Qt::LeftButton);
        QCOMPARE(desktop.urls, (QList<QUrl>{homePageUrl(), QUrl(QStringLiteral("mailto:") + kMakerSupportEmail)}));

        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QCOMPARE(about.focusWidget(), ok);
        QTest::keyClick(&about, Qt::Key_Escape);
        QVERIFY(!about.isVisible());
    }
};

QTEST_MAIN(FormMainTest)
#include "tst_formmain.moc"
