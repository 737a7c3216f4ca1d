#include "OrientationChoice.h"

#include "KeyValueFile.h"

namespace {

const QString kSection = QStringLiteral("OPTIONS");
const QString kKey = QStringLiteral("ORIENTATION");

} // namespace

DecodeOptions loadOrientationChoice(const QString& settingsFile)
{
    // Read as every stored flag: a number, 0 for off; anything unreadable is the default.
    return DecodeOptions{.upright = KeyValueFile(settingsFile).readBool(kSection, kKey, true)};
}

void storeOrientationChoice(const QString& settingsFile, DecodeOptions options)
{
    KeyValueFile(settingsFile).writeBool(kSection, kKey, options.upright);
}
