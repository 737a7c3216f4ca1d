#pragma once

class QWidget;

// The border of a fixed-size modal dialog or message box: a title and a close box, nothing to
// minimize or maximize it with. Some window managers (openbox) offer a minimize button on
// every dialog whatever it asks for; minimizing a modal dialog takes the whole program off
// the screen, and with no task bar there is no way back. So the dialog also puts itself back
// on the screen, with its owner, whenever it is minimized.
void setFixedDialogBorder(QWidget& dialog);
