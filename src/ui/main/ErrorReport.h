#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>

// The program's general error report: every command's failure ends here and is shown to the
// user in a message box captioned "Lumatrim". The main window installs the function that
// shows it; without one the message goes to the log.
using ErrorReporter = std::function<void(const QString& message)>;
void setErrorReporter(ErrorReporter reporter);
void reportError(const QString& message);
// what() of a command's exception, read as UTF-8.
void reportError(const std::exception& error);

// Runs a command and reports its failure; the command is abandoned where it failed.
template <typename Command>
void runCommand(Command&& command)
{
    try {
        command();
    } catch (const std::exception& error) {
        reportError(error);
    }
}

// The application object: its title is "Lumatrim", and an exception that escapes an event
// handler is reported instead of ending the program.
class LumatrimApplication : public QApplication {
    Q_OBJECT

public:
    LumatrimApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
