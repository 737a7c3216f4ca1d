// The template store and the template commands of the main window: the section Add takes,
// what Add stores, applying a template, the enabled states, damaged stores and failed writes.
#include "DialogTestSupport.h"
#include "FakeDesktop.h"
#include "FileSizeLimit.h"
#include "TemplateTestSupport.h"
#include "UiTestSupport.h"
#include "model/TemplateStore.h"
#include "templates/FormAdd.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTreeWidget>

namespace {

const QStringList kTemplateKeys = {"NAME",     "BUTTON",    "SIZE",      "OPTIMIZE", "KEEP",   "WATERMARK", "FONTNAME",
                                   "FONTSIZE", "FONTCOLOR", "BOLD",      "ITALIC",   "UNDERLINE", "STRIKEOUT",
                                   "OPACITY",  "POSITION",  "X",         "Y",        "MASK",   "MARGIN",    "COLOR",
                                   "RESAMPLE", "QUALITY",   "MAXKB"};

QStringList storedSections()
{
    QStringList sections;
    for (const StoredTemplate& stored : readTemplates(templatesFilePath()))
        sections << stored.section;
    return sections;
}

// Answers the template name dialog with a name and the check box, then OK.
std::function<void(QDialog&)> nameAndOk(const QString& name, bool button, QString* caption = nullptr,
                                        QString* proposed = nullptr)
{
    return [=](QDialog& dialog) {
        auto& form = static_cast<TFormAdd&>(dialog);
        form.show();
        if (caption)
            *caption = form.windowTitle();
        if (proposed)
            *proposed = form.EditName()->text();
        form.EditName()->setText(name);
        form.CheckBoxToolbar()->setChecked(button);
        form.ButtonOK()->click();
    };
}

} // namespace

class TemplatesTest : public QObject {
    Q_OBJECT

    QString photo_;

private slots:
    void initTestCase() { useFreshProgramFolder(); }
    void init()
    {
        clearProgramFolder();
        photo_ = makePhoto(QStringLiteral("photo.bmp"), 300, 200);
    }

    void addTakesTheLowestFreeSection_data()
    {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("empty store") << QByteArray() << QStringList{"TEMPLATE1"};
        QTest::newRow("after 0 to 2") << QByteArray("[TEMPLATE0]\nNAME=a\n[TEMPLATE1]\nNAME=b\n[TEMPLATE2]\nNAME=c\n")
                                      << QStringList{"TEMPLATE0", "TEMPLATE1", "TEMPLATE2", "TEMPLATE3"};
        QTest::newRow("2 alone: 1, appended last") << QByteArray("[TEMPLATE2]\nNAME=c\n")
                                                   << QStringList{"TEMPLATE2", "TEMPLATE1"};
        QTest::newRow("a header without keys is free and keeps its place")
            << QByteArray("[TEMPLATE1]\n[TEMPLATE2]\nNAME=c\n") << QStringList{"TEMPLATE1", "TEMPLATE2"};
        QTest::newRow("after a rewrite of one") << QByteArray("[TEMPLATE0]\nNAME=a\n")
                                                << QStringList{"TEMPLATE0", "TEMPLATE1"};
        QTest::newRow("other case counts as taken") << QByteArray("[template1]\nNAME=a\n")
                                                    << QStringList{"template1", "TEMPLATE2"};
        QTest::newRow("behind a byte-order mark") << QByteArray("\xEF\xBB\xBF[TEMPLATE1]\nNAME=a\n")
                                                  << QStringList{"TEMPLATE1", "TEMPLATE2"};
    }
    void addTakesTheLowestFreeSection()
    {
        QFETCH(QByteArray, store);
        QFETCH(QStringList, after);
        writeStore(store);
        const QString added = addTemplate(templatesFilePath(), QStringLiteral("new"), false, TPhotoInfo());
        QCOMPARE(storedSections(), after);
        QCOMPARE(readTemplates(templatesFilePath()).at(after.indexOf(added)).name, QStringLiteral("new"));
        QCOMPARE(readStore().startsWith("\xEF\xBB\xBF"), store.startsWith("\xEF\xBB\xBF"));
    }

    void addStoresTheTrimmedNameTheButtonAndTheBlock()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        QCOMPARE(toolBarButtons(window), QStringList{"None"});
        QString caption, proposed;
        desktop.onExec = nameAndOk(QStringLiteral("  Web & mail  "), true, &caption, &proposed);
        window.Item(QStringLiteral("MenuAdd"))->trigger();
        QCOMPARE(caption, QStringLiteral("Add to Templates"));
        QCOMPARE(proposed, QStringLiteral("Lumatrim - 600"));
        QStringList keys;
        const QList<StoredTemplate> stored = readTemplates(templatesFilePath());
        for (const auto& [key, value] : stored.at(0).keys)
            keys << key;
        QCOMPARE(keys, kTemplateKeys);
        QVERIFY(readStore().startsWith("[TEMPLATE1]\nNAME=Web & mail\nBUTTON=1\nSIZE=600\n"));
        QCOMPARE(toolBarButtons(window), QStringList{"Web && mail"});
        QCOMPARE(menuTemplates(window), QStringList{"Web && mail"});

        // The check box keeps its state for the next Add; Cancel stores nothing.
        const QByteArray before = readStore();
        bool checked = false;
        desktop.onExec = [&](QDialog& dialog) {
            checked = static_cast<TFormAdd&>(dialog).CheckBoxToolbar()->isChecked();
            dialog.reject();
        };
        window.Item(QStringLiteral("MenuAdd"))->trigger();
        QVERIFY(checked);
        QCOMPARE(readStore(), before);
    }

    void aBlankNameKeepsOkDisabled()
    {
        TFormAdd dialog;
        dialog.show();
        const QList<std::pair<QString, bool>> cases = {{"", false}, {"   ", false}, {"\t ", false}, {" a ", true}};
        for (const auto& [name, enabled] : cases) {
            dialog.EditName()->setText(name);
            QCOMPARE(dialog.ButtonOK()->isEnabled(), enabled);
        }
        dialog.EditName()->setText(QString(150, QLatin1Char('x')));
        QCOMPARE(dialog.EditName()->text().size(), 100);
    }

    void applyingReplacesTheBlockOfTheCurrentPhotoOnly()
    {
        writeStore("[TEMPLATE1]\nNAME=small\nBUTTON=0\nSIZE=100\nWATERMARK=mine\n"
                   "[Odd one]\nNAME=tiny\nBUTTON=1\nSIZE=50\nMARGIN=3\n");
        FakeDesktop desktop;
        TFormMain window(desktop);
        QCOMPARE(menuTemplates(window), (QStringList{"small", "tiny"}));
        QCOMPARE(toolBarButtons(window), QStringList{"tiny"});
        window.OpenPhoto(photo_, false);
        window.OpenPhoto(photo_, false);
        TPhotoInfo& info = *window.Photos().at(1);
        info.CropRect = {10, 10, 210, 110};
        info.Rotation = 90;
        info.Contrast = 40;
        info.Grayscale = true;

        window.TemplatesMenu()->actions().at(3)->trigger();
        QCOMPARE(info.MaxSize, 100);
        QCOMPARE(info.Watermark, QStringLiteral("mine"));
        QCOMPARE((std::tuple{info.CropRect.Right, info.Rotation, info.Contrast, info.Grayscale}),
                 (std::tuple{210, 90, 40, true}));
        QCOMPARE(window.Photo().Bitmap().size(), QSize(50, 100));
        QCOMPARE(window.Photos().at(0)->MaxSize, 600);

        window.TemplatesToolBar()->actions().at(1)->trigger();
        QCOMPARE((std::pair{info.MaxSize, info.BorderWidth}), (std::pair{50, 3}));
        QCOMPARE(info.Watermark, QStringLiteral("Lumatrim"));

        // The store changed outside the program: the section is gone, the block takes defaults.
        writeStore("[TEMPLATE9]\nSIZE=10\n");
        window.TemplatesMenu()->actions().at(3)->trigger();
        QCOMPARE((std::pair{info.MaxSize, info.BorderWidth}), (std::pair{600, 0}));
        QCOMPARE(info.Rotation, 90);
    }

    void theQualityAndTheSizeLimitTravelThroughATemplate()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        window.OpenPhoto(photo_, false);
        window.Photos().at(1)->JpegQuality = 64;
        window.Photos().at(1)->MaxFileKB = 250;
        desktop.onExec = nameAndOk(QStringLiteral("mail"), true);
        window.Item(QStringLiteral("MenuAdd"))->trigger();
        QVERIFY(readStore().contains("RESAMPLE=0\nQUALITY=64\nMAXKB=250\n"));
        window.SelectPhoto(0);
        TPhotoInfo& other = *window.Photos().at(0);
        window.TemplatesToolBar()->actions().at(1)->trigger();
        QCOMPARE((std::pair{other.JpegQuality, other.MaxFileKB}), (std::pair{64, 250}));
        // Written by hand out of range: the nearest end.
        writeStore("[TEMPLATE1]\nNAME=odd\nBUTTON=1\nQUALITY=0\nMAXKB=-3\n");
        window.TemplatesMenu()->actions().at(3)->trigger();
        QCOMPARE((std::pair{other.JpegQuality, other.MaxFileKB}), (std::pair{1, 0}));
    }

    void withoutAPhotoTheTemplateCommandsAreDisabled()
    {
        writeStore("[TEMPLATE1]\nNAME=a\nBUTTON=1\n[TEMPLATE2]\nNAME=b\n");
        FakeDesktop desktop;
        TFormMain window(desktop);
        auto states = [&] {
            QList<bool> enabled{window.Item(QStringLiteral("MenuAdd"))->isEnabled(),
                                window.Item(QStringLiteral("MenuManage"))->isEnabled()};
            for (const QAction* action : window.TemplatesMenu()->actions().mid(3) + window.TemplatesToolBar()->actions())
                enabled << action->isEnabled();
            return enabled;
        };
        // Add, Manage, the items a and b, then "None" and the button a.
        QCOMPARE(states(), (QList<bool>{false, true, false, false, false, false}));
        window.OpenPhoto(photo_, false);
        QCOMPARE(states(), (QList<bool>{true, true, true, true, false, true}));
        QCOMPARE(toolBarButtons(window), QStringList{"a"});
    }

    void damagedStoresStillBuildAndManageWritesThemClean_data()
    {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<QStringList>("items");
        QByteArray junk(256 * 1024, '\0');
        QRandomGenerator random(7);
        random.fillRange(reinterpret_cast<quint32*>(junk.data()), junk.size() / 4);
        junk.replace('[', '(');
        QTest::newRow("binary junk around one section") << junk + "\n[TEMPLATE4]\nNAME=ok\n" + junk << QStringList{"ok"};
        QTest::newRow("a 10 MB line") << "[TEMPLATE1]\nNAME=" + QByteArray(10 << 20, 'n') + "\nBUTTON=1\n"
                                      << QStringList{QString(2047, QLatin1Char('n'))};
        QTest::newRow("repeated headers and names")
            << QByteArray("[A]\nNAME=x\n[B]\nNAME=x\n[a]\nSIZE=7\nNAME=z\n[broken\nNAME=q\n") << QStringList{"x", "x"};
    }
    void damagedStoresStillBuildAndManageWritesThemClean()
    {
        QFETCH(QByteArray, store);
        QFETCH(QStringList, items);
        writeStore(store);
        FakeDesktop desktop;
        TFormMain window(desktop);
        QCOMPARE(menuTemplates(window), items);
        desktop.onExec = [](QDialog& dialog) {
            dialog.show();
            child<QPushButton>(dialog, "ButtonOK")->click();
        };
        window.Item(QStringLiteral("MenuManage"))->trigger();
        QCOMPARE(menuTemplates(window), items);
        const QRegularExpression wellFormed(QStringLiteral("^(\\[TEMPLATE\\d+\\]|[A-Z]+=[^\\n]*)$"));
        const QStringList lines = QString::fromUtf8(readStore()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), items.size() * (kTemplateKeys.size() + 1)); // the header and every key
        for (const QString& line : lines)
            QVERIFY2(wellFormed.match(line).hasMatch(), qPrintable(line.left(80)));
        if (QTest::currentDataTag() == QByteArrayLiteral("repeated headers and names"))
            QVERIFY(readStore().startsWith("[TEMPLATE0]\nNAME=x\nBUTTON=0\nSIZE=7\n"));
    }

    void aFailedWriteIsReportedAndKeepsTheStore()
    {
        writeStore("[TEMPLATE1]\nNAME=kept\nBUTTON=1\nSIZE=100\n");
        const QByteArray old = readStore();
        FakeDesktop desktop;
        TFormMain window(desktop);
        window.OpenPhoto(photo_, false);
        int manageResult = 0;
        desktop.onExec = [&](QDialog& dialog) {
            if (dialog.objectName() == QStringLiteral("TFormAdd"))
                return nameAndOk(QStringLiteral("new"), true)(dialog);
            dialog.show();
            child<QPushButton>(dialog, "ButtonOK")->click();
            manageResult = dialog.result();
        };
        {
            FileSizeLimit limit(16);
            window.Item(QStringLiteral("MenuAdd"))->trigger();
            window.Item(QStringLiteral("MenuManage"))->trigger();
        }
        // Each write the user asked for is told, with its reason.
        QCOMPARE(desktop.errors.size(), 2);
        for (const QString& error : desktop.errors)
            QVERIFY2(error.startsWith("Unable to write to " + templatesFilePath() + ": "), qPrintable(error));
        QCOMPARE(manageResult, 1);
        QCOMPARE(readStore(), old);
        QCOMPARE(menuTemplates(window), QStringList{"kept"});
        QCOMPARE(QDir(programFolder()).entryList(QDir::Files), (QStringList{"lumatrim.dat", "templates.dat"}));
    }
};

QTEST_MAIN(TemplatesTest)
#include "tst_templates.moc"
