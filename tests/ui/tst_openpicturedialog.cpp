// The open dialog's preview: JPEG reduced at once, other formats decoded on a worker thread,
// only the latest selection shown, and its full decode handed to the open that follows.
// Background decodes are held back with a gate where a test needs one still running.
#include "UiTestSupport.h"
#include "model/LastDecodedPicture.h"
#include "model/PhotoCore.h"
#include "model/PhotoInfo.h"
#include "model/ProgramFolder.h"
#include "ui/main/OpenPictureDialog.h"
#include "ui/main/PreviewLoader.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <memory>
#include <thread>

namespace {

// Holds the background decode of one file until released; counts the decodes it saw start.
struct DecodeGate {
    explicit DecodeGate(const QString& file) : heldFile(file) {}

    QString heldFile;
    QSemaphore started;
    QSemaphore release;

    std::function<void(const QString&)> hook()
    {
        return [this](const QString& fileName) {
            if (fileName == heldFile) {
                started.release();
                release.acquire();
            }
        };
    }
};

// Waits for every background decode to end and for its result to reach the dialog.
void settleBackgroundDecodes()
{
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

QString sizeText(const OpenPictureDialog& dialog)
{
    return dialog.findChild<QLabel*>(QStringLiteral("LabelSize"))->text();
}

bool hasPreview(const OpenPictureDialog& dialog)
{
    return !dialog.findChild<QLabel*>(QStringLiteral("ImagePreview"))->pixmap().isNull();
}

} // namespace

class OpenPictureDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        useFreshProgramFolder();
        // A held decode occupies one thread; the next selection needs another.
        QThreadPool::globalInstance()->setMaxThreadCount(std::max(4, QThreadPool::globalInstance()->maxThreadCount()));
    }

    void init() { LastDecodedPicture::clear(); }

    // A JPEG shows before showPreview returns, from the reduced decode, with the size the file
    // holds; nothing is kept as the full picture, so the open decodes it in full.
    void jpegPreviewIsImmediateAndNotKept()
    {
        const struct {
            QString file;
            QString label;
        } cases[] = {
            {makePhoto(QStringLiteral("large.jpg"), 1600, 1200), QStringLiteral("1600 x 1200")},
            {makePhoto(QStringLiteral("small.jpg"), 90, 60), QStringLiteral("90 x 60")},
            {programFile(QStringLiteral("photos/broken.jpg")), QStringLiteral("(no preview)")},
        };
        QFile broken(cases[2].file);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("\xff\xd8\xff\xe0 cut short");
        broken.close();
        OpenPictureDialog dialog;
        for (const auto& c : cases) {
            const int decodes = LastDecodedPicture::decodeCount();
            dialog.showPreview(c.file);
            QCOMPARE(sizeText(dialog), c.label);
            QCOMPARE(hasPreview(dialog), c.label != QStringLiteral("(no preview)"));
            QVERIFY(!dialog.previewLoader().pending());
            QCOMPARE(LastDecodedPicture::find(c.file), nullptr);
            QCOMPARE(LastDecodedPicture::decodeCount(), decodes);
        }
    }

    // Formats decoded in the background, metafiles (drawn with text on the worker thread)
    // among them, preview exactly as a decode and drawing on this thread do.
    void backgroundPreviewsMatchTheirDecodeOnThisThread_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* name : {"png/pngsuite_basn2c08.png", "tif/exiftool_ExifTool.tif", "gif/exiftool_GIF.gif",
                                 "psd/exiftool_Photoshop.psd", "wmf/imagemagick_clock.wmf", "emf/libemf2svg_test-001.emf"})
            QTest::newRow(name) << QStringLiteral(LUMATRIM_CORPUS_DIR "/") + QLatin1String(name);
    }
    void backgroundPreviewsMatchTheirDecodeOnThisThread()
    {
        QFETCH(QString, file);
        const PicturePreview expected = previewOfFile(file, QSize(180, 180));
        QVERIFY(!expected.image.isNull());
        OpenPictureDialog dialog;
        dialog.showPreview(file);
        QVERIFY(dialog.previewLoader().pending());
        const QString label =
            QStringLiteral("%1 x %2").arg(expected.pictureSize.width()).arg(expected.pictureSize.height());
        QTRY_COMPARE(sizeText(dialog), label);
        const QImage shown = dialog.findChild<QLabel*>(QStringLiteral("ImagePreview"))->pixmap().toImage();
        QCOMPARE(shown.convertToFormat(QImage::Format_RGB32), expected.image);
    }

    // The selection moves on while the first file is still decoding: whatever the first
    // decode delivers afterwards is dropped, neither shown nor kept.
    void staleBackgroundDecodesAreDropped_data()
    {
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("label");
        QTest::newRow("another file") << makePhoto(QStringLiteral("next.bmp"), 40, 30) << QStringLiteral("40 x 30");
        QTest::newRow("a JPEG") << makePhoto(QStringLiteral("next.jpg"), 64, 48) << QStringLiteral("64 x 48");
        QTest::newRow("a folder") << programFile(QStringLiteral("photos")) << QString();
    }
    void staleBackgroundDecodesAreDropped()
    {
        QFETCH(QString, next);
        QFETCH(QString, label);
        const QString first = makePhoto(QStringLiteral("first.png"), 300, 200);
        DecodeGate gate(first);
        OpenPictureDialog dialog;
        dialog.previewLoader().setBeforeDecode(gate.hook());

        dialog.showPreview(first);
        QCOMPARE(sizeText(dialog), QStringLiteral("(reading...)"));
        QVERIFY(gate.started.tryAcquire(1, 5000));
        dialog.showPreview(next);
        QTRY_COMPARE(sizeText(dialog), label);
        gate.release.release();
        settleBackgroundDecodes();

        QCOMPARE(sizeText(dialog), label);
        QCOMPARE(hasPreview(dialog), !label.isEmpty());
        QCOMPARE(LastDecodedPicture::find(first), nullptr);
        if (next.endsWith(QStringLiteral(".bmp")))
            QVERIFY(LastDecodedPicture::find(next));
    }

    // Opening the file whose preview decoded in the background takes that decode: selecting
    // and opening it decodes it once, whether the decode finished before the user pressed
    // Open or was still running.
    void openTakesTheBackgroundDecode_data()
    {
        QTest::addColumn<bool>("openWhileDecoding");
        QTest::newRow("decode finished") << false;
        QTest::newRow("decode still running") << true;
    }
    void openTakesTheBackgroundDecode()
    {
        QFETCH(bool, openWhileDecoding);
        const QString photo = makePhoto(QStringLiteral("opened.png"), 320, 240);
        DecodeGate gate(photo);
        OpenPictureDialog dialog;
        dialog.setDirectory(QFileInfo(photo).path());
        dialog.previewLoader().setBeforeDecode(gate.hook());
        const int decodes = LastDecodedPicture::decodeCount();

        dialog.selectFile(photo);
        dialog.showPreview(photo);
        QVERIFY(gate.started.tryAcquire(1, 5000));
        QCOMPARE(dialog.selectedFiles(), QStringList{photo});
        if (openWhileDecoding) {
            // Open is pressed while the worker is held; it is let go from another thread.
            QVERIFY(dialog.previewLoader().pending());
            std::thread releaser([&gate] {
                QThread::msleep(100);
                gate.release.release();
            });
            dialog.done(QDialog::Accepted);
            releaser.join();
        } else {
            gate.release.release();
            QTRY_COMPARE(sizeText(dialog), QStringLiteral("320 x 240"));
            dialog.done(QDialog::Accepted);
        }
        QCOMPARE(sizeText(dialog), QStringLiteral("320 x 240"));
        QVERIFY(LastDecodedPicture::find(photo));

        // What the main window does with the chosen file: its thumbnail, then its view.
        TPhotoInfo info(photo);
        info.CreateThumbnail(32, 32);
        PhotoCore view;
        view.SetPhotoInfo(&info);
        QCOMPARE(view.Source()->width(), 320);
        QCOMPARE(LastDecodedPicture::decodeCount() - decodes, 1);
        settleBackgroundDecodes();
    }

    // Cancel drops the running decode: nothing is kept for an open that will not come.
    void cancelDropsTheRunningDecode()
    {
        const QString photo = makePhoto(QStringLiteral("cancelled.png"), 50, 40);
        DecodeGate gate(photo);
        OpenPictureDialog dialog;
        dialog.previewLoader().setBeforeDecode(gate.hook());
        dialog.showPreview(photo);
        QVERIFY(gate.started.tryAcquire(1, 5000));
        dialog.done(QDialog::Rejected);
        gate.release.release();
        settleBackgroundDecodes();
        QCOMPARE(LastDecodedPicture::find(photo), nullptr);
        QCOMPARE(sizeText(dialog), QString());
    }

    // The dialog goes away (its parent window closes, the program quits) while a decode runs:
    // the decode finishes alone and frees its result. AddressSanitizer runs watch this one.
    void destroyingTheDialogDuringADecodeIsSafe()
    {
        const QString photo = makePhoto(QStringLiteral("orphan.png"), 600, 400);
        DecodeGate gate(photo);
        auto dialog = std::make_unique<OpenPictureDialog>();
        dialog->previewLoader().setBeforeDecode(gate.hook());
        dialog->showPreview(photo);
        QVERIFY(gate.started.tryAcquire(1, 5000));
        dialog.reset();
        gate.release.release();
        settleBackgroundDecodes();
        QCOMPARE(LastDecodedPicture::find(photo), nullptr);
    }
};

QTEST_MAIN(OpenPictureDialogTest)
#include "tst_openpicturedialog.moc"
