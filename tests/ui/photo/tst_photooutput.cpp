// Save As, Send Email To and Copy to Clipboard of the current photo.
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "model/ProgramFolder.h"
#include "ui/photo/Photo.h"
#include "ui/photo/PhotoOutput.h"
#include "ui/window/FormMain.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

// Sends mail through the real hand-over (xdg-email found on PATH); answers like FakeDesktop.
class MailingDesktop : public FakeDesktop {
public:
    void sendMail(const QStringList& files) override
    {
        FakeDesktop::sendMail(files);
        system.sendMail(files);
    }
    SystemDesktop system;
};

QByteArray fileStart(const QString& path, int bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
}

} // namespace

class PhotoOutputTest : public QObject {
    Q_OBJECT

    QString photo_;
    QString originalPath_;
    QTemporaryDir tools_;

private slots:
    void initTestCase()
    {
        useFreshProgramFolder();
        originalPath_ = qEnvironmentVariable("PATH");
    }
    void init()
    {
        clearProgramFolder();
        // Keep the size and leave the corner pixels alone: no watermark.
        writeSettingsFile(QStringLiteral("[PHOTO]\nSIZE=100\nWATERMARK=\n"));
        photo_ = makePhoto(QStringLiteral("IMG_0412.bmp"), 200, 120);
    }
    void cleanup() { qputenv("PATH", originalPath_.toUtf8()); }

    void proposedNames_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("extension replaced") << "/pics/IMG_0412.JPG" << "/pics/new_IMG_0412.jpg";
        QTest::newRow("only the last dot") << "/d/scan.final.tif" << "/d/new_scan.final.jpg";
        QTest::newRow("no extension") << "/scans/page1" << "/scans/new_page1.jpg";
        QTest::newRow("dot in the folder only") << "/a.b/photo" << "/a.b/new_photo.jpg";
        QTest::newRow("name is all extension") << "/x/.hidden" << "/x/new_.jpg";
        QTest::newRow("no folder") << "beach.png" << "new_beach.jpg";
    }
    void proposedNames()
    {
        QFETCH(QString, source);
        QFETCH(QString, proposed);
        QCOMPARE(PhotoOutput::proposedSaveName(source), proposed);
    }

    void saveAsWritesTheRenderedPhoto()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        const QString target = programFile(QStringLiteral("photos/saved.jpg"));
        desktop.saveAnswer = target;
        window.Item(QStringLiteral("MenuSave"))->trigger();
        QCOMPARE(desktop.proposedNames, QStringList{programFile(QStringLiteral("photos/new_IMG_0412.jpg"))});
        QVERIFY(desktop.errors.isEmpty());
        QCOMPARE(fileStart(target, 3), QByteArray("\xFF\xD8\xFF"));
        const auto saved = loadPicture(target);
        QCOMPARE(QSize(saved->width(), saved->height()), window.Photo().Bitmap().size());
        QCOMPARE(window.Photo().Bitmap().size(), QSize(100, 60));

        // Cancel writes nothing; the pop-up and the tool button run the same command.
        desktop.saveAnswer.clear();
        QVERIFY(QFile::remove(target));
        window.findChild<QAction*>(QStringLiteral("PopupSave"))->trigger();
        window.findChild<QToolButton*>(QStringLiteral("ToolButtonSave"))->click();
        QCOMPARE(desktop.proposedNames.size(), 3);
        QVERIFY(!QFile::exists(target));
    }

    void saveFailureIsReported()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        desktop.saveAnswer = programFile(QStringLiteral("no-such-folder/out.jpg"));
        window.Item(QStringLiteral("MenuSave"))->trigger();
        QCOMPARE(desktop.errors.size(), 1);
        QVERIFY(!QFile::exists(desktop.saveAnswer));
    }

    void photoWithoutPictureIsNotSaved()
    {
        const QString doomed = makePhoto(QStringLiteral("doomed.bmp"), 20, 20);
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(doomed, false);
        QVERIFY(QFile::remove(doomed));
        window.SelectPhoto(0);
        desktop.saveAnswer = programFile(QStringLiteral("photos/empty.jpg"));
        window.Item(QStringLiteral("MenuSave"))->trigger();
        window.Item(QStringLiteral("MenuEmail"))->trigger();
        QCOMPARE(desktop.errors.size(), 2);
        QVERIFY2(desktop.errors[0].contains(doomed), qPrintable(desktop.errors[0]));
        QVERIFY(desktop.proposedNames.isEmpty());
        QVERIFY(desktop.mails.isEmpty());
        QVERIFY(!QFile::exists(desktop.saveAnswer));
        QVERIFY(!QFile::exists(PhotoOutput::mailFilePath()));
    }

    void emailHandsPhotoJpgToTheMailClient()
    {
        // A stand-in xdg-email that writes its arguments down.
        const QString argsFile = tools_.filePath(QStringLiteral("args.txt"));
        const QString script = tools_.filePath(QStringLiteral("xdg-email"));
        QFile scriptFile(script);
        QVERIFY(scriptFile.open(QIODevice::WriteOnly));
        scriptFile.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1.tmp'\nmv '%1.tmp' '%1'\n").arg(argsFile).toUtf8());
        scriptFile.close();
        scriptFile.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("PATH", (tools_.path() + QLatin1Char(':') + originalPath_).toUtf8());

        MailingDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        window.Item(QStringLiteral("MenuEmail"))->trigger();
        const QString mailFile = programFolder() + QStringLiteral("/photo.jpg");
        QCOMPARE(PhotoOutput::mailFilePath(), mailFile);
        QCOMPARE(desktop.mails, QList<QStringList>{{mailFile}});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(argsFile), 10000);
        QFile args(argsFile);
        QVERIFY(args.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(args.readAll()), QStringLiteral("--attach\n") + mailFile + QLatin1Char('\n'));
        QCOMPARE(loadPicture(mailFile)->width(), 100);

        // The second message carries the second photo: photo.jpg is written again.
        const QString tall = makePhoto(QStringLiteral("tall.bmp"), 30, 90);
        window.OpenPhoto(tall, false);
        window.findChild<QAction*>(QStringLiteral("PopupEmail"))->trigger();
        QCOMPARE(desktop.mails.size(), 2);
        const auto second = loadPicture(mailFile);
        QCOMPARE(QSize(second->width(), second->height()), QSize(30, 90));
        QVERIFY(desktop.errors.isEmpty());
    }

    void emailWithoutMailClientReportsNothing()
    {
        const QTemporaryDir empty;
        qputenv("PATH", empty.path().toUtf8());
        MailingDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        window.Item(QStringLiteral("MenuEmail"))->trigger();
        QVERIFY(QFile::exists(PhotoOutput::mailFilePath()));
        QCOMPARE(desktop.mails.size(), 1);
        QVERIFY(desktop.errors.isEmpty());
    }

    void clipboardHoldsTheRenderedPixels()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        window.MenuZoomClick(50);
        window.Photo().RotateCounterclockwise();
        window.Item(QStringLiteral("MenuCopy"))->trigger();
        const QImage copied = toBgr888(QApplication::clipboard()->image());
        const QImage& rendered = window.Photo().Bitmap();
        QCOMPARE(copied.size(), QSize(60, 100));
        QCOMPARE(copied.size(), rendered.size());
        for (int y = 0; y < rendered.height(); ++y)
            QVERIFY2(memcmp(copied.constScanLine(y), rendered.constScanLine(y), size_t(rendered.width()) * 3) == 0,
                     qPrintable(QStringLiteral("row %1 differs").arg(y)));
    }
};

QTEST_MAIN(PhotoOutputTest)
#include "tst_photooutput.moc"
