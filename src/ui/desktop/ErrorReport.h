#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>
#include <stdexcept>

// The program's general error report: every command's failure ends here and is shown to the
// user in a message box captioned "Lumatrim". The main window installs the function that
// shows it; without one the message goes to the log.
using ErrorReporter = std::function<void(const QString& message)>;
// Installing a reporter starts a new run of the report: nothing has been shown yet.
void setErrorReporter(ErrorReporter reporter);
void reportError(const QString& message);
// A failed write that the window makes on its own at every Open, PgUp and PgDn (the
// recent-files list). The user needs to hear only once that the file cannot be written, and
// again only when it fails for another reason; a write the user asked for is always told.
class RecurringWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// what() of a command's exception, read as UTF-8; a RecurringWriteError only the first time
// in this run with the same message.
void reportError(const std::exception& error);
// The message to show for a command's exception, or an empty string when it is a
// RecurringWriteError shown before in this run (it then counts as shown).
QString messageToReport(const std::exception& error);
// Shows, once per run each, the notices that reading the settings files left (a file too
// large to read).
void reportFileNotices();

// Runs a command and reports its failure; the command is abandoned where it failed. Notices
// left by reading settings files, before it or by it, are shown too.
template <typename Command>
void runCommand(Command&& command)
{
    reportFileNotices();
    try {
        command();
    } catch (const std::exception& error) {
        reportError(error);
    }
    reportFileNotices();
}

// The application object: its title is "Lumatrim", and an exception that escapes an event
// handler is reported instead of ending the program.
class LumatrimApplication : public QApplication {
    Q_OBJECT

public:
    LumatrimApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
