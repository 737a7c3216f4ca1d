#include "LeaveRule.h"

#include <QLineEdit>
#include <QValidator>
#include <QWidget>

#include <algorithm>

void commitBoxOf(QWidget* widget)
{
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* box = dynamic_cast<CommitsOnLeave*>(w)) {
            box->commitText();
            return;
        }
        if (w->isWindow())
            return;
    }
}

std::optional<int> parseTypedNumber(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

int clampToRange(long long value, int minimum, int maximum)
{
    return int(std::clamp<long long>(value, minimum, maximum));
}

namespace {
class TypedLengthValidator : public QValidator {
public:
    TypedLengthValidator(int maxLength, QObject* parent) : QValidator(parent), maxLength_(maxLength) {}
    State validate(QString& input, int&) const override
    {
        return input.size() > maxLength_ ? Invalid : Acceptable;
    }

private:
    int maxLength_;
};
}

void limitTypedLength(QLineEdit* box, int maxLength)
{
    box->setValidator(new TypedLengthValidator(maxLength, box));
}
