#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>
#include <optional>

// A file size limit is given in kilobytes of 1,024 bytes.
inline constexpr qint64 kBytesPerKilobyte = 1024;
// The most compressions a search for the quality under a size limit makes.
inline constexpr int kMaxJpegSearchEncodes = 7;

// A bitmap compressed to fit a size limit: the stream to write, the quality it was
// compressed at, and whether it fits (false only when even quality 1 is over the limit; the
// stream is then the one of quality 1).
struct FittedJpeg {
    QByteArray bytes;
    int quality = 0;
    bool fits = true;
    int encodes = 0; // compressions the search made
};

// The highest quality q <= quality (clamped to 1..100) whose JPEG stream (encodeJpeg) is at
// most maxBytes long, found by bisection over in-memory compressions, at most
// kMaxJpegSearchEncodes of them. The split of each step leans to the high side as far as the
// bound allows, so a photo whose own quality fits costs at most three compressions. The
// result q was compressed and fitted, and q + 1 was compressed and did not, unless q is the
// photo's own quality (the same holds when the size is not monotonic in the quality, which
// happens by a few bytes near the boundary). maxBytes <= 0 means no limit: one compression at
// quality. stop() runs before each compression; when it says true the search gives nothing.
// Throws what encodeJpeg throws.
std::optional<FittedJpeg> encodeJpegWithin(const QImage& bitmap, int quality, qint64 maxBytes,
                                           const std::function<bool()>& stop = {});

// What the user is told when a photo was written at quality 1 and is still over the limit.
QString sizeLimitMissedMessage(const QString& photo, qint64 bytes, int limitKilobytes);

// "About 212 KB": a file size in kilobytes, rounded to the nearest (at least 1).
QString approximateFileSize(qint64 bytes);
