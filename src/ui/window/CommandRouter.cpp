#include "CommandRouter.h"

#include <QAbstractButton>
#include <QAction>

#include <stdexcept>

void CommandRouter::addItem(QAction* item)
{
    items_.insert(item->objectName(), item);
}

QAction* CommandRouter::item(const QString& name) const
{
    QAction* found = items_.value(name);
    if (!found)
        throw std::logic_error("no menu item " + name.toStdString());
    return found;
}

void CommandRouter::addTwin(QAction* twin, const QString& itemName)
{
    item(itemName); // the item must exist
    QObject::connect(twin, &QAction::triggered, twin, [this, itemName] { perform(itemName); });
    twins_.append({twin, itemName});
}

void CommandRouter::addTwin(QAbstractButton* twin, const QString& itemName)
{
    item(itemName);
    QObject::connect(twin, &QAbstractButton::clicked, twin, [this, itemName] { perform(itemName); });
    twins_.append({twin, itemName});
}

void CommandRouter::copyEnabledStates() const
{
    for (const auto& [twin, itemName] : twins_) {
        const bool enabled = item(itemName)->isEnabled();
        if (auto* action = qobject_cast<QAction*>(twin))
            action->setEnabled(enabled);
        else if (auto* button = qobject_cast<QAbstractButton*>(twin))
            button->setEnabled(enabled);
    }
}

void CommandRouter::perform(const QString& itemName) const
{
    QAction* target = item(itemName);
    if (target->isEnabled())
        target->trigger();
}

bool CommandRouter::performKey(int key, Qt::KeyboardModifiers modifiers) const
{
    const QString name = menuItemForKey(key, modifiers);
    if (name.isEmpty() || !hasItem(name))
        return false;
    perform(name);
    return true;
}

QString menuItemForKey(int key, Qt::KeyboardModifiers modifiers)
{
    struct Row {
        int key;
        const char* item;
    };
    static constexpr Row plain[] = {
        {Qt::Key_PageUp, "MenuPrevious"},
        {Qt::Key_PageDown, "MenuNext"},
        {Qt::Key_Delete, "MenuClose"},
        {Qt::Key_F1, "MenuIndex"},
    };
    static constexpr Row withCtrl[] = {
        {Qt::Key_Delete, "MenuAll"}, {Qt::Key_A, "MenuAdd"},    {Qt::Key_C, "MenuClockwise"},
        {Qt::Key_D, "MenuDefault"},  {Qt::Key_E, "MenuEmail"},  {Qt::Key_M, "MenuMask"},
        {Qt::Key_O, "MenuOpen"},     {Qt::Key_R, "MenuResize"}, {Qt::Key_S, "MenuSave"},
        {Qt::Key_W, "MenuWatermark"}, {Qt::Key_X, "MenuExport"},
    };
    if (modifiers.testFlag(Qt::ControlModifier)) {
        for (const Row& row : withCtrl)
            if (row.key == key)
                return QString::fromLatin1(row.item);
    } else {
        for (const Row& row : plain)
            if (row.key == key)
                return QString::fromLatin1(row.item);
    }
    return {};
}
