// The real desktop services: the open dialog with its preview, the save dialog, the message
// boxes. Modal dialogs are driven by a timer that finds them and gives up after a timeout.
#include "UiTestSupport.h"
#include "formats/FormatRegistry.h"
#include "model/ProgramFolder.h"
#include "ui/desktop/Desktop.h"
#include "ui/desktop/OpenPictureDialog.h"
#include "ui/desktop/PreviewLoader.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QScreen>
#include <QTemporaryDir>
#include <QTreeView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

namespace {

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
        QCOMPARE(filter.count(QStringLiteral("*.")), 45);
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
    // The kept open dialog shows the last name again; typing replaces it instead of adding
    // to it.
    void typingInTheKeptOpenDialogReplacesTheLastName()
    {
        SystemDesktop desktop;
        QWidget parent;
        const QString first = makePhoto(QStringLiteral("first.bmp"), 20, 10);
        const QString second = makePhoto(QStringLiteral("second.bmp"), 20, 10);
        for (const QString& photo : {first, second}) {
            bool lastNameSelected = false;
            ModalDriver driver;
            driver.expect([&](QWidget* modal) {
                auto* dialog = static_cast<QDialog*>(modal);
                if (auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                    lastNameSelected = QTest::qWaitFor([edit] { return edit->selectedText() == edit->text(); }, 1000);
                    static_cast<QFileDialog*>(modal)->setDirectory(QFileInfo(photo).absolutePath());
                    edit->setText(QFileInfo(photo).fileName());
                }
                dialog->accept();
                if (dialog->isVisible())
                    dialog->reject(); // never leave the test waiting
            });
            const QString selected = desktop.openPicture(&parent, QString());
            QVERIFY(driver.seen);
            QVERIFY(lastNameSelected);
            QCOMPARE(selected, photo);
        }
    }

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
        QCOMPARE(desktop.openPicture(&parent, QString()), photo);
        QVERIFY(driver.seen);
        QVERIFY(list && listShown);
        QVERIFY(!list->isVisible());
    }

    // The first open starts in Pictures, or at home without it; never where the program was
    // started. Without a user-dirs.dirs in the tests' configuration, Pictures is $HOME/Pictures.
    void openDialogStartsInPicturesOrHome()
    {
        for (const bool picturesExists : {true, false}) {
            QTemporaryDir home;
            const QByteArray oldHome = qgetenv("HOME");
            qputenv("HOME", home.path().toUtf8());
            if (picturesExists)
                QVERIFY(QDir(home.path()).mkdir(QStringLiteral("Pictures")));
            SystemDesktop desktop;
            QWidget parent;
            QString shown;
            ModalDriver driver;
            driver.expect([&](QWidget* modal) {
                shown = static_cast<QFileDialog*>(modal)->directory().absolutePath();
                modal->close();
            });
            desktop.openPicture(&parent, QString());
            qputenv("HOME", oldHome);
            QVERIFY(driver.seen);
            QCOMPARE(shown, picturesExists ? home.path() + QStringLiteral("/Pictures") : home.path());
        }
    }

    // A folder given to the open dialog is where it opens; without one (or with one that is
    // gone) it shows the folder it showed before.
    void openDialogShowsTheFolderItIsGiven()
    {
        QTemporaryDir given;
        SystemDesktop desktop;
        QWidget parent;
        QStringList shown;
        for (const QString& folder : {given.path(), QString(), given.path() + QStringLiteral("/gone")}) {
            ModalDriver driver;
            driver.expect([&](QWidget* modal) {
                shown << static_cast<QFileDialog*>(modal)->directory().absolutePath();
                modal->close();
            });
            desktop.openPicture(&parent, folder);
            QVERIFY(driver.seen);
        }
        QCOMPARE(shown, (QStringList{given.path(), given.path(), given.path()}));
    }

    // Both file dialogs open showing every column whole: no column narrower than its title
    // (the header's size hint) or than the sizes, types and dates of a folder of photos, and
    // none scrolled away; inside the screen, the open dialog with its preview. A size the user
    // gives one stays for its next showing, even one too narrow for the columns.
    void fileDialogsShowEveryColumnAndKeepTheUsersSize()
    {
        const QString folder = QFileInfo(makePhoto(QStringLiteral("columns.jpg"), 8, 8)).path();
        makePhoto(QStringLiteral("columns.png"), 8, 8);
        makePhoto(QStringLiteral("columns.bmp"), 8, 8);
        for (const bool open : {true, false}) {
            SystemDesktop desktop;
            QWidget parent;
            auto run = [&] { open ? desktop.openPicture(&parent, QString()) : desktop.savePicture(&parent, folder + "/new.jpg"); };
            QStringList faults; // found inside, reported outside: the dialog must close regardless
            QSize given;
            ModalDriver first;
            first.expect([&](QWidget* modal) {
                auto* view = modal->findChild<QAbstractItemView*>(QStringLiteral("treeView"));
                const QHeaderView* header = static_cast<QTreeView*>(view)->header();
                static_cast<QFileDialog*>(modal)->setDirectory(folder);
                if (!QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) >= (open ? 3 : 1); }))
                    faults << QStringLiteral("folder not listed");
                for (int i = 0; i < header->count(); ++i) {
                    const int contents = i == 0 ? 0 : view->sizeHintForColumn(i); // names may be elided
                    if (header->isSectionHidden(i) || header->sectionSize(i) < std::max(header->sectionSizeHint(i), contents))
                        faults << QStringLiteral("column %1 cut").arg(i);
                }
                if (header->count() != 4 || header->length() > view->viewport()->width())
                    faults << QStringLiteral("columns beyond the view");
                if (modal->size().boundedTo(modal->screen()->availableGeometry().size()) != modal->size())
                    faults << QStringLiteral("larger than the screen");
                auto* preview = modal->findChild<QLabel*>(QStringLiteral("ImagePreview"));
                if (open && !modal->rect().contains(QRect(preview->mapTo(modal, QPoint(0, 0)), preview->size())))
                    faults << QStringLiteral("preview outside");
                given = modal->size() - QSize(60, 40);
                modal->resize(given);
                modal->close();
            });
            run();
            QVERIFY(first.seen);
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral(", "))));
            QSize shown;
            ModalDriver second;
            second.expect([&](QWidget* modal) {
                shown = modal->size();
                modal->close();
            });
            run();
            QCOMPARE(shown, given);
        }
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
    useOffscreenScreen(config, QStringLiteral("Laptop"), 1600, 1000);
    QApplication app(argc, argv);
    SystemDesktopTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_systemdesktop.moc"
