// The JPEG quality and largest file of a photo in the window: the Resize dialog's controls
// and its file size, the status bar's file size, the background estimate that both use, and
// what Save As and Send Email To write and say under a size limit.
#include "DialogTestSupport.h"
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "formats/JpegSizeLimit.h"
#include "formats/JpegWriter.h"
#include "model/ProgramFolder.h"
#include "ui/dialogs/FormResize.h"
#include "ui/dialogs/NumericBox.h"
#include "ui/photo/FileSizeEstimator.h"
#include "ui/photo/Photo.h"
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
#include <QTest>

#include <cstdint>

namespace {

// A grainy picture, so that the quality changes the file size a lot.
QImage grainyPicture(int width, int height, uint32_t seed)
{
    QImage image(width, height, QImage::Format_BGR888);
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image.scanLine(y);
        for (int x = 0; x < width * 3; ++x) {
            state = state * 1664525u + 1013904223u;
            p[x] = uint8_t((x / 3 + y) / 2 + (state >> 27));
        }
    }
    return image;
}

QString grainyPhoto(const QString& name, int width, int height)
{
    const QString folder = programFolder() + QStringLiteral("/photos");
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name;
    grainyPicture(width, height, 7).save(path);
    return path;
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
        photo_ = grainyPhoto(QStringLiteral("grain.bmp"), 320, 240);
    }

    void fileSizeTexts_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("asked");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<QString>("text");
        QTest::newRow("at its own quality") << qint64(212 * 1024) << 85 << 85 << true << "About 212 KB";
        QTest::newRow("rounded down") << qint64(212 * 1024 + 511) << 100 << 100 << true << "About 212 KB";
        QTest::newRow("rounded up from half") << qint64(212 * 1024 + 512) << 100 << 100 << true << "About 213 KB";
        QTest::newRow("a tiny file is 1 KB") << qint64(300) << 100 << 100 << true << "About 1 KB";
        QTest::newRow("lowered by the limit") << qint64(198 * 1024) << 83 << 100 << true
                                              << "About 198 KB at quality 83";
        QTest::newRow("over the limit at 1") << qint64(612 * 1024) << 1 << 90 << false
                                             << "About 612 KB at quality 1, over the limit";
    }
    void fileSizeTexts()
    {
        QFETCH(qint64, bytes);
        QFETCH(int, quality);
        QFETCH(int, asked);
        QFETCH(bool, fits);
        QFETCH(QString, text);
        QCOMPARE(fileSizeText({bytes, quality, asked, fits}), text);
    }

    // Requests made while a compression runs replace each other: only the newest is announced.
    void theEstimatorAnnouncesOnlyTheNewestRequest()
    {
        const QImage large = grainyPicture(1600, 1200, 3);
        const QImage small = grainyPicture(64, 48, 4);
        FileSizeEstimator estimator;
        QSignalSpy spy(&estimator, &FileSizeEstimator::estimated);
        PhotoSettings settings;
        for (int quality : {100, 90, 80, 70}) {
            settings.JpegQuality = quality;
            estimator.request(large, settings);
        }
        settings.JpegQuality = 35;
        estimator.request(small, settings);
        QTRY_VERIFY_WITH_TIMEOUT(!estimator.pending(), 20000);
        QCOMPARE(spy.size(), 1);
        const auto estimate = spy.at(0).at(0).value<FileSizeEstimate>();
        QCOMPARE(estimate.bytes, encodeJpeg(small, 35).size());
        QCOMPARE(estimate.quality, 35);

        // The same again is not worked out again; after clear it is, and a cleared request
        // announces nothing.
        estimator.request(small, settings);
        QVERIFY(!estimator.pending());
        estimator.request(large, settings);
        estimator.clear();
        QTRY_VERIFY_WITH_TIMEOUT(!estimator.pending(), 20000);
        QCOMPARE(spy.size(), 1);
        estimator.request(small, settings);
        QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 2, 20000);
    }

    // The quality track bar and the largest-file box write the record on OK; the size label
    // shows, once worked out, the size of exactly the file Save As writes.
    void theResizeDialogEditsTheQualityAndShowsTheWrittenSize()
    {
        ShownPhoto photo(photo_, [](TPhotoInfo& info) { info.MaxSize = 9999; });
        TFormResize dialog(photo.view);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto* label = child<QLabel>(dialog, "LabelFileSize");
        auto* bar = child<QSlider>(dialog, "TrackBarQuality");
        QCOMPARE(bar->value(), 100);
        QCOMPARE(child<QLineEdit>(dialog, "EditQuality")->text(), QStringLiteral("100"));
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), approximateFileSize(encodeJpeg(photo.view.Bitmap()).size()), 20000);
        QCOMPARE(label->toolTip(), QStringLiteral("No camera or location data is kept"));
        QCOMPARE(bar->toolTip(), QStringLiteral("No camera or location data is kept"));

        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_PageDown); // 100 - 10
        QTest::keyClick(bar, Qt::Key_Left);     // 89
        QCOMPARE(child<QLineEdit>(dialog, "EditQuality")->text(), QStringLiteral("89"));
        const QByteArray at89 = encodeJpeg(photo.view.Bitmap(), 89);
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), approximateFileSize(at89.size()), 20000);
        QCOMPARE(photo.info.JpegQuality, 100); // the photo changes on OK only
        child<QPushButton>(dialog, "ButtonOK")->click();
        QCOMPARE(photo.info.JpegQuality, 89);
        QCOMPARE(photo.info.MaxFileKB, 0);
        const QString saved = programFolder() + QStringLiteral("/at89.jpg");
        photo.view.SaveToFile(saved);
        QCOMPARE(fileBytes(saved), at89);

        // A limit between the sizes at 40 and 89: the label names the quality it gives.
        const qint64 at40 = encodeJpeg(photo.view.Bitmap(), 40).size();
        const int limit = int((at40 + at89.size()) / 2 / 1024);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto* box = child<NumericBox>(dialog, "UpDownMaxFile");
        QVERIFY(!box->isEnabled());
        QCOMPARE(box->value(), 500);
        child<QCheckBox>(dialog, "CheckBoxMaxFile")->setChecked(true);
        QVERIFY(box->isEnabled());
        typeInto(child<QLineEdit>(dialog, "EditMaxFile"), QString::number(limit));
        bar->setFocus();
        const FittedJpeg fitted = *encodeJpegWithin(photo.view.Bitmap(), 89, qint64(limit) * 1024);
        QVERIFY(fitted.quality < 89 && fitted.quality >= 40);
        QTRY_COMPARE_WITH_TIMEOUT(label->text(),
                                  QStringLiteral("%1 at quality %2").arg(approximateFileSize(fitted.bytes.size())).arg(fitted.quality),
                                  20000);
        child<QPushButton>(dialog, "ButtonOK")->click();
        QCOMPARE(photo.info.MaxFileKB, limit);
        photo.view.SaveToFile(saved);
        QCOMPARE(fileBytes(saved), fitted.bytes);

        // Unchecked again: no limit.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(box->value(), limit);
        child<QCheckBox>(dialog, "CheckBoxMaxFile")->setChecked(false);
        child<QPushButton>(dialog, "ButtonOK")->click();
        QCOMPARE(photo.info.MaxFileKB, 0);
    }

    void theStatusBarShowsTheFileSizeOfTheCurrentPhoto()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        auto* panel = window.findChild<QLabel*>(QStringLiteral("StatusPanelFileSize"));
        QVERIFY(panel);
        QVERIFY(panel->text().isEmpty());
        window.OpenPhoto(photo_, false);
        const QString at100 = approximateFileSize(encodeJpeg(window.Photo().Bitmap()).size());
        QTRY_COMPARE_WITH_TIMEOUT(panel->text(), at100, 20000);
        // Between the pixel size and the zoom.
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect pixels = window.findChild<QLabel*>(QStringLiteral("StatusPanel3"))->geometry();
        const QRect zoom = window.findChild<QLabel*>(QStringLiteral("StatusPanel4"))->geometry();
        QVERIFY(pixels.right() < panel->geometry().left() && panel->geometry().right() < zoom.left());

        // A new quality renders the photo, and the panel follows.
        desktop.onExec = [](QDialog& dialog) {
            dialog.show();
            child<QLineEdit>(dialog, "EditQuality")->setFocus();
            typeInto(child<QLineEdit>(dialog, "EditQuality"), QStringLiteral("30"));
            child<QPushButton>(dialog, "ButtonOK")->click();
        };
        window.Item(QStringLiteral("MenuResize"))->trigger();
        QCOMPARE(window.Photos().at(0)->JpegQuality, 30);
        QTRY_COMPARE_WITH_TIMEOUT(panel->text(), approximateFileSize(encodeJpeg(window.Photo().Bitmap(), 30).size()),
                                  20000);
        window.Item(QStringLiteral("MenuClose"))->trigger();
        QVERIFY(panel->text().isEmpty());
    }

    // Even quality 1 is over a 1 KB limit: Save As and Send Email To write quality 1 and say
    // so once each, naming the photo.
    void aLimitThatCannotBeMetIsWrittenAtQuality1AndReported()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        TPhotoInfo& info = *window.Photos().at(0);
        info.MaxSize = 9999;
        info.JpegQuality = 90;
        info.MaxFileKB = 1;
        window.Photo().Render();
        const QByteArray atOne = encodeJpeg(window.Photo().Bitmap(), 1);
        QVERIFY(atOne.size() > 1024);

        desktop.saveAnswer = programFolder() + QStringLiteral("/small.jpg");
        window.Item(QStringLiteral("MenuSave"))->trigger();
        QCOMPARE(fileBytes(desktop.saveAnswer), atOne);
        QCOMPARE(desktop.warnings, QStringList{sizeLimitMissedMessage(photo_, atOne.size(), 1)});
        QVERIFY(desktop.warnings.at(0).startsWith(photo_));
        QVERIFY(desktop.errors.isEmpty());

        window.Item(QStringLiteral("MenuEmail"))->trigger();
        QCOMPARE(fileBytes(PhotoOutput::mailFilePath()), atOne);
        QCOMPARE(desktop.warnings.size(), 2);
        QCOMPARE(desktop.mails.size(), 1);

        // A limit it meets: nothing to say.
        info.MaxFileKB = kMaxFileKBLimit;
        window.Item(QStringLiteral("MenuSave"))->trigger();
        QCOMPARE(fileBytes(desktop.saveAnswer), encodeJpeg(window.Photo().Bitmap(), 90));
        QCOMPARE(desktop.warnings.size(), 2);
    }
};

QTEST_MAIN(JpegQualityTest)
#include "tst_jpegquality.moc"
