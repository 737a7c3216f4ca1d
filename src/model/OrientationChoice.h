#pragma once

#include "formats/DecodeOptions.h"

#include <QString>

// Whether photos are turned as the camera held them: key ORIENTATION of [OPTIONS] in the
// settings file, 1 or 0. Missing or unreadable, photos are turned.
DecodeOptions loadOrientationChoice(const QString& settingsFile);
// Stores the choice, keeping every other key, section and line; throws "Unable to write to
// <path>" as every settings write.
void storeOrientationChoice(const QString& settingsFile, DecodeOptions options);
