#include "WorkspaceBackground.h"

#include "model/ColorNames.h"
#include "model/KeyValueFile.h"
#include "model/ProgramFolder.h"

namespace {

const QString kBackgroundKey = QStringLiteral("BACKGROUND");

} // namespace

TColor loadWorkspaceBackground(const QString& settingsFile)
{
    const QString text =
        KeyValueFile(settingsFile).readString(defaultSettingsSection(), kBackgroundKey, QStringLiteral("clAppWorkSpace"));
    if (const auto named = colorFromName(text))
        return *named;
    if (const auto number = parseStoredInteger(text))
        return TColor(*number);
    return clAppWorkSpace;
}

void storeWorkspaceBackground(const QString& settingsFile, TColor color)
{
    KeyValueFile(settingsFile).writeString(defaultSettingsSection(), kBackgroundKey, colorToString(color));
}
