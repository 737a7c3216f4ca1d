#pragma once

#include <QList>
#include <QPair>
#include <QString>

class CommandRouter;
class RecentFiles;
class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class QWidget;

// The main menu (File, Actions, Templates, Options, Help) and the photo area's pop-up menu,
// with every item named, captioned and separated as the program shows them. Shortcut keys
// are shown beside the captions; the main window's key handler carries them out. Every item
// is registered with the router; the pop-up items are routed to their main-menu twins.
struct MainMenu {
    QMenuBar* bar = nullptr;
    QMenu* popup = nullptr;     // PopupMenuScrollBox
    QMenu* reopen = nullptr;    // MenuReopen
    QMenu* templates = nullptr; // MenuTemplates: MenuAdd, MenuManage, N7, then the templates
    QMenu* zoom = nullptr;      // MenuZoom
    QList<QAction*> recent;     // MenuRecent1 .. MenuRecent9
    QAction* none = nullptr;    // MenuNone, always disabled
    QAction* orientation = nullptr; // MenuOrientation, checked while photos are turned upright
    QList<QPair<QAction*, int>> zoomItems; // Menu33 .. Menu300 with their percent

    static MainMenu build(QWidget* owner, CommandRouter& router);

    // The recent files' captions (their file names) and tool tips (their paths).
    void showRecent(const RecentFiles& recentFiles) const;

    // The enabled, visible and checked states: the photo commands while a photo is current,
    // Previous and Next while there is a photo before or after it, the recent files that are
    // set ("None" instead of them when none is), the zoom item of the current zoom, the
    // orientation choice, and the templates (after Add, Manage and the separator) while a
    // photo is current.
    struct States {
        bool hasPhoto = false;
        bool hasPrevious = false;
        bool hasNext = false;
        int zoom = 100;
        bool upright = true;
    };
    void update(const States& states, const RecentFiles& recentFiles, CommandRouter& router) const;
};
