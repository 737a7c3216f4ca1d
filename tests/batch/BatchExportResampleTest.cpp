// The export writes what Save As writes for the same photo, byte for byte, in either mode.
#include "batch/BatchExport.h"
#include "formats/JpegWriter.h"
#include "model/PhotoCore.h"
#include "model/ProgramFolder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

TEST(BatchExport, WritesWhatSaveAsWritesWithOrWithoutHighQualityScaling)
{
    QFile::remove(settingsFilePath());
    const QString folder = freshFolder("export-resample");
    const QImage picture = randomBitmap(1000, 760, 4);
    const QString jpeg = folder + "/photo.jpg";
    writeJpeg(picture, jpeg);
    const QString png = folder + "/photo.png";
    ASSERT_TRUE(picture.convertToFormat(QImage::Format_RGB888).save(png, "PNG"));
    const struct {
        QString source;
        bool resample;
        int maxSize;
        TRect crop;
    } cases[] = {
        {jpeg, true, 120, {}}, {jpeg, true, 200, {11, 3, 905, 700}}, {jpeg, false, 120, {}},
        {png, true, 120, {}},  {png, true, 90, {1, 2, 999, 759}},     {jpeg, true, 1400, {}},
    };
    int k = 0;
    for (const auto& c : cases) {
        TPhotoInfo info(c.source);
        info.Resample = c.resample;
        info.MaxSize = c.maxSize;
        info.KeepSize = false;
        info.CropRect = c.crop;
        info.Rotation = 270;
        PhotoCore window;
        window.SetPhotoInfo(&info);
        const QString saved = folder + QStringLiteral("/saved%1.jpg").arg(k);
        window.SaveToFile(saved);

        TPhotoInfo exported = info;
        const QString written = folder + QStringLiteral("/exported%1.jpg").arg(k++);
        const ExportResult result = exportPhotos({&exported}, {written}, {});
        ASSERT_EQ(result.written, QStringList{written}) << result.unreadable.join(' ').toStdString();
        EXPECT_EQ(readFileBytes(written), readFileBytes(saved))
            << c.source.toStdString() << " at " << c.maxSize << (c.resample ? " filtered" : " sampled");
    }
}

} // namespace
