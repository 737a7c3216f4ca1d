// The settings dialog and the three default-settings commands: what is stored, what the photo
// on screen keeps, the dialog's fields and their leave rules, and a failed write.
#include "DialogTestSupport.h"
#include "FakeDesktop.h"
#include "FileSizeLimit.h"
#include "UiTestSupport.h"
#include "model/ProgramFolder.h"
#include "templates/FormDefault.h"
#include "ui/dialogs/MaskList.h"
#include "ui/dialogs/PositionGrid.h"
#include "ui/window/FormMain.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>


namespace {

const QStringList kBlockKeys = {"SIZE",      "OPTIMIZE", "KEEP",   "WATERMARK", "FONTNAME", "FONTSIZE",
                                "FONTCOLOR", "BOLD",     "ITALIC", "UNDERLINE", "STRIKEOUT", "OPACITY",
                                "POSITION",  "X",        "Y",      "MASK",      "MARGIN",   "COLOR",
                                "RESAMPLE",  "QUALITY",  "MAXKB"};

// The keys of the settings file's section PHOTO, in file order.
QStringList storedKeys()
{
    QStringList keys;
    bool inSection = false;
    for (const QString& line : readSettingsFile().split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('[')))
            inSection = line == QStringLiteral("[PHOTO]");
        else if (inSection && line.contains(QLatin1Char('=')))
            keys << line.section(QLatin1Char('='), 0, 0);
    }
    return keys;
}

// Runs the dialog shown by the command: act, then OK.
std::function<void(QDialog&)> thenOk(std::function<void(QDialog&)> act = {})
{
    return [act](QDialog& dialog) {
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        if (act)
            act(dialog);
        child<QPushButton>(dialog, "ButtonOK")->click();
    };
}

} // namespace

class DefaultSettingsTest : public QObject {
    Q_OBJECT

    QString photo_;
    QString mask_;

private slots:
    void initTestCase()
    {
        useFreshProgramFolder();
        QDir(programFolder()).mkpath(QStringLiteral("Masks"));
        mask_ = programFile(QStringLiteral("Masks/frame.png"));
        QImage(20, 20, QImage::Format_RGB32).save(mask_);
    }
    void init()
    {
        clearProgramFolder();
        photo_ = makePhoto(QStringLiteral("photo.bmp"), 300, 200);
    }

    void okWithoutChangesStoresTheWholeBlockAndKeepsTheBackground()
    {
        writeSettingsFile(QStringLiteral("[PHOTO]\nBACKGROUND=clBlack\nSIZE=321\n"));
        FakeDesktop desktop;
        TFormMain window(desktop);
        QString caption;
        desktop.onExec = thenOk([&](QDialog& dialog) { caption = dialog.windowTitle(); });
        window.Item(QStringLiteral("MenuDefault"))->trigger();
        QCOMPARE(caption, QStringLiteral("Default Templates"));
        QCOMPARE(storedKeys(), QStringList{"BACKGROUND"} + kBlockKeys);
        QVERIFY(readSettingsFile().contains(QStringLiteral("\nSIZE=321\n")));
        QVERIFY(readSettingsFile().contains(QStringLiteral("BACKGROUND=clBlack\n")));
    }

    void cancelStoresNothing()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        desktop.onExec = [](QDialog& dialog) {
            dialog.show();
            typeInto(child<QLineEdit>(dialog, "EditSize"), QStringLiteral("77"));
            child<QPushButton>(dialog, "ButtonCancel")->click();
        };
        window.Item(QStringLiteral("MenuDefault"))->trigger();
        QVERIFY(!QFile::exists(settingsFilePath()));
    }

    void editedDefaultsReachOnlyPhotosOpenedAfterwards()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        const QImage shown = window.Photo().Bitmap();
        const TPhotoInfo before = *window.Photos().at(0);
        desktop.onExec = thenOk([](QDialog& dialog) {
            typeInto(child<QLineEdit>(dialog, "EditSize"), QStringLiteral("100"));
            typeInto(child<QLineEdit>(dialog, "EditSignature"), QStringLiteral("mine"));
            QVERIFY(!child<QCheckBox>(dialog, "CheckBoxResample")->isChecked());
            child<QCheckBox>(dialog, "CheckBoxResample")->setChecked(true);
            QCOMPARE(child<QLineEdit>(dialog, "EditQuality")->text(), QStringLiteral("100"));
            QVERIFY(!child<QCheckBox>(dialog, "CheckBoxMaxFile")->isChecked());
            typeInto(child<QLineEdit>(dialog, "EditQuality"), QStringLiteral("70"));
            child<QCheckBox>(dialog, "CheckBoxMaxFile")->setChecked(true);
            typeInto(child<QLineEdit>(dialog, "EditMaxFile"), QStringLiteral("300"));
        });
        window.Item(QStringLiteral("MenuDefault"))->trigger();
        QCOMPARE(window.Photos().at(0)->MaxSize, before.MaxSize);
        QCOMPARE(window.Photos().at(0)->Watermark, before.Watermark);
        QCOMPARE(window.Photo().Bitmap(), shown);
        window.OpenPhoto(photo_, false);
        QCOMPARE(window.Photos().at(1)->MaxSize, 100);
        QCOMPARE(window.Photos().at(1)->Watermark, QStringLiteral("mine"));
        QVERIFY(window.Photos().at(1)->Resample);
        QVERIFY(!window.Photos().at(0)->Resample);
        QCOMPARE((std::pair{window.Photos().at(1)->JpegQuality, window.Photos().at(1)->MaxFileKB}),
                 (std::pair{70, 300}));
        QCOMPARE((std::pair{window.Photos().at(0)->JpegQuality, window.Photos().at(0)->MaxFileKB}),
                 (std::pair{100, 0}));
        QVERIFY(readSettingsFile().contains(QStringLiteral("QUALITY=70\nMAXKB=300\n")));
        QCOMPARE(window.Photo().Bitmap().width(), 100);
    }

    void setStoresTheBlockOnlyAndReloadKeepsWhatIsOutsideIt()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        TPhotoInfo& info = *window.Photos().at(0);
        info.MaxSize = 150;
        info.Mask = mask_;
        info.CropRect = {10, 10, 200, 150};
        info.Rotation = 90;
        info.Contrast = 30;
        window.Item(QStringLiteral("MenuSet"))->trigger();
        QCOMPARE(storedKeys(), kBlockKeys);
        QVERIFY(readSettingsFile().contains(QStringLiteral("SIZE=150\n")));

        writeSettingsFile(QStringLiteral("[PHOTO]\nSIZE=80\nMASK=%1\nMARGIN=2\n").arg(mask_));
        info.Mask.clear();
        window.Photo().LoadMask();
        window.Item(QStringLiteral("MenuReload"))->trigger();
        QCOMPARE(info.MaxSize, 80);
        QCOMPARE(info.BorderWidth, 2);
        QCOMPARE(info.Watermark, TPhotoInfo().Watermark); // a missing key takes its default
        QCOMPARE(info.Rotation, 90);
        QCOMPARE(info.Contrast, 30);
        QCOMPARE(info.CropRect.Right, 200);
        QVERIFY(window.Photo().MaskPicture());
        QCOMPARE(window.Photo().Bitmap().size(), QSize(59, 80)); // 190 x 140 cropped, turned, to 80
    }

    void fieldsTakeTypedNumbersWhenLeft_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        // Before typing: opacity 128, X 8, Y 8, size 600, border 0.
        QTest::newRow("opacity above its range") << "EditWatermark" << "300" << "255";
        QTest::newRow("letters in X restore it") << "EditX" << "ab" << "8";
        QTest::newRow("a number in Y") << "EditY" << "25" << "25";
        QTest::newRow("letters in the size stay as typed") << "EditSize" << "ab" << "ab";
        QTest::newRow("border width, three characters") << "EditMargin" << "1234" << "123";
    }
    void fieldsTakeTypedNumbersWhenLeft()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        FakeDesktop desktop;
        TFormDefault dialog(desktop);
        dialog.OwnInfo() = TPhotoInfo();
        dialog.OwnInfo().MaxSize = 600;
        dialog.OwnInfo().Opacity = 128;
        dialog.OwnInfo().MarginX = dialog.OwnInfo().MarginY = 8;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto* edit = child<QLineEdit>(dialog, qPrintable(box));
        typeInto(edit, typed);
        child<QLineEdit>(dialog, "EditSignature")->setFocus();
        QCOMPARE(edit->text(), shown);
        dialog.ButtonOKClick();
        const TPhotoInfo& info = dialog.OwnInfo();
        const QList<int> stored = {info.Opacity, info.MarginX, info.MarginY, info.MaxSize, info.BorderWidth};
        const QList<int> expected = {box == "EditWatermark" ? 255 : 128, 8, box == "EditY" ? 25 : 8, 600,
                                     box == "EditMargin" ? 123 : 0};
        QCOMPARE(stored, expected);
        if (box == "EditWatermark")
            QCOMPARE(child<QSlider>(dialog, "TrackBarWatermark")->value(), 255);
    }

    void theStoredMaskIsSelectedByItsPathAndNoSelectionStoresNone()
    {
        FakeDesktop desktop;
        TFormDefault dialog(desktop);
        TPhotoInfo info;
        info.Mask = mask_;
        dialog.SetEditInfo(&info);
        dialog.show();
        QVERIFY(dialog.MasksLoaded());
        auto* list = child<MaskList>(dialog, "ListViewMasks");
        QCOMPARE(list->side(), 44);
        QCOMPARE(list->thumbnail(0).size(), QSize(44, 44));
        QCOMPARE(list->selectedPath(), mask_);
        list->clearSelection();
        dialog.ButtonOKClick();
        QCOMPARE(info.Mask, QString());
        QCOMPARE(dialog.result(), 1);
    }

    void anUnknownPositionKeepsTheButtonOfThePreviousShowing()
    {
        FakeDesktop desktop;
        TFormDefault dialog(desktop);
        auto showWith = [&](int position) {
            TPhotoInfo info;
            info.Position = position;
            dialog.SetEditInfo(&info);
            dialog.show();
            QList<int> down;
            for (int n = 0; n < 9; ++n)
                if (dialog.findChild<PositionGrid*>()->isDown(n))
                    down << n;
            dialog.ButtonOKClick();
            return std::pair{down, info.Position};
        };
        QCOMPARE(showWith(9), (std::pair{QList<int>{}, 8}));
        QCOMPARE(showWith(2), (std::pair{QList<int>{2}, 2}));
        QCOMPARE(showWith(9), (std::pair{QList<int>{2}, 2}));
        QCOMPARE(showWith(-1), (std::pair{QList<int>{2}, 2}));
    }

    void aFailedWriteIsReportedAndLeavesTheOldFile()
    {
        writeSettingsFile(QStringLiteral("[PHOTO]\nSIZE=600\n"));
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        const QString old = readSettingsFile();
        desktop.onExec = thenOk();
        {
            FileSizeLimit limit(8);
            window.Item(QStringLiteral("MenuDefault"))->trigger();
            window.Item(QStringLiteral("MenuSet"))->trigger();
        }
        // Each write the user asked for is told, with its reason.
        QCOMPARE(desktop.errors.size(), 2);
        for (const QString& error : desktop.errors)
            QVERIFY2(error.startsWith("Unable to write to " + settingsFilePath() + ": "), qPrintable(error));
        QCOMPARE(readSettingsFile(), old);
        QCOMPARE(QDir(programFolder()).entryList(QDir::Files), QStringList{"lumatrim.dat"});
    }
};

QTEST_MAIN(DefaultSettingsTest)
#include "tst_defaultsettings.moc"
