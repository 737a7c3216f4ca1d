#pragma once

#include "KeyValueFile.h"
#include "formats/DecodeOptions.h"
#include "render/PhotoSettings.h"

#include <QImage>
#include <QString>

class Picture;

// The settings record of one opened photo (also the scratch record of every dialog, the
// default settings and a template's content). A new record starts from the stored default
// settings in section PHOTO of lumatrim.dat, or the built-in defaults where missing.
class TPhotoInfo : public PhotoSettings {
public:
    // Create: crop, rotation and color balance at zero, the rest from lumatrim.dat [PHOTO].
    explicit TPhotoInfo(const QString& fileName = QString());

    // How the photo's source is decoded: the choice in force when the photo was opened. Its
    // crop rectangle and rotation are set on those pixels, so every later decode of the source
    // (a render from the file, the export) decodes it the same way. Not a setting: neither
    // stored with the settings block nor copied by AssignSettings.
    DecodeOptions Decoding;

    // Copies every field of source except FileName and Decoding.
    void AssignSettings(const TPhotoInfo& source);

    // Reads the settings block (SIZE .. MAXKB) from a section of a key/value file; fields
    // outside the block are left alone. Never fails: missing or unreadable values give
    // the built-in defaults.
    void LoadSettings(const QString& fileName, const QString& section);
    // The same from the keys of a section already read.
    void LoadSettings(const KeyValueText::Pairs& stored);

    // Writes the settings block into a section, keeping every other key, section and line.
    // Throws "Unable to write to <path>" when the file cannot be written.
    void SaveSettings(const QString& fileName, const QString& section) const;
    // The keys and values SaveSettings writes, in the order it writes them.
    KeyValueText::Pairs SettingsBlock() const;

    // The 32 x 32 thumbnail of the decoded source picture on white. Throws, naming the file,
    // when the picture is empty.
    QImage CreateThumbnail(const Picture& source, int width, int height) const;
};
