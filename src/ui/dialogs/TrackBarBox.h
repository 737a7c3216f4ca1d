#pragma once

#include "LeaveRule.h"

#include <QWidget>

class QLineEdit;
class QSlider;

// A track bar with a box beside it. Whenever the track bar's value changes, by the user or
// by program, the box shows it and valueChanged is emitted (the dialog refreshes its preview).
// When the box is left, a typed number moves the track bar (clamped to its range); in every
// case valueChanged is emitted once more, so the box always ends showing the track bar's
// value: text that is not a number is replaced by it.
class TrackBarBox : public QWidget, public CommitsOnLeave {
    Q_OBJECT

public:
    struct Options {
        QString trackBarName; // TrackBarContrast
        QString editName;     // EditContrast
        int minimum = 0;
        int maximum = 0;
        int pageStep = 1;
        int maxLength = 3; // characters that can be typed into the box
    };
    TrackBarBox(const Options& options, QWidget* parent = nullptr);

    int value() const;
    // Sets the track bar (clamped to its range) and runs the change handler.
    void setValue(int value);
    QSlider* trackBar() const { return trackBar_; }
    QLineEdit* edit() const { return edit_; }

    // The leave rule of the box.
    void commitText() override;

signals:
    void valueChanged(int value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void trackBarChange();

    QSlider* trackBar_;
    QLineEdit* edit_;
};
