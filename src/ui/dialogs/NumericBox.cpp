#include "NumericBox.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>

NumericBox::NumericBox(const Options& options, QWidget* parent)
    : QAbstractSpinBox(parent), minimum_(options.minimum), value_(options.minimum), maximum_(options.maximum),
      maxLength_(options.maxLength), rewriteOnLeave_(options.rewriteOnLeave)
{
    setObjectName(options.spinName);
    lineEdit()->setObjectName(options.editName);
    // The value changes only by the arrows, by program and when the box is left.
    setKeyboardTracking(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    show(value_);
}

QValidator::State NumericBox::validate(QString& input, int&) const
{
    // Free text while typing, up to the box's length.
    return maxLength_ > 0 && input.size() > maxLength_ ? QValidator::Invalid : QValidator::Acceptable;
}

QString NumericBox::text() const
{
    return lineEdit()->text();
}

void NumericBox::show(int value)
{
    lineEdit()->setText(QString::number(value));
}

void NumericBox::setValue(int value)
{
    const int clamped = clampToRange(value, minimum_, maximum_);
    show(clamped);
    if (clamped != value_) {
        value_ = clamped;
        emit valueChanged(value_);
    }
    update(); // the arrows' enabled look
}

void NumericBox::commitText()
{
    const auto typed = parseTypedNumber(text());
    const int value = typed ? clampToRange(*typed, minimum_, maximum_) : value_;
    // A box that is rewritten shows the value even after text that was not a number.
    if (rewriteOnLeave_)
        show(value);
    if (value != value_) {
        value_ = value;
        emit valueChanged(value_);
    }
    emit committed();
}

void NumericBox::stepBy(int steps)
{
    setValue(value_ + steps);
    lineEdit()->selectAll();
    emit stepped();
}

QAbstractSpinBox::StepEnabled NumericBox::stepEnabled() const
{
    StepEnabled enabled = StepNone;
    if (value_ > minimum_)
        enabled |= StepDownEnabled;
    if (value_ < maximum_)
        enabled |= StepUpEnabled;
    return enabled;
}

void NumericBox::focusOutEvent(QFocusEvent* event)
{
    QAbstractSpinBox::focusOutEvent(event);
    commitText();
}

QSize NumericBox::sizeHint() const
{
    // Room for the longest number the box can hold, the frame and the arrows.
    ensurePolished();
    const int digits = std::max(maxLength_, int(QString::number(maximum_).size()));
    const QFontMetrics metrics(font());
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const QSize text(metrics.horizontalAdvance(QString(digits, QLatin1Char('0'))) + 6, lineEdit()->sizeHint().height());
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, text, this);
}

QSize NumericBox::minimumSizeHint() const
{
    return sizeHint();
}
