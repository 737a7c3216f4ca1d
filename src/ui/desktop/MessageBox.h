#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

// The text with each line that does not fit broken around the path in it: the words before
// the path go to a line of their own, then the path with the rest of the line, or, when that
// does not fit either, the path alone and the rest after it. A path runs from a "/" that
// begins a word to the end of the line's last word holding a "/". Lines that fit and lines
// without a path stay as they are.
QString pathsOnLinesOfTheirOwn(const QString& text, const std::function<bool(const QString& line)>& fits);

// A message box captioned "Lumatrim" with the border of a fixed-size dialog. The toolkit's box
// wraps a long line at about 500 pixels, breaking file paths after any "/" or "-"; this one
// grows to the width of its longest line instead, as far as the screen allows, and beyond
// that puts the paths on lines of their own.
class ProgramMessageBox final : public QMessageBox {
public:
    ProgramMessageBox(Icon icon, const QString& text, StandardButtons buttons, QWidget* parent);

protected:
    // The toolkit sizes the box again at every showing and layout request.
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void fitTheLinesUnbroken();
};
