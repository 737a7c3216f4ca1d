// Lumatrim: prepares photos for web pages and e-mail.
#include "model/BitmapMemory.h"
#include "model/ProgramFolder.h"
#include "ui/desktop/Desktop.h"
#include "ui/desktop/ErrorReport.h"
#include "ui/window/FileArguments.h"
#include "ui/window/FormMain.h"

#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QScreen>

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

namespace {

// The command line: photos to open, and three requests answered in the terminal.
struct CommandLine {
    QCommandLineParser parser;
    QCommandLineOption folders{QStringLiteral("folders"),
                               QStringLiteral("Print the folders Lumatrim reads and writes its files in, and exit.")};

    CommandLine()
    {
        parser.setApplicationDescription(QStringLiteral("Prepares photos for web pages and e-mail."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(folders);
        parser.addPositionalArgument(QStringLiteral("photos"), QStringLiteral("Photos to open, in this order."),
                                     QStringLiteral("[photos...]"));
    }
};

// True when the command line only asks for text (help, version, folders): that needs no
// display, so it is answered before the window system is touched.
bool asksForTextOnly(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "-?", "--help-all", "-v", "--version", "--folders"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    }
    return false;
}

void printFolders()
{
    const ProgramFolders folders = programFolders();
    std::printf("Program folder (Help, Masks): %s\n", qPrintable(folders.program));
    std::printf("Data folder (lumatrim.dat, templates.dat, photo.jpg): %s\n", qPrintable(folders.data));
    for (const QString& masks : folders.masks)
        std::printf("Mask folder: %s\n", qPrintable(masks));
}

} // namespace

int main(int argc, char** argv)
{
    keepLargeBitmapsInHeap();
    QCoreApplication::setApplicationName(QStringLiteral("Lumatrim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    CommandLine commandLine;
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication terminal(argc, argv);
        commandLine.parser.process(terminal);
        if (commandLine.parser.isSet(commandLine.folders))
            printFolders();
        return 0;
    }

    LumatrimApplication app(argc, argv);
    // The desktop entry's name lets the desktop match the window to the entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.quorvane.Lumatrim"));
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    // The toolkit's own options (-platform, -style ...) are gone from the arguments by now.
    commandLine.parser.process(app);
    SystemDesktop desktop;
    try {
        TFormMain window(desktop);
        window.OpenWhenShown(photoPathsFromArguments(commandLine.parser.positionalArguments(), QDir::currentPath()));
        // The window opens maximized; where no window manager maximizes it, it still fills the screen.
        if (const QScreen* screen = window.screen())
            window.setGeometry(screen->availableGeometry());
        window.showMaximized();
        return app.exec();
    } catch (const std::exception& error) {
        // A failure before the window can report anything (memory running out while the
        // settings are read, say) is the program's error, not an abort: one line on the
        // terminal and the same in a box.
        const QString message = dynamic_cast<const std::bad_alloc*>(&error)
                                    ? QStringLiteral("There is not enough memory to start Lumatrim.")
                                    : QString::fromUtf8(error.what());
        std::fprintf(stderr, "lumatrim: %s\n", qUtf8Printable(message));
        try {
            desktop.showError(nullptr, message);
        } catch (const std::exception&) {
            // Said on the terminal already; a box that cannot be shown adds nothing.
        }
        return 1;
    }
}
