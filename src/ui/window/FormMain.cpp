#include "FormMain.h"

#include "FileArguments.h"
#include "FileSizeStatus.h"
#include "FormAbout.h"
#include "MainStatusBar.h"
#include "MainToolBars.h"
#include "PhotoArea.h"
#include "PhotosToolBar.h"
#include "WorkspaceBackground.h"
#include "export/ExportCommand.h"
#include "export/FormExport.h"
#include "model/LastDecodedPicture.h"
#include "model/OrientationChoice.h"
#include "model/ProgramFolder.h"
#include "templates/DefaultSettings.h"
#include "templates/FormAdd.h"
#include "templates/FormDefault.h"
#include "templates/FormManage.h"
#include "templates/TemplateCommands.h"
#include "ui/desktop/Desktop.h"
#include "ui/desktop/ErrorReport.h"
#include "ui/desktop/SystemColors.h"
#include "ui/desktop/WindowExposure.h"
#include "ui/dialogs/FormColor.h"
#include "ui/dialogs/FormCrop.h"
#include "ui/dialogs/FormMask.h"
#include "ui/dialogs/FormResize.h"
#include "ui/dialogs/FormWatermark.h"
#include "ui/photo/Photo.h"
#include "ui/photo/PhotoOutput.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QMimeData>
#include <QLabel>
#include <QMenu>
#include <QScopeGuard>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWindow>

#include <stdexcept>
#include <utility>

namespace {

const QString kTitle = QStringLiteral("Lumatrim");

} // namespace

TFormMain::TFormMain(Desktop& desktop, QWidget* parent)
    : QMainWindow(parent), desktop_(desktop), recent_(settingsFilePath())
{
    setObjectName(QStringLiteral("TFormMain"));
    setWindowTitle(kTitle);
    resize(696, 480);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(true);
    setErrorReporter([this](const QString& message) { desktop_.showError(this, message); });

    menu_ = MainMenu::build(this, router_);
    buildToolBars();
    buildPhotoArea();
    edits_ = std::make_unique<EditCommands>(*photo_, photos_);
    statusBar_ = MainStatusBar::build(*this);
    new FileSizeStatus(*photo_, *statusBar(), this);
    connectCommands();
    // Key preview: the window sees every key pressed in it before the focused control does.
    qApp->installEventFilter(this);

    // FormCreate; the template commands come with the dialogs they open.
    scrollBox_->LoadBackground(settingsFilePath());
    decoding_ = loadOrientationChoice(settingsFilePath());
    LoadRecent();
    createDialogs();
    UpdateControls();
}

void TFormMain::createDialogs()
{
    // Once, in this order, each kept with its control values for the whole run.
    auto* formResize = new TFormResize(*photo_, this);
    auto* formCrop = new TFormCrop(*photo_, this);
    auto* formColor = new TFormColor(*photo_, this);
    auto* formWatermark = new TFormWatermark(*photo_, desktop_, this);
    auto* formMask = new TFormMask(*photo_, desktop_, this);
    auto* formDefault = new TFormDefault(desktop_, this);
    defaults_ = std::make_unique<DefaultSettings>(*formDefault, *photo_, desktop_);
    auto* formAdd = new TFormAdd(this);
    formAbout_ = new TFormAbout(desktop_, this);
    auto* formManage = new TFormManage(desktop_, *formAdd, *formDefault, this);
    templates_ = std::make_unique<TemplateCommands>(
        TemplateCommands::Places{.menu = menu_.templates, .bar = bands_.templates, .none = bands_.none}, *photo_,
        desktop_, *formAdd, *formManage, [this] { UpdateControls(); });
    templates_->LoadTemplates();
    exports_ = std::make_unique<ExportCommand>(*new TFormExport(desktop_, this), photos_, desktop_);
    photo_->SetEditDialogs({.resize = formResize, .crop = formCrop, .color = formColor, .watermark = formWatermark,
                            .mask = formMask},
                           [this](QDialog& dialog) { return desktop_.execDialog(dialog); });
}

TFormMain::~TFormMain()
{
    qApp->removeEventFilter(this);
    setErrorReporter(nullptr);
    // The view refers to a record of the list; let it go before the list frees them.
    disconnect(photo_, nullptr, this, nullptr);
    photo_->SetPhotoInfo(nullptr);
}

void TFormMain::buildToolBars()
{
    bands_ = MainToolBars::build(*this, menu_.bar, router_);
    photoButtons_ = bands_.photos;
    connect(photoButtons_, &PhotosToolBar::clicked, this,
            [this](int index) { runCommand([this, index] { SelectPhoto(index); }); });
}

void TFormMain::buildPhotoArea()
{
    scrollBox_ = new PhotoArea(this);
    setCentralWidget(scrollBox_);
    photo_ = scrollBox_->Photo();
    connect(photo_, &TPhoto::OnChange, this, [this] { PhotoChanged(); });
}

void TFormMain::connectCommands()
{
    // An item runs a handler of the window or of a command object the window owns. The owner
    // is looked up when the command runs: the dialogs' commands are made after the wiring.
    auto run = [this](const char* name, auto target, auto handler) {
        connect(router_.item(QString::fromLatin1(name)), &QAction::triggered, this,
                [this, target, handler] { runCommand([this, target, handler] { (target()->*handler)(); }); });
    };
    auto on = [&](const char* name, void (TFormMain::*handler)()) { run(name, [this] { return this; }, handler); };
    auto wire = [&](const char* name, auto owner, auto handler) {
        run(name, [this, owner] { return (this->*owner).get(); }, handler);
    };
    on("MenuOpen", &TFormMain::MenuOpenClick);
    on("MenuCurrent", &TFormMain::MenuCurrentClick);
    on("MenuSave", &TFormMain::MenuSaveClick);
    on("MenuEmail", &TFormMain::MenuEmailClick);
    on("MenuCopy", &TFormMain::MenuCopyClick);
    on("MenuClose", &TFormMain::MenuCloseClick);
    on("MenuAll", &TFormMain::MenuAllClick);
    on("MenuPrevious", &TFormMain::MenuPreviousClick);
    on("MenuNext", &TFormMain::MenuNextClick);
    on("MenuOrientation", &TFormMain::MenuOrientationClick);
    on("MenuBackground", &TFormMain::MenuBackgroundClick);
    on("MenuIndex", &TFormMain::MenuIndexClick);
    on("MenuHome", &TFormMain::MenuHomeClick);
    on("MenuAbout", &TFormMain::MenuAboutClick);
    wire("MenuResize", &TFormMain::edits_, &EditCommands::MenuResizeClick);
    wire("MenuCrop", &TFormMain::edits_, &EditCommands::MenuCropClick);
    wire("MenuClockwise", &TFormMain::edits_, &EditCommands::MenuClockwiseClick);
    wire("MenuCounterclockwise", &TFormMain::edits_, &EditCommands::MenuCounterclockwiseClick);
    wire("MenuColor", &TFormMain::edits_, &EditCommands::MenuColorClick);
    wire("MenuWatermark", &TFormMain::edits_, &EditCommands::MenuWatermarkClick);
    wire("MenuMask", &TFormMain::edits_, &EditCommands::MenuMaskClick);
    wire("MenuDefault", &TFormMain::defaults_, &DefaultSettings::MenuDefaultClick);
    wire("MenuSet", &TFormMain::defaults_, &DefaultSettings::MenuSetClick);
    wire("MenuReload", &TFormMain::defaults_, &DefaultSettings::MenuReloadClick);
    wire("MenuAdd", &TFormMain::templates_, &TemplateCommands::MenuAddClick);
    wire("MenuManage", &TFormMain::templates_, &TemplateCommands::MenuManageClick);
    wire("MenuExport", &TFormMain::exports_, &ExportCommand::MenuExportClick);
    connect(router_.item(QStringLiteral("MenuExit")), &QAction::triggered, this, &QWidget::close);
    for (int slot = 1; slot <= RecentFiles::kSlots; ++slot)
        connect(menu_.recent[slot - 1], &QAction::triggered, this,
                [this, slot] { runCommand([this, slot] { MenuNoneClick(slot); }); });
    for (const auto& [item, percent] : menu_.zoomItems)
        connect(item, &QAction::triggered, this,
                [this, percent = percent] { runCommand([this, percent] { MenuZoomClick(percent); }); });
}

// ---- Opening, selecting and closing -------------------------------------------------------

void TFormMain::OpenPhoto(const QString& fileName, bool withCurrentSettings)
{
    auto info = std::make_unique<TPhotoInfo>(fileName);
    if (withCurrentSettings && photos_.current())
        info->AssignSettings(*photos_.current());
    info->Decoding = decoding_;
    // A file that cannot be decoded fails here, with a message naming it: nothing is added
    // and the current photo stays as it was. One decode serves the thumbnail and the view
    // (the open dialog's preview may have made it already).
    std::unique_ptr<Picture> source = LastDecodedPicture::take(fileName, decoding_);
    const QImage thumbnail = info->CreateThumbnail(*source, 32, 32);
    openFolder_ = QFileInfo(fileName).absolutePath();
    photos_.append(std::move(info));
    photoButtons_->addButton(fileName, thumbnail);
    SelectPhoto(photos_.count() - 1, std::move(source));
}

void TFormMain::OpenFiles(const QStringList& fileNames)
{
    if (!opening_.add(fileNames))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    {
        const auto idle = qScopeGuard([this] {
            QApplication::restoreOverrideCursor();
            activity_.clear();
        });
        while (opening_.hasNext()) {
            activity_ = opening_.beginNext();
            UpdateControls();
            // The photos opened so far and the count are painted before the next decode. Input
            // waits; a close of the window ends the run (FormCloseQuery).
            if (opening_.isFirst())
                waitUntilExposed(*this);
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            if (!opening_.hasNext())
                break;
            const QString fileName = opening_.takeNext();
            try {
                OpenPhoto(fileName, false);
            } catch (const std::exception& error) {
                if (const QString message = messageToReport(error); !message.isEmpty())
                    opening_.fail(message);
            }
        }
    }
    const QStringList failures = opening_.finish();
    UpdateControls();
    if (!failures.isEmpty())
        reportError(failures.join(QLatin1Char('\n')));
}

void TFormMain::SelectPhoto(int index, std::unique_ptr<Picture> decodedSource)
{
    TPhotoInfo* info = photos_.at(index);
    photos_.setCurrent(index);
    photoButtons_->press(index);
    photo_->SetPhotoInfo(info, std::move(decodedSource));
    try {
        recent_.Push(info->FileName);
        LoadRecent();
    } catch (const FileWriteError& error) {
        // Told once per run and reason, not at every photo selected.
        UpdateControls();
        throw RecurringWriteError(error.what());
    } catch (...) {
        // The photo stays current and the Reopen menu keeps its previous content.
        UpdateControls();
        throw;
    }
    UpdateControls();
}

void TFormMain::MenuOpenClick()
{
    const QString fileName = desktop_.openPicture(this, openFolder_, decoding_);
    if (fileName.isEmpty())
        return;
    OpenPhoto(fileName, false);
    UpdateControls();
}

void TFormMain::MenuCurrentClick()
{
    if (!photos_.current())
        return;
    const QString fileName = desktop_.openPicture(this, openFolder_, decoding_);
    if (fileName.isEmpty())
        return;
    OpenPhoto(fileName, true);
    UpdateControls();
}

void TFormMain::MenuNoneClick(int slot)
{
    const QString path = recent_.path(slot);
    if (path.isEmpty())
        return;
    OpenPhoto(path, false);
    UpdateControls();
}

void TFormMain::MenuCloseClick()
{
    const int index = photos_.currentIndex();
    if (index < 0) {
        UpdateControls();
        return;
    }
    photos_.setCurrent(-1);
    photo_->SetPhotoInfo(nullptr);
    photoButtons_->removeButton(index);
    const int next = photos_.remove(index);
    if (next >= 0)
        SelectPhoto(next);
    UpdateControls();
}

void TFormMain::MenuAllClick()
{
    photos_.setCurrent(-1);
    photo_->SetPhotoInfo(nullptr);
    for (int i = photoButtons_->count() - 1; i >= 0; --i)
        photoButtons_->removeButton(i);
    photos_.clear();
    UpdateControls();
}

void TFormMain::MenuPreviousClick()
{
    const int index = photos_.previousIndex();
    if (index >= 0)
        SelectPhoto(index);
}

void TFormMain::MenuNextClick()
{
    const int index = photos_.nextIndex();
    if (index >= 0)
        SelectPhoto(index);
}

// ---- Output ------------------------------------------------------------------------

void TFormMain::MenuSaveClick()
{
    PhotoOutput::SaveAs(*photo_, desktop_, this);
}

void TFormMain::MenuEmailClick()
{
    PhotoOutput::SendEmail(*photo_, desktop_);
}

void TFormMain::MenuCopyClick()
{
    PhotoOutput::CopyToClipboard(*photo_);
}

// ---- View: zoom, background, centring -----------------------------------------------------

void TFormMain::MenuZoomClick(int percent)
{
    photo_->SetZoom(percent);
    UpdateControls();
}

TColor TFormMain::BackgroundColor() const
{
    return scrollBox_->Background();
}

QColor TFormMain::BackgroundScreenColor() const
{
    return scrollBox_->ScreenBackground();
}

void TFormMain::MenuBackgroundClick()
{
    const auto chosen = desktop_.chooseColor(this, BackgroundScreenColor());
    if (!chosen)
        return;
    // The color stays chosen even if it cannot be stored.
    scrollBox_->SetBackground(colorFromQColor(*chosen));
    storeWorkspaceBackground(settingsFilePath(), scrollBox_->Background());
}

void TFormMain::MenuOrientationClick()
{
    // Photos opened from now on follow the new choice; open ones keep the pixels their crop
    // and rotation were set on. The choice stays made even if it cannot be stored.
    decoding_.upright = !decoding_.upright;
    UpdateControls();
    storeOrientationChoice(settingsFilePath(), decoding_);
}

void TFormMain::PhotoChanged()
{
    scrollBox_->ScrollToOrigin();
    photo_->update();
    UpdateControls();
}

// ---- Help and About -----------------------------------------------------------------------

void TFormMain::MenuIndexClick()
{
    desktop_.openUrl(QUrl::fromLocalFile(programFile(QStringLiteral("Help/default.htm"))));
}

void TFormMain::MenuHomeClick()
{
    desktop_.openUrl(homePageUrl());
}

void TFormMain::MenuAboutClick()
{
    desktop_.execDialog(*formAbout_);
}

// ---- Recent files -------------------------------------------------------------------------

void TFormMain::LoadRecent()
{
    recent_.Load();
    menu_.showRecent(recent_);
}

// ---- Window events ------------------------------------------------------------------------

void TFormMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        // After the window has appeared, so the About box stands in front of it.
        QTimer::singleShot(0, this, [this] { runCommand([this] { FormShow(); }); });
    }
}

void TFormMain::FormShow()
{
    OpenFiles(std::exchange(filesToOpen_, {}));
    MenuAboutClick();
    UpdateControls();
}

bool TFormMain::FormCloseQuery()
{
    // Closing while photos are being opened ends that run first.
    opening_.cancel();
    if (photos_.current()) {
        const QString question = QStringLiteral("%1 photo(s) still opened, quit Lumatrim now?").arg(photoButtons_->count());
        if (desktop_.confirm(this, question))
            MenuAllClick();
    }
    return photos_.current() == nullptr;
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    bool mayClose = false;
    runCommand([&] { mayClose = FormCloseQuery(); });
    if (mayClose)
        event->accept();
    else
        event->ignore();
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (!photoPathsFromUrls(event->mimeData()->urls()).isEmpty())
        event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event)
{
    const QStringList fileNames = photoPathsFromUrls(event->mimeData()->urls());
    if (fileNames.isEmpty())
        return;
    event->acceptProposedAction();
    // After the drop has finished, so the file manager is not held while the photos load.
    QTimer::singleShot(0, this, [this, fileNames] { runCommand([&] { OpenFiles(fileNames); }); });
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && windowHandle() && watched == static_cast<QObject*>(windowHandle())) {
        // Key preview: every key pressed in this window reaches its native window once, before
        // any control sees it. Acting there, and only there, performs each key exactly once,
        // whatever a dialog opened by the key does to the focus before the key moves on.
        FormKeyDown(*static_cast<QKeyEvent*>(event));
    } else if (event->type() == QEvent::ContextMenu && scrollBox_->Holds(watched)) {
        menu_.popup->popup(scrollBox_->PopupPosition(*static_cast<QContextMenuEvent*>(event)));
        return true;
    } else if (watched == scrollBox_->viewport() && event->type() == QEvent::Resize) {
        scrollBox_->ScrollToOrigin();
    } else if (event->type() == QEvent::ToolTip && watched->parent() == bands_.templates) {
        // The templates tool bar shows no hints.
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::FormKeyDown(const QKeyEvent& event)
{
    runCommand([&] { router_.performKey(event.key(), event.modifiers()); });
}

// ---- UpdateControls -----------------------------------------------------------------------

QString TFormMain::StatusText(int panel) const
{
    return statusBar_.panels.at(panel - 1)->text();
}

void TFormMain::UpdateControls()
{
    const TPhotoInfo* current = photos_.current();
    const bool hasPhoto = current != nullptr;
    setWindowTitle(hasPhoto ? current->FileName + QStringLiteral(" - ") + kTitle : kTitle);
    const PhotoStatus status{photoButtons_->count(), photo_->Core().DisplaySize(), photo_->Zoom()};
    statusBar_.show(hasPhoto ? &status : nullptr, activity_);
    menu_.update({.hasPhoto = hasPhoto,
                  .hasPrevious = photos_.previousIndex() >= 0,
                  .hasNext = photos_.nextIndex() >= 0,
                  .zoom = photo_->Zoom(),
                  .upright = decoding_.upright},
                 recent_, router_);
    bands_.updateTemplates(hasPhoto);
    router_.copyEnabledStates();
}
