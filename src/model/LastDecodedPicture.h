#pragma once

#include "formats/DecodeOptions.h"
#include "formats/Picture.h"

#include <QDateTime>
#include <QString>

#include <memory>

// The hand-over from the open dialog's preview to the open that follows: the preview decodes
// the file it shows in full (every format without a reduced decoder), and opening that file
// right after takes the decode instead of decoding the file a second time. One entry, keyed
// by path, size, modification time and the decode options, so a file changed in between, or
// a picture decoded with the other orientation choice, is decoded afresh.
//
// The kept entry belongs to the user-interface thread: take, keep, find and clear are called
// there only. decode may run on any thread; its result is handed over with keep.
namespace LastDecodedPicture {

// What identifies an unchanged file: its path, size and modification time.
struct FileStamp {
    QString path;
    qint64 size = -1;
    QDateTime modified;

    static FileStamp of(const QString& path);
    bool operator==(const FileStamp& other) const;
};

// A decode, the file as it was before the decode read it, and how it was decoded.
struct Decoded {
    FileStamp stamp;
    std::unique_ptr<Picture> picture;
    DecodeOptions options;
};

// Decodes the file without looking at or changing the kept entry, on any thread. Throws
// PictureError.
Decoded decode(const QString& path, DecodeOptions options);

// Keeps a decode made by decode() in place of the kept picture.
void keep(Decoded decoded);

// The kept picture when it is of this path, decoded with these options, and the file is
// unchanged since; otherwise a fresh decode. The caller owns the result; nothing stays kept.
// Throws PictureError.
std::unique_ptr<Picture> take(const QString& path, DecodeOptions options);

// The kept picture when it is of this path, decoded with these options, and the file is
// unchanged since, else nullptr.
const Picture* find(const QString& path, DecodeOptions options);

// Drops the kept picture.
void clear();

} // namespace LastDecodedPicture
