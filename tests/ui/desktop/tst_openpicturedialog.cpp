// The open dialog's preview: decoded on a worker thread (JPEG reduced, other formats in full),
// only the latest selection shown, its full decode handed to the open that follows. A gate
// holds a file's background decode where a test needs one still running.
#include "Corpus.h"
#include "UiTestSupport.h"
#include "model/LastDecodedPicture.h"
#include "model/PhotoCore.h"
#include "model/ProgramFolder.h"
#include "ui/desktop/OpenPictureDialog.h"
#include "ui/desktop/PreviewLoader.h"

#include <QLabel>
#include <QSemaphore>
#include <QLineEdit>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <memory>
#include <thread>

namespace {

struct DecodeGate {
    QString heldFile;
    QSemaphore started, release;
    explicit DecodeGate(OpenPictureDialog& dialog, const QString& file) : heldFile(file)
    {
        dialog.previewLoader().setBeforeDecode([this](const QString& name) {
            if (name == heldFile) {
                started.release();
                release.acquire();
            }
        });
    }
};

// Every background decode ended and its result, if any, delivered.
void settleBackgroundDecodes()
{
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
}

QString sizeText(const OpenPictureDialog& dialog)
{
    return dialog.findChild<QLabel*>(QStringLiteral("LabelSize"))->text();
}

QImage shownPreview(const OpenPictureDialog& dialog)
{
    return dialog.findChild<QLabel*>(QStringLiteral("ImagePreview"))->pixmap().toImage();
}

} // namespace

class OpenPictureDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        useFreshProgramFolder();
        // A held decode occupies a thread; the next selection needs another.
        QThreadPool::globalInstance()->setMaxThreadCount(std::max(4, QThreadPool::globalInstance()->maxThreadCount()));
    }
    void init() { LastDecodedPicture::clear(); }

    // Decoded reduced off the user-interface thread, with the size the header gives, and
    // never kept as the full picture.
    void jpegPreviewIsReducedAndNotKept()
    {
        const QString broken = programFile(QStringLiteral("photos/broken.jpg"));
        const QString large = makePhoto(QStringLiteral("large.jpg"), 1600, 1200);
        const QString small = makePhoto(QStringLiteral("small.jpg"), 90, 60);
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("\xff\xd8\xff\xe0 cut short") > 0);
        file.close();
        OpenPictureDialog dialog;
        for (const auto& [photo, label] : {std::pair{large, "1600 x 1200"}, {small, "90 x 60"}, {broken, "(no preview)"}}) {
            dialog.showPreview(photo);
            QTRY_COMPARE(sizeText(dialog), QLatin1String(label));
            QCOMPARE(shownPreview(dialog).isNull(), photo == broken);
            QVERIFY(!dialog.previewLoader().pending() && !LastDecodedPicture::find(photo, {}));
        }
    }

    // Metafiles among them, drawing text on the worker thread.
    void backgroundPreviewsMatchADecodeOnThisThread_data()
    {
        QTest::addColumn<QString>("file");
        if (!corpusPresent())
            QSKIP(corpusMissingLine().constData());
        for (const char* name : {"png/pngsuite_basn2c08.png", "tif/exiftool_ExifTool.tif", "psd/exiftool_Photoshop.psd",
                                 "wmf/imagemagick_clock.wmf", "emf/libemf2svg_test-001.emf"})
            QTest::newRow(name) << corpusDir() + QLatin1Char('/') + QLatin1String(name);
    }
    void backgroundPreviewsMatchADecodeOnThisThread()
    {
        QFETCH(QString, file);
        const PicturePreview expected = previewOfFile(file, QSize(180, 180));
        OpenPictureDialog dialog;
        dialog.showPreview(file);
        QCOMPARE(sizeText(dialog), QStringLiteral("(reading...)"));
        const QSize size = expected.pictureSize;
        QTRY_COMPARE(sizeText(dialog), QStringLiteral("%1 x %2").arg(size.width()).arg(size.height()));
        QCOMPARE(shownPreview(dialog).convertToFormat(QImage::Format_RGB32), expected.image);
    }

    // A name typed into the name box picks its file without making it current; the preview
    // follows the typing, and only a whole name of a file counts.
    void typedNameShowsItsPreview()
    {
        const QString photo = makePhoto(QStringLiteral("typed.bmp"), 30, 20);
        OpenPictureDialog dialog;
        dialog.setDirectory(QFileInfo(photo).absolutePath());
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        QTest::keyClicks(name, QStringLiteral("typed.bm"));
        QCOMPARE(sizeText(dialog), QString());
        QTest::keyClicks(name, QStringLiteral("p"));
        QTRY_COMPARE(sizeText(dialog), QStringLiteral("30 x 20"));
        QVERIFY(!shownPreview(dialog).isNull());
    }

    // The selection moves on while the first file still decodes: what that decode delivers
    // afterwards is neither shown nor kept.
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
        OpenPictureDialog dialog;
        DecodeGate gate(dialog, first);
        dialog.showPreview(first);
        QVERIFY(gate.started.tryAcquire(1, 5000));
        dialog.showPreview(next);
        QTRY_COMPARE(sizeText(dialog), label);
        gate.release.release();
        settleBackgroundDecodes();
        QCOMPARE(sizeText(dialog), label);
        QCOMPARE(shownPreview(dialog).isNull(), label.isEmpty());
        QVERIFY(!LastDecodedPicture::find(first, {}));
    }

    // Selecting and opening a PNG decodes it once, whether its decode finished before Open
    // or Open came while it still ran (let go from another thread): the open takes the very
    // picture the preview decoded.
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
        OpenPictureDialog dialog;
        DecodeGate gate(dialog, photo);
        dialog.setDirectory(QFileInfo(photo).path());
        dialog.selectFile(photo);
        dialog.showPreview(photo);
        QVERIFY(gate.started.tryAcquire(1, 5000));
        std::thread releaser([&gate, openWhileDecoding] {
            QThread::msleep(openWhileDecoding ? 100 : 0);
            gate.release.release();
        });
        if (!openWhileDecoding)
            QTRY_COMPARE(sizeText(dialog), QStringLiteral("320 x 240"));
        QCOMPARE(dialog.previewLoader().pending(), openWhileDecoding);
        dialog.done(QDialog::Accepted);
        releaser.join();
        QCOMPARE(sizeText(dialog), QStringLiteral("320 x 240"));

        // What the main window does with the chosen file: one decode for its thumbnail, then
        // its view.
        const Picture* previewed = LastDecodedPicture::find(photo, {});
        QVERIFY(previewed);
        std::unique_ptr<Picture> source = LastDecodedPicture::take(photo, {});
        QCOMPARE(source.get(), previewed);
        TPhotoInfo info(photo);
        info.CreateThumbnail(*source, 32, 32);
        PhotoCore view;
        view.SetPhotoInfo(&info, std::move(source));
        QCOMPARE(view.Source()->width(), 320);
        QVERIFY(!view.LoadError());
    }

    // The dialog goes while a decode runs (Cancel, or its window closing): the decode ends
    // alone and frees its result. AddressSanitizer runs watch this one.
    void closingOrDestroyingTheDialogDropsTheRunningDecode_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("cancelled") << false;
        QTest::newRow("destroyed") << true;
    }
    void closingOrDestroyingTheDialogDropsTheRunningDecode()
    {
        QFETCH(bool, destroy);
        const QString photo = makePhoto(QStringLiteral("orphan.png"), 600, 400);
        auto dialog = std::make_unique<OpenPictureDialog>();
        DecodeGate gate(*dialog, photo);
        dialog->showPreview(photo);
        QVERIFY(gate.started.tryAcquire(1, 5000));
        destroy ? dialog.reset() : dialog->done(QDialog::Rejected);
        gate.release.release();
        settleBackgroundDecodes();
        QVERIFY(!LastDecodedPicture::find(photo, {}));
        QVERIFY(destroy || sizeText(*dialog).isEmpty());
    }
};

QTEST_MAIN(OpenPictureDialogTest)
#include "tst_openpicturedialog.moc"
