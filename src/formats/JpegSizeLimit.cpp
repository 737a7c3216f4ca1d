#include "JpegSizeLimit.h"

#include "JpegWriter.h"

#include <algorithm>

std::optional<FittedJpeg> encodeJpegWithin(const QImage& bitmap, int quality, qint64 maxBytes,
                                           const std::function<bool()>& stop)
{
    const int top = std::clamp(quality, kJpegQualityMin, kJpegQualityMax);
    FittedJpeg result;
    if (maxBytes <= 0) {
        if (stop && stop())
            return std::nullopt;
        result.bytes = encodeJpeg(bitmap, top);
        result.quality = top;
        result.encodes = 1;
        return result;
    }

    // The answer lies in lo..hi, 0 standing for "not even quality 1 fits". lo fitted (or is
    // 0) and hi + 1 did not fit (or is above the photo's quality). Each compression at q
    // leaves q..hi or lo..q-1; with `left` compressions to go, both parts must hold at most
    // 2^(left-1) answers, which q = lo + 2^(left-1) (at most hi) meets while the range holds
    // at most 2^left: 101 answers within 7.
    int lo = 0;
    int hi = top;
    int left = kMaxJpegSearchEncodes;
    QByteArray fitting;
    QByteArray atQualityOne;
    while (lo < hi) {
        if (stop && stop())
            return std::nullopt;
        const int q = std::min(hi, lo + (1 << (left - 1)));
        QByteArray bytes = encodeJpeg(bitmap, q);
        --left;
        ++result.encodes;
        if (bytes.size() <= maxBytes) {
            lo = q;
            fitting = std::move(bytes);
        } else {
            hi = q - 1;
            if (q == kJpegQualityMin)
                atQualityOne = std::move(bytes);
        }
    }
    if (lo == 0) {
        result.bytes = std::move(atQualityOne);
        result.quality = kJpegQualityMin;
        result.fits = false;
    } else {
        result.bytes = std::move(fitting);
        result.quality = lo;
    }
    return result;
}

QString sizeLimitMissedMessage(const QString& photo, qint64 bytes, int limitKilobytes)
{
    return QStringLiteral("%1 is %2 KB even at the lowest JPEG quality, over the limit of %3 KB; "
                          "it was written at quality 1.")
        .arg(photo)
        .arg((bytes + kBytesPerKilobyte - 1) / kBytesPerKilobyte)
        .arg(limitKilobytes);
}

QString approximateFileSize(qint64 bytes)
{
    const qint64 kilobytes = std::max<qint64>(1, (bytes + kBytesPerKilobyte / 2) / kBytesPerKilobyte);
    return QStringLiteral("About %1 KB").arg(kilobytes);
}
