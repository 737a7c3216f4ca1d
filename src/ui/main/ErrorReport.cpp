#include "ErrorReport.h"

#include <QtGlobal>

namespace {
ErrorReporter& currentReporter()
{
    static ErrorReporter reporter;
    return reporter;
}
}

void setErrorReporter(ErrorReporter reporter)
{
    currentReporter() = std::move(reporter);
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
    reportError(QString::fromUtf8(error.what()));
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
