#include "ErrorReport.h"

#include "model/KeyValueFile.h"

#include <QSet>
#include <QtGlobal>

#include <new>

namespace {
ErrorReporter& currentReporter()
{
    static ErrorReporter reporter;
    return reporter;
}

// The messages of this run that are shown only once.
QSet<QString>& shownOnce()
{
    static QSet<QString> shown;
    return shown;
}

// True the first time in this run; false for a message shown once already.
bool firstShowing(const QString& message)
{
    if (shownOnce().contains(message))
        return false;
    shownOnce().insert(message);
    return true;
}
}

void setErrorReporter(ErrorReporter reporter)
{
    currentReporter() = std::move(reporter);
    shownOnce().clear();
}

QString messageToReport(const std::exception& error)
{
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return QStringLiteral("There is not enough memory to complete the command.");
    const QString message = QString::fromUtf8(error.what());
    if (dynamic_cast<const RecurringWriteError*>(&error) && !firstShowing(message))
        return QString();
    return message;
}

void reportFileNotices()
{
    for (const QString& notice : takeFileNotices()) {
        if (firstShowing(notice))
            reportError(notice);
    }
}

void reportError(const QString& message)
{
    if (currentReporter())
        currentReporter()(message);
    else
        qWarning("%s", qUtf8Printable(message));
}

void reportError(const std::exception& error)
{
    if (const QString message = messageToReport(error); !message.isEmpty())
        reportError(message);
}

LumatrimApplication::LumatrimApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Lumatrim"));
}

bool LumatrimApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        reportError(error);
    }
    return false;
}
