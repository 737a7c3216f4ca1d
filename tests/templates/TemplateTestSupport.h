#pragma once

#include "model/ProgramFolder.h"
#include "ui/window/FormMain.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QToolBar>

// The template store of the program folder, as bytes.
inline void writeStore(const QByteArray& bytes)
{
    QFile file(templatesFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.write(bytes);
}

inline QByteArray readStore()
{
    QFile file(templatesFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The captions of the Templates menu's template items, and of the visible template buttons
// ("None" included while it shows).
inline QStringList menuTemplates(const TFormMain& window)
{
    QStringList names;
    for (const QAction* item : window.TemplatesMenu()->actions().mid(3))
        names << item->text();
    return names;
}

inline QStringList toolBarButtons(const TFormMain& window)
{
    QStringList names;
    for (const QAction* button : window.TemplatesToolBar()->actions()) {
        if (button->isVisible())
            names << button->iconText();
    }
    return names;
}
