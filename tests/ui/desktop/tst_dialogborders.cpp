// The border every dialog of the main window gets: fixed in size, with a title and a close
// box, and nothing a window manager could minimize or maximize it with.
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "ui/window/FormMain.h"

#include <QDialog>
#include <QTest>

class DialogBordersTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useFreshProgramFolder(); }

    void fixedDialogsHaveOnlyACloseBox()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        QStringList names;
        for (const QDialog* dialog : window.findChildren<QDialog*>()) {
            const QString name = dialog->objectName();
            names << name;
            const Qt::WindowFlags flags = dialog->windowFlags();
            QCOMPARE(dialog->windowType(), Qt::Dialog);
            QVERIFY2(dialog->minimumSize() == dialog->maximumSize(), qPrintable(name));
            // Without CustomizeWindowHint the window manager picks the buttons itself.
            QVERIFY2(flags.testFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
                     qPrintable(name));
            QVERIFY2(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint)),
                     qPrintable(name));
        }
        names.sort();
        QCOMPARE(names, QStringList({"TFormAbout", "TFormAdd", "TFormColor", "TFormCrop", "TFormDefault", "TFormExport",
                                     "TFormManage", "TFormMask", "TFormResize", "TFormWatermark"}));
    }

    // A window manager that offers a minimize button anyway minimizes the whole program with
    // a modal dialog: the dialog comes straight back, and its owner with it.
    void minimizedDialogComesBackWithItsOwner()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (const char* name : {"TFormAbout", "TFormAdd"}) {
            auto* dialog = window.findChild<QDialog*>(QLatin1String(name));
            QVERIFY(dialog);
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            window.setWindowState(Qt::WindowMinimized);
            dialog->setWindowState(Qt::WindowMinimized);
            QTRY_VERIFY2(!dialog->isMinimized(), name);
            QVERIFY2(!window.isMinimized(), name);
            QVERIFY(dialog->isVisible());
            dialog->hide();
        }
    }
};

QTEST_MAIN(DialogBordersTest)
#include "tst_dialogborders.moc"
