#include "BatchExport.h"

#include "model/PhotoCore.h"

ExportResult exportPhotos(const QList<TPhotoInfo*>& photos, const QString& folder, const NamePattern& pattern,
                          int start, const std::function<void(int done, int total)>& progress)
{
    ExportResult result;
    PhotoCore photo;
    int number = start;
    const int total = int(photos.size());
    for (int k = 0; k < total; ++k) {
        TPhotoInfo* info = photos[k];
        // The previous photo's pictures go before the next source is decoded.
        photo.SetPhotoInfo(nullptr);
        photo.SetPhotoInfo(info);
        const QString path = folder + QLatin1Char('/') + exportFileName(pattern, info->FileName, number++);
        if (photo.Bitmap().isNull() || photo.Bitmap().width() <= 0 || photo.Bitmap().height() <= 0) {
            // Nothing was decoded: an empty file under the photo's name would hide that.
            result.unreadable << info->FileName;
        } else {
            photo.SaveToFile(path);
            result.written << path;
        }
        if (progress)
            progress(k + 1, total);
    }
    return result;
}
