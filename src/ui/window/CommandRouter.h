#pragma once

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <Qt>

class QAbstractButton;
class QAction;
class QObject;

// The menu items of the main window by name, and everything that only performs an item's
// click: the pop-up items, the tool bar buttons and the keyboard shortcuts. Every route runs
// the item's own handler, so only that handler decides what happens.
class CommandRouter {
public:
    // Registers a menu item under its objectName.
    void addItem(QAction* item);
    // The item of that name; throws std::logic_error for an unknown name.
    QAction* item(const QString& name) const;
    bool hasItem(const QString& name) const { return items_.contains(name); }

    // A twin performs the click of the item and copies its enabled state (copyEnabledStates).
    void addTwin(QAction* twin, const QString& itemName);
    void addTwin(QAbstractButton* twin, const QString& itemName);
    // Every twin takes the enabled state of its item.
    void copyEnabledStates() const;

    // Performs the click of an item; nothing happens while the item is disabled.
    void perform(const QString& itemName) const;
    // Performs the item of a key (menuItemForKey); false when the key has none.
    bool performKey(int key, Qt::KeyboardModifiers modifiers) const;

private:
    QHash<QString, QAction*> items_;
    QList<QPair<QObject*, QString>> twins_;
};

// The main window's keyboard shortcuts: the name of the menu item whose click a key performs,
// or an empty string. Only Ctrl is examined (Shift and Alt make no difference).
//   without Ctrl: PgUp MenuPrevious, PgDn MenuNext, Del MenuClose, F1 MenuIndex
//   with Ctrl:    Del MenuAll, A MenuAdd, C MenuClockwise, D MenuDefault, E MenuEmail,
//                 M MenuMask, O MenuOpen, R MenuResize, S MenuSave, W MenuWatermark,
//                 X MenuExport
QString menuItemForKey(int key, Qt::KeyboardModifiers modifiers);
