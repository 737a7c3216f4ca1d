// Batch export from the window: what it writes and mails, the folder it needs, and how it
// reports sources it cannot read and files it cannot write.
#include "DialogTestSupport.h"
#include "FakeDesktop.h"
#include "FileSizeLimit.h"
#include "UiTestSupport.h"
#include "batch/BatchExport.h"
#include "export/FormExport.h"
#include "model/ProgramFolder.h"
#include "ui/dialogs/NumericBox.h"
#include "ui/window/FormMain.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <optional>

#include <unistd.h>

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A photo file in a subfolder of the program folder.
QString photoIn(const QString& folder, const QString& name, int width, int height, QColor color)
{
    QDir(programFolder()).mkpath(folder);
    const QString path = programFile(folder + QLatin1Char('/') + name);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    image.save(path);
    return path;
}

// Runs "Export..." from the menu: set adjusts the dialog's controls, OK is clicked, then after
// looks at the dialog. A dialog still open then is cancelled; the result tells whether it was.
bool runExport(TFormMain& window, FakeDesktop& desktop, const std::function<void(TFormExport&)>& set,
               const std::function<void(TFormExport&)>& after = {})
{
    bool stayedOpen = false;
    desktop.onExec = [&](QDialog& dialog) {
        auto& form = static_cast<TFormExport&>(dialog);
        form.show();
        set(form);
        child<QPushButton>(form, "ButtonOK")->click();
        if (after)
            after(form);
        if (form.isVisible()) {
            stayedOpen = true;
            form.reject();
        }
    };
    window.Item(QStringLiteral("MenuExport"))->trigger();
    return stayedOpen;
}

std::function<void(TFormExport&)> into(const QString& folder, std::function<void(TFormExport&)> more = {})
{
    return [=](TFormExport& form) {
        child<QLineEdit>(form, "EditFolder")->setText(folder);
        if (more)
            more(form);
    };
}

void autoNames(TFormExport& form, int start, int length)
{
    child<QComboBox>(form, "ComboBoxName")->setCurrentIndex(1);
    child<NumericBox>(form, "UpDownStart")->setValue(start);
    child<NumericBox>(form, "UpDownLength")->setValue(length);
}

void mailing(TFormExport& form)
{
    child<QRadioButton>(form, "RadioButtonEmail")->setChecked(true);
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

class ExportTest : public QObject {
    Q_OBJECT

    QTemporaryDir out_;

private slots:
    void initTestCase() { useFreshProgramFolder(); }
    void init()
    {
        clearProgramFolder();
        for (const QString& name : filesIn(out_.path()))
            QFile::remove(QDir(out_.path()).filePath(name));
    }

    void everyFileIsWhatSaveAsWritesForItsPhoto()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        const QList<std::function<void(TPhotoInfo&)>> settings = {
            [](TPhotoInfo& i) { i.MaxSize = 120; },
            [](TPhotoInfo& i) { i.Rotation = 90; i.Watermark = "Mine"; i.Position = 2; },
            [](TPhotoInfo& i) { i.CropRect = {20, 10, 220, 150}; i.Contrast = 30; i.BorderWidth = 4; },
        };
        for (int i = 0; i < 3; ++i) {
            window.OpenPhoto(makePhoto(QStringLiteral("p%1.bmp").arg(i), 300, 200, QColor(40 * i, 120, 200)), false);
            settings[i](*window.Photos().at(i));
        }
        QVERIFY(!runExport(window, desktop, into(out_.path(), [](TFormExport& f) { autoNames(f, 1, 4); })));
        QCOMPARE(filesIn(out_.path()), (QStringList{"new_0001.jpg", "new_0002.jpg", "new_0003.jpg"}));
        for (int i = 0; i < 3; ++i) {
            window.SelectPhoto(i);
            const QString saved = programFile(QStringLiteral("saved.jpg"));
            window.Photo().SaveToFile(saved);
            QCOMPARE(fileBytes(QDir(out_.path()).filePath(QStringLiteral("new_000%1.jpg").arg(i + 1))),
                     fileBytes(saved));
        }
        QVERIFY(desktop.mails.isEmpty());
    }

    void autoNamesCountOnePerPhoto_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("past 9999") << 9999 << 1 << QStringList{"new_10000.jpg", "new_10001.jpg", "new_9999.jpg"};
        QTest::newRow("padded") << 0 << 2 << QStringList{"new_00.jpg", "new_01.jpg", "new_02.jpg"};
    }
    void autoNamesCountOnePerPhoto()
    {
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(QStringList, files);
        FakeDesktop desktop;
        TFormMain window(desktop);
        const QString photo = makePhoto(QStringLiteral("same.bmp"), 60, 40);
        for (int i = 0; i < 3; ++i)
            window.OpenPhoto(photo, false);
        runExport(window, desktop, into(out_.path(), [=](TFormExport& f) { autoNames(f, start, length); }));
        QCOMPARE(filesIn(out_.path()), files);
    }

    void sameNamesGetTheirOwnFilesAndAreMailedTogether()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photoIn("a", "photo.bmp", 80, 60, Qt::red), false);
        window.OpenPhoto(photoIn("b", "photo.bmp", 40, 30, Qt::blue), false);
        runExport(window, desktop, into(out_.path(), mailing));
        const QString first = out_.path() + QStringLiteral("/new_photo.jpg");
        const QString second = out_.path() + QStringLiteral("/new_photo_2.jpg");
        QCOMPARE(filesIn(out_.path()), (QStringList{"new_photo.jpg", "new_photo_2.jpg"}));
        QCOMPARE(QImage(first).size(), QSize(80, 60));
        QCOMPARE(QImage(second).size(), QSize(40, 30));
        QCOMPARE(desktop.mails, (QList<QStringList>{{first, second}}));

        // "Only save" after a mailing export mails nothing; Cancel writes and mails nothing.
        runExport(window, desktop, into(out_.path(), [](TFormExport& f) {
            child<QRadioButton>(f, "RadioButtonSave")->setChecked(true);
        }));
        QFile::remove(first);
        QFile::remove(second);
        desktop.onExec = [](QDialog& dialog) { child<QPushButton>(dialog, "ButtonCancel")->click(); };
        window.Item(QStringLiteral("MenuExport"))->trigger();
        QCOMPARE(desktop.mails.size(), 1);
        QVERIFY(filesIn(out_.path()).isEmpty());
    }

    void anExportNeverWritesOverAPhotosSource_data()
    {
        // How the export folder is reached from the photos' own folder "photos".
        QTest::addColumn<QString>("reach");
        QTest::newRow("the same folder") << "same";
        QTest::newRow("a doubled separator") << "doubled";
        QTest::newRow("a link to the folder") << "folder link";
        QTest::newRow("a link in place of a file") << "file link";
        QTest::newRow("a hard link in place of a file") << "hard link";
    }
    void anExportNeverWritesOverAPhotosSource()
    {
        QFETCH(QString, reach);
        FakeDesktop desktop;
        TFormMain window(desktop);
        const QString holiday = photoIn("photos", "holiday.jpg", 90, 60, Qt::green);
        const QString portrait = photoIn("photos", "portrait.jpg", 60, 90, Qt::yellow);
        const QString other = photoIn("elsewhere", "other.jpg", 30, 30, Qt::cyan);
        window.OpenPhoto(holiday, false);
        window.OpenPhoto(portrait, false);
        window.OpenPhoto(other, false);
        window.Photos().at(0)->MaxSize = 20;
        const QString photos = QFileInfo(holiday).absolutePath();
        QString folder = photos;
        QStringList replaced{holiday, portrait};
        if (reach == "doubled") {
            folder = photos + "/";
        } else if (reach == "folder link") {
            folder = out_.path() + "/link";
            QVERIFY(QFile::link(photos, folder));
        } else if (reach == "file link" || reach == "hard link") {
            // Only "other.jpg" would be replaced, through a link of that name in the folder.
            folder = out_.path();
            const QString name = out_.path() + "/other.jpg";
            QVERIFY(reach == "file link" ? QFile::link(other, name)
                                         : ::link(QFile::encodeName(other), QFile::encodeName(name)) == 0);
            replaced = QStringList{other};
        }
        const QList<QByteArray> before{fileBytes(holiday), fileBytes(portrait), fileBytes(other)};
        const QStringList outBefore = filesIn(out_.path());
        const QStringList photosBefore = filesIn(photos);
        QStringList values;
        const bool stayedOpen = runExport(
            window, desktop,
            into(folder, [](TFormExport& f) { child<QLineEdit>(f, "EditPrefix")->setText(QString()); }),
            [&](TFormExport& f) {
                values << child<QLineEdit>(f, "EditFolder")->text() << child<QLineEdit>(f, "EditPrefix")->text();
            });
        QVERIFY(stayedOpen);
        QCOMPARE(values, (QStringList{folder, QString()}));
        QCOMPARE(desktop.errors, QStringList{"The export would write over the original photo(s):\n" +
                                             replaced.join('\n') +
                                             "\nAdd a prefix or a suffix, or choose another folder."});
        QCOMPARE((QList<QByteArray>{fileBytes(holiday), fileBytes(portrait), fileBytes(other)}), before);
        QCOMPARE(filesIn(out_.path()), outBefore);
        QCOMPARE(filesIn(photos), photosBefore);
        QDir(out_.path()).removeRecursively();
        QDir().mkpath(out_.path());
    }

    void aFolderIsCreatedOneLevelDeepOrTheUserIsTold_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("warning");
        QTest::newRow("new folder, lowercase keeps its case") << out_.path() + "/Web" << QString();
        QTest::newRow("empty text") << "  " << "Can not create folder !";
        QTest::newRow("missing parent") << out_.path() + "/no/Web"
                                        << "Can not create folder " + out_.path() + "/no/Web!";
    }
    void aFolderIsCreatedOneLevelDeepOrTheUserIsTold()
    {
        QFETCH(QString, folder);
        QFETCH(QString, warning);
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(makePhoto(QStringLiteral("Beach.bmp"), 60, 40), false);
        const bool stayedOpen = runExport(window, desktop, into(folder, [](TFormExport& f) {
            child<QCheckBox>(f, "CheckBoxLowercase")->setChecked(true);
        }));
        QCOMPARE(stayedOpen, !warning.isEmpty());
        QCOMPARE(desktop.warnings, warning.isEmpty() ? QStringList() : QStringList{warning});
        QCOMPARE(QFile::exists(folder + "/new_beach.jpg"), warning.isEmpty());
        QDir(folder).removeRecursively();
    }

    void aFileThatCannotBeWrittenStopsTheBatchAndTheDialogIsUsableAgain()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(makePhoto(QStringLiteral("small.bmp"), 16, 16), false);
        QImage noise(600, 400, QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.setPixel(x, y, qRgb((x * 37 + y * 91) % 256, (x * x + y) % 256, (y * y * 7 + x) % 256));
        const QString large = programFile(QStringLiteral("photos/large.bmp"));
        QVERIFY(noise.save(large));
        window.OpenPhoto(large, false);
        window.OpenPhoto(makePhoto(QStringLiteral("third.bmp"), 16, 16), false);
        std::optional<FileSizeLimit> limit;
        QList<bool> usable;
        const bool stayedOpen = runExport(
            window, desktop,
            into(out_.path(),
                 [&](TFormExport& f) {
                     autoNames(f, 1, 1);
                     mailing(f);
                     limit.emplace(8192);
                 }),
            [&](TFormExport& f) {
                limit.reset();
                for (const char* name : {"PanelFolder", "PanelName", "PanelExport"})
                    usable << child<QGroupBox>(f, name)->isEnabled();
                usable << child<QPushButton>(f, "ButtonOK")->isEnabled()
                       << child<QPushButton>(f, "ButtonCancel")->isEnabled()
                       << child<QProgressBar>(f, "ProgressBarProcess")->isHidden();
            });
        QVERIFY(stayedOpen);
        QCOMPARE(usable, (QList<bool>{true, true, true, true, true, true}));
        QCOMPARE(desktop.errors.size(), 1);
        QVERIFY2(desktop.errors[0].startsWith("Unable to write to " + out_.path() + "/new_2.jpg"),
                 qPrintable(desktop.errors[0]));
        QCOMPARE(filesIn(out_.path()), QStringList{"new_1.jpg"});
        QVERIFY(desktop.mails.isEmpty());
    }

    void anUnreadableSourceIsReportedAndNotWritten()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        const QString broken = makePhoto(QStringLiteral("broken.bmp"), 30, 20);
        window.OpenPhoto(broken, false);
        window.OpenPhoto(makePhoto(QStringLiteral("fine.bmp"), 30, 20), false);
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("BM not a picture any more");
        file.close();
        QVERIFY(!runExport(window, desktop, into(out_.path(), mailing)));
        QCOMPARE(filesIn(out_.path()), QStringList{"new_fine.jpg"});
        QCOMPARE(desktop.warnings,
                 QStringList{"These photos could not be read and were not exported:\nCannot open " + broken
                             + ". The file ends before the picture data is complete."});
        QCOMPARE(desktop.mails, (QList<QStringList>{{out_.path() + "/new_fine.jpg"}}));
    }

    // Each photo left out is one line saying why: the loader's line for a source that cannot
    // be read, the photo's own line for one that renders to nothing.
    void eachPhotoLeftOutSaysWhy()
    {
        const QString broken = programFile(QStringLiteral("photos/gone.png"));
        TPhotoInfo unreadable(broken);
        TPhotoInfo empty(makePhoto(QStringLiteral("empty.bmp"), 30, 20));
        empty.MaxSize = 0;
        TPhotoInfo fine(makePhoto(QStringLiteral("kept.bmp"), 30, 20));
        const QStringList paths{out_.path() + "/a.jpg", out_.path() + "/b.jpg", out_.path() + "/c.jpg"};
        const ExportResult result = exportPhotos({&unreadable, &empty, &fine}, paths, {});
        QCOMPARE(result.written, QStringList{paths[2]});
        QCOMPARE(result.unreadable, (QStringList{"Cannot open " + broken + ". The file does not exist.",
                                                 empty.FileName + ": The photo has no pixels at a maximum size of 0."}));
        QCOMPARE(filesIn(out_.path()), QStringList{"c.jpg"});
    }

    void theDialogStartsWithItsInitialValuesAndKeepsWhatWasSet()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(makePhoto(QStringLiteral("a.bmp"), 30, 20), false);
        auto state = [](TFormExport& f) {
            return QStringList{child<QLineEdit>(f, "EditFolder")->text(), child<QLineEdit>(f, "EditPrefix")->text(),
                               child<QComboBox>(f, "ComboBoxName")->currentText(),
                               child<QComboBox>(f, "ComboBoxExt")->currentText(),
                               QString::number(child<NumericBox>(f, "UpDownStart")->isEnabled()),
                               QString::number(child<QRadioButton>(f, "RadioButtonSave")->isChecked())};
        };
        QStringList first, second;
        runExport(window, desktop, [&](TFormExport& f) {
            first = state(f);
            child<QLineEdit>(f, "EditFolder")->setText(out_.path());
            child<QLineEdit>(f, "EditPrefix")->setText(QStringLiteral(" x_ "));
            autoNames(f, 3, 2);
        });
        runExport(window, desktop, [&](TFormExport& f) { second = state(f); });
        QCOMPARE(first, (QStringList{QDir::homePath(), "new_", "Original Name", "jpg", "0", "1"}));
        QCOMPARE(second, (QStringList{out_.path(), " x_ ", "Auto Created Name", "jpg", "1", "1"}));
        QCOMPARE(filesIn(out_.path()), (QStringList{"x_03.jpg"}));
    }
};

QTEST_MAIN(ExportTest)
#include "tst_export.moc"
