#pragma once

#include "LeaveRule.h"

#include <QAbstractSpinBox>

// A text box with spin buttons holding a whole number within minimum..maximum. The arrows (and the
// Up and Down keys) change the value by 1 and write it into the box. The text is free while
// typing and is taken when the box is left: a number becomes the value, clamped to the range;
// other text is ignored without a message. Whether the box is then rewritten with the value
// depends on the box (the Resize box keeps what was typed). Setting the value by program
// always clamps it and rewrites the box.
class NumericBox : public QAbstractSpinBox, public CommitsOnLeave {
    Q_OBJECT

public:
    struct Options {
        QString spinName; // objectName of the spin control (UpDownMax)
        QString editName; // objectName of its text box (EditMax)
        int minimum = 0;
        int maximum = 0;
        int maxLength = 0;          // characters that can be typed; 0 for no limit
        bool rewriteOnLeave = true; // the box shows the value after it is left
    };
    NumericBox(const Options& options, QWidget* parent = nullptr);

    int value() const { return value_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    void setValue(int value);
    QString text() const;

    // The leave rule.
    void commitText() override;

    void stepBy(int steps) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void valueChanged(int value);
    // An arrow (or the Up or Down key) changed the value by 1.
    void stepped();
    // The leave rule ran, whether or not the value changed.
    void committed();

protected:
    StepEnabled stepEnabled() const override;
    QValidator::State validate(QString& input, int& pos) const override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void show(int value);

    int minimum_;
    int value_;
    int maximum_;
    int maxLength_;
    bool rewriteOnLeave_;
};
