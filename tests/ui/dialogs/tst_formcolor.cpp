// The Color Balance dialog: its boxes and track bars, the preview base made once per showing,
// the preview recolored on every change without touching the photo, and Cancel after Apply.
#include "DialogTestSupport.h"
#include "UiTestSupport.h"
#include "ui/dialogs/FormColor.h"
#include "ui/dialogs/ImageBox.h"
#include "ui/dialogs/TrackBarBox.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

class FormColorTest : public QObject {
    Q_OBJECT

    QString photo_; // 600 x 400

    static const QImage& previewOf(TFormColor& dialog) { return child<ImageBox>(dialog, "ImagePreview")->bitmap(); }

private slots:
    void initTestCase()
    {
        useFreshProgramFolder();
        photo_ = makePhoto(QStringLiteral("photo.bmp"), 600, 400);
    }

    void typedNumbersAreClampedAndOthersRestored_data()
    {
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("value");
        // Every value is 12 before typing.
        QTest::newRow("300 into red") << "Red" << "300" << 255;
        QTest::newRow("a letter") << "Green" << "g" << 12;
        QTest::newRow("empty") << "Blue" << "" << 12;
        QTest::newRow("-100 cannot be typed whole") << "Contrast" << "-100" << -10;
        QTest::newRow("below the brightness range") << "Brightness" << "-999" << -99;
    }
    void typedNumbersAreClampedAndOthersRestored()
    {
        QFETCH(QString, bar);
        QFETCH(QString, typed);
        QFETCH(int, value);
        ShownPhoto photo(photo_, [](TPhotoInfo& i) { i.Contrast = i.Brightness = i.Red = i.Green = i.Blue = 12; });
        TFormColor dialog(photo.view);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto* box = child<QLineEdit>(dialog, qPrintable("Edit" + bar));
        typeInto(box, typed);
        child<QCheckBox>(dialog, "CheckBoxGrayscale")->setFocus(); // leaving the box
        QCOMPARE(child<QSlider>(dialog, qPrintable("TrackBar" + bar))->value(), value);
        QCOMPARE(box->text(), QString::number(value));
    }

    void theTrackBarsReachWhatTheBoxesCannotTake()
    {
        ShownPhoto photo(photo_);
        TFormColor dialog(photo.view);
        dialog.show();
        child<QSlider>(dialog, "TrackBarContrast")->setValue(-100);
        child<QSlider>(dialog, "TrackBarRed")->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(child<QLineEdit>(dialog, "EditContrast")->text(), QStringLiteral("-100"));
        QCOMPARE(child<QLineEdit>(dialog, "EditRed")->text(), QStringLiteral("-255"));
        child<QPushButton>(dialog, "ButtonOK")->click();
        QCOMPARE(photo.info.Contrast, -100);
        QCOMPARE(photo.info.Red, -255);
    }

    void previewBaseIsCroppedResizedAndTurnedOncePerShowing()
    {
        ShownPhoto photo(photo_, [](TPhotoInfo& i) {
            i.CropRect = TRect{0, 0, 300, 400};
            i.Rotation = 90;
            i.Negative = true;
        });
        TFormColor dialog(photo.view);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(dialog.PreviewBase().size(), QSize(185, 139));
        QCOMPARE(child<ImageBox>(dialog, "ImagePreview")->geometry(), QRect(8, 31, 185, 139));
        QCOMPARE(QApplication::focusWidget(), child<QSlider>(dialog, "TrackBarContrast"));
        // The base has no color balance; the preview shows the negative of it.
        const QColor base = dialog.PreviewBase().pixelColor(0, 0);
        const QColor shown = previewOf(dialog).pixelColor(0, 0);
        QCOMPARE(shown, QColor(255 - base.red(), 255 - base.green(), 255 - base.blue()));
    }

    void everyChangeRecolorsThePreviewAndNeverThePhoto()
    {
        ShownPhoto photo(photo_);
        TFormColor dialog(photo.view);
        dialog.show();
        QSignalSpy renders(&photo.view, &TPhoto::OnChange);
        // Neutral values: the preview is the base itself.
        QCOMPARE(previewOf(dialog), dialog.PreviewBase());
        qint64 key = previewOf(dialog).cacheKey();
        auto changedSinceLast = [&] {
            const bool changed = previewOf(dialog).cacheKey() != key && previewOf(dialog) != dialog.PreviewBase();
            key = previewOf(dialog).cacheKey();
            return changed;
        };
        child<QSlider>(dialog, "TrackBarBrightness")->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QVERIFY(changedSinceLast());
        child<QCheckBox>(dialog, "CheckBoxGrayscale")->click();
        QVERIFY(changedSinceLast());
        const QColor gray = previewOf(dialog).pixelColor(0, 0);
        QCOMPARE(gray.red(), gray.blue());
        child<QCheckBox>(dialog, "CheckBoxNegative")->click();
        QVERIFY(changedSinceLast());
        QCOMPARE(renders.size(), 0);
        QCOMPARE(photo.info.Brightness, 0);
        QVERIFY(!photo.info.Grayscale);
    }

    void cancelAfterApplyRestoresTheOpeningValues()
    {
        ShownPhoto photo(photo_, [](TPhotoInfo& i) {
            i.Red = 7;
            i.Negative = true;
        });
        TFormColor dialog(photo.view);
        dialog.show();
        const QImage opening = photo.view.Bitmap();
        child<QSlider>(dialog, "TrackBarRed")->setValue(-40);
        child<QSlider>(dialog, "TrackBarContrast")->setValue(30);
        child<QCheckBox>(dialog, "CheckBoxNegative")->click();
        child<QCheckBox>(dialog, "CheckBoxGrayscale")->click();
        child<QPushButton>(dialog, "ButtonApply")->click();
        QCOMPARE(photo.info.Red, -40);
        QCOMPARE(photo.info.Contrast, 30);
        QVERIFY(!photo.info.Negative);
        QVERIFY(photo.info.Grayscale);
        child<QPushButton>(dialog, "ButtonCancel")->click();
        QCOMPARE(photo.info.Red, 7);
        QCOMPARE(photo.info.Contrast, 0);
        QVERIFY(photo.info.Negative);
        QVERIFY(!photo.info.Grayscale);
        QCOMPARE(photo.view.Bitmap(), opening);
    }
};

QTEST_MAIN(FormColorTest)
#include "tst_formcolor.moc"
