#pragma once

#include "CommandRouter.h"
#include "EditCommands.h"
#include "MainMenu.h"
#include "MainStatusBar.h"
#include "MainToolBars.h"
#include "OpeningRun.h"
#include "RecentFiles.h"
#include "formats/Picture.h"
#include "model/PhotoList.h"
#include "render/PhotoSettings.h"

#include <QList>
#include <QMainWindow>

#include <memory>

class DefaultSettings;
class ExportCommand;
class TemplateCommands;
class Desktop;
class PhotoArea;
class PhotosToolBar;
class QAction;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QLabel;
class QToolBar;
class QToolButton;
class TFormAbout;
class TPhoto;

// The program's only top-level window: the ordered list of opened photos with one of them
// current and shown in the scrolling photo area, the menus, tool bars and status bar, and the
// commands that open, select, close, zoom, save, mail, copy and rotate photos. Every command
// ends in UpdateControls, the one place that sets the caption, the status bar and the
// enabled and checked state of every item and button.
class TFormMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TFormMain(Desktop& desktop, QWidget* parent = nullptr);
    ~TFormMain() override;

    // Appends a photo (its settings from the defaults, or copied from the current photo) and
    // makes it current. Throws, adding nothing, when the file cannot be decoded.
    void OpenPhoto(const QString& fileName, bool withCurrentSettings);
    // Opens the files as "Open..." opens one, in order, and reports the ones that could not be
    // opened once, together, after the others are open. The window paints before the first
    // and between photos, each button appearing as its photo is ready, with "Opening k of n…"
    // in the status bar and a busy cursor; user input waits until the last one. Files that
    // come meanwhile (another drop) join the same run.
    void OpenFiles(const QStringList& fileNames);
    // Files to open when the window first shows (the command line's), before the About box.
    void OpenWhenShown(const QStringList& fileNames) { filesToOpen_ = fileNames; }
    // Makes the photo at index current: it is loaded and rendered again from its source (or
    // from its file's picture when one is already decoded) and goes to the head of the
    // recent-files list.
    void SelectPhoto(int index, std::unique_ptr<Picture> decodedSource = nullptr);
    // The photo view has rendered or zoomed: re-centre it and refresh the controls.
    void PhotoChanged();
    void UpdateControls();

    void MenuOpenClick();
    void MenuCurrentClick();
    void MenuNoneClick(int slot);
    void MenuSaveClick();
    void MenuEmailClick();
    void MenuCopyClick();
    void MenuCloseClick();
    void MenuAllClick();
    void MenuPreviousClick();
    void MenuNextClick();
    void MenuZoomClick(int percent);
    // Turns photos opened from now on as the camera held them, or not; stored at once.
    void MenuOrientationClick();
    void MenuBackgroundClick();
    void MenuIndexClick();
    void MenuHomeClick();
    void MenuAboutClick();
    // The close query: true when the window may close (no photo is open any more).
    bool FormCloseQuery();

    const PhotoList& Photos() const { return photos_; }
    TPhoto& Photo() const { return *photo_; }
    const RecentFiles& Recent() const { return recent_; }
    const CommandRouter& Router() const { return router_; }
    // Menu items by name (MenuSave, Menu33, MenuRecent1 ...).
    QAction* Item(const QString& name) const { return router_.item(name); }
    // The text of status bar panel 1..4.
    QString StatusText(int panel) const;
    // The photo area's background color as stored, and as painted.
    TColor BackgroundColor() const;
    // How photos opened now are decoded.
    DecodeOptions Decoding() const { return decoding_; }
    QColor BackgroundScreenColor() const;
    QToolBar* TemplatesToolBar() const { return bands_.templates; }
    QMenu* TemplatesMenu() const { return menu_.templates; }
    QMenu* PopupMenu() const { return menu_.popup; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Local files dragged from a file manager are opened as photos.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildToolBars();
    void buildPhotoArea();
    void connectCommands();
    void createDialogs();
    void FormShow();
    void FormKeyDown(const QKeyEvent& event);
    void LoadRecent();

    Desktop& desktop_;
    CommandRouter router_;
    MainMenu menu_;
    PhotoList photos_;
    std::unique_ptr<EditCommands> edits_;
    std::unique_ptr<DefaultSettings> defaults_;
    std::unique_ptr<TemplateCommands> templates_;
    std::unique_ptr<ExportCommand> exports_;
    RecentFiles recent_;
    DecodeOptions decoding_;
    bool shownOnce_ = false;
    QStringList filesToOpen_;
    // The folder of the photo opened last: where the open dialog starts.
    QString openFolder_;
    // The run of OpenFiles under way.
    OpeningRun opening_;
    // What the window is busy with, for the status bar (empty when idle).
    QString activity_;

    PhotoArea* scrollBox_ = nullptr;
    TPhoto* photo_ = nullptr;
    PhotosToolBar* photoButtons_ = nullptr;
    MainToolBars bands_;
    MainStatusBar statusBar_;
    TFormAbout* formAbout_ = nullptr;
};
