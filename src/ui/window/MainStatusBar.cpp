#include "MainStatusBar.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

QList<QString> statusTexts(const PhotoStatus* status, const QString& activity)
{
    if (!status)
        return {activity, QString(), QString(), QString()};
    const QSize& view = status->shown;
    const int zoom = status->zoom;
    return {activity, QStringLiteral("%1 photo(s)").arg(status->photos),
            QStringLiteral("%1 * %2").arg(view.width() * 100 / zoom).arg(view.height() * 100 / zoom),
            QStringLiteral("Zoom: %1%").arg(zoom)};
}

MainStatusBar MainStatusBar::build(QMainWindow& window)
{
    MainStatusBar result;
    QStatusBar* bar = window.statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    for (int i = 1; i <= 4; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (i == 1)
            bar->addWidget(panel, 1);
        else {
            panel->setFixedWidth(150);
            bar->addWidget(panel);
        }
        result.panels.append(panel);
    }
    return result;
}

void MainStatusBar::show(const PhotoStatus* status, const QString& activity) const
{
    const QList<QString> texts = statusTexts(status, activity);
    for (qsizetype i = 0; i < panels.size(); ++i)
        panels[i]->setText(texts[i]);
}
