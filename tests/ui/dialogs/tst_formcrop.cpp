// The Crop dialog: mapping the selection between source and picture, the zones under the
// pointer, the ratio and Auto Crop shapes, the not-xor outline, and the mouse on the picture.
#include "DialogTestSupport.h"
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "render/Geometry.h"
#include "ui/dialogs/CropSelection.h"
#include "ui/dialogs/FormCrop.h"
#include "ui/dialogs/ImageBox.h"
#include "ui/dialogs/XorOutline.h"
#include "ui/photo/Photo.h"
#include "ui/window/FormMain.h"

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <limits>

Q_DECLARE_METATYPE(TRect)

namespace {

// The dialog shown on a photo, as the photo view shows it (without the modal loop).
struct ShownCrop {
    TFormCrop dialog;
    ImageBox* picture;
    ImageBox* preview;
    explicit ShownCrop(TPhoto& view) : dialog(view)
    {
        dialog.show();
        picture = dialog.findChild<ImageBox*>(QStringLiteral("ImagePhoto"));
        preview = dialog.findChild<ImageBox*>(QStringLiteral("ImagePreview"));
    }
    void click(const char* button) { dialog.findChild<QPushButton*>(QString::fromLatin1(button))->click(); }
    // A drag with the left button, the pointer first resting at from so that its zone is known.
    void drag(QPoint from, QPoint to)
    {
        QTest::mouseMove(picture, from);
        QTest::mousePress(picture, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(picture, to);
        QTest::mouseRelease(picture, Qt::LeftButton, Qt::NoModifier, to);
    }
};

QString str(const TRect& r)
{
    return QStringLiteral("(%1, %2, %3, %4)").arg(r.Left).arg(r.Top).arg(r.Right).arg(r.Bottom);
}

} // namespace

class FormCropTest : public QObject {
    Q_OBJECT

    QString landscape_; // 600 x 400
    QString exact_;     // 381 x 254: the picture is the source, pixel for pixel

private slots:
    void initTestCase()
    {
        useFreshProgramFolder();
        landscape_ = makePhoto(QStringLiteral("landscape.bmp"), 600, 400);
        exact_ = makePhoto(QStringLiteral("exact.bmp"), 381, 254);
    }

    // ---- Plain computations ----

    void mapRect_data()
    {
        QTest::addColumn<TRect>("r");
        QTest::addColumn<QSize>("from");
        QTest::addColumn<QSize>("to");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<TRect>("mapped");
        QTest::newRow("180") << TRect{10, 20, 30, 60} << QSize(100, 80) << QSize(100, 80) << 180 << 0
                             << TRect{70, 20, 90, 60};
        QTest::newRow("ties to even") << TRect{1, 3, 5, 7} << QSize(2, 2) << QSize(1, 1) << 0 << 0
                                      << TRect{0, 2, 2, 4};
        QTest::newRow("other angle: no turn") << TRect{1, 2, 3, 4} << QSize(10, 10) << QSize(10, 10) << 45 << 0
                                              << TRect{1, 2, 3, 4};
        QTest::newRow("empty space: scale 0") << TRect{5, 5, 9, 9} << QSize(0, 10) << QSize(100, 100) << 0 << 0
                                              << TRect{0, 0, 0, 0};
        constexpr int32_t lo = std::numeric_limits<int32_t>::min();
        constexpr int32_t hi = std::numeric_limits<int32_t>::max();
        QTest::newRow("huge edited rectangle clamps") << TRect{lo, lo, hi, hi} << QSize(10, 10) << QSize(381, 381) << 90
                                                      << 0 << TRect{lo, lo, hi, hi};
    }
    void mapRect()
    {
        QFETCH(TRect, r);
        QFETCH(QSize, from);
        QFETCH(QSize, to);
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(TRect, mapped);
        QCOMPARE(str(MapRect(r, from, to, a, b)), str(mapped));
    }

    void shapes_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<TRect>("selection");
        QTest::addColumn<TRect>("shaped");
        QTest::newRow("4:3 shortens the height") << "4:3" << TRect{0, 0, 100, 100} << TRect{0, 0, 100, 75};
        QTest::newRow("3:4 shortens the width") << "3:4" << TRect{10, 10, 110, 110} << TRect{10, 10, 85, 110};
        QTest::newRow("ratio of an empty selection") << "4:3" << TRect{} << TRect{};
        QTest::newRow("zero ratio does nothing") << "0:3" << TRect{0, 0, 50, 10} << TRect{0, 0, 50, 10};
        QTest::newRow("auto crop, square on 381 x 254") << "auto" << TRect{0, 0, 100, 100} << TRect{63, 0, 317, 254};
        QTest::newRow("auto crop, wide") << "auto" << TRect{5, 5, 105, 25} << TRect{0, 89, 381, 165};
        QTest::newRow("auto crop of an empty selection") << "auto" << TRect{40, 40, 40, 90} << TRect{};
    }
    void shapes()
    {
        QFETCH(QString, shape);
        QFETCH(TRect, selection);
        QFETCH(TRect, shaped);
        const TRect result = shape == "auto"  ? AutoCrop(selection, QSize(381, 254))
                             : shape == "4:3" ? ApplyRatio(selection, 4, 3)
                             : shape == "3:4" ? ApplyRatio(selection, 3, 4)
                                              : ApplyRatio(selection, 0, 3);
        QCOMPARE(str(result), str(shaped));
    }

    void outlinesFlipPixelsAndEraseThemselves_data()
    {
        QTest::addColumn<TRect>("r");
        QTest::addColumn<bool>("dotted");
        QTest::addColumn<int>("pixels");
        QTest::newRow("box") << TRect{2, 3, 8, 7} << false << 2 * 6 + 2 * 2;
        QTest::newRow("one pixel wide") << TRect{4, 1, 5, 6} << false << 5;
        QTest::newRow("one pixel tall") << TRect{1, 4, 9, 5} << false << 8;
        QTest::newRow("inverted, as during a drag") << TRect{8, 7, 2, 3} << false << 2 * 6 + 2 * 2;
        QTest::newRow("partly outside") << TRect{-3, -3, 4, 4} << false << 4 + 4 - 1;
        QTest::newRow("empty") << TRect{3, 3, 3, 9} << false << 0;
        // A margin guide: only the right edge, column 3, lies inside; every other pixel.
        QTest::newRow("dotted guide") << TRect{-1, -1, 4, 11} << true << 5;
    }
    void outlinesFlipPixelsAndEraseThemselves()
    {
        QFETCH(TRect, r);
        QFETCH(bool, dotted);
        QFETCH(int, pixels);
        QImage clean(10, 10, QImage::Format_BGR888);
        clean.fill(QColor(10, 200, 60));
        QImage bitmap = clean;
        // The selection is red in not-xor mode: red stays, green and blue invert. A guide
        // inverts all three.
        const QColor flipped = dotted ? QColor(255 - 10, 255 - 200, 255 - 60) : QColor(10, 255 - 200, 255 - 60);
        XorOutline(bitmap, r, dotted ? kInvert : kNotXorRed, dotted);
        int changed = 0;
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                if (bitmap.pixelColor(x, y) != clean.pixelColor(x, y)) {
                    ++changed;
                    QCOMPARE(bitmap.pixelColor(x, y), flipped);
                }
        QCOMPARE(changed, pixels);
        XorOutline(bitmap, r, dotted ? kInvert : kNotXorRed, dotted);
        QCOMPARE(bitmap, clean);
    }

    // ---- The dialog ----

    void showingMapsTheStoredCropAndOkMapsItBack_data()
    {
        QTest::addColumn<int>("rotation");
        QTest::addColumn<TRect>("shown");
        QTest::addColumn<TRect>("stored");
        // The scale 0.635 held as a 32-bit float lies just below it: 190.5 rounds down.
        QTest::newRow("270") << 270 << TRect{0, 0, 254, 190} << TRect{0, 0, 299, 400};
        QTest::newRow("90") << 90 << TRect{0, 190, 254, 381} << TRect{0, 0, 301, 400};
        QTest::newRow("0") << 0 << TRect{0, 0, 190, 254} << TRect{0, 0, 299, 400};
    }
    void showingMapsTheStoredCropAndOkMapsItBack()
    {
        QFETCH(int, rotation);
        QFETCH(TRect, shown);
        QFETCH(TRect, stored);
        ShownPhoto photo(landscape_, [rotation](TPhotoInfo& i) { i.Rotation = rotation; i.CropRect = TRect{0, 0, 300, 400}; });
        ShownCrop crop(photo.view);
        QCOMPARE(crop.picture->size(), rotation == 0 ? QSize(381, 254) : QSize(254, 381));
        QCOMPARE(str(crop.dialog.Selection()), str(shown));
        crop.click("ButtonOK");
        QCOMPARE(crop.dialog.result(), 1);
        QCOMPARE(str(photo.info.CropRect), str(stored));
    }

    void aPhotoWithoutCropShowsNoSelectionAndThePreviewShowsAllOfIt()
    {
        ShownPhoto photo(landscape_);
        ShownCrop crop(photo.view);
        QVERIFY(QTest::qWaitForWindowActive(&crop.dialog));
        QVERIFY(crop.dialog.Selection().isEmpty());
        QCOMPARE(crop.picture->geometry(), QRect(8, 71, 381, 254));
        QCOMPARE(crop.preview->geometry(), QRect(8, 31, 141, 94));
        QCOMPARE(QApplication::focusWidget(), crop.dialog.findChild<QWidget*>(QStringLiteral("PanelPreview")));
    }

    void pointerZonesAndShapes_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<int>("zone");
        QTest::addColumn<int>("shape");
        // The selection is (100, 50, 200, 150).
        QTest::newRow("left band ends at Left + 4") << QPoint(104, 100) << 3 << int(Qt::SizeHorCursor);
        QTest::newRow("inside") << QPoint(105, 100) << 4 << int(Qt::SizeAllCursor);
        QTest::newRow("bottom right") << QPoint(196, 149) << 8 << int(Qt::SizeFDiagCursor);
        QTest::newRow("Right is outside") << QPoint(200, 100) << -1 << int(Qt::ArrowCursor);
        QTest::newRow("top left") << QPoint(100, 50) << 0 << int(Qt::SizeFDiagCursor);
        QTest::newRow("top right") << QPoint(196, 54) << 2 << int(Qt::SizeBDiagCursor);
        QTest::newRow("bottom left") << QPoint(104, 146) << 6 << int(Qt::SizeBDiagCursor);
        QTest::newRow("top") << QPoint(150, 54) << 1 << int(Qt::SizeVerCursor);
        QTest::newRow("bottom band starts at Bottom - 4") << QPoint(150, 146) << 7 << int(Qt::SizeVerCursor);
        QTest::newRow("above the bottom band") << QPoint(150, 145) << 4 << int(Qt::SizeAllCursor);
    }
    void pointerZonesAndShapes()
    {
        QFETCH(QPoint, point);
        QFETCH(int, zone);
        QFETCH(int, shape);
        ShownPhoto photo(exact_, [](TPhotoInfo& i) { i.CropRect = TRect{100, 50, 200, 150}; });
        ShownCrop crop(photo.view);
        QTest::mouseMove(crop.picture, point);
        QCOMPARE(crop.dialog.DragZone(), zone);
        QCOMPARE(int(crop.picture->cursor().shape()), shape);
        QCOMPARE(HitTest(TRect{100, 50, 200, 150}, point.x(), point.y()), zone);
    }

    void narrowSelectionsCountBothBandsAsMiddleRowAndRightColumn()
    {
        QCOMPARE(HitTest(TRect{0, 0, 8, 8}, 4, 4), 5);
        QCOMPARE(HitTest(TRect{0, 0, 8, 8}, 0, 0), 0);
        QCOMPARE(HitTest(TRect{5, 5, 5, 9}, 5, 6), -1); // an empty selection holds no point
    }

    void drags_data()
    {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<TRect>("selection");
        // The stored crop shows as (100, 50, 200, 150).
        QTest::newRow("new selection from outside") << QPoint(20, 200) << QPoint(60, 240) << TRect{20, 200, 60, 240};
        QTest::newRow("new selection dragged up-left, normalized") << QPoint(60, 240) << QPoint(20, 200)
                                                                   << TRect{20, 200, 60, 240};
        QTest::newRow("move from inside") << QPoint(150, 100) << QPoint(160, 90) << TRect{110, 40, 210, 140};
        QTest::newRow("left edge across the right one") << QPoint(102, 100) << QPoint(250, 120)
                                                        << TRect{200, 50, 250, 150};
        QTest::newRow("corner past the picture keeps negatives") << QPoint(101, 51) << QPoint(-30, -20)
                                                                 << TRect{-30, -20, 200, 150};
        QTest::newRow("click outside empties") << QPoint(300, 20) << QPoint(300, 20) << TRect{300, 20, 300, 20};
    }
    void drags()
    {
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QFETCH(TRect, selection);
        ShownPhoto photo(exact_, [](TPhotoInfo& i) { i.CropRect = TRect{100, 50, 200, 150}; });
        ShownCrop crop(photo.view);
        crop.drag(from, to);
        QCOMPARE(str(crop.dialog.Selection()), str(selection));
        // The picture is the source pixel for pixel: OK stores the selection, and the crop
        // step clips it to the source.
        crop.click("ButtonOK");
        const TRect clipped{std::max(selection.Left, 0), std::max(selection.Top, 0), std::min(selection.Right, 381),
                            std::min(selection.Bottom, 254)};
        QCOMPARE(str(photo.info.CropRect), str(clipped.isEmpty() ? TRect{} : clipped));
        QCOMPARE(photo.view.Bitmap().size(),
                 clipped.isEmpty() ? QSize(381, 254) : QSize(clipped.Right - clipped.Left, clipped.Bottom - clipped.Top));
    }

    void aDragRedrawsOnlyTheOutlineAndTheReleaseRefreshesThePreview()
    {
        ShownPhoto photo(exact_);
        ShownCrop crop(photo.view);
        const QImage clean = crop.picture->bitmap();
        QSignalSpy renders(&photo.view, &TPhoto::OnChange);
        const qint64 previewBefore = crop.preview->bitmap().cacheKey();
        QTest::mouseMove(crop.picture, QPoint(10, 10));
        QTest::mousePress(crop.picture, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        for (int x = 20; x <= 200; x += 10)
            QTest::mouseMove(crop.picture, QPoint(x, x / 2));
        QCOMPARE(renders.size(), 0);
        QCOMPARE(crop.preview->bitmap().cacheKey(), previewBefore);
        // One outline on the clean picture: (10, 10) is on it, (100, 50) is inside.
        const QImage& shown = crop.picture->bitmap();
        const QColor under = clean.pixelColor(10, 10);
        QCOMPARE(shown.pixelColor(10, 10), QColor(under.red(), 255 - under.green(), 255 - under.blue()));
        QCOMPARE(shown.pixelColor(100, 50), clean.pixelColor(100, 50));
        const QColor corner = clean.pixelColor(199, 99);
        QCOMPARE(shown.pixelColor(199, 99), QColor(corner.red(), 255 - corner.green(), 255 - corner.blue()));
        QTest::mouseRelease(crop.picture, Qt::LeftButton, Qt::NoModifier, QPoint(200, 100));
        QCOMPARE(renders.size(), 0);
        // The preview shows the 190 x 90 selection as the resize step brings it to 141.
        QImage expected(190, 90, QImage::Format_BGR888);
        PhotoSettings preview;
        preview.MaxSize = 141;
        DoResize(expected, preview);
        QCOMPARE(crop.preview->size(), expected.size());
        QVERIFY(crop.preview->bitmap().cacheKey() != previewBefore);
        // Select All erases the outline: the picture is clean again.
        crop.click("ButtonAll");
        QCOMPARE(crop.picture->bitmap(), clean);
        QCOMPARE(crop.preview->size(), QSize(141, 94));
    }

    void photoRatioOnATurnedPhotoIsTheSourceRatio()
    {
        ShownPhoto photo(landscape_, [](TPhotoInfo& i) { i.Rotation = 90; });
        ShownCrop crop(photo.view);
        // (QTest takes the point (0, 0) for the widget's centre.)
        crop.drag(QPoint(1, 1), QPoint(201, 201));
        crop.click("ButtonPhoto");
        QCOMPARE(str(crop.dialog.Selection()), str(TRect{1, 1, 201, 134}));
    }

    void shapingButtonsLeaveAnEmptySelectionEmpty()
    {
        ShownPhoto photo(exact_, [](TPhotoInfo& i) { i.CropRect = TRect{100, 50, 200, 150}; });
        ShownCrop crop(photo.view);
        crop.click("ButtonAll");
        for (const char* button : {"ButtonPhoto", "ButtonSquare", "ButtonHorizontal", "ButtonVertical", "ButtonAuto"}) {
            crop.click(button);
            QVERIFY2(crop.dialog.Selection().isEmpty(), button);
        }
        crop.click("ButtonOK");
        QCOMPARE(str(photo.info.CropRect), str(TRect{}));
    }

    void cancelAfterApplyRestoresTheOpeningCrop()
    {
        ShownPhoto photo(exact_, [](TPhotoInfo& i) { i.CropRect = TRect{100, 50, 200, 150}; });
        ShownCrop crop(photo.view);
        crop.click("ButtonSquare");
        crop.click("ButtonAuto");
        crop.click("ButtonApply");
        QCOMPARE(str(photo.info.CropRect), str(TRect{63, 0, 317, 254}));
        QCOMPARE(photo.view.Bitmap().size(), QSize(254, 254));
        crop.click("ButtonCancel");
        QCOMPARE(str(photo.info.CropRect), str(TRect{100, 50, 200, 150}));
        QCOMPARE(photo.view.Bitmap().size(), QSize(100, 100));
    }

    void theCropCommandChangesOnlyTheCurrentPhoto()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(exact_, false);
        window.OpenPhoto(landscape_, false);
        window.SelectPhoto(0);
        desktop.onExec = [](QDialog& dialog) {
            dialog.show();
            auto& crop = static_cast<TFormCrop&>(dialog);
            crop.ImagePhotoMouseMove(QPoint(10, 20));
            crop.ImagePhotoMouseDown(QPoint(10, 20));
            crop.ImagePhotoMouseMove(QPoint(110, 70));
            crop.ImagePhotoMouseUp(QPoint(110, 70));
            dialog.findChild<QPushButton*>(QStringLiteral("ButtonOK"))->click();
        };
        window.Item(QStringLiteral("MenuCrop"))->trigger();
        QCOMPARE(desktop.execDialogs, QStringList{"TFormCrop"});
        QCOMPARE(str(window.Photos().at(0)->CropRect), str(TRect{10, 20, 110, 70}));
        QCOMPARE(window.Photo().Bitmap().size(), QSize(100, 50));
        QVERIFY(window.Photos().at(1)->CropRect.isEmpty());
    }
};

QTEST_MAIN(FormCropTest)
#include "tst_formcrop.moc"
