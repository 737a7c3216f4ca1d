#include "WindowExposure.h"

#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <QWindow>

void waitUntilExposed(QWidget& widget)
{
    QWindow* window = widget.windowHandle();
    if (!widget.isVisible() || !window || window->isExposed())
        return;
    // Exposure has no signal of its own: look at it every few milliseconds, for a second at most.
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (window->isExposed())
            loop.quit();
    });
    look.start(5);
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}
