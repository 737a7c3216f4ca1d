// The Watermark dialog: the position buttons and the margin boxes they enable, the dotted
// guides, dragging in the preview, the font chooser, and OK for All through the main window.
#include "DialogTestSupport.h"
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "ui/desktop/FontChooser.h"
#include "ui/dialogs/FormWatermark.h"
#include "ui/dialogs/ImageBox.h"
#include "ui/dialogs/NumericBox.h"
#include "ui/dialogs/PositionGrid.h"
#include "ui/window/FormMain.h"

#include <QAction>
#include <QDialog>
#include <QFontDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

namespace {

// Pixels of the preview that are not black, within area.
int litPixels(const QImage& preview, QRect area)
{
    int lit = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (preview.pixelColor(x, y) != Qt::black)
                ++lit;
    return lit;
}

} // namespace

class FormWatermarkTest : public QObject {
    Q_OBJECT

    QString photo_;

    static ImageBox* preview(TFormWatermark& dialog) { return child<ImageBox>(dialog, "ImagePreview"); }

private slots:
    void initTestCase()
    {
        useFreshProgramFolder();
        photo_ = makePhoto(QStringLiteral("photo.bmp"), 600, 400);
    }

    void positionButtonsAndMarginBoxes_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("down"); // -1: none
        QTest::addColumn<bool>("xEnabled");
        QTest::addColumn<bool>("yEnabled");
        QTest::addColumn<int>("onOk");
        QTest::newRow("top left") << 0 << 0 << true << true << 0;
        QTest::newRow("top center") << 1 << 1 << false << true << 1;
        QTest::newRow("middle left") << 3 << 3 << true << false << 3;
        QTest::newRow("center") << 4 << 4 << false << false << 4;
        QTest::newRow("bottom right") << 8 << 8 << true << true << 8;
        QTest::newRow("9: none down, stored as 8") << 9 << -1 << true << true << 8;
        QTest::newRow("-1: none down, stored as 8") << -1 << -1 << true << true << 8;
    }
    void positionButtonsAndMarginBoxes()
    {
        QFETCH(int, stored);
        QFETCH(int, down);
        QFETCH(bool, xEnabled);
        QFETCH(bool, yEnabled);
        QFETCH(int, onOk);
        ShownPhoto photo(photo_, [stored](TPhotoInfo& i) { i.Position = stored; });
        FakeDesktop desktop;
        TFormWatermark dialog(photo.view, desktop);
        dialog.show();
        auto* grid = dialog.findChild<PositionGrid*>();
        for (int n = 0; n < 9; ++n)
            QCOMPARE(grid->isDown(n), n == down);
        QCOMPARE(child<NumericBox>(dialog, "UpDownX")->isEnabled(), xEnabled);
        QCOMPARE(child<NumericBox>(dialog, "UpDownY")->isEnabled(), yEnabled);
        child<QPushButton>(dialog, "ButtonOK")->click();
        QCOMPARE(photo.info.Position, onOk);
    }

    void drags_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<int>("marginX");
        QTest::addColumn<int>("marginY");
        // The margins are 8 and 8 before the drag; the preview is 449 x 269.
        QTest::newRow("top left") << 0 << QPoint(30, 40) << 30 << 40;
        QTest::newRow("bottom right: from the far edges") << 8 << QPoint(400, 250) << 49 << 19;
        QTest::newRow("top center: only Y") << 1 << QPoint(30, 40) << 8 << 40;
        QTest::newRow("center: nothing") << 4 << QPoint(30, 40) << 8 << 8;
        QTest::newRow("left of the preview gives 0") << 3 << QPoint(-25, 40) << 0 << 8;
        QTest::newRow("past the far edge gives 0") << 2 << QPoint(500, -9) << 0 << 0;
    }
    void drags()
    {
        QFETCH(int, position);
        QFETCH(QPoint, to);
        QFETCH(int, marginX);
        QFETCH(int, marginY);
        ShownPhoto photo(photo_, [position](TPhotoInfo& i) {
            i.Position = position;
            i.MarginX = i.MarginY = 8;
        });
        FakeDesktop desktop;
        TFormWatermark dialog(photo.view, desktop);
        dialog.show();
        ImageBox* image = preview(dialog);
        QTest::mousePress(image, Qt::LeftButton, Qt::NoModifier, QPoint(200, 100));
        QTest::mouseMove(image, to);
        QTest::mouseRelease(image, Qt::LeftButton, Qt::NoModifier, to);
        QCOMPARE(child<NumericBox>(dialog, "UpDownX")->value(), marginX);
        QCOMPARE(child<NumericBox>(dialog, "UpDownY")->value(), marginY);
        QCOMPARE(child<QLineEdit>(dialog, "EditX")->text(), QString::number(marginX));
        child<QPushButton>(dialog, "ButtonOK")->click();
        QCOMPARE(photo.info.MarginX, marginX);
        QCOMPARE(photo.info.MarginY, marginY);
    }

    void guidesAreDottedAndOnlyTheGuidesMoveDuringADrag()
    {
        ShownPhoto photo(photo_, [](TPhotoInfo& i) {
            i.Watermark = QString();
            i.Position = 0;
            i.MarginX = 30;
            i.MarginY = 40;
        });
        FakeDesktop desktop;
        TFormWatermark dialog(photo.view, desktop);
        dialog.show();
        const QImage shown = preview(dialog)->bitmap();
        // Column 29 and row 39, every other pixel (x + y even); where they cross, twice: black.
        QCOMPARE(shown.pixelColor(29, 0), QColor(Qt::black));
        QCOMPARE(shown.pixelColor(29, 1), QColor(Qt::white));
        QCOMPARE(shown.pixelColor(1, 39), QColor(Qt::white));
        QCOMPARE(shown.pixelColor(29, 39), QColor(Qt::black));
        QCOMPARE(litPixels(shown, shown.rect()), 134 + 224 - 2);

        // With a text, the press moves the guides but not the watermark; the release does.
        auto* signature = child<QLineEdit>(dialog, "EditSignature");
        signature->setText(QStringLiteral("Signed"));
        const QRect atMargins(30, 40, 60, 20);
        const QRect atPointer(200, 150, 60, 20);
        const int textLit = litPixels(preview(dialog)->bitmap(), atMargins);
        QVERIFY(textLit > 20);
        QSignalSpy renders(&photo.view, &TPhoto::OnChange);
        QTest::mousePress(preview(dialog), Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
        QVERIFY(litPixels(preview(dialog)->bitmap(), atMargins) > 20);
        QVERIFY(litPixels(preview(dialog)->bitmap(), atPointer) < 5);
        // The old guide is erased, the new one at the pointer drawn.
        QCOMPARE(preview(dialog)->bitmap().pixelColor(29, 1), QColor(Qt::black));
        QCOMPARE(preview(dialog)->bitmap().pixelColor(199, 1), QColor(Qt::white));
        QTest::mouseRelease(preview(dialog), Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
        QVERIFY(litPixels(preview(dialog)->bitmap(), atMargins) < 5);
        QVERIFY(litPixels(preview(dialog)->bitmap(), atPointer) > 20);
        QCOMPARE(renders.size(), 0);
    }

    void theCenterPositionDrawsNoGuides()
    {
        ShownPhoto photo(photo_, [](TPhotoInfo& i) {
            i.Watermark = QString();
            i.Position = 4;
        });
        FakeDesktop desktop;
        TFormWatermark dialog(photo.view, desktop);
        dialog.show();
        QCOMPARE(litPixels(preview(dialog)->bitmap(), preview(dialog)->bitmap().rect()), 0);
    }

    void theFontChooser()
    {
        ShownPhoto photo(photo_);
        FakeDesktop desktop;
        TFormWatermark dialog(photo.view, desktop);
        dialog.show();
        const TFont opening = photo.info.Font;
        // Cancelled: the font stays, the preview is made again all the same.
        const qint64 before = preview(dialog)->bitmap().cacheKey();
        child<QPushButton>(dialog, "ButtonFont")->click();
        QCOMPARE(desktop.fontInitials.size(), 1);
        QVERIFY(desktop.fontInitials[0] == opening);
        QVERIFY(dialog.Font() == opening);
        QVERIFY(preview(dialog)->bitmap().cacheKey() != before);
        // Accepted: the whole font is taken, and OK stores it.
        TFont chosen{QStringLiteral("DejaVu Serif"), 30, 0x000000FF, TFontStyles(fsItalic | fsUnderline)};
        desktop.fontAnswer = chosen;
        const int litBefore = litPixels(preview(dialog)->bitmap(), preview(dialog)->bitmap().rect());
        child<QPushButton>(dialog, "ButtonFont")->click();
        QVERIFY(litPixels(preview(dialog)->bitmap(), preview(dialog)->bitmap().rect()) > litBefore);
        child<QPushButton>(dialog, "ButtonOK")->click();
        QVERIFY(photo.info.Font == chosen);
    }

    void theFontChooserKeepsWhatTheUserDidNotChange()
    {
        // The stored face may not be installed: the chooser shows the face it is drawn with, and
        // accepting it unchanged keeps the stored name, its style, size and color.
        const TFont stored{QStringLiteral("No Such Face"), 14, 0x00336699, TFontStyles(fsBold | fsStrikeOut)};
        ModalDriver driver;
        QString shownFace;
        driver.expect([&](QWidget* modal) {
            shownFace = modal->findChild<QFontDialog*>()->currentFont().family();
            static_cast<QDialog*>(modal)->accept();
        });
        const auto chosen = runFontChooser(nullptr, stored);
        QVERIFY(driver.seen);
        QVERIFY(shownFace != stored.Name);
        QVERIFY(chosen.has_value());
        QCOMPARE(chosen->Name, stored.Name);
        QCOMPARE(chosen->Size, 14);
        QCOMPARE(chosen->Color, stored.Color);
        QCOMPARE(int(chosen->Style), int(fsBold | fsStrikeOut));

        // A symbolic color (a system color from an edited file) comes back as it was stored.
        TFont symbolic = stored;
        symbolic.Color = 0xFF000008;
        driver.expect([](QWidget* modal) { static_cast<QDialog*>(modal)->accept(); });
        QCOMPARE(runFontChooser(nullptr, symbolic)->Color, symbolic.Color);

        driver.expect([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
        QVERIFY(!runFontChooser(nullptr, stored).has_value());
    }

    void typedMarginsAndSignature()
    {
        ShownPhoto photo(photo_, [](TPhotoInfo& i) { i.Watermark = QStringLiteral("x"); });
        FakeDesktop desktop;
        TFormWatermark dialog(photo.view, desktop);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(dialog, "EditSignature"));
        const qint64 before = preview(dialog)->bitmap().cacheKey();
        QTest::keyClick(child<QLineEdit>(dialog, "EditSignature"), Qt::Key_Y);
        QVERIFY(preview(dialog)->bitmap().cacheKey() != before); // every keystroke
        auto* editY = child<QLineEdit>(dialog, "EditY");
        typeInto(child<NumericBox>(dialog, "UpDownY"), QStringLiteral("-3"));
        typeInto(child<NumericBox>(dialog, "UpDownX"), QStringLiteral("12345"));
        QCOMPARE(editY->text(), QStringLiteral("0"));
        QTest::keyClick(child<NumericBox>(dialog, "UpDownX"), Qt::Key_Return); // OK commits the box
        QCOMPARE(photo.info.MarginY, 0);
        QCOMPARE(photo.info.MarginX, 1234);
        QCOMPARE(photo.info.Watermark, QStringLiteral("y")); // the box opened with its text selected
    }

    void okForAllCarriesTheWatermarkIntoEveryPhoto()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        window.OpenPhoto(photo_, false);
        window.Photos().at(0)->MaxSize = 123;
        desktop.onExec = [](QDialog& dialog) {
            dialog.show();
            child<QLineEdit>(dialog, "EditSignature")->setText(QStringLiteral("for all"));
            child<QToolButton>(dialog, "SpeedButton5")->click();
            child<QPushButton>(dialog, "ButtonAll")->click();
        };
        window.Item(QStringLiteral("MenuWatermark"))->trigger();
        QCOMPARE(desktop.execDialogs, QStringList{"TFormWatermark"});
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(window.Photos().at(i)->Watermark, QStringLiteral("for all"));
            QCOMPARE(window.Photos().at(i)->Position, 5);
        }
        QCOMPARE(window.Photos().at(0)->MaxSize, 123);
    }
};

QTEST_MAIN(FormWatermarkTest)
#include "tst_formwatermark.moc"
