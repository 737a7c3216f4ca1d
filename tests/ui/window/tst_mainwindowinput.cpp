// The main window as a user works it: a key that opens a dialog acts once whatever the dialog
// does to the focus, the photo area's pop-up menu, and the current photo's marked button.
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "ui/photo/Photo.h"
#include "ui/window/FormMain.h"
#include "ui/window/PhotosToolBar.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QMenu>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

// A real modal dialog that, while open, moves the parent window's focus to the parent of the
// control that had it (as a closing dialog may leave the focus elsewhere), then closes itself.
void runFocusMovingDialog(QWidget* parent)
{
    QDialog dialog(parent);
    QWidget* focus = QApplication::focusWidget();
    QTimer::singleShot(20, &dialog, [&] {
        if (focus && focus->parentWidget())
            focus->parentWidget()->setFocus();
        dialog.reject();
    });
    // Never wait for ever, even if the timer above did not close it.
    QTimer::singleShot(5000, &dialog, &QDialog::reject);
    dialog.exec();
}

QWidget* focusTarget(TFormMain& window, const QString& which)
{
    if (which == QLatin1String("photo button"))
        return window.findChild<QToolButton*>(QStringLiteral("PhotoButton"));
    if (which == QLatin1String("photo area"))
        return window.findChild<QScrollArea*>(QStringLiteral("ScrollBox"));
    return window.TemplatesToolBar();
}

// The enabled state of every pop-up item, by the caption it shares with its main-menu item.
QStringList enabledStates(const QList<QAction*>& actions)
{
    QStringList states;
    for (const QAction* action : actions)
        if (!action->isSeparator())
            states << action->text() + (action->isEnabled() ? QStringLiteral(" on") : QStringLiteral(" off"));
    return states;
}

} // namespace

class MainWindowInputTest : public QObject {
    Q_OBJECT

    QString photoA_, photoB_;

private slots:
    void initTestCase() { useFreshProgramFolder(); }
    void init()
    {
        clearProgramFolder();
        photoA_ = makePhoto(QStringLiteral("A.bmp"), 64, 48);
        photoB_ = makePhoto(QStringLiteral("B.bmp"), 48, 64);
    }

    void keyOpeningADialogActsOnce_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("focus");
        for (const char* focus : {"photo button", "photo area", "templates tool bar"}) {
            QTest::addRow("Ctrl+O, %s", focus) << int(Qt::Key_O) << QString::fromLatin1(focus);
            QTest::addRow("Ctrl+S, %s", focus) << int(Qt::Key_S) << QString::fromLatin1(focus);
        }
    }
    void keyOpeningADialogActsOnce()
    {
        QFETCH(int, key);
        QFETCH(QString, focus);
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.OpenPhoto(photoA_, false);
        QWidget* target = focusTarget(window, focus);
        QVERIFY(target);
        target->setFocus();
        QCOMPARE(QApplication::focusWidget(), target);

        desktop.duringFileDialog = runFocusMovingDialog;
        pressKey(&window, key, Qt::ControlModifier);
        QCOMPARE(desktop.openCalls + desktop.proposedNames.size(), 1);
        QVERIFY(desktop.errors.isEmpty());
    }

    void rightClickOnThePhotoAreaShowsThePopupMenu_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<int>("photos");
        QTest::newRow("photo, one photo") << "Photo" << 1;
        QTest::newRow("photo, two photos") << "Photo" << 2;
        QTest::newRow("background, no photo") << "viewport" << 0;
        QTest::newRow("background, two photos") << "viewport" << 2;
    }
    void rightClickOnThePhotoAreaShowsThePopupMenu()
    {
        QFETCH(QString, widget);
        QFETCH(int, photos);
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.resize(800, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (int i = 0; i < photos; ++i)
            window.OpenPhoto(i == 0 ? photoA_ : photoB_, false);

        auto* area = window.findChild<QScrollArea*>(QStringLiteral("ScrollBox"));
        QWidget* clicked = widget == QLatin1String("Photo") ? static_cast<QWidget*>(&window.Photo()) : area->viewport();
        const QPoint at(2, 2);
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, clicked->mapToGlobal(at));
        QApplication::sendEvent(clicked, &click);

        QMenu* popup = window.PopupMenu();
        QTRY_VERIFY(popup->isVisible());
        // Each item is enabled exactly when its main-menu twin is.
        QList<QAction*> twins;
        for (QAction* item : popup->actions())
            twins << (item->isSeparator() ? item : window.Item(item->objectName().replace(QStringLiteral("Popup"), QStringLiteral("Menu"))));
        QCOMPARE(enabledStates(popup->actions()), enabledStates(twins));
        QCOMPARE(popup->actions().at(0)->isEnabled(), photos > 0);
        popup->hide();
    }

    void menuKeyOnThePhotoAreaShowsThePopupMenu()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* area = window.findChild<QScrollArea*>(QStringLiteral("ScrollBox"));
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), area->mapToGlobal(QPoint(0, 0)));
        QApplication::sendEvent(area, &key);
        QTRY_VERIFY(window.PopupMenu()->isVisible());
        window.PopupMenu()->hide();
    }

    void currentPhotoButtonIsFramedInTheHighlightColor()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.OpenPhoto(photoA_, false);
        window.OpenPhoto(photoB_, false);
        const QList<QToolButton*> buttons = window.findChildren<QToolButton*>(QStringLiteral("PhotoButton"));
        QCOMPARE(buttons.size(), 2);
        const QColor highlight = buttons[1]->palette().color(QPalette::Highlight);
        auto frameOf = [](QToolButton* button) {
            const QImage image = button->grab().toImage();
            const int w = image.width(), h = image.height(), t = PhotosToolBar::kCurrentFrameWidth;
            return QList<QColor>{image.pixelColor(0, 0), image.pixelColor(w - 1, h - 1), image.pixelColor(t - 1, h / 2),
                                 image.pixelColor(w / 2, h - t)};
        };
        for (const QColor& pixel : frameOf(buttons[1]))
            QCOMPARE(pixel, highlight);
        for (const QColor& pixel : frameOf(buttons[0]))
            QVERIFY(pixel != highlight);
        window.MenuPreviousClick();
        QCOMPARE(frameOf(buttons[0]).constFirst(), highlight);
        QVERIFY(frameOf(buttons[1]).constFirst() != highlight);
    }
};

QTEST_MAIN(MainWindowInputTest)
#include "tst_mainwindowinput.moc"
