// The Manage Templates dialog: what it shows, which buttons it enables, how it reorders,
// renames, deletes and edits, and what OK and Cancel leave in the store and on the tool bar.
#include "DialogTestSupport.h"
#include "FakeDesktop.h"
#include "TemplateTestSupport.h"
#include "UiTestSupport.h"
#include "model/TemplateStore.h"
#include "templates/FormAdd.h"
#include "templates/FormDefault.h"
#include "templates/FormManage.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace {

const QByteArray kStore = "[TEMPLATE1]\nNAME=one\nBUTTON=1\nSIZE=100\n"
                          "[TEMPLATE5]\nNAME=five\nBUTTON=0\nSIZE=500\n"
                          "[TEMPLATE7]\nNAME=seven\nBUTTON=1\nSIZE=700\n";

// The dialog with its two helpers, shown on the store.
struct ShownManage {
    FakeDesktop desktop;
    TFormAdd formAdd;
    TFormDefault formDefault{desktop};
    TFormManage dialog{desktop, formAdd, formDefault};
    QTreeWidget* tree = dialog.TreeView();

    ShownManage() { dialog.show(); }
    QStringList names() const
    {
        QStringList texts;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            texts << tree->topLevelItem(i)->text(0);
        return texts;
    }
    QList<int> images() const
    {
        QList<int> indexes;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            indexes << TFormManage::ImageIndex(tree->topLevelItem(i));
        return indexes;
    }
    void select(int row) { tree->setCurrentItem(tree->topLevelItem(row)); }
    // Change Name, Edit Settings, Delete, Move Up, Move Down.
    QList<bool> enabled()
    {
        QList<bool> states;
        for (const char* name : {"ButtonName", "ButtonSettings", "ButtonDelete", "ButtonUp", "ButtonDown"})
            states << child<QPushButton>(dialog, name)->isEnabled();
        return states;
    }
    void click(const char* name) { child<QPushButton>(dialog, name)->click(); }
};

} // namespace

class FormManageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useFreshProgramFolder(); }
    void init()
    {
        clearProgramFolder();
        writeStore(kStore);
    }

    void opensInFileOrderWithNothingSelected()
    {
        ShownManage m;
        QCOMPARE(m.dialog.windowTitle(), QStringLiteral("Manage Templates"));
        QCOMPARE(m.names(), (QStringList{"one", "five", "seven"}));
        QCOMPARE(m.images(), (QList<int>{0, 1, 0}));
        QCOMPARE(TFormManage::NodeInfo(m.tree->topLevelItem(1)).MaxSize, 500);
        QVERIFY(m.tree->selectedItems().isEmpty());
        QCOMPARE(m.enabled(), (QList<bool>{false, false, false, false, false}));
    }

    void theMoveButtonsFollowTheSelection_data()
    {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<int>("row");
        QTest::addColumn<QList<bool>>("enabled");
        QTest::newRow("first") << kStore << 0 << QList<bool>{true, true, true, false, true};
        QTest::newRow("middle") << kStore << 1 << QList<bool>{true, true, true, true, true};
        QTest::newRow("last") << kStore << 2 << QList<bool>{true, true, true, true, false};
        QTest::newRow("the only one") << QByteArray("[T]\nNAME=a\n") << 0 << QList<bool>{true, true, true, false, false};
    }
    void theMoveButtonsFollowTheSelection()
    {
        QFETCH(QByteArray, store);
        QFETCH(int, row);
        QFETCH(QList<bool>, enabled);
        writeStore(store);
        ShownManage m;
        m.select(row);
        QCOMPARE(m.enabled(), enabled);
    }

    void movesKeepTheSelectedTemplateSelected()
    {
        ShownManage m;
        m.select(1);
        m.click("ButtonDown");
        QCOMPARE(m.names(), (QStringList{"one", "seven", "five"}));
        QCOMPARE(m.enabled(), (QList<bool>{true, true, true, true, false}));
        m.click("ButtonUp");
        m.click("ButtonUp");
        QCOMPARE(m.names(), (QStringList{"five", "one", "seven"}));
        QCOMPARE(m.tree->selectedItems().value(0)->text(0), QStringLiteral("five"));
        QCOMPARE(m.enabled(), (QList<bool>{true, true, true, false, true}));
    }

    void okRenumbersTheSectionsInTheOrderShown()
    {
        ShownManage m;
        m.dialog.ButtonOKClick();
        QCOMPARE(m.dialog.result(), 1);
        QList<std::tuple<QString, QString, int>> stored;
        for (const StoredTemplate& t : readTemplates(templatesFilePath())) {
            TPhotoInfo info;
            info.LoadSettings(t.keys);
            stored.append({t.section, t.name, info.MaxSize});
        }
        QCOMPARE(stored, (QList<std::tuple<QString, QString, int>>{
                             {"TEMPLATE0", "one", 100}, {"TEMPLATE1", "five", 500}, {"TEMPLATE2", "seven", 700}}));
    }

    void renamingTrimsAndUncheckingRemovesTheButton()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        QCOMPARE(toolBarButtons(window), (QStringList{"one", "seven"}));
        QStringList seen;
        desktop.onExec = [&](QDialog& dialog) {
            dialog.show();
            if (auto* add = qobject_cast<TFormAdd*>(&dialog)) {
                seen << add->windowTitle() << add->EditName()->text()
                     << QString::number(add->CheckBoxToolbar()->isChecked());
                add->EditName()->setText(QStringLiteral("  first  "));
                add->CheckBoxToolbar()->setChecked(false);
                add->ButtonOK()->click();
                return;
            }
            auto& manage = static_cast<TFormManage&>(dialog);
            manage.TreeView()->setCurrentItem(manage.TreeView()->topLevelItem(0));
            child<QPushButton>(dialog, "ButtonName")->click();
            seen << manage.TreeView()->topLevelItem(0)->text(0)
                 << QString::number(TFormManage::ImageIndex(manage.TreeView()->topLevelItem(0)));
            child<QPushButton>(dialog, "ButtonOK")->click();
        };
        window.Item(QStringLiteral("MenuManage"))->trigger();
        QCOMPARE(seen, (QStringList{"Template Name", "one", "1", "first", "1"}));
        QCOMPARE(menuTemplates(window), (QStringList{"first", "five", "seven"}));
        QCOMPARE(toolBarButtons(window), QStringList{"seven"});
    }

    void deletingEveryTemplateLeavesAStoreWithoutSections()
    {
        FakeDesktop desktop;
        TFormMain window(desktop);
        desktop.onExec = [](QDialog& dialog) {
            dialog.show();
            auto& manage = static_cast<TFormManage&>(dialog);
            manage.TreeView()->setCurrentItem(manage.TreeView()->topLevelItem(1));
            // The selection moves on to a neighbour, so Delete can be pressed again.
            for (int i = 0; i < 3; ++i)
                child<QPushButton>(dialog, "ButtonDelete")->click();
            QCOMPARE(manage.TreeView()->topLevelItemCount(), 0);
            QVERIFY(!child<QPushButton>(dialog, "ButtonDelete")->isEnabled());
            child<QPushButton>(dialog, "ButtonOK")->click();
        };
        window.Item(QStringLiteral("MenuManage"))->trigger();
        QCOMPARE(readStore(), QByteArray());
        QCOMPARE(menuTemplates(window), QStringList());
        QCOMPARE(toolBarButtons(window), QStringList{"None"});
    }

    void editedSettingsReachTheStoreOnlyWithOk()
    {
        for (const char* closing : {"ButtonCancel", "ButtonOK"}) {
            writeStore(kStore);
            ShownManage m;
            QString caption;
            m.desktop.onExec = [&](QDialog& dialog) {
                dialog.show();
                caption = dialog.windowTitle();
                typeInto(child<QLineEdit>(dialog, "EditSize"), QStringLiteral("123"));
                child<QPushButton>(dialog, "ButtonOK")->click();
            };
            m.select(2);
            m.click("ButtonSettings");
            QCOMPARE(caption, QStringLiteral("Template Settings"));
            QCOMPARE(TFormManage::NodeInfo(m.tree->topLevelItem(2)).MaxSize, 123);
            QCOMPARE(m.formDefault.EditInfo(), &m.formDefault.OwnInfo());
            m.click(closing);
            const bool ok = QByteArray(closing) == "ButtonOK";
            QCOMPARE(readStore() == kStore, !ok);
            QCOMPARE(readStore().contains("[TEMPLATE2]\nNAME=seven\nBUTTON=1\nSIZE=123\n"), ok);
        }
    }

    void aMissingStoreOpensEmptyAndOkWritesNothing()
    {
        QFile::remove(templatesFilePath());
        ShownManage m;
        QCOMPARE(m.tree->topLevelItemCount(), 0);
        m.dialog.ButtonOKClick();
        QVERIFY(!QFile::exists(templatesFilePath()));
    }
};

QTEST_MAIN(FormManageTest)
#include "tst_formmanage.moc"
