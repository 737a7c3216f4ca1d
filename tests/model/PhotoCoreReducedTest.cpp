// High-quality renders read a reduced copy of the source: the same pixels whether the photo
// core decoded the full source first (the window) or only what the render needs.
#include "formats/FormatRegistry.h"
#include "formats/JpegWriter.h"
#include "model/LastDecodedPicture.h"
#include "model/PhotoCore.h"
#include "model/ProgramFolder.h"
#include "render/Resample.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

// A picture with smooth areas and fine detail, so that a wrong reduction shows.
QImage detailedPicture(int w, int h)
{
    QImage image = randomBitmap(w, h, 9);
    for (int y = 0; y < h; ++y) {
        uint8_t* p = image.scanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            p[0] = uint8_t((p[0] / 8 + x * 200 / w) & 0xFF);
            p[1] = uint8_t(((x / 2 + y / 3) % 2) ? 230 : 20);
        }
    }
    return image;
}

QString writeSource(const QString& name, const QImage& image)
{
    const QString path = freshFolder("reduced-" + name) + "/" + name;
    if (name.endsWith(".jpg"))
        writeJpeg(image, path);
    else
        EXPECT_TRUE(image.convertToFormat(QImage::Format_RGB888).save(path, "PNG"));
    return path;
}

class PhotoCoreReduced : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(settingsFilePath());
        LastDecodedPicture::clear();
    }
};

// One record shown by a window's photo core and by a render-only one, each on its own copy.
struct BothCores {
    explicit BothCores(const TPhotoInfo& info) : windowInfo(info), renderInfo(info)
    {
        window.SetPhotoInfo(&windowInfo);
        renderOnly.SetRenderOnly(true);
        renderOnly.SetPhotoInfo(&renderInfo);
    }
    TPhotoInfo windowInfo;
    TPhotoInfo renderInfo;
    PhotoCore window;
    PhotoCore renderOnly;
};

struct ReducedCase {
    const char* file;
    int maxSize;
    TRect crop;
    int denominator;
};

TEST_F(PhotoCoreReduced, RenderOnlyUseGivesTheWindowsPixelsAndDecodesOnlyWhatItNeeds)
{
    const ReducedCase cases[] = {
        {"a.jpg", 200, {}, 4},
        {"a.jpg", 90, {}, 8},
        {"a.jpg", 200, {101, 37, 1303, 1011}, 2},
        {"a.jpg", 500, {}, 1},
        {"b.png", 120, {}, 4},
        {"b.png", 150, {3, 5, 997, 811}, 2},
    };
    const QImage picture = detailedPicture(1600, 1200);
    for (const ReducedCase& c : cases) {
        const QString path = writeSource(c.file, QString(c.file).endsWith(".png") ? picture.copy(0, 0, 1000, 900) : picture);
        TPhotoInfo info(path);
        info.Resample = true;
        info.MaxSize = c.maxSize;
        info.CropRect = c.crop;
        const BothCores both(info);
        const PhotoCore& window = both.window;
        const PhotoCore& renderOnly = both.renderOnly;

        ASSERT_FALSE(renderOnly.Bitmap().isNull()) << c.file << " " << renderOnly.Message().toStdString();
        EXPECT_EQ(bitmapDifference(window.Bitmap(), renderOnly.Bitmap()), "") << c.file << " at " << c.maxSize;
        EXPECT_EQ(renderOnly.ReducedSource().denominator, c.denominator) << c.file << " at " << c.maxSize;
        EXPECT_EQ(window.ReducedSource().denominator, c.denominator) << c.file << " at " << c.maxSize;
        const bool jpegServesIt = QString(c.file).endsWith(".jpg") && c.denominator > 1;
        EXPECT_EQ(renderOnly.SourceBitmap().isNull(), jpegServesIt) << c.file << " at " << c.maxSize;
        if (jpegServesIt) {
            // The JPEG's copy is libjpeg's DCT-scaled decode.
            const int d = c.denominator;
            const auto decoded = FormatRegistry::standard().loadReduced(path, [d](QSize) { return d; });
            EXPECT_EQ(bitmapDifference(decoded->image, window.ReducedSource().image), "") << c.file << " at " << c.maxSize;
        }
        EXPECT_FALSE(window.SourceBitmap().isNull());
        EXPECT_EQ(both.renderInfo.CropRect, both.windowInfo.CropRect);
    }
}

TEST_F(PhotoCoreReduced, TheCopyIsRemadeOnlyWhenTheReductionChanges)
{
    const QString path = writeSource("remade.png", detailedPicture(640, 480));
    TPhotoInfo info(path);
    info.Resample = true;
    info.MaxSize = 80; // 1/2 would leave 320: 1/4 still leaves 160, twice the output
    PhotoCore photo;
    photo.SetPhotoInfo(&info);
    ASSERT_EQ(photo.ReducedSource().denominator, 4);
    const uchar* made = photo.ReducedSource().image.constBits();

    info.Negative = true;
    info.Watermark = "Other";
    info.MaxSize = 70;
    photo.Render();
    EXPECT_EQ(photo.ReducedSource().image.constBits(), made) << "same reduction, same copy";

    info.MaxSize = 150;
    photo.Render();
    EXPECT_EQ(photo.ReducedSource().denominator, 2);
    EXPECT_EQ(photo.Bitmap().size(), QSize(150, 112));
}

TEST_F(PhotoCoreReduced, TurningHighQualityOffInRenderOnlyUseDecodesTheFullSource)
{
    const QString path = writeSource("off.jpg", detailedPicture(800, 600));
    TPhotoInfo info(path);
    info.Resample = true;
    info.MaxSize = 100;
    PhotoCore renderOnly;
    renderOnly.SetRenderOnly(true);
    renderOnly.SetPhotoInfo(&info);
    ASSERT_TRUE(renderOnly.SourceBitmap().isNull());

    info.Resample = false;
    renderOnly.Render();
    TPhotoInfo sampled = info;
    PhotoCore window;
    window.SetPhotoInfo(&sampled);
    EXPECT_FALSE(renderOnly.SourceBitmap().isNull());
    EXPECT_EQ(bitmapDifference(window.Bitmap(), renderOnly.Bitmap()), "");
}

TEST_F(PhotoCoreReduced, AnUnreadableSourceFailsTheSameInRenderOnlyUse)
{
    const QString folder = freshFolder("reduced-unreadable");
    const QString missing = folder + "/missing.jpg";
    const QString damaged = folder + "/damaged.jpg";
    writeFileBytes(damaged, QByteArray("\xFF\xD8\xFF\xE0 not really", 14));
    for (const QString& path : {missing, damaged}) {
        TPhotoInfo info(path);
        info.Resample = true;
        const BothCores both(info);
        const PhotoCore& window = both.window;
        const PhotoCore& renderOnly = both.renderOnly;
        ASSERT_NE(renderOnly.LoadError(), nullptr);
        ASSERT_NE(window.LoadError(), nullptr);
        EXPECT_EQ(renderOnly.LoadError()->message(), window.LoadError()->message());
        EXPECT_EQ(renderOnly.Message(), window.Message());
        EXPECT_TRUE(renderOnly.Bitmap().isNull());
    }
}

} // namespace
