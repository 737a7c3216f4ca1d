// The JPEG quality and largest file in the window: the Resize dialog's controls and file
// size, the status bar's file size, the background estimate both use, and the warning of
// Save As and Send Email To when even quality 1 is over the limit.
#include "DialogTestSupport.h"
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "formats/JpegSizeLimit.h"
#include "formats/JpegWriter.h"
#include "model/ProgramFolder.h"
#include "ui/dialogs/FormResize.h"
#include "ui/photo/FileSizeEstimator.h"
#include "ui/photo/PhotoOutput.h"
#include "ui/window/FormMain.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

namespace {

// Fine grain over a gradient, so that the quality changes the file size a lot.
QImage grainyPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_BGR888);
    uint32_t state = 7;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x) {
            state = state * 1664525u + 1013904223u;
            image.scanLine(y)[x] = uint8_t((x / 3 + y) / 2 + (state >> 27));
        }
    return image;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class JpegQualityTest : public QObject {
    Q_OBJECT

    QString photo_;

private slots:
    void initTestCase() { useFreshProgramFolder(); }
    void init()
    {
        clearProgramFolder();
        QDir().mkpath(programFolder() + "/photos");
        photo_ = programFolder() + "/photos/grain.bmp";
        grainyPicture(320, 240).save(photo_);
    }

    void theEstimatorAnnouncesOnlyTheNewestRequest()
    {
        const QImage large = grainyPicture(1600, 1200), small = grainyPicture(64, 48);
        FileSizeEstimator estimator;
        QSignalSpy spy(&estimator, &FileSizeEstimator::estimated);
        PhotoSettings settings;
        for (int quality : {100, 90, 80, 35}) {
            settings.JpegQuality = quality;
            estimator.request(quality == 35 ? small : large, settings);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!estimator.pending(), 20000);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).value<FileSizeEstimate>().bytes, encodeJpeg(small, 35).size());
        estimator.request(large, settings);
        estimator.clear(); // a cleared request announces nothing
        QTRY_VERIFY_WITH_TIMEOUT(!estimator.pending(), 20000);
        QCOMPARE(spy.size(), 1);
    }

    // The track bar and the largest-file box write the record on OK; the size label shows,
    // once worked out, the size of exactly the file Save As writes.
    void theResizeDialogEditsTheQualityAndShowsTheWrittenSize()
    {
        ShownPhoto photo(photo_, [](TPhotoInfo& info) { info.MaxSize = 9999; });
        TFormResize dialog(photo.view);
        dialog.show();
        auto* label = child<QLabel>(dialog, "LabelFileSize");
        auto* bar = child<QSlider>(dialog, "TrackBarQuality");
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), approximateFileSize(encodeJpeg(photo.view.Bitmap()).size()), 20000);
        QCOMPARE(bar->toolTip(), QStringLiteral("No camera or location data is kept"));
        bar->setValue(89);
        QCOMPARE(child<QLineEdit>(dialog, "EditQuality")->text(), QStringLiteral("89"));
        const QByteArray at89 = encodeJpeg(photo.view.Bitmap(), 89);
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), approximateFileSize(at89.size()), 20000);
        QCOMPARE(photo.info.JpegQuality, 100); // the photo changes on OK only
        child<QPushButton>(dialog, "ButtonOK")->click();
        QCOMPARE((std::pair{photo.info.JpegQuality, photo.info.MaxFileKB}), (std::pair{89, 0}));
        const QString saved = programFolder() + "/saved.jpg";
        photo.view.SaveToFile(saved);
        QCOMPARE(fileBytes(saved), at89);

        // A limit between the sizes at 40 and 89: the label names the quality it gives.
        const int limit = int((encodeJpeg(photo.view.Bitmap(), 40).size() + at89.size()) / 2 / 1024);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        child<QCheckBox>(dialog, "CheckBoxMaxFile")->setChecked(true);
        typeInto(child<QLineEdit>(dialog, "EditMaxFile"), QString::number(limit));
        bar->setFocus();
        const FittedJpeg fitted = *encodeJpegWithin(photo.view.Bitmap(), 89, qint64(limit) * 1024);
        QVERIFY(fitted.quality < 89 && fitted.quality >= 40);
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), fileSizeText({fitted.bytes.size(), fitted.quality, 89, true}), 20000);
        QVERIFY(label->text().endsWith(QStringLiteral(" at quality %1").arg(fitted.quality)));
        child<QPushButton>(dialog, "ButtonOK")->click();
        QCOMPARE(photo.info.MaxFileKB, limit);
        photo.view.SaveToFile(saved);
        QCOMPARE(fileBytes(saved), fitted.bytes);
    }

    void theStatusBarShowsTheFileSizeBesideThePixelSize()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        auto* panel = window.findChild<QLabel*>(QStringLiteral("StatusPanelFileSize"));
        window.OpenPhoto(photo_, false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE_WITH_TIMEOUT(panel->text(), approximateFileSize(encodeJpeg(window.Photo().Bitmap()).size()), 20000);
        const QRect pixels = window.findChild<QLabel*>(QStringLiteral("StatusPanel3"))->geometry();
        QVERIFY(pixels.right() < panel->geometry().left());
        window.Photos().at(0)->JpegQuality = 30;
        window.Photo().Render();
        QTRY_COMPARE_WITH_TIMEOUT(panel->text(), approximateFileSize(encodeJpeg(window.Photo().Bitmap(), 30).size()),
                                  20000);
        window.Item(QStringLiteral("MenuClose"))->trigger();
        QVERIFY(panel->text().isEmpty());
    }

    void aLimitThatCannotBeMetIsWrittenAtQuality1AndSaidOnceNamingThePhoto()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        window.Photos().at(0)->MaxFileKB = 1;
        window.Photo().Render();
        const QByteArray atOne = encodeJpeg(window.Photo().Bitmap(), 1);
        QVERIFY(atOne.size() > 1024);
        desktop.saveAnswer = programFolder() + "/small.jpg";
        window.Item(QStringLiteral("MenuSave"))->trigger();
        QCOMPARE(fileBytes(desktop.saveAnswer), atOne);
        QCOMPARE(desktop.warnings, QStringList{sizeLimitMissedMessage(photo_, atOne.size(), 1)});
        window.Item(QStringLiteral("MenuEmail"))->trigger();
        QCOMPARE(fileBytes(PhotoOutput::mailFilePath()), atOne);
        QCOMPARE((std::pair{desktop.warnings.size(), desktop.mails.size()}), (std::pair{qsizetype(2), qsizetype(1)}));
    }
};

QTEST_MAIN(JpegQualityTest)
#include "tst_jpegquality.moc"
