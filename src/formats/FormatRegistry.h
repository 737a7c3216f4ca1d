#pragma once

#include "Decoders.h"
#include "Picture.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The open dialog's one filter, "Name|patterns": every registered extension except ico.
extern const char* const kOpenPicturesFilter;

// Turns a "Name|*.a;*.b|Name2|*.c" filter into the file dialog's "Name (*.a *.b);;Name2 (*.c)".
QString toQtFileFilter(const QString& filter);

// Maps a file-name extension to the decoder that reads it. The file's content never
// chooses the decoder.
class FormatRegistry {
public:
    using Decoder = std::function<std::unique_ptr<Picture>(const PictureFile&)>;
    // Decodes reduced to what a box of the given size shows (see decodeJpegScaled).
    using ScaledDecoder = std::function<ScaledImage(const PictureFile&, QSize box)>;
    // Decodes at a power-of-two reduction chosen from the picture's size (see decodeJpegReduced).
    using ReducedDecoder = std::function<ReducedImage(const PictureFile&, const ReductionChoice&)>;

    // The orientation the file records beside its pixels, 1 to 8 (see StoredOrientation.h).
    using OrientationReader = std::function<int(const PictureFile&)>;
    // Decodes turned by the orientation given (see decodeJpegUpright).
    using UprightDecoder = std::function<QImage(const PictureFile&, int orientation)>;

    struct Entry {
        QString extension;   // lower case, without the dot
        QString description;
        Decoder decode;
        ScaledDecoder decodeScaled; // empty: the format decodes only in full
        OrientationReader orientation; // empty: the format records none, or its decoder applies it
        ReducedDecoder decodeReduced = {}; // empty: the format has no reduced decode
        UprightDecoder decodeUpright = {}; // empty: the registry turns the decoded picture
    };

    // The registry filled with every readable format, built once on first use.
    static const FormatRegistry& standard();

    // Registers an extension (lower-cased); a later entry for the same extension wins.
    void add(const QString& extension, const QString& description, Decoder decode,
             ScaledDecoder decodeScaled = {});

    // Pictures of the extension's most recent entry are turned as the reader says: by
    // decodeUpright where given, otherwise by turning the decoded picture.
    void readOrientationWith(const QString& extension, OrientationReader reader, UprightDecoder decodeUpright = {});

    // The most recent entry for the extension (any case), or nullptr.
    const Entry* find(const QString& extension) const;

    // Reads the file and decodes it by its extension. Throws PictureError with the one line
    // the user sees: "Cannot open <fileName>. <reason>". With options.upright the picture
    // comes turned as its file records (a record that cannot be read leaves it as stored).
    std::unique_ptr<Picture> load(const QString& fileName, DecodeOptions options = {}) const;

    // Decodes bytes already in memory as if they were the file fileName; fails as load does.
    std::unique_ptr<Picture> decode(const QString& fileName, std::span<const uint8_t> bytes,
                                    DecodeOptions options = {}) const;

    // Reads the file and decodes it reduced for box when its format can (JPEG), with the same
    // errors as load(); std::nullopt, without reading the file, when the format decodes only
    // in full. The image and pictureSize are turned as load() turns the picture. Throws
    // PictureError.
    std::optional<ScaledImage> loadScaled(const QString& fileName, QSize box, DecodeOptions options = {}) const;

    // loadScaled on bytes already in memory.
    std::optional<ScaledImage> decodeScaled(const QString& fileName, std::span<const uint8_t> bytes, QSize box,
                                            DecodeOptions options = {}) const;

    // Gives the extension's most recent entry a reduced decoder; nothing without an entry.
    void setReducedDecoder(const QString& extension, ReducedDecoder decodeReduced);

    // Reads the file and decodes it at the reduction choose picks from the picture's size,
    // when its format can (JPEG), with the same errors as load(); std::nullopt, without
    // reading the file, when the format decodes only in full. The image is turned as load()
    // turns the picture, and choose sees the turned picture's size. Throws PictureError.
    std::optional<ReducedImage> loadReduced(const QString& fileName, const ReductionChoice& choose,
                                            DecodeOptions options = {}) const;

    // loadReduced on bytes already in memory.
    std::optional<ReducedImage> decodeReduced(const QString& fileName, std::span<const uint8_t> bytes,
                                              const ReductionChoice& choose, DecodeOptions options = {}) const;

    const std::vector<Entry>& entries() const { return entries_; }

private:
    const Entry& entryFor(const QString& fileName) const;
    // find() for changing the entry it finds.
    Entry* latestEntry(const QString& extension);

    std::vector<Entry> entries_;
};

// The text after the last dot of the file name's last path component; empty without a dot.
QString pictureExtension(const QString& fileName);

// Loads a picture file through the standard registry. Throws PictureError.
std::unique_ptr<Picture> loadPicture(const QString& fileName, DecodeOptions options = {});
