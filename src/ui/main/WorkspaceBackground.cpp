#include "WorkspaceBackground.h"

#include "model/ColorNames.h"
#include "model/KeyValueFile.h"

namespace {

const QString kPhotoSection = QStringLiteral("PHOTO");
const QString kBackgroundKey = QStringLiteral("BACKGROUND");

} // namespace

TColor loadWorkspaceBackground(const QString& settingsFile)
{
    const QString text =
        KeyValueFile(settingsFile).readString(kPhotoSection, kBackgroundKey, QStringLiteral("clAppWorkSpace"));
    if (const auto named = colorFromName(text))
        return *named;
    if (const auto number = parseStoredInteger(text))
        return TColor(*number);
    return clAppWorkSpace;
}

void storeWorkspaceBackground(const QString& settingsFile, TColor color)
{
    KeyValueFile(settingsFile).writeString(kPhotoSection, kBackgroundKey, colorToString(color));
}
