#pragma once

#include <QString>

#include <optional>

class QLineEdit;
class QWidget;

// A box whose typed text is taken when the box is left (its leave rule). OK runs the rule of
// the box being edited before it reads any control, whether or not the focus change reached
// the box.
class CommitsOnLeave {
public:
    virtual ~CommitsOnLeave() = default;
    virtual void commitText() = 0;
};

// Runs the leave rule of the box that holds widget (the widget itself or an ancestor), if any.
void commitBoxOf(QWidget* widget);

// The typed text as a signed decimal integer; nothing when it is not one.
std::optional<int> parseTypedNumber(const QString& text);

// value within minimum..maximum.
int clampToRange(long long value, int minimum, int maximum);

// At most maxLength characters can be typed into the box; text set by program may be longer
// (a track bar's -100 in a three-character box).
void limitTypedLength(QLineEdit* box, int maxLength);
