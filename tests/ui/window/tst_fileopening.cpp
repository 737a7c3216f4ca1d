// Opening the photos named on the command line and the files dropped on the main window.
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "formats/FormatRegistry.h"
#include "model/ProgramFolder.h"
#include "ui/window/FileArguments.h"
#include "ui/window/FormMain.h"

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QAction>
#include <QCursor>
#include <QTest>
#include <QTimer>

namespace {

QString openedNames(const TFormMain& window)
{
    QStringList names;
    for (int i = 0; i < window.Photos().count(); ++i)
        names << QFileInfo(window.Photos().at(i)->FileName).fileName();
    return names.join(QLatin1Char(','));
}

// Remembers what was open when the error report came.
class WatchingDesktop : public FakeDesktop {
public:
    const TFormMain* window = nullptr;
    QStringList openAtError;
    void showError(QWidget* parent, const QString& text) override
    {
        FakeDesktop::showError(parent, text);
        openAtError << openedNames(*window);
    }
};

// What opening the file alone reports.
QString openFailure(const QString& path)
{
    try {
        loadPicture(path);
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

QList<QUrl> localUrls(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    return urls;
}

} // namespace

class FileOpeningTest : public QObject {
    Q_OBJECT

    QString a_, b_, bad_, folder_, vanished_;

    // The three files that cannot be opened, each with its reason, in the order given.
    QString expectedReport() const
    {
        return QStringList{openFailure(bad_), QStringLiteral("Cannot open %1. It is a folder, not a picture file.").arg(folder_),
                           QStringLiteral("Cannot open %1. The file does not exist.").arg(vanished_)}
            .join(QLatin1Char('\n'));
    }

private slots:
    void initTestCase() { useFreshProgramFolder(); }
    void init()
    {
        clearProgramFolder();
        a_ = makePhoto(QStringLiteral("A.bmp"), 64, 48);
        b_ = makePhoto(QStringLiteral("B.jpg"), 48, 64);
        bad_ = programFile(QStringLiteral("photos/Broken.bmp"));
        QFile broken(bad_);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("BM this is not a bitmap");
        broken.close();
        folder_ = programFile(QStringLiteral("photos/Holiday"));
        QDir().mkpath(folder_);
        vanished_ = makePhoto(QStringLiteral("Gone.bmp"), 20, 20);
        QFile::remove(vanished_);
    }

    void argumentsBecomePaths_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("path");
        QTest::newRow("relative") << "A.bmp" << "/work/photos/A.bmp";
        QTest::newRow("up and back") << "../other/./B.jpg" << "/work/other/B.jpg";
        QTest::newRow("absolute") << "/tmp/x.png" << "/tmp/x.png";
        QTest::newRow("file URL") << "file:///tmp/a%20b.jpg" << "/tmp/a b.jpg";
        QTest::newRow("a name beginning with file") << "file.jpg" << "/work/photos/file.jpg";
        QTest::newRow("a name with a colon") << "file:name.jpg" << "/work/photos/file:name.jpg";
    }
    void argumentsBecomePaths()
    {
        QFETCH(QString, argument);
        QFETCH(QString, path);
        QCOMPARE(photoPathsFromArguments({argument}, QStringLiteral("/work/photos")), QStringList{path});
    }

    void commandLineFilesOpenInOrderBeforeTheAboutBox()
    {
        WatchingDesktop desktop;
        TFormMain window(desktop);
        desktop.window = &window;
        QString openAtAbout;
        desktop.onExec = [&](QDialog& dialog) {
            if (dialog.objectName() == QLatin1String("TFormAbout"))
                openAtAbout = openedNames(window);
        };
        window.OpenWhenShown({b_, bad_, folder_, a_, vanished_, b_});
        window.show();
        QTRY_VERIFY(desktop.execDialogs.contains(QStringLiteral("TFormAbout")));

        QCOMPARE(openAtAbout, QStringLiteral("B.jpg,A.bmp,B.jpg"));
        // One report, after every readable file was open, naming each failure in order.
        QCOMPARE(desktop.errors, QStringList{expectedReport()});
        QCOMPARE(desktop.openAtError, QStringList{QStringLiteral("B.jpg,A.bmp,B.jpg")});
        QCOMPARE(window.Photos().currentIndex(), 2);
        QCOMPARE(window.windowTitle(), b_ + QStringLiteral(" - Lumatrim"));
        QCOMPARE(window.Recent().path(1), b_);
        QCOMPARE(window.Recent().path(2), a_);
    }

    void onlyReadableFilesGiveNoReport()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenFiles({a_, b_});
        QCOMPARE(openedNames(window), QStringLiteral("A.bmp,B.jpg"));
        QVERIFY(desktop.errors.isEmpty());
        window.OpenFiles({});
        QVERIFY(desktop.errors.isEmpty());
    }

    void droppedFilesOpenTheSameWay()
    {
        WatchingDesktop desktop;
        TFormMain window(desktop);
        desktop.window = &window;
        window.OpenFiles({a_});
        QMimeData data;
        QList<QUrl> urls = localUrls({b_, bad_, folder_});
        urls.insert(1, QUrl(QStringLiteral("https://www.quorvane.example/photo.jpg")));
        urls << localUrls({a_, vanished_});
        data.setUrls(urls);

        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &drop);
        QVERIFY(drop.isAccepted());

        QTRY_COMPARE(openedNames(window), QStringLiteral("A.bmp,B.jpg,A.bmp"));
        QTRY_COMPARE(desktop.errors, QStringList{expectedReport()});
        QCOMPARE(desktop.openAtError, QStringList{QStringLiteral("A.bmp,B.jpg,A.bmp")});
        QCOMPARE(window.Photos().currentIndex(), 2);
    }

    // Between photos the event loop runs (so the window paints): each photo's button is there
    // as soon as it is open, the status bar counts, and the cursor is busy until the last.
    void photosOpenOneByOneWithTheirCount()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.show();
        QStringList seen;
        QTimer look;
        connect(&look, &QTimer::timeout, this, [&] {
            const QCursor* cursor = QApplication::overrideCursor();
            const QString state = QStringLiteral("%1 | %2 open | %3")
                                      .arg(window.StatusText(1))
                                      .arg(window.Photos().count())
                                      .arg(cursor && cursor->shape() == Qt::WaitCursor ? "busy" : "idle");
            if (seen.isEmpty() || seen.last() != state)
                seen << state;
        });
        look.start(0);
        window.OpenFiles({a_, bad_, b_});
        look.stop();
        QCOMPARE(seen, (QStringList{"Opening 1 of 3… | 0 open | busy", "Opening 2 of 3… | 1 open | busy",
                                    "Opening 3 of 3… | 1 open | busy"}));
        QCOMPARE(window.StatusText(1), QString());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(openedNames(window), QStringLiteral("A.bmp,B.jpg"));
        QCOMPARE(desktop.errors, QStringList{openFailure(bad_)});
    }

    // The open dialog starts where the photo opened last came from, however it was opened.
    void theOpenDialogShowsTheFolderOfThePhotoOpenedLast()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        QDir().mkpath(programFile(QStringLiteral("other")));
        const QString typed = programFile(QStringLiteral("other/typed.bmp"));
        QVERIFY(QImage(8, 8, QImage::Format_RGB32).save(typed));
        desktop.openAnswers = QStringList{QString(), typed, QString()};
        window.Item(QStringLiteral("MenuOpen"))->trigger();
        window.OpenFiles({a_, vanished_});
        window.Item(QStringLiteral("MenuOpen"))->trigger();
        window.Item(QStringLiteral("MenuOpen"))->trigger();
        QCOMPARE(desktop.openFolders,
                 (QStringList{QString(), QFileInfo(a_).absolutePath(), QFileInfo(typed).absolutePath()}));
    }

    void dragsWithoutLocalFilesAreRefused()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://www.quorvane.example/photo.jpg"))});
        QMimeData text;
        text.setText(a_);
        for (QMimeData* data : {&web, &text}) {
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&window, &enter);
            QVERIFY(!enter.isAccepted());
        }
    }
};

QTEST_MAIN(FileOpeningTest)
#include "tst_fileopening.moc"
