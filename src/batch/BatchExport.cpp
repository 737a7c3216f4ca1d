#include "BatchExport.h"

#include "model/PhotoCore.h"

#include <stdexcept>

namespace {

// Refuses, before anything is written, an export that would replace a photo's own source.
void checkNoSourceIsWrittenOver(const QList<TPhotoInfo*>& photos, const QStringList& paths)
{
    QStringList sources;
    for (const TPhotoInfo* info : photos)
        sources << info->FileName;
    const QStringList replaced = sourcesWrittenOver(paths, sources);
    if (!replaced.isEmpty())
        throw std::runtime_error(QStringLiteral("The export would write over the original photo(s):\n%1\n"
                                                "Add a prefix or a suffix, or choose another folder.")
                                     .arg(replaced.join(QLatin1Char('\n')))
                                     .toStdString());
}

} // namespace

ExportResult exportPhotos(const QList<TPhotoInfo*>& photos, const QStringList& paths,
                          const std::function<void(int done, int total)>& progress)
{
    if (paths.size() != photos.size())
        throw std::invalid_argument("exportPhotos needs one path per photo");
    checkNoSourceIsWrittenOver(photos, paths);
    ExportResult result;
    PhotoCore photo;
    // The export needs only the rendered photos, which read the same source pixels as the
    // window's (see PhotoCore::SetRenderOnly).
    photo.SetRenderOnly(true);
    const int total = int(photos.size());
    for (int k = 0; k < total; ++k) {
        TPhotoInfo* info = photos[k];
        // The previous photo's pictures go before the next source is decoded.
        photo.SetPhotoInfo(nullptr);
        photo.SetPhotoInfo(info);
        const QString& path = paths[k];
        if (const PictureError* error = photo.LoadError()) {
            // Nothing was decoded: an empty file under the photo's name would hide that.
            result.unreadable << error->message();
        } else if (photo.Bitmap().isNull() || photo.Bitmap().width() <= 0 || photo.Bitmap().height() <= 0) {
            result.unreadable << QStringLiteral("%1: %2").arg(info->FileName, photo.Message());
        } else {
            if (const FittedJpeg jpeg = photo.SaveToFile(path); !jpeg.fits)
                result.overLimit << sizeLimitMissedMessage(info->FileName, jpeg.bytes.size(), info->MaxFileKB);
            result.written << path;
        }
        if (progress)
            progress(k + 1, total);
    }
    return result;
}
