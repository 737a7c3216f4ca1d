#pragma once

#include <QWidget>

#include <array>

class QButtonGroup;
class QToolButton;

// The nine position buttons of the watermark's anchor (SpeedButton0 .. SpeedButton8): toggle
// buttons without caption, 29 x 21 each, touching in a 3 x 3 grid, button N in row N div 3
// and column N mod 3. At most one is down; clicking one puts it down and the others up.
class PositionGrid : public QWidget {
    Q_OBJECT

public:
    explicit PositionGrid(QWidget* parent = nullptr);

    // Button position down, the others up; a position outside 0..8 leaves every button up.
    void setPosition(int position);
    // Button position down, the others up; a position outside 0..8 changes nothing, so the
    // button that was down stays down (none before the first press).
    void setDownPosition(int position);
    // Buttons 0 to 7 are examined in order and the last one down wins; without any it is 8.
    // Button 8 is never examined, so 8 also stands for "none down".
    int SelectedPosition() const;
    bool isDown(int n) const;
    QToolButton* button(int n) const { return buttons_[size_t(n)]; }

signals:
    // Button position was clicked (and is down now).
    void clicked(int position);

private:
    QButtonGroup* group_;
    std::array<QToolButton*, 9> buttons_{};
};
