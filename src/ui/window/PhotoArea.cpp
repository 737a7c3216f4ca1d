#include "PhotoArea.h"

#include "WorkspaceBackground.h"
#include "ui/desktop/SystemColors.h"
#include "ui/photo/Photo.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QScrollBar>

PhotoArea::PhotoArea(QWidget* parent) : QScrollArea(parent)
{
    setObjectName(QStringLiteral("ScrollBox"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    // Centring: a view narrower (shorter) than the area stands at (client - view) div 2, a
    // larger one at the origin with the scroll bars reaching the rest.
    setAlignment(Qt::AlignCenter);
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(true);

    photo_ = new TPhoto(this);
    photo_->setObjectName(QStringLiteral("Photo"));
    setWidget(photo_);
}

QColor PhotoArea::ScreenBackground() const
{
    return viewport()->palette().color(QPalette::Window);
}

void PhotoArea::SetBackground(TColor color)
{
    background_ = color;
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Window, screenColor(color, QApplication::palette()));
    viewport()->setPalette(palette);
}

void PhotoArea::LoadBackground(const QString& settingsFile)
{
    SetBackground(loadWorkspaceBackground(settingsFile));
}

bool PhotoArea::Holds(const QObject* object) const
{
    return object == photo_ || object == this || object == viewport();
}

QPoint PhotoArea::PopupPosition(const QContextMenuEvent& event) const
{
    return event.reason() == QContextMenuEvent::Mouse ? event.globalPos()
                                                      : viewport()->mapToGlobal(viewport()->rect().center());
}

void PhotoArea::ScrollToOrigin()
{
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}
