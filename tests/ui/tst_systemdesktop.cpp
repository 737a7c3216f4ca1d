// The real desktop services: the open dialog with its preview, the save dialog, the message
// boxes. Modal dialogs are driven by a timer that finds them and gives up after a timeout.
#include "UiTestSupport.h"
#include "formats/FormatRegistry.h"
#include "model/ProgramFolder.h"
#include "ui/main/Desktop.h"
#include "ui/main/FileDialogSize.h"
#include "ui/main/OpenPictureDialog.h"
#include "ui/main/PreviewLoader.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QElapsedTimer>

#include <functional>

namespace {

// Calls inspect with the next modal dialog that appears (within five seconds); inspect must
// close it. A dialog that never appears fails the test when the caller checks `seen`.
struct ModalDriver {
    bool seen = false;
    void expect(std::function<void(QWidget*)> inspect)
    {
        auto* timer = new QTimer;
        auto started = std::make_shared<QElapsedTimer>();
        started->start();
        QObject::connect(timer, &QTimer::timeout, [this, timer, inspect, started] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal->isVisible()) {
                timer->stop();
                timer->deleteLater();
                seen = true;
                inspect(modal);
            } else if (started->elapsed() > 5000) {
                timer->stop();
                timer->deleteLater();
            }
        });
        timer->start(10);
    }
};

QPixmap labelPixmap(const QLabel* label)
{
    return label->pixmap();
}

} // namespace

class SystemDesktopTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useFreshProgramFolder(); }

    void openDialogOffersAllPhotosWithPreview()
    {
        OpenPictureDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Open"));
        QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(dialog.nameFilters().size(), 1);
        const QString filter = dialog.nameFilters().constFirst();
        QVERIFY(filter.startsWith(QStringLiteral("All Photos (*.gif *.png ")));
        QCOMPARE(filter.count(QStringLiteral("*.")), 39);
        QVERIFY(!filter.contains(QStringLiteral("*.ico")));

        const QString photo = makePhoto(QStringLiteral("wide.bmp"), 300, 200, QColor(0, 0, 200));
        auto* image = dialog.findChild<QLabel*>(QStringLiteral("ImagePreview"));
        auto* size = dialog.findChild<QLabel*>(QStringLiteral("LabelSize"));
        QVERIFY(image && size);
        emit dialog.currentChanged(photo);
        QTRY_VERIFY(!labelPixmap(image).isNull());
        QCOMPARE(size->text(), QStringLiteral("300 x 200"));

        const QString broken = programFile(QStringLiteral("photos/broken.png"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("nothing");
        file.close();
        emit dialog.currentChanged(broken);
        QTRY_COMPARE(size->text(), QStringLiteral("(no preview)"));
        QVERIFY(labelPixmap(image).isNull());
        emit dialog.currentChanged(programFile(QStringLiteral("photos")));
        QCOMPARE(size->text(), QString());
    }

    void previewFitsThePictureWithoutEnlarging()
    {
        const QString wide = makePhoto(QStringLiteral("wide.bmp"), 300, 200, QColor(0, 0, 200));
        const auto preview = previewOfFile(wide, QSize(180, 180));
        QCOMPARE(preview.pictureSize, QSize(300, 200));
        QCOMPARE(preview.image.size(), QSize(180, 180));
        // Fitted to 180 x 120, centred: white above and below, the picture between.
        QCOMPARE(preview.image.pixelColor(90, 29), QColor(Qt::white));
        QCOMPARE(preview.image.pixelColor(5, 35), QColor(0, 0, 200).darker(200));
        QCOMPARE(preview.image.pixelColor(175, 40), QColor(0, 0, 200));
        QCOMPARE(preview.image.pixelColor(175, 145), QColor(Qt::white));
        QCOMPARE(preview.image.pixelColor(90, 150), QColor(Qt::white));

        const QString small = makePhoto(QStringLiteral("small.bmp"), 40, 30, QColor(0, 200, 0));
        const auto smallPreview = previewOfFile(small, QSize(180, 180));
        QCOMPARE(smallPreview.image.pixelColor(69, 75), QColor(Qt::white));
        QCOMPARE(smallPreview.image.pixelColor(70, 75), QColor(0, 200, 0).darker(200));
        QCOMPARE(smallPreview.image.pixelColor(109, 104), QColor(Qt::white));
        QCOMPARE(smallPreview.image.pixelColor(110, 104), QColor(Qt::white));

        QVERIFY(previewOfFile(programFile(QStringLiteral("photos/none.bmp")), QSize(180, 180))
                    .image.isNull());
    }

    void saveDialogProposesTheNameAndAsksBeforeOverwriting()
    {
        SystemDesktop desktop;
        QWidget parent;
        const QString proposed = programFile(QStringLiteral("photos/new_wide.jpg"));
        ModalDriver driver;
        driver.expect([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Save As"));
            QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
            QCOMPARE(dialog->nameFilters(), QStringList({"JPEG Files (*.jpg)", "JPEG Files (*.jpeg)"}));
            QCOMPARE(dialog->defaultSuffix(), QStringLiteral("jpg"));
            QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
            QCOMPARE(dialog->selectedFiles(), QStringList{proposed});
            static_cast<QDialog*>(dialog)->accept();
        });
        QCOMPARE(desktop.savePicture(&parent, proposed), proposed);
        QVERIFY(driver.seen);

        ModalDriver cancel;
        cancel.expect([](QWidget* modal) { modal->close(); });
        QCOMPARE(desktop.savePicture(&parent, proposed), QString());
        QVERIFY(cancel.seen);
    }

    // The open dialog is kept between uses. Accepting a typed name while the name
    // completer's list is showing must not leave that list on screen after the dialog.
    void openDialogClosesItsNameListWithIt()
    {
        SystemDesktop desktop;
        QWidget parent;
        const QString photo = makePhoto(QStringLiteral("listed.bmp"), 20, 10, QColor(0, 200, 0));
        QAbstractItemView* list = nullptr;
        bool listShown = false;
        ModalDriver driver;
        driver.expect([&](QWidget* modal) {
            // The name typed in full, its completion list showing, then accepted.
            if (auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                edit->setText(photo);
            if (auto* completer = modal->findChild<QCompleter*>()) {
                list = completer->popup();
                list->show();
                listShown = list->isVisible();
            }
            static_cast<QDialog*>(modal)->accept();
            if (modal->isVisible())
                static_cast<QDialog*>(modal)->reject(); // never leave the test waiting
        });
        QCOMPARE(desktop.openPicture(&parent), photo);
        QVERIFY(driver.seen);
        QVERIFY(list && listShown);
        QVERIFY(!list->isVisible());
    }

    // The first open starts in the Pictures folder, or at home without one; never in the
    // folder the program was started from.
    void openDialogStartsInPicturesOrHome_data()
    {
        QTest::addColumn<bool>("picturesExists");
        QTest::newRow("Pictures exists") << true;
        QTest::newRow("no Pictures folder") << false;
    }
    void openDialogStartsInPicturesOrHome()
    {
        QFETCH(bool, picturesExists);
        // Without a user-dirs.dirs in the tests' configuration folder, Pictures is $HOME/Pictures.
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        if (picturesExists)
            QVERIFY(QDir(home.path()).mkdir(QStringLiteral("Pictures")));
        const QString expected = picturesExists ? home.path() + QStringLiteral("/Pictures") : home.path();
        QCOMPARE(initialPictureFolder(), expected);

        SystemDesktop desktop;
        QWidget parent;
        QString shown;
        ModalDriver driver;
        driver.expect([&](QWidget* modal) {
            shown = static_cast<QFileDialog*>(modal)->directory().absolutePath();
            modal->close();
        });
        desktop.openPicture(&parent);
        qputenv("HOME", oldHome);
        QVERIFY(driver.seen);
        QCOMPARE(shown, expected);
        QVERIFY(shown != QDir::currentPath());
    }

    // Both file dialogs open wide enough for every column of their detail view at least at
    // its header's size hint, with nothing scrolled away, inside the screen; the open dialog
    // still shows its preview. A size the user gives one stays for its next showing, even
    // one too narrow for the columns.
    void fileDialogsShowEveryColumnAndKeepTheUsersSize_data()
    {
        QTest::addColumn<bool>("open");
        QTest::newRow("open") << true;
        QTest::newRow("save") << false;
    }
    void fileDialogsShowEveryColumnAndKeepTheUsersSize()
    {
        QFETCH(bool, open);
        SystemDesktop desktop;
        QWidget parent;
        const QString proposed = programFile(QStringLiteral("photos/sized.jpg"));
        const QStringList photos = {makePhoto(QStringLiteral("columns.jpg"), 8, 8),
                                    makePhoto(QStringLiteral("columns.png"), 8, 8),
                                    makePhoto(QStringLiteral("columns.bmp"), 8, 8)};
        auto run = [&] { open ? desktop.openPicture(&parent) : desktop.savePicture(&parent, proposed); };

        // Measured inside, checked outside: the dialog must close whatever it shows.
        struct Column {
            bool hidden;
            int size;
            int hint;
        };
        QList<Column> columns;
        QList<int> contentWidths; // what the rows of a folder of photos need, per column
        int headerLength = -1, viewportWidth = 0, horizontalScroll = -1;
        QSize size, available, given;
        bool previewShown = !open;
        ModalDriver first;
        first.expect([&](QWidget* modal) {
            if (auto* view = modal->findChild<QTreeView*>(QStringLiteral("treeView")); view && view->isVisible()) {
                const QHeaderView* header = view->header();
                for (int i = 0; i < header->count(); ++i)
                    columns.append({header->isSectionHidden(i), header->sectionSize(i), header->sectionSizeHint(i)});
                headerLength = header->length();
                viewportWidth = view->viewport()->width();
                horizontalScroll = view->horizontalScrollBar()->maximum();
                // The save dialog lists the JPEG alone.
                static_cast<QFileDialog*>(modal)->setDirectory(QFileInfo(photos.first()).path());
                if (QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) >= (open ? 3 : 1); })) {
                    for (int i = 0; i < header->count(); ++i)
                        contentWidths.append(static_cast<QAbstractItemView*>(view)->sizeHintForColumn(i));
                }
            }
            size = modal->size();
            available = modal->screen()->availableGeometry().size();
            if (auto* preview = modal->findChild<QLabel*>(QStringLiteral("ImagePreview")); open && preview)
                previewShown = preview->isVisible()
                    && modal->rect().contains(QRect(preview->mapTo(modal, QPoint(0, 0)), preview->size()));
            // Narrower than the columns want: the user's choice all the same.
            given = size - QSize(60, 40);
            modal->resize(given);
            modal->close();
        });
        run();
        QVERIFY(first.seen);
        QCOMPARE(columns.size(), 4); // name, size, type, date
        for (const Column& column : columns) {
            QVERIFY(!column.hidden);
            QVERIFY(column.size >= column.hint);
        }
        // Size, type and date whole; names are elided where long, as anywhere.
        QCOMPARE(contentWidths.size(), 4);
        for (int i = 1; i < 4; ++i)
            QVERIFY2(contentWidths[i] <= columns[i].size, qPrintable(QString::number(i)));
        QVERIFY(headerLength <= viewportWidth);
        QCOMPARE(horizontalScroll, 0);
        QCOMPARE(size.boundedTo(available), size);
        QVERIFY(previewShown);

        QSize shown;
        ModalDriver second;
        second.expect([&](QWidget* modal) {
            shown = modal->size();
            modal->close();
        });
        run();
        QVERIFY(second.seen);
        QCOMPARE(shown, given);
    }

    void questionAndErrorBoxesAreCaptionedLumatrim()
    {
        SystemDesktop desktop;
        for (const bool answer : {true, false}) {
            ModalDriver driver;
            driver.expect([answer](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                QVERIFY(box);
                QCOMPARE(box->windowTitle(), QStringLiteral("Lumatrim"));
                QCOMPARE(box->text(), QStringLiteral("2 photo(s) still opened, quit Lumatrim now?"));
                QCOMPARE(box->icon(), QMessageBox::Question);
                QCOMPARE(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
                box->button(answer ? QMessageBox::Ok : QMessageBox::Cancel)->click();
            });
            QCOMPARE(desktop.confirm(nullptr, QStringLiteral("2 photo(s) still opened, quit Lumatrim now?")), answer);
            QVERIFY(driver.seen);
        }
        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), QStringLiteral("Lumatrim"));
            QCOMPARE(box->text(), QStringLiteral("Unable to write to /x/lumatrim.dat"));
            box->button(QMessageBox::Ok)->click();
        });
        desktop.showError(nullptr, QStringLiteral("Unable to write to /x/lumatrim.dat"));
        QVERIFY(driver.seen);
    }
};

// The dialogs are sized for the screen they open on: the tests give the offscreen platform
// a 1600 x 1000 screen, a common laptop's, in place of its default 800 x 800.
int main(int argc, char** argv)
{
    QTemporaryDir config;
    const QString screens = config.filePath(QStringLiteral("screens.json"));
    QFile file(screens);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(screens));
    file.write(R"({"screens": [{"name": "Laptop", "x": 0, "y": 0, "width": 1600, "height": 1000, "logicalDpi": 96}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens).toUtf8());
    QApplication app(argc, argv);
    SystemDesktopTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_systemdesktop.moc"
