// The export writes each photo at its own JPEG quality and size limit, byte for byte as
// Save As does, and names the photos that even quality 1 leaves over their limit.
#include "batch/BatchExport.h"
#include "formats/JpegSizeLimit.h"
#include "formats/JpegWriter.h"
#include "model/PhotoCore.h"
#include "model/ProgramFolder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <deque>

namespace {

TEST(BatchExport, EachPhotoIsWrittenAtItsQualityAndLimitAsSaveAsWritesIt)
{
    QFile::remove(settingsFilePath());
    const QString folder = freshFolder("export-quality");
    const QString source = folder + "/photo.bmp";
    ASSERT_TRUE(randomBitmap(300, 200, 8).save(source, "BMP"));
    const std::pair<int, int> cases[] = {{100, 0}, {70, 0}, {95, 40}, {100, 1}, {5, kMaxFileKBLimit}};
    std::deque<TPhotoInfo> records;
    QList<TPhotoInfo*> photos;
    QStringList paths, saved, overLimit;
    for (const auto& [quality, maxKB] : cases) {
        TPhotoInfo& info = records.emplace_back(source);
        info.MaxSize = 9999;
        info.JpegQuality = quality;
        info.MaxFileKB = maxKB;
        PhotoCore window;
        window.SetPhotoInfo(&info);
        saved << folder + QStringLiteral("/saved%1.jpg").arg(saved.size());
        const FittedJpeg jpeg = window.SaveToFile(saved.last());
        EXPECT_EQ(jpeg.bytes, maxKB ? encodeJpegWithin(window.Bitmap(), quality, maxKB * 1024)->bytes
                                    : encodeJpeg(window.Bitmap(), quality));
        if (!jpeg.fits)
            overLimit << sizeLimitMissedMessage(source, jpeg.bytes.size(), maxKB);
        photos << &info;
        paths << folder + QStringLiteral("/exported%1.jpg").arg(paths.size());
    }
    const ExportResult result = exportPhotos(photos, paths, {});
    ASSERT_EQ(result.written, paths);
    EXPECT_EQ(result.overLimit.size(), 1); // the 1 KB limit
    EXPECT_EQ(result.overLimit, overLimit);
    for (qsizetype i = 0; i < paths.size(); ++i)
        EXPECT_EQ(readFileBytes(paths[i]), readFileBytes(saved[i])) << i;
}

} // namespace
