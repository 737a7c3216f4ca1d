#include "OpeningRun.h"

#include <utility>

bool OpeningRun::add(const QStringList& fileNames)
{
    pending_ += fileNames;
    total_ += int(fileNames.size());
    if (active_ || pending_.isEmpty())
        return false;
    active_ = true;
    return true;
}

QString OpeningRun::beginNext()
{
    return QStringLiteral("Opening %1 of %2…").arg(++done_).arg(total_);
}

QStringList OpeningRun::finish()
{
    return std::exchange(*this, {}).failures_;
}
