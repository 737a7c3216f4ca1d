// The Mask dialog: which files of the masks folder are offered, their thumbnails, selection by
// exact path, OK / Apply / Cancel with the mask picture reloaded, and OK for All.
#include "DialogTestSupport.h"
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "model/ProgramFolder.h"
#include "ui/dialogs/FormMask.h"
#include "ui/dialogs/MaskList.h"
#include "ui/dialogs/NumericBox.h"
#include "ui/window/FormMain.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

namespace {

QString maskPath(const QString& name)
{
    return programFile(QStringLiteral("Masks/") + name);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// A mask whose left half is black and right half white.
void writeHalfMask(const QString& path, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).fillRect(0, 0, width / 2, height, Qt::black);
    if (!image.save(path))
        qFatal("cannot write %s", qPrintable(path));
}

QStringList listedNames(const MaskList& list)
{
    QStringList names;
    for (int i = 0; i < list.count(); ++i)
        names << QFileInfo(list.path(i)).fileName();
    return names;
}

} // namespace

class FormMaskTest : public QObject {
    Q_OBJECT

    QString photo_;

private slots:
    void initTestCase()
    {
        useFreshProgramFolder();
        photo_ = makePhoto(QStringLiteral("photo.bmp"), 300, 200);
        QDir(programFolder()).mkpath(QStringLiteral("Masks/sub"));
        writeHalfMask(maskPath(QStringLiteral("Wide.bmp")), 160, 40);
        writeHalfMask(maskPath(QStringLiteral("oval.png")), 100, 100);
        writeHalfMask(maskPath(QStringLiteral(".hidden.png")), 10, 10);
        writeHalfMask(maskPath(QStringLiteral("sub/inner.png")), 10, 10);
        writeFile(maskPath(QStringLiteral("notes.txt")), "not a picture\n");
        writeFile(maskPath(QStringLiteral("damaged.png")), QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(40, 'x'));
    }

    void offersThePlainFilesThatLoadAsSqueezedThumbnails()
    {
        ShownPhoto photo(photo_);
        FakeDesktop desktop;
        TFormMask dialog(photo.view, desktop);
        QVERIFY(!dialog.MasksLoaded());
        dialog.show();
        QVERIFY(dialog.MasksLoaded());
        auto* list = child<MaskList>(dialog, "ListViewMasks");
        QCOMPARE(listedNames(*list), (QStringList{"oval.png", "Wide.bmp"}));
        QCOMPARE(list->path(1), maskPath(QStringLiteral("Wide.bmp")));
        // 160 x 40 squeezed into 80 x 80: the black half is 40 pixels wide and all 80 high.
        const QImage thumbnail = list->thumbnail(1);
        QCOMPARE(thumbnail.size(), QSize(80, 80));
        QCOMPARE(thumbnail.depth(), 24);
        QCOMPARE(thumbnail.pixelColor(2, 2), QColor(Qt::black));
        QCOMPARE(thumbnail.pixelColor(37, 77), QColor(Qt::black));
        QCOMPARE(thumbnail.pixelColor(42, 2), QColor(Qt::white));
        QCOMPARE(dialog.focusWidget(), list);
    }

    void listsTheFoldersInTurn()
    {
        // The user's own masks come before those shipped with the program, each folder by name.
        const QString user = programFile(QStringLiteral("user-masks"));
        QDir().mkpath(user);
        writeHalfMask(user + QStringLiteral("/Zigzag.png"), 10, 10);
        writeHalfMask(user + QStringLiteral("/oval.png"), 10, 10);
        MaskList list(44);
        list.load({user, programFile(QStringLiteral("Masks")), programFile(QStringLiteral("missing"))});
        QCOMPARE(listedNames(list), (QStringList{"oval.png", "Zigzag.png", "oval.png", "Wide.bmp"}));
        QCOMPARE(list.path(0), user + QStringLiteral("/oval.png"));
        QDir(user).removeRecursively();
    }

    void selectsTheStoredMaskByItsExactPath_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("selected"); // -1: none, and OK clears the mask
        QTest::newRow("listed") << maskPath(QStringLiteral("Wide.bmp")) << 1;
        QTest::newRow("case differs") << maskPath(QStringLiteral("wide.bmp")) << -1;
        QTest::newRow("another folder") << programFile(QStringLiteral("Wide.bmp")) << -1;
        QTest::newRow("text file of the folder") << maskPath(QStringLiteral("notes.txt")) << -1;
        QTest::newRow("none") << QString() << -1;
    }
    void selectsTheStoredMaskByItsExactPath()
    {
        QFETCH(QString, stored);
        QFETCH(int, selected);
        ShownPhoto photo(photo_, [&](TPhotoInfo& i) { i.Mask = stored; });
        FakeDesktop desktop;
        TFormMask dialog(photo.view, desktop);
        dialog.show();
        auto* list = child<MaskList>(dialog, "ListViewMasks");
        const QString expected = selected < 0 ? QString() : list->path(selected);
        QCOMPARE(list->selectedPath(), expected);
        child<QPushButton>(dialog, "ButtonOK")->click();
        QCOMPARE(photo.info.Mask, expected);
        QCOMPARE(photo.view.MaskPicture() != nullptr, selected >= 0);
    }

    void clickingBesideTheThumbnailsChoosesNoMaskButKeepsTheBorder()
    {
        ShownPhoto photo(photo_, [](TPhotoInfo& i) { i.Mask = maskPath(QStringLiteral("oval.png")); });
        FakeDesktop desktop;
        desktop.colorAnswer = QColor(10, 20, 30);
        TFormMask dialog(photo.view, desktop);
        dialog.show();
        auto* list = child<MaskList>(dialog, "ListViewMasks");
        QVERIFY(!list->selectedPath().isEmpty());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(390, 300));
        QCOMPARE(list->selectedPath(), QString());
        typeInto(child<QLineEdit>(dialog, "EditMargin"), QStringLiteral("1234"));
        child<QPushButton>(dialog, "ButtonColor")->click();
        child<QPushButton>(dialog, "ButtonOK")->click();
        QCOMPARE(photo.info.Mask, QString());
        QCOMPARE(photo.info.BorderWidth, 123); // three characters at most
        QCOMPARE(photo.info.BackgroundColor, TColor(0x1E140A));
        QVERIFY(!photo.view.MaskPicture());
        QCOMPARE(photo.view.Bitmap().pixelColor(0, 0), QColor(10, 20, 30));
    }

    void colorChooserOpensOnTheSwatchAndItsCancelChangesNothing()
    {
        ShownPhoto photo(photo_, [](TPhotoInfo& i) { i.BackgroundColor = 0x2000FF; });
        FakeDesktop desktop;
        TFormMask dialog(photo.view, desktop);
        dialog.show();
        child<QPushButton>(dialog, "ButtonColor")->click();
        QCOMPARE(desktop.colorInitials, QList<QColor>{QColor(255, 0, 32)});
        child<QPushButton>(dialog, "ButtonOK")->click();
        QCOMPARE(photo.info.BackgroundColor, TColor(0x2000FF));
    }

    void cancelAfterApplyRestoresTheFrameAndReloadsItsMask()
    {
        ShownPhoto photo(photo_, [](TPhotoInfo& i) {
            i.Mask = maskPath(QStringLiteral("oval.png"));
            i.BorderWidth = 3;
            i.BackgroundColor = 0x0000FF;
        });
        FakeDesktop desktop;
        desktop.colorAnswer = QColor(Qt::green);
        TFormMask dialog(photo.view, desktop);
        dialog.show();
        child<MaskList>(dialog, "ListViewMasks")->setCurrentRow(1);
        typeInto(child<QLineEdit>(dialog, "EditMargin"), QStringLiteral("7"));
        child<QPushButton>(dialog, "ButtonColor")->click();
        child<QPushButton>(dialog, "ButtonApply")->click();
        QCOMPARE(photo.info.Mask, maskPath(QStringLiteral("Wide.bmp")));
        QCOMPARE(photo.info.BorderWidth, 7);
        QCOMPARE(photo.view.MaskPicture()->width(), 160);
        child<QPushButton>(dialog, "ButtonCancel")->click();
        QCOMPARE(dialog.result(), 2);
        QCOMPARE(photo.info.Mask, maskPath(QStringLiteral("oval.png")));
        QCOMPARE(photo.info.BorderWidth, 3);
        QCOMPARE(photo.info.BackgroundColor, TColor(0x0000FF));
        QCOMPARE(photo.view.MaskPicture()->width(), 100);
        QCOMPARE(photo.view.Bitmap().pixelColor(0, 0), QColor(Qt::red));
    }

    void masksAddedWhileRunningAppearAfterARestart()
    {
        ShownPhoto photo(photo_);
        FakeDesktop desktop;
        TFormMask dialog(photo.view, desktop);
        dialog.show();
        dialog.close();
        writeHalfMask(maskPath(QStringLiteral("later.png")), 20, 20);
        dialog.show();
        QCOMPARE(child<MaskList>(dialog, "ListViewMasks")->count(), 2);
        TFormMask restarted(photo.view, desktop);
        restarted.show();
        QCOMPARE(child<MaskList>(restarted, "ListViewMasks")->count(), 3);
        QFile::remove(maskPath(QStringLiteral("later.png")));
    }

    void okForAllGivesEveryPhotoTheFrame()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        window.OpenPhoto(photo_, false);
        desktop.onExec = [](QDialog& dialog) {
            dialog.show();
            child<MaskList>(dialog, "ListViewMasks")->setCurrentRow(0);
            typeInto(child<QLineEdit>(dialog, "EditMargin"), QStringLiteral("4"));
            child<QPushButton>(dialog, "ButtonAll")->click();
        };
        window.Item(QStringLiteral("MenuMask"))->trigger();
        QCOMPARE(desktop.execDialogs, QStringList{"TFormMask"});
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(window.Photos().at(i)->Mask, maskPath(QStringLiteral("oval.png")));
            QCOMPARE(window.Photos().at(i)->BorderWidth, 4);
        }
        window.SelectPhoto(0);
        QCOMPARE(window.Photo().MaskPicture()->width(), 100);
    }
};

QTEST_MAIN(FormMaskTest)
#include "tst_formmask.moc"
