// The edit dialogs' shared protocol (OK, Apply, OK for All, Cancel, the close box), the
// numeric box and the track bar box, the command routing with OK for All, and the Resize
// dialog.
#include "DialogTestSupport.h"
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "ui/dialogs/FormResize.h"
#include "ui/dialogs/NumericBox.h"
#include "ui/dialogs/TrackBarBox.h"
#include "ui/photo/Photo.h"
#include "ui/window/FormMain.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

class EditDialogsTest : public QObject {
    Q_OBJECT

    QString photoA_, photoB_, photoC_;

private slots:
    void initTestCase() { useFreshProgramFolder(); }
    void init()
    {
        clearProgramFolder();
        photoA_ = makePhoto(QStringLiteral("A.bmp"), 800, 400);
        photoB_ = makePhoto(QStringLiteral("B.bmp"), 300, 600);
        photoC_ = makePhoto(QStringLiteral("C.bmp"), 50, 40);
    }

    // ---- The numeric box with its spin ----

    void numericBoxLeaveRule_data()
    {
        QTest::addColumn<bool>("rewrite");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("shown");
        // The value was 600 before typing.
        QTest::newRow("number") << false << "123" << 123 << "123";
        QTest::newRow("zero") << false << "0" << 0 << "0";
        QTest::newRow("negative, kept as typed") << false << "-5" << 0 << "-5";
        QTest::newRow("letters ignored, kept") << false << "ab" << 600 << "ab";
        QTest::newRow("empty ignored") << false << "" << 600 << "";
        QTest::newRow("five digits cannot be typed") << false << "12345" << 1234 << "1234";
        QTest::newRow("negative, rewritten") << true << "-3" << 0 << "0";
        QTest::newRow("letters restored") << true << "x1" << 600 << "600";
        QTest::newRow("number, rewritten") << true << "+42" << 42 << "42";
    }
    void numericBoxLeaveRule()
    {
        QFETCH(bool, rewrite);
        QFETCH(QString, typed);
        QFETCH(int, value);
        QFETCH(QString, shown);
        QWidget form;
        auto* box = new NumericBox({.spinName = "UpDownX", .editName = "EditX", .maximum = 9999, .maxLength = 4,
                                    .rewriteOnLeave = rewrite},
                                   &form);
        auto* other = new QLineEdit(&form);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        box->setValue(600);
        QSignalSpy changes(box, &NumericBox::valueChanged);
        auto* edit = child<QLineEdit>(form, "EditX");
        typeInto(box, typed);
        QCOMPARE(box->value(), 600); // nothing is taken while typing
        other->setFocus();           // leaving the box
        QCOMPARE(box->value(), value);
        QCOMPARE(edit->text(), shown);
        QCOMPARE(changes.size(), value == 600 ? 0 : 1);
    }

    void numericBoxArrowsAndProgramSetValuesWithinTheRange()
    {
        NumericBox box({.spinName = "UpDownMargin", .editName = "EditMargin", .maximum = 999, .maxLength = 3});
        box.setValue(5);
        box.stepBy(1);
        QCOMPARE(box.value(), 6);
        QCOMPARE(box.text(), QStringLiteral("6"));
        box.setValue(1200);
        QCOMPARE(box.value(), 999);
        QCOMPARE(box.text(), QStringLiteral("999"));
        box.stepBy(1);
        QCOMPARE(box.value(), 999);
        box.setValue(-4);
        box.stepBy(-1);
        QCOMPARE(box.value(), 0);
        QCOMPARE(box.text(), QStringLiteral("0"));
    }

    // ---- The track bar with its box ----

    void trackBarBoxLeaveRule_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("changes"); // valueChanged signals on leaving
        QTest::newRow("number") << "-20" << -20 << 2;
        QTest::newRow("above the range") << "300" << 255 << 2;
        QTest::newRow("letter restores") << "a" << 10 << 1;
        QTest::newRow("same value") << "10" << 10 << 1;
    }
    void trackBarBoxLeaveRule()
    {
        QFETCH(QString, typed);
        QFETCH(int, value);
        QFETCH(int, changes);
        QWidget form;
        auto* bar = new TrackBarBox({.trackBarName = "TrackBarRed", .editName = "EditRed", .minimum = -255,
                                     .maximum = 255, .pageStep = 10, .maxLength = 3},
                                    &form);
        auto* other = new QLineEdit(&form);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        bar->setValue(10);
        QSignalSpy spy(bar, &TrackBarBox::valueChanged);
        typeInto(bar->edit(), typed);
        QCOMPARE(spy.size(), 0);
        other->setFocus();
        QCOMPARE(bar->value(), value);
        QCOMPARE(bar->edit()->text(), QString::number(value));
        QCOMPARE(spy.size(), changes);
    }

    void trackBarReachesWhatTheBoxCannotTake()
    {
        TrackBarBox bar({.trackBarName = "TrackBarContrast", .editName = "EditContrast", .minimum = -100,
                         .maximum = 100, .pageStep = 10, .maxLength = 3});
        QSignalSpy spy(&bar, &TrackBarBox::valueChanged);
        // "-100" is four characters: it cannot be typed, but the track bar gets there.
        bar.edit()->clear();
        QTest::keyClicks(bar.edit(), QStringLiteral("-100"));
        QCOMPARE(bar.edit()->text(), QStringLiteral("-10"));
        bar.trackBar()->setValue(-100);
        QCOMPARE(bar.edit()->text(), QStringLiteral("-100"));
        QCOMPARE(spy.size(), 1);
    }

    // ---- The protocol, through the Resize dialog ----

    void applyThenCancelRestoresTheOpeningState()
    {
        ShownPhoto photo(photoA_);
        photo.info.MaxSize = 300;
        TFormResize dialog(photo.view);
        dialog.show();
        child<QPushButton>(dialog, "ButtonSmall")->click();
        child<QCheckBox>(dialog, "CheckBoxOptimize")->setChecked(true);
        child<QPushButton>(dialog, "ButtonApply")->click();
        QVERIFY(dialog.isVisible());
        QCOMPARE(photo.info.MaxSize, 400);
        QVERIFY(photo.info.Optimize);
        QCOMPARE(photo.view.Bitmap().width(), 400);
        child<QPushButton>(dialog, "ButtonCancel")->click();
        QCOMPARE(dialog.result(), 2);
        QCOMPARE(photo.info.MaxSize, 300);
        QVERIFY(!photo.info.Optimize);
        QCOMPARE(photo.view.Bitmap().width(), 300);
    }

    void buttonsRenderOnceAndCloseWithTheirResults_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("visible");
        QTest::newRow("OK") << "ButtonOK" << 1 << false;
        QTest::newRow("OK for All") << "ButtonAll" << 8 << false;
        QTest::newRow("Cancel") << "ButtonCancel" << 2 << false;
        QTest::newRow("Apply") << "ButtonApply" << 0 << true;
    }
    void buttonsRenderOnceAndCloseWithTheirResults()
    {
        QFETCH(QString, button);
        QFETCH(int, result);
        QFETCH(bool, visible);
        ShownPhoto photo(photoA_);
        TFormResize dialog(photo.view);
        dialog.setResult(0);
        dialog.show();
        QSignalSpy renders(&photo.view, &TPhoto::OnChange);
        child<QPushButton>(dialog, qPrintable(button))->click();
        QCOMPARE(renders.size(), 1); // Cancel without a change renders too
        QCOMPARE(dialog.isVisible(), visible);
        QCOMPARE(dialog.result(), result);
    }

    void enterWhileTypingCommitsTheNumber()
    {
        ShownPhoto photo(photoA_);
        TFormResize dialog(photo.view);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto* box = child<NumericBox>(dialog, "UpDownMax");
        QCOMPARE(QApplication::focusWidget(), box); // the first control on showing
        typeInto(box, QStringLiteral("321"));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(dialog.result(), 1);
        QCOMPARE(photo.info.MaxSize, 321);
        QCOMPARE(photo.view.Bitmap().width(), 321);
    }

    void escapeCancelsAndTheCloseBoxOnlyCloses()
    {
        ShownPhoto photo(photoA_);
        photo.info.MaxSize = 300;
        TFormResize dialog(photo.view);
        for (const bool escape : {true, false}) {
            dialog.show();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            child<QPushButton>(dialog, "ButtonLarge")->click();
            child<QPushButton>(dialog, "ButtonApply")->click();
            QCOMPARE(photo.info.MaxSize, 640);
            if (escape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), 2);
            // Escape is Cancel and restores; the close box keeps what Apply wrote.
            QCOMPARE(photo.info.MaxSize, escape ? 300 : 640);
        }
    }

    // ---- The Resize dialog ----

    void resizeShowsAndStoresTheSize_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("afterOk");
        QTest::newRow("zero accepted") << 0 << "0" << 0;
        QTest::newRow("ordinary") << 600 << "600" << 600;
        QTest::newRow("limit") << 9999 << "9999" << 9999;
        QTest::newRow("10000") << 10000 << "9999" << 9999;
        QTest::newRow("32767") << 32767 << "9999" << 9999;
        QTest::newRow("beyond 16 bits") << 70000 << "9999" << 9999;
        QTest::newRow("negative") << -7 << "0" << 0;
    }
    void resizeShowsAndStoresTheSize()
    {
        QFETCH(int, stored);
        QFETCH(QString, shown);
        QFETCH(int, afterOk);
        ShownPhoto photo(photoC_);
        photo.info.MaxSize = stored;
        TFormResize dialog(photo.view);
        dialog.show();
        QCOMPARE(child<QLineEdit>(dialog, "EditMax")->text(), shown);
        child<QPushButton>(dialog, "ButtonOK")->click();
        QCOMPARE(photo.info.MaxSize, afterOk);
    }

    void resizePresets_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("keep");
        // Before: 300, keep off, optimize on.
        QTest::newRow("Small") << "ButtonSmall" << 400 << false;
        QTest::newRow("Medium") << "ButtonMedium" << 500 << false;
        QTest::newRow("Large") << "ButtonLarge" << 640 << false;
        QTest::newRow("Original") << "ButtonOriginal" << 9999 << true;
    }
    void resizePresets()
    {
        QFETCH(QString, button);
        QFETCH(int, size);
        QFETCH(bool, keep);
        ShownPhoto photo(photoA_);
        photo.info.MaxSize = 300;
        photo.info.KeepSize = false;
        photo.info.Optimize = true;
        TFormResize dialog(photo.view);
        dialog.show();
        child<QPushButton>(dialog, qPrintable(button))->click();
        QCOMPARE(child<QLineEdit>(dialog, "EditMax")->text(), QString::number(size));
        QCOMPARE(child<QCheckBox>(dialog, "CheckBoxKeep")->isChecked(), keep);
        QVERIFY(child<QCheckBox>(dialog, "CheckBoxOptimize")->isChecked());
        QCOMPARE(photo.info.MaxSize, 300); // presets do not touch the photo
        child<QPushButton>(dialog, "ButtonOK")->click();
        QCOMPARE(photo.info.MaxSize, size);
        QCOMPARE(photo.info.KeepSize, keep);
        QVERIFY(photo.info.Optimize);
    }

    void resizeDialogLayout()
    {
        ShownPhoto photo(photoA_);
        TFormResize dialog(photo.view);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Resize"));
        // A fixed size, at least the original 397 x 298, grown to hold the JPEG controls.
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(dialog.width() >= 397 && dialog.height() >= 298);
        QStringList row;
        for (const char* name : {"ButtonOK", "ButtonAll", "ButtonCancel", "ButtonApply"})
            row << child<QPushButton>(dialog, name)->text();
        QCOMPARE(row, QStringList({"OK", "OK for All", "Cancel", "Apply"}));
        QVERIFY(child<QPushButton>(dialog, "ButtonOK")->isDefault());
        // Nothing is cut off: every control lies within the dialog and gets its wanted size.
        for (QWidget* control : dialog.findChildren<QWidget*>()) {
            if (!control->isVisible() || control->sizeHint().isEmpty() || qobject_cast<QLineEdit*>(control))
                continue;
            const QRect inDialog(control->mapTo(&dialog, QPoint(0, 0)), control->size());
            QVERIFY2(dialog.rect().contains(inDialog), qPrintable(control->objectName()));
            QVERIFY2(control->width() >= control->minimumSizeHint().width(),
                     qPrintable(QStringLiteral("%1 %2 < %3").arg(control->objectName()).arg(control->width()).arg(control->minimumSizeHint().width())));
        }
    }

    // ---- Routing, through the main window ----

    void okForAllCarriesTheResizeGroupIntoEveryPhoto()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        for (const QString& file : {photoA_, photoB_, photoC_})
            window.OpenPhoto(file, false);
        TPhotoInfo* first = window.Photos().at(0);
        first->Watermark = QStringLiteral("first");
        first->Rotation = 90;
        window.SelectPhoto(1);
        desktop.onExec = [](QDialog& dialog) {
            dialog.show();
            child<QPushButton>(dialog, "ButtonSmall")->click();
            child<QCheckBox>(dialog, "CheckBoxOptimize")->setChecked(true);
            child<QCheckBox>(dialog, "CheckBoxResample")->setChecked(true);
            child<QCheckBox>(dialog, "CheckBoxKeep")->setChecked(false);
            child<QPushButton>(dialog, "ButtonAll")->click();
        };
        window.Item(QStringLiteral("MenuResize"))->trigger();
        QCOMPARE(desktop.execDialogs, QStringList{"TFormResize"});
        for (int i = 0; i < 3; ++i) {
            const TPhotoInfo& info = *window.Photos().at(i);
            QCOMPARE(info.MaxSize, 400);
            QVERIFY(info.Optimize);
            QVERIFY(info.Resample);
            QVERIFY(!info.KeepSize);
        }
        // Nothing outside the group moved, and the other photos were not rendered now.
        QCOMPARE(first->Watermark, QStringLiteral("first"));
        QCOMPARE(first->Rotation, 90);
        QCOMPARE(window.Photo().Info(), window.Photos().at(1));
        // A photo opened afterwards starts from the defaults.
        window.OpenPhoto(photoA_, false);
        const TPhotoInfo defaults;
        QCOMPARE(window.Photos().at(3)->MaxSize, defaults.MaxSize);
        QCOMPARE(window.Photos().at(3)->Optimize, defaults.Optimize);
        QVERIFY(!window.Photos().at(3)->Resample);
    }

    void okCancelAndApplyTouchOnlyTheCurrentPhoto()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photoA_, false);
        window.OpenPhoto(photoB_, false);
        desktop.onExec = [](QDialog& dialog) {
            dialog.show();
            child<QPushButton>(dialog, "ButtonLarge")->click();
            child<QPushButton>(dialog, "ButtonOK")->click();
        };
        window.Item(QStringLiteral("MenuResize"))->trigger();
        QCOMPARE(window.Photos().at(1)->MaxSize, 640);
        QCOMPARE(window.Photos().at(0)->MaxSize, TPhotoInfo().MaxSize);
        QCOMPARE(window.Photo().Bitmap().height(), 600); // the 300 x 600 photo kept its size
    }

    void resizeKeyWithoutASourceShowsNothing()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        pressKey(&window, Qt::Key_R, Qt::ControlModifier); // no photo at all
        const QString gone = makePhoto(QStringLiteral("gone.bmp"), 20, 20);
        window.OpenPhoto(gone, false);
        QVERIFY(QFile::remove(gone));
        window.SelectPhoto(0); // becomes current without a picture
        QVERIFY(!window.Photo().Source());
        pressKey(&window, Qt::Key_R, Qt::ControlModifier);
        window.Item(QStringLiteral("MenuResize"))->trigger();
        QVERIFY(!desktop.execDialogs.contains(QStringLiteral("TFormResize")));
        QCOMPARE(window.Photo().ShowResize(), 2);
    }
};

QTEST_MAIN(EditDialogsTest)
#include "tst_editdialogs.moc"
