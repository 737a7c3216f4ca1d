// Lumatrim: prepares photos for web pages and e-mail.
#include "model/BitmapMemory.h"
#include "ui/main/Desktop.h"
#include "ui/main/ErrorReport.h"
#include "ui/main/FormMain.h"

#include <QScreen>

int main(int argc, char** argv)
{
    keepLargeBitmapsInHeap();
    LumatrimApplication app(argc, argv);
    SystemDesktop desktop;
    TFormMain window(desktop);
    // The window opens maximized; where no window manager maximizes it, it still fills the screen.
    if (const QScreen* screen = window.screen())
        window.setGeometry(screen->availableGeometry());
    window.showMaximized();
    return app.exec();
}
