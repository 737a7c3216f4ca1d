#include "MainMenu.h"

#include "CommandRouter.h"
#include "RecentFiles.h"
#include "ui/desktop/MenuCaption.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

namespace {

struct Item {
    const char* name; // nullptr: a separator
    const char* caption;
    QKeySequence key;
};

const Item kSeparator{nullptr, nullptr, {}};

QAction* addItem(QMenu* menu, const Item& item, CommandRouter& router)
{
    auto* action = new QAction(QString::fromUtf8(item.caption), menu);
    action->setObjectName(QString::fromLatin1(item.name));
    if (!item.key.isEmpty()) {
        // Shown in the menu only: the key handler performs it, so the shortcut must never
        // fire on its own (a widget shortcut of a menu item is never active).
        action->setShortcut(item.key);
        action->setShortcutContext(Qt::WidgetShortcut);
    }
    menu->addAction(action);
    router.addItem(action);
    return action;
}

void addItems(QMenu* menu, std::initializer_list<Item> items, CommandRouter& router)
{
    for (const Item& item : items) {
        if (!item.name)
            menu->addSeparator();
        else
            addItem(menu, item, router);
    }
}

QMenu* addMenu(QMenuBar* bar, const char* name, const char* caption)
{
    QMenu* menu = bar->addMenu(QString::fromUtf8(caption));
    menu->setObjectName(QString::fromLatin1(name));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    return menu;
}

QMenu* addSubmenu(QMenu* parent, const char* name, const char* caption, CommandRouter& router)
{
    QMenu* menu = parent->addMenu(QString::fromUtf8(caption));
    menu->setObjectName(QString::fromLatin1(name) + QStringLiteral("Items"));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    router.addItem(menu->menuAction());
    return menu;
}

} // namespace

MainMenu MainMenu::build(QWidget* owner, CommandRouter& router)
{
    MainMenu m;
    m.bar = new QMenuBar(owner);
    m.bar->setObjectName(QStringLiteral("MainMenu"));
    m.bar->setNativeMenuBar(false);

    QMenu* file = addMenu(m.bar, "MenuFile", "File");
    addItems(file, {{"MenuOpen", "Open...", QKeySequence(Qt::CTRL | Qt::Key_O)},
                    {"MenuCurrent", "Open with Current Settings...", {}}},
             router);
    m.reopen = addSubmenu(file, "MenuReopen", "Reopen", router);
    // Each item's tool tip is its full path; captions show only the (perhaps shortened) name.
    m.reopen->setToolTipsVisible(true);
    for (int slot = 1; slot <= 9; ++slot) {
        auto* recent = new QAction(m.reopen);
        recent->setObjectName(QStringLiteral("MenuRecent%1").arg(slot));
        recent->setText(QStringLiteral("%1. ").arg(slot));
        m.reopen->addAction(recent);
        router.addItem(recent);
        m.recent.append(recent);
    }
    m.none = addItem(m.reopen, {"MenuNone", "None", {}}, router);
    addItems(file, {kSeparator,
                    {"MenuSave", "Save As...", QKeySequence(Qt::CTRL | Qt::Key_S)},
                    {"MenuEmail", "Send Email To...", QKeySequence(Qt::CTRL | Qt::Key_E)},
                    {"MenuCopy", "Copy to Clipboard", {}},
                    {"MenuClose", "Close", QKeySequence(Qt::Key_Delete)},
                    {"MenuAll", "Close All", QKeySequence(Qt::CTRL | Qt::Key_Delete)},
                    kSeparator,
                    {"MenuExport", "Export...", QKeySequence(Qt::CTRL | Qt::Key_X)},
                    kSeparator,
                    {"MenuPrevious", "Previous", QKeySequence(Qt::Key_PageUp)},
                    {"MenuNext", "Next", QKeySequence(Qt::Key_PageDown)},
                    kSeparator,
                    {"MenuExit", "Exit", {}}},
             router);

    QMenu* actions = addMenu(m.bar, "MenuActions", "Actions");
    addItems(actions, {{"MenuResize", "Resize...", QKeySequence(Qt::CTRL | Qt::Key_R)},
                       {"MenuCrop", "Crop...", {}},
                       {"MenuClockwise", "Rotate Clockwise", QKeySequence(Qt::CTRL | Qt::Key_C)},
                       {"MenuCounterclockwise", "Rotate Counterclockwise", {}},
                       kSeparator,
                       {"MenuColor", "Color Balance...", {}},
                       kSeparator,
                       {"MenuWatermark", "Watermark...", QKeySequence(Qt::CTRL | Qt::Key_W)},
                       {"MenuMask", "Mask...", QKeySequence(Qt::CTRL | Qt::Key_M)}},
             router);

    m.templates = addMenu(m.bar, "MenuTemplates", "Templates");
    addItems(m.templates, {{"MenuAdd", "Add to Templates...", QKeySequence(Qt::CTRL | Qt::Key_A)},
                           {"MenuManage", "Manage Templates...", {}}},
             router);
    m.templates->addSeparator()->setObjectName(QStringLiteral("N7"));

    QMenu* options = addMenu(m.bar, "MenuOptions", "Options");
    addItems(options, {{"MenuDefault", "Default Settings...", QKeySequence(Qt::CTRL | Qt::Key_D)},
                       {"MenuSet", "Set as Default Settings", {}},
                       {"MenuReload", "Reload Default Settings", {}},
                       kSeparator},
             router);
    m.zoom = addSubmenu(options, "MenuZoom", "Zoom", router);
    auto* zoomGroup = new QActionGroup(m.zoom);
    zoomGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    const QPair<const char*, int> zooms[] = {{"33%", 33},   {"50%", 50},   {"66%", 66},  {"Actual Size", 100},
                                             {"150%", 150}, {"200%", 200}, {"300%", 300}};
    for (const auto& [caption, percent] : zooms) {
        auto* zoomItem = new QAction(QString::fromLatin1(caption), m.zoom);
        zoomItem->setObjectName(QStringLiteral("Menu%1").arg(percent));
        zoomItem->setCheckable(true);
        m.zoom->addAction(zoomItem);
        router.addItem(zoomItem);
        zoomGroup->addAction(zoomItem);
        m.zoomItems.append({zoomItem, percent});
    }
    m.orientation = addItem(options, {"MenuOrientation", "Turn Photos as the Camera Held Them", {}}, router);
    m.orientation->setCheckable(true);
    addItems(options, {{"MenuBackground", "Background Color...", {}}}, router);

    QMenu* help = addMenu(m.bar, "MenuHelp", "Help");
    addItems(help, {{"MenuIndex", "Help Contents and Index", QKeySequence(Qt::Key_F1)},
                    kSeparator,
                    {"MenuHome", "Quorvane Home Page", {}},
                    kSeparator,
                    {"MenuAbout", "About...", {}}},
             router);

    m.popup = new QMenu(owner);
    m.popup->setObjectName(QStringLiteral("PopupMenuScrollBox"));
    const char* const popupItems[] = {"Resize", "Crop", "Clockwise", "Counterclockwise", nullptr, "Color", nullptr,
                                      "Watermark", "Mask", nullptr, "Save", "Email", "Copy", "Close", nullptr,
                                      "Previous", "Next"};
    for (const char* role : popupItems) {
        if (!role) {
            m.popup->addSeparator();
            continue;
        }
        const QString itemName = QStringLiteral("Menu") + QString::fromLatin1(role);
        auto* twin = new QAction(router.item(itemName)->text(), m.popup);
        twin->setObjectName(QStringLiteral("Popup") + QString::fromLatin1(role));
        m.popup->addAction(twin);
        router.addTwin(twin, itemName);
    }
    return m;
}

void MainMenu::showRecent(const RecentFiles& recentFiles) const
{
    for (int slot = 1; slot <= RecentFiles::kSlots; ++slot) {
        recent[slot - 1]->setText(menuCaption(recentFiles.caption(slot)));
        recent[slot - 1]->setToolTip(recentFiles.path(slot));
    }
}

void MainMenu::update(const States& states, const RecentFiles& recentFiles, CommandRouter& router) const
{
    static const char* const photoItems[] = {
        "MenuCurrent", "MenuSave",  "MenuEmail",  "MenuCopy",      "MenuClose",
        "MenuAll",     "MenuExport", "MenuResize", "MenuCrop",     "MenuClockwise",
        "MenuCounterclockwise",     "MenuColor",  "MenuWatermark", "MenuMask",
        "MenuAdd",     "MenuSet",   "MenuReload",
    };
    for (const char* name : photoItems)
        router.item(QString::fromLatin1(name))->setEnabled(states.hasPhoto);
    router.item(QStringLiteral("MenuPrevious"))->setEnabled(states.hasPrevious);
    router.item(QStringLiteral("MenuNext"))->setEnabled(states.hasNext);

    for (int slot = 1; slot <= RecentFiles::kSlots; ++slot)
        recent[slot - 1]->setVisible(!recentFiles.path(slot).isEmpty());
    none->setVisible(recentFiles.isEmpty());
    none->setEnabled(false);

    for (const auto& [item, percent] : zoomItems)
        item->setChecked(percent == states.zoom);
    orientation->setChecked(states.upright);

    const QList<QAction*> templateItems = templates->actions();
    for (qsizetype i = 3; i < templateItems.size(); ++i)
        templateItems[i]->setEnabled(states.hasPhoto);
}
