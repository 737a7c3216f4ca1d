#include "LastDecodedPicture.h"

#include "formats/FormatRegistry.h"

#include <QFileInfo>

namespace LastDecodedPicture {

namespace {

Decoded& kept()
{
    static Decoded entry;
    return entry;
}

bool isKept(const FileStamp& stamp, DecodeOptions options)
{
    return kept().picture && kept().stamp == stamp && kept().options == options;
}

} // namespace

FileStamp FileStamp::of(const QString& path)
{
    const QFileInfo info(path);
    return FileStamp{path, info.exists() ? info.size() : -1, info.lastModified()};
}

bool FileStamp::operator==(const FileStamp& other) const
{
    return size >= 0 && path == other.path && size == other.size && modified == other.modified;
}

Decoded decode(const QString& path, DecodeOptions options)
{
    // Stamped first: a file that changes while it is decoded no longer matches the stamp.
    FileStamp stamp = FileStamp::of(path);
    return Decoded{std::move(stamp), loadPicture(path, options), options};
}

std::unique_ptr<Picture> take(const QString& path, DecodeOptions options)
{
    Decoded& entry = kept();
    if (isKept(FileStamp::of(path), options)) {
        entry.stamp = FileStamp{};
        return std::move(entry.picture);
    }
    clear();
    return decode(path, options).picture;
}

void keep(Decoded decoded)
{
    kept() = std::move(decoded);
}

const Picture* find(const QString& path, DecodeOptions options)
{
    return isKept(FileStamp::of(path), options) ? kept().picture.get() : nullptr;
}

void clear()
{
    kept().picture.reset();
    kept().stamp = FileStamp{};
}

} // namespace LastDecodedPicture
