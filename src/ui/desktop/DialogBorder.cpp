#include "DialogBorder.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {

// Restores the dialog it belongs to as soon as the window manager has minimized it.
class StayOnScreen final : public QObject {
public:
    explicit StayOnScreen(QWidget& dialog) : QObject(&dialog) { dialog.installEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* dialog = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::WindowStateChange && dialog->isVisible() && dialog->isMinimized()) {
            // After the window manager has finished minimizing: showing the dialog again
            // brings back the windows minimized with it.
            QTimer::singleShot(0, dialog, [guarded = QPointer<QWidget>(dialog)] {
                if (!guarded || !guarded->isVisible() || !guarded->isMinimized())
                    return;
                if (QWidget* owner = guarded->parentWidget() ? guarded->parentWidget()->window() : nullptr)
                    if (owner->isMinimized())
                        owner->setWindowState(owner->windowState() & ~Qt::WindowMinimized);
                guarded->setWindowState(guarded->windowState() & ~Qt::WindowMinimized);
                guarded->raise();
                guarded->activateWindow();
            });
        }
        return false;
    }
};

} // namespace

void setFixedDialogBorder(QWidget& dialog)
{
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint);
    new StayOnScreen(dialog);
}
