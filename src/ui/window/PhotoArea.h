#pragma once

#include "model/ColorNames.h"
#include "render/PhotoSettings.h"

#include <QColor>
#include <QPoint>
#include <QScrollArea>

class QContextMenuEvent;
class TPhoto;

// The main window's scrolling photo area ("ScrollBox"): the one photo view centred in it and
// the workspace background color around it.
class PhotoArea : public QScrollArea {
public:
    explicit PhotoArea(QWidget* parent);

    TPhoto* Photo() const { return photo_; }

    // The background color as stored (a symbolic color keeps its symbol), and as painted.
    TColor Background() const { return background_; }
    QColor ScreenBackground() const;
    void SetBackground(TColor color);
    // The color stored in the settings file, the workspace color when missing or unreadable.
    void LoadBackground(const QString& settingsFile);

    // The photo view, this area or its viewport: where the pop-up menu opens.
    bool Holds(const QObject* object) const;
    // Where the pop-up menu opens: where the click was, or for the Menu key the middle of the
    // visible area.
    QPoint PopupPosition(const QContextMenuEvent& event) const;
    // Back to the top left corner, after the view changed.
    void ScrollToOrigin();

private:
    TPhoto* photo_ = nullptr;
    TColor background_ = clAppWorkSpace;
};
