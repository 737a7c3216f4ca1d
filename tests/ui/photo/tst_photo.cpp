// The photo view without a picture: the line it shows in the photo area instead.
#include "FakeDesktop.h"
#include "UiTestSupport.h"
#include "ui/photo/Photo.h"
#include "ui/window/FormMain.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QScrollArea>
#include <QTest>

#include <set>

namespace {

// The colors a grab of the widget holds.
std::set<QRgb> colorsOf(QWidget& widget)
{
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    std::set<QRgb> colors;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colors.insert(image.pixel(x, y) & 0xFFFFFF);
    return colors;
}

} // namespace

class PhotoTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useFreshProgramFolder(); }
    void init() { clearProgramFolder(); }

    // The line stands centred in the visible area, in black or white against the area's
    // background; the status bar still gives the photo's size as 0 * 0, and a photo with a
    // picture shows it again.
    void photoAreaSaysWhyThereIsNoPicture_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("vanishes");
        QTest::addColumn<QString>("message"); // %1: the photo's path
        QTest::addColumn<QRgb>("text");
        QTest::newRow("source gone") << "[PHOTO]\nSIZE=100\n" << true << "%1 could not be read." << QRgb(0x000000);
        QTest::newRow("on a black area") << "[PHOTO]\nSIZE=100\nBACKGROUND=clBlack\n" << true << "%1 could not be read."
                                         << QRgb(0xFFFFFF);
        QTest::newRow("over the size limits")
            << "[PHOTO]\nSIZE=60000\nKEEP=0\n" << false
            << "The photo is too large to render at 60000 x 36000 pixels (at most 65535 pixels a side and 400 "
               "megapixels)."
            << QRgb(0x000000);
        QTest::newRow("no pixels") << "[PHOTO]\nSIZE=0\n" << false << "The photo has no pixels at a maximum size of 0."
                                   << QRgb(0x000000);
    }
    void photoAreaSaysWhyThereIsNoPicture()
    {
        QFETCH(QString, settings);
        QFETCH(bool, vanishes);
        QFETCH(QString, message);
        QFETCH(QRgb, text);
        writeSettingsFile(settings);
        const QString doomed = makePhoto(QStringLiteral("doomed.bmp"), 50, 30);
        const QString other = makePhoto(QStringLiteral("other.bmp"), 40, 40);
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.resize(900, 500);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.OpenPhoto(doomed, false);
        if (vanishes) {
            window.OpenPhoto(other, false);
            QVERIFY(QFile::remove(doomed));
            window.Item(QStringLiteral("MenuPrevious"))->trigger();
        }
        QApplication::processEvents();

        TPhoto& photo = window.Photo();
        QCOMPARE(photo.Core().Message(), message.arg(doomed));
        QVERIFY(photo.Bitmap().isNull());
        QCOMPARE(window.StatusText(3), QStringLiteral("0 * 0"));
        QVERIFY(desktop.errors.isEmpty());

        const QWidget* area = window.findChild<QScrollArea*>(QStringLiteral("ScrollBox"))->viewport();
        QVERIFY(photo.width() > photo.fontMetrics().horizontalAdvance(photo.Core().Message()));
        QVERIFY(photo.width() <= area->width());
        QVERIFY(qAbs(photo.geometry().center().x() - area->rect().center().x()) <= 1);
        QVERIFY(qAbs(photo.geometry().center().y() - area->rect().center().y()) <= 1);
        const QRgb background = area->palette().color(area->backgroundRole()).rgb() & 0xFFFFFF;
        const std::set<QRgb> colors = colorsOf(photo);
        QVERIFY2(colors.count(background) == 1, "the area's background around the line");
        QVERIFY2(colors.count(text) == 1, "the line in the color that stands out");

        // Save As says why there is nothing to save, before asking for a name.
        window.Item(QStringLiteral("MenuSave"))->trigger();
        QCOMPARE(desktop.errors,
                 QStringList{vanishes ? "There is no picture to save: " + message.arg(doomed) : message.arg(doomed)});

        if (vanishes) {
            window.Item(QStringLiteral("MenuNext"))->trigger();
            QApplication::processEvents();
            QVERIFY(photo.Core().Message().isEmpty());
            QCOMPARE(photo.size(), photo.Core().DisplaySize());
        }
        window.MenuAllClick();
        QCOMPARE(photo.size(), QSize(0, 0));
        window.hide();
    }
};

QTEST_MAIN(PhotoTest)
#include "tst_photo.moc"
