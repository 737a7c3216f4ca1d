#pragma once

#include <QIcon>

// The images of the main window's buttons: the desktop icon theme's icon where the theme has
// one, else our own drawing. Disabled buttons show Qt's greyed form of the same image.
enum class ToolIcon { Open, Save, Resize, Rotate, Watermark, Mask, Template };

QIcon toolIcon(ToolIcon which);

// Our own drawing of an image: 32 x 32 pixels, 16 x 16 for Template.
QPixmap drawnToolIcon(ToolIcon which);
