#include "TemplateCommands.h"

#include "FormAdd.h"
#include "FormManage.h"
#include "model/ProgramFolder.h"
#include "model/TemplateStore.h"
#include "ui/desktop/Desktop.h"
#include "ui/desktop/ErrorReport.h"
#include "ui/desktop/MenuCaption.h"
#include "ui/desktop/ToolIcons.h"
#include "ui/dialogs/EditDialog.h"
#include "ui/photo/Photo.h"

#include <QAction>
#include <QCheckBox>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QToolBar>

namespace {

constexpr int kFixedItems = 3; // MenuAdd, MenuManage, N7

} // namespace

TemplateCommands::TemplateCommands(const Places& places, TPhoto& photo, Desktop& desktop, TFormAdd& formAdd,
                                   TFormManage& formManage, std::function<void()> updateControls)
    : places_(places), photo_(photo), desktop_(desktop), formAdd_(formAdd), formManage_(formManage),
      updateControls_(std::move(updateControls))
{
}

QString TemplateCommands::SectionOf(const QAction* item)
{
    return item->data().toString();
}

QAction* TemplateCommands::newTemplateAction(const QIcon& icon, const QString& name, const QString& section)
{
    const QString caption = menuCaption(name);
    auto* action = new QAction(icon, caption);
    action->setIconText(caption);
    action->setData(section);
    QObject::connect(action, &QAction::triggered, action,
                     [this, action] { runCommand([this, action] { ToolButtonNoneClick(action); }); });
    return action;
}

void TemplateCommands::LoadTemplates()
{
    // Drawn once: every template shows the same image.
    const QIcon icon = toolIcon(ToolIcon::Template);
    for (const StoredTemplate& stored : readTemplateNames(templatesFilePath())) {
        QAction* item = newTemplateAction(icon, stored.name, stored.section);
        // The menu shows no images beside its items.
        item->setIconVisibleInMenu(false);
        item->setParent(places_.menu);
        places_.menu->addAction(item);
        if (stored.button) {
            QAction* button = newTemplateAction(icon, stored.name, stored.section);
            button->setParent(places_.bar);
            places_.bar->addAction(button);
        }
    }
}

void TemplateCommands::Rebuild()
{
    const QList<QAction*> items = places_.menu->actions();
    for (qsizetype i = kFixedItems; i < items.size(); ++i)
        delete items[i];
    places_.none->setVisible(true);
    const QList<QAction*> buttons = places_.bar->actions();
    for (qsizetype i = 1; i < buttons.size(); ++i)
        delete buttons[i];
    LoadTemplates();
    updateControls_();
}

void TemplateCommands::ToolButtonNoneClick(const QAction* sender)
{
    TPhotoInfo* info = photo_.Info();
    if (!info || !sender)
        return;
    info->LoadSettings(templatesFilePath(), SectionOf(sender));
    photo_.LoadMask();
    photo_.Render();
}

void TemplateCommands::MenuAddClick()
{
    const TPhotoInfo* info = photo_.Info();
    if (!info)
        return;
    formAdd_.setWindowTitle(QStringLiteral("Add to Templates"));
    formAdd_.EditName()->setText(info->Watermark + QStringLiteral(" - ") + QString::number(info->MaxSize));
    if (desktop_.execDialog(formAdd_) != mrOk)
        return;
    addTemplate(templatesFilePath(), formAdd_.EditName()->text(), formAdd_.CheckBoxToolbar()->isChecked(), *info);
    Rebuild();
}

void TemplateCommands::MenuManageClick()
{
    desktop_.execDialog(formManage_);
    Rebuild();
}
