// The real desktop services: the open dialog with its preview, the save dialog, the message
// boxes. Modal dialogs are driven by a timer that finds them and gives up after a timeout.
#include "UiTestSupport.h"
#include "formats/FormatRegistry.h"
#include "model/ProgramFolder.h"
#include "ui/main/Desktop.h"
#include "ui/main/OpenPictureDialog.h"
#include "ui/main/PreviewLoader.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QFileInfo>
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

QTEST_MAIN(SystemDesktopTest)
#include "tst_systemdesktop.moc"
