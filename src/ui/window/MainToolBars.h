#pragma once

class CommandRouter;
class PhotosToolBar;
class QAction;
class QMainWindow;
class QMenuBar;
class QToolBar;

// The main window's bands, top to bottom: the menu bar; the command buttons beside the photo
// buttons; the templates tool bar with its "None" placeholder. Every band and button is named
// as the program names it; each command button is routed to the menu item it stands for.
struct MainToolBars {
    PhotosToolBar* photos = nullptr; // in CoolBarPhotos
    QToolBar* templates = nullptr;   // ToolBarTemplates, in CoolBarTemplates
    QAction* none = nullptr;         // ToolButtonNone, shown while there are no templates

    static MainToolBars build(QMainWindow& window, QMenuBar* menuBar, CommandRouter& router);

    // The template buttons are enabled while a photo is current; "None" shows, disabled,
    // while there is no template button.
    void updateTemplates(bool hasPhoto) const;
};
