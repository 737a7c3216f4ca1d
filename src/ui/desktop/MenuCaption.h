#pragma once

#include <QString>

// A file or template name as a menu caption: menus take "&" as an access-key marker, names
// show it as it is.
inline QString menuCaption(const QString& name)
{
    return QString(name).replace(QLatin1Char('&'), QStringLiteral("&&"));
}
