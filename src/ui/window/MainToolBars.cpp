#include "MainToolBars.h"

#include "CommandRouter.h"
#include "PhotosToolBar.h"
#include "ui/desktop/ToolIcons.h"
#include "ui/photo/PageScroller.h"

#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

namespace {

QToolBar* newBand(const QString& name, const QString& title, QWidget* parent)
{
    auto* band = new QToolBar(title, parent);
    band->setObjectName(name);
    band->setMovable(false);
    band->setFloatable(false);
    return band;
}

} // namespace

MainToolBars MainToolBars::build(QMainWindow& window, QMenuBar* menuBar, CommandRouter& router)
{
    MainToolBars bands;
    QToolBar* bandMenu = newBand(QStringLiteral("ToolBarMenu"), QStringLiteral("Menu"), &window);
    bandMenu->addWidget(menuBar);
    window.addToolBar(Qt::TopToolBarArea, bandMenu);
    window.addToolBarBreak();

    QToolBar* buttons = newBand(QStringLiteral("ToolBarButtons"), QStringLiteral("Buttons"), &window);
    buttons->setIconSize(QSize(32, 32));
    struct Button {
        const char* name;
        const char* hint;
        ToolIcon icon;
        const char* item;
    };
    const Button rows[] = {
        {"ToolButtonOpen", "Open", ToolIcon::Open, "MenuOpen"},
        {"ToolButtonSave", "Save As", ToolIcon::Save, "MenuSave"},
        {"ToolButtonResize", "Resize", ToolIcon::Resize, "MenuResize"},
        {"ToolButtonRotate", "Rotate Clockwise", ToolIcon::Rotate, "MenuClockwise"},
        {"ToolButtonWatermark", "Watermark", ToolIcon::Watermark, "MenuWatermark"},
        {"ToolButtonMask", "Mask", ToolIcon::Mask, "MenuMask"},
    };
    for (const Button& row : rows) {
        auto* button = new QToolButton(buttons);
        button->setObjectName(QString::fromLatin1(row.name));
        button->setToolTip(QString::fromLatin1(row.hint));
        button->setIcon(toolIcon(row.icon));
        button->setIconSize(QSize(32, 32));
        button->setFixedSize(39, 38);
        button->setAutoRaise(true);
        buttons->addWidget(button);
        router.addTwin(button, QString::fromLatin1(row.item));
    }
    window.addToolBar(Qt::TopToolBarArea, buttons);

    bands.photos = new PhotosToolBar;
    QToolBar* photosBand = newBand(QStringLiteral("CoolBarPhotos"), QStringLiteral("Photos"), &window);
    photosBand->addWidget(bands.photos->scroller());
    window.addToolBar(Qt::TopToolBarArea, photosBand);
    window.addToolBarBreak();

    QToolBar* templatesBand = newBand(QStringLiteral("CoolBarTemplates"), QStringLiteral("Templates"), &window);
    auto* bandText = new QLabel(QStringLiteral("Templates"), templatesBand);
    bandText->setContentsMargins(4, 0, 8, 0);
    templatesBand->addWidget(bandText);
    bands.templates = new QToolBar(templatesBand);
    bands.templates->setObjectName(QStringLiteral("ToolBarTemplates"));
    bands.templates->setIconSize(QSize(16, 16));
    bands.templates->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bands.templates->setMovable(false);
    bands.none = bands.templates->addAction(toolIcon(ToolIcon::Template), QStringLiteral("None"));
    bands.none->setObjectName(QStringLiteral("ToolButtonNoneAction"));
    bands.templates->widgetForAction(bands.none)->setObjectName(QStringLiteral("ToolButtonNone"));
    templatesBand->addWidget(bands.templates);
    window.addToolBar(Qt::TopToolBarArea, templatesBand);
    return bands;
}

void MainToolBars::updateTemplates(bool hasPhoto) const
{
    const QList<QAction*> buttons = templates->actions();
    for (qsizetype i = 1; i < buttons.size(); ++i)
        buttons[i]->setEnabled(hasPhoto);
    none->setEnabled(false);
    none->setVisible(buttons.size() < 2);
}
