// The program's message boxes keep a file path on one line: the box grows to its longest
// line as far as the screen allows, and beyond that the path gets a line of its own.
#include "UiTestSupport.h"
#include "ui/desktop/Desktop.h"
#include "ui/desktop/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

QString pathOfLength(int length)
{
    QString path = QStringLiteral("/home/someone/Pictures/2024 Summer/");
    while (path.size() < length - 4)
        path += QStringLiteral("holiday-");
    return path.left(length - 4) + QStringLiteral(".jpg");
}

struct ShownBox {
    QString text;
    bool wraps = true;
    int labelWidth = 0;
    int textWidth = 0; // of the widest line
    QRect geometry;
    Qt::WindowFlags flags;
};

ShownBox showErrorBox(const QString& message)
{
    SystemDesktop desktop;
    QWidget owner;
    owner.resize(600, 400);
    ShownBox shown;
    ModalDriver driver;
    driver.expect([&](QWidget* modal) {
        if (auto* label = modal->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
            shown.text = label->text();
            shown.wraps = label->wordWrap();
            shown.labelWidth = label->contentsRect().width();
            for (const QString& line : shown.text.split(QLatin1Char('\n')))
                shown.textWidth = std::max(shown.textWidth, label->fontMetrics().horizontalAdvance(line));
        }
        shown.geometry = modal->geometry();
        shown.flags = modal->windowFlags();
        static_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
    });
    desktop.showError(&owner, message);
    if (!driver.seen)
        shown.text = QStringLiteral("(no message box)");
    return shown;
}

} // namespace

class MessageBoxesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useFreshProgramFolder(); }

    // Lines are measured in characters here: a line fits when it has at most 20.
    void pathsGoToLinesOfTheirOwn_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("fits") << "Unable to write /a" << "Unable to write /a";
        QTest::newRow("no path") << "A long line without any path in it" << "A long line without any path in it";
        QTest::newRow("path with the rest") << "Unable to write to /x/y.dat: denied"
                                            << "Unable to write to\n/x/y.dat: denied";
        QTest::newRow("path alone") << "Unable to write to /x/photos/y.dat: Permission denied"
                                    << "Unable to write to\n/x/photos/y.dat:\nPermission denied";
        QTest::newRow("path at the start, folder with a space") << "/x/My Photos/a.jpg could not be read."
                                                                << "/x/My Photos/a.jpg\ncould not be read.";
        QTest::newRow("path longer than a line") << "/very/long/path/of/a/photo.jpg"
                                                 << "/very/long/path/of/a/photo.jpg";
        QTest::newRow("only the long line") << "Export stopped:\nThe photo /x/photos/y.jpg is open.\nChange it."
                                            << "Export stopped:\nThe photo\n/x/photos/y.jpg\nis open.\nChange it.";
        QTest::newRow("slash inside a word") << "Either and/or many more words here"
                                             << "Either and/or many more words here";
    }
    void pathsGoToLinesOfTheirOwn()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(pathsOnLinesOfTheirOwn(text, [](const QString& line) { return line.size() <= 20; }), shown);
    }

    // A box the screen has room for shows its text unchanged, unwrapped, on a box wide enough
    // for it; the toolkit alone would break it at about 500 pixels.
    void boxGrowsToItsLongestLine()
    {
        const QString message = pathOfLength(100) + QStringLiteral(" could not be read.");
        const ShownBox shown = showErrorBox(message);
        QCOMPARE(shown.text, message);
        QVERIFY(!shown.wraps);
        QVERIFY2(shown.labelWidth >= shown.textWidth, qPrintable(QStringLiteral("%1 < %2").arg(shown.labelWidth).arg(shown.textWidth)));
        QVERIFY(shown.geometry.width() > 500);
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(shown.geometry));
    }

    // Too long for the screen in one line: the path of 150 characters, on a line of its own,
    // is still whole and unbroken.
    void longerLinesPutThePathOnItsOwnLine()
    {
        const QString path = pathOfLength(150);
        const QString message = QStringLiteral("Unable to write to %1: Permission denied. The settings in use stay as "
                                               "they are until the program ends.")
                                    .arg(path);
        const ShownBox shown = showErrorBox(message);
        QVERIFY(shown.text != message);
        QVERIFY(!shown.wraps);
        const QStringList lines = shown.text.split(QLatin1Char('\n'));
        QVERIFY2(std::any_of(lines.begin(), lines.end(), [&](const QString& line) { return line.contains(path); }),
                 qPrintable(shown.text));
        QVERIFY(shown.labelWidth >= shown.textWidth);
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(shown.geometry));
    }

    // Short messages keep the toolkit's own box.
    void shortMessagesAreLeftAsTheyAre()
    {
        const ShownBox shown = showErrorBox(QStringLiteral("Unable to write to /x/lumatrim.dat"));
        QCOMPARE(shown.text, QStringLiteral("Unable to write to /x/lumatrim.dat"));
        QVERIFY(shown.geometry.width() <= 500);
        QVERIFY(shown.flags.testFlag(Qt::CustomizeWindowHint));
        QVERIFY(!(shown.flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    }
};

// The screen of the usual virtual X server, 1280 x 1024, in place of the offscreen
// platform's default 800 x 800.
int main(int argc, char** argv)
{
    QTemporaryDir config;
    useOffscreenScreen(config, QStringLiteral("X"), 1280, 1024);
    QApplication app(argc, argv);
    MessageBoxesTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_messageboxes.moc"
