#pragma once

class QWidget;

// Waits, a second at most, until the shown window is on screen, so that it paints before
// long work that follows. Input events wait meanwhile.
void waitUntilExposed(QWidget& window);
