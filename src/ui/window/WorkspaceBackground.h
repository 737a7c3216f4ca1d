#pragma once

#include "render/PhotoSettings.h"

#include <QString>

// The photo area's background color, kept in the settings file as BACKGROUND of [PHOTO]: a
// color name or a number, the workspace color when missing or unreadable.
TColor loadWorkspaceBackground(const QString& settingsFile);
// Stores the color by its name; throws "Unable to write to <path>" as every settings write.
void storeWorkspaceBackground(const QString& settingsFile, TColor color);
