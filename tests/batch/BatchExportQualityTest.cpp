// The export writes each photo at its own JPEG quality and size limit, as Save As does, and
// names the photos that even quality 1 leaves over their limit.
#include "batch/BatchExport.h"
#include "formats/JpegSizeLimit.h"
#include "formats/JpegWriter.h"
#include "model/PhotoCore.h"
#include "model/ProgramFolder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <memory>

namespace {

TEST(BatchExport, EachPhotoIsWrittenAtItsQualityAndLimitAsSaveAsWritesIt)
{
    QFile::remove(settingsFilePath());
    const QString folder = freshFolder("export-quality");
    const QString source = folder + "/photo.bmp";
    ASSERT_TRUE(randomBitmap(300, 200, 8).save(source, "BMP"));
    const struct {
        int quality;
        int maxKB;
    } cases[] = {{100, 0}, {70, 0}, {95, 40}, {100, 1}, {5, kMaxFileKBLimit}};
    QList<TPhotoInfo*> photos;
    QStringList paths, saved, expectedOver;
    std::vector<std::unique_ptr<TPhotoInfo>> records;
    int k = 0;
    for (const auto& c : cases) {
        auto& info = records.emplace_back(std::make_unique<TPhotoInfo>(source));
        info->MaxSize = 9999;
        info->JpegQuality = c.quality;
        info->MaxFileKB = c.maxKB;
        PhotoCore window;
        window.SetPhotoInfo(info.get());
        saved << folder + QStringLiteral("/saved%1.jpg").arg(k);
        const FittedJpeg jpeg = window.SaveToFile(saved.last());
        const bool overLimit = c.maxKB > 0 && encodeJpeg(window.Bitmap(), 1).size() > qint64(c.maxKB) * 1024;
        EXPECT_EQ(jpeg.fits, !overLimit) << k;
        EXPECT_EQ(readFileBytes(saved.last()), jpeg.bytes) << k;
        if (c.maxKB == 0) {
            EXPECT_EQ(jpeg.bytes, encodeJpeg(window.Bitmap(), c.quality)) << k;
        } else if (jpeg.fits) {
            EXPECT_LE(jpeg.bytes.size(), qint64(c.maxKB) * 1024) << k;
        }
        if (overLimit)
            expectedOver << sizeLimitMissedMessage(source, jpeg.bytes.size(), c.maxKB);
        photos << info.get();
        paths << folder + QStringLiteral("/exported%1.jpg").arg(k++);
    }
    const ExportResult result = exportPhotos(photos, paths, {});
    ASSERT_EQ(result.written, paths);
    EXPECT_EQ(result.overLimit, expectedOver);
    for (qsizetype i = 0; i < paths.size(); ++i)
        EXPECT_EQ(readFileBytes(paths[i]), readFileBytes(saved[i])) << i;
}

} // namespace
