#include "model/LastDecodedPicture.h"
#include "model/PhotoCore.h"
#include "model/ProgramFolder.h"
#include "render/Compositing.h"
#include "render/Geometry.h"
#include "render/Tone.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>

namespace {

// Writes a 24-bit BMP source file with Qt's own writer.
QString sourceFile(const QString& name, const QImage& image)
{
    const QString path = freshFolder("core-" + name) + "/" + name + ".png";
    EXPECT_TRUE(image.convertToFormat(QImage::Format_RGB888).save(path, "PNG"));
    return path;
}

class PhotoCoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(settingsFilePath());
        LastDecodedPicture::clear();
    }
};

TEST_F(PhotoCoreTest, NewObjectIsEmptyAtFullZoom)
{
    PhotoCore photo;
    EXPECT_EQ(photo.Zoom(), 100);
    EXPECT_TRUE(photo.Bitmap().isNull());
    EXPECT_EQ(photo.DisplaySize(), QSize(0, 0));
    EXPECT_EQ(photo.Info(), nullptr);
    EXPECT_EQ(photo.Source(), nullptr);
}

TEST_F(PhotoCoreTest, ZoomScalesTheDisplaySizeTruncating)
{
    TPhotoInfo info(sourceFile("zoom", solidBitmap(601, 400, 1, 2, 3)));
    info.Watermark.clear();
    info.MaxSize = 1000;
    PhotoCore photo;
    photo.SetPhotoInfo(&info);
    QSignalSpy changes(&photo, &PhotoCore::OnChange);
    const struct {
        int zoom;
        QSize size;
    } cases[] = {{50, {300, 200}}, {33, {198, 132}}, {100, {601, 400}}, {200, {1202, 800}}, {25, {150, 100}}};
    for (const auto& c : cases) {
        photo.SetZoom(c.zoom);
        EXPECT_EQ(photo.DisplaySize(), c.size) << c.zoom;
    }
    EXPECT_EQ(changes.size(), 5);
    EXPECT_EQ(changes.first().first().value<QObject*>(), &photo);
}

TEST_F(PhotoCoreTest, RotationsTurnByQuarters)
{
    TPhotoInfo info(sourceFile("rotate", solidBitmap(40, 20, 9, 9, 9)));
    PhotoCore photo;
    photo.SetPhotoInfo(&info);
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        photo.RotateClockwise();
        seen.push_back(info.Rotation);
    }
    EXPECT_EQ(seen, (std::vector<int>{270, 180, 90, 0}));
    photo.RotateCounterclockwise();
    EXPECT_EQ(info.Rotation, 90);
    EXPECT_EQ(photo.Bitmap().size(), QSize(20, 40));
}

TEST_F(PhotoCoreTest, MissingSourceRendersEmptyWithOneNotification)
{
    TPhotoInfo info("/nowhere/missing.jpg");
    PhotoCore photo;
    photo.SetZoom(100);
    QSignalSpy changes(&photo, &PhotoCore::OnChange);
    photo.SetPhotoInfo(&info);
    EXPECT_EQ(changes.size(), 1);
    EXPECT_EQ(photo.Source(), nullptr);
    EXPECT_TRUE(photo.Bitmap().isNull());
    EXPECT_EQ(photo.DisplaySize(), QSize(0, 0));
    EXPECT_THROW(photo.SaveToFile(freshFolder("core-nosave") + "/out.jpg"), std::exception);
    EXPECT_FALSE(QFile::exists(freshFolder("core-nosave") + "/out.jpg"));
}

// Without a rendered bitmap the core says why, in the one line the photo area shows and a
// save reports; the next render that succeeds clears it.
TEST_F(PhotoCoreTest, PhotoWithoutBitmapSaysWhy)
{
    const QString folder = freshFolder("core-message");
    const QString vanishing = sourceFile("vanishing", solidBitmap(40, 30, 1, 2, 3));
    const QString kept = sourceFile("kept", solidBitmap(400, 300, 1, 2, 3));
    const struct {
        const char* name;
        QString file;
        int maxSize;
        bool keepSize;
        QString message;
    } cases[] = {
        {"source gone", vanishing, 600, true, vanishing + " could not be read."},
        {"over the side limit", kept, 60000, false,
         "The photo is too large to render at 60000 x 45000 pixels (at most 65535 pixels a side and 400 megapixels)."},
        {"over the area limit", kept, 30000, false,
         "The photo is too large to render at 30000 x 22500 pixels (at most 65535 pixels a side and 400 megapixels)."},
        {"negative size", kept, -5, false, "The photo has no pixels at a maximum size of -5."},
        {"size 0 even when kept", kept, 0, true, "The photo has no pixels at a maximum size of 0."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPhotoInfo info(c.file);
        info.MaxSize = c.maxSize;
        info.KeepSize = c.keepSize;
        PhotoCore photo;
        photo.SetPhotoInfo(&info);
        if (c.file == vanishing) {
            ASSERT_TRUE(photo.Message().isEmpty());
            ASSERT_TRUE(QFile::remove(vanishing));
            photo.LoadSource();
            photo.Render();
        }
        EXPECT_EQ(photo.Message(), c.message);
        EXPECT_TRUE(photo.Bitmap().isNull());
        EXPECT_EQ(photo.DisplaySize(), QSize(0, 0));
        const QString out = folder + "/" + c.name + ".jpg";
        try {
            photo.SaveToFile(out);
            ADD_FAILURE() << "saved";
        } catch (const std::exception& e) {
            EXPECT_EQ(QString::fromUtf8(e.what()), c.message);
        }
        EXPECT_FALSE(QFile::exists(out));

        if (c.file == kept) {
            info.MaxSize = 300;
            photo.Render();
            EXPECT_TRUE(photo.Message().isEmpty());
            EXPECT_EQ(photo.Bitmap().size(), QSize(300, 225));
        }
        photo.SetPhotoInfo(nullptr);
        EXPECT_TRUE(photo.Message().isEmpty());
    }
}

TEST_F(PhotoCoreTest, MaskWithoutExtensionOrUnreadableGivesNoMaskPicture)
{
    const QString folder = freshFolder("core-mask");
    writeFileBytes(folder + "/broken.png", "not a png");
    TPhotoInfo info(sourceFile("mask", solidBitmap(50, 40, 10, 20, 30)));
    info.Watermark.clear();
    for (const QString& mask : {folder, folder + "/noextension", folder + "/broken.png"}) {
        info.Mask = mask;
        info.BorderWidth = 0;
        PhotoCore photo;
        photo.SetPhotoInfo(&info);
        EXPECT_EQ(photo.MaskPicture(), nullptr) << mask.toStdString();
        ASSERT_EQ(photo.Bitmap().size(), QSize(50, 40));
        EXPECT_EQ(rgbAt(photo.Bitmap(), 25, 20), 0x0a141eu) << "the photo is unchanged";
    }
}

TEST_F(PhotoCoreTest, RenderEqualsTheStepsOneByOne)
{
    const QImage source = randomBitmap(300, 200, 42);
    TPhotoInfo info(sourceFile("pipeline", source));
    info.CropRect = {10, 20, 250, 190};
    info.MaxSize = 120;
    info.Rotation = 90;
    info.Contrast = 30;
    info.Red = -20;
    info.Grayscale = true;
    info.Optimize = true;
    info.BorderWidth = 7;
    info.BackgroundColor = 0x00336699;
    PhotoCore photo;
    photo.SetPhotoInfo(&info);

    PhotoSettings steps = info;
    QImage expected = source.convertToFormat(QImage::Format_BGR888);
    DoCrop(expected, steps);
    DoResize(expected, steps);
    DoRotate(expected, steps);
    DoColorBalance(expected, steps);
    DoFilter(expected, OptimizeKernel);
    DoWatermark(expected, steps);
    DoMask(expected, nullptr, steps);
    EXPECT_EQ(bitmapDifference(expected, photo.Bitmap()), "");
    EXPECT_EQ(info.CropRect, (TRect{10, 20, 250, 190}));
}

TEST_F(PhotoCoreTest, SettingChangesRenderFromMemory)
{
    const QString path = sourceFile("memory", randomBitmap(64, 48, 3));
    TPhotoInfo info(path);
    PhotoCore photo;
    photo.SetPhotoInfo(&info);
    const uchar* decoded = photo.SourceBitmap().constBits();
    ASSERT_TRUE(QFile::remove(path));
    info.Negative = true;
    photo.Render();
    EXPECT_EQ(photo.SourceBitmap().constBits(), decoded);
    EXPECT_EQ(photo.Bitmap().size(), QSize(64, 48));
    EXPECT_NE(photo.Bitmap().constBits(), decoded) << "the render never writes into the source";
}

TEST_F(PhotoCoreTest, ThumbnailStretchesIntoTheCentredBox)
{
    const struct {
        QSize image;
        QRect box; // left, top, right (exclusive), bottom (exclusive)
    } cases[] = {
        {{100, 400}, QRect(QPoint(12, 0), QPoint(19, 31))},
        {{300, 200}, QRect(QPoint(0, 5), QPoint(31, 25))},
        {{32, 32}, QRect(0, 0, 32, 32)},
        {{5, 3}, QRect(QPoint(0, 6), QPoint(31, 24))},
    };
    for (const auto& c : cases) {
        const TPhotoInfo info(sourceFile("thumb", solidBitmap(c.image.width(), c.image.height(), 200, 0, 0)));
        const QImage thumbnail = info.CreateThumbnail(32, 32);
        ASSERT_EQ(thumbnail.size(), QSize(32, 32));
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                ASSERT_EQ(rgbAt(thumbnail, x, y), c.box.contains(x, y) ? 0xc80000u : 0xffffffu)
                    << c.image.width() << "x" << c.image.height() << " at " << x << "," << y;
    }
}

TEST_F(PhotoCoreTest, ThumbnailOfUnreadableSourceFailsNamingTheFile)
{
    const QString folder = freshFolder("core-badthumb");
    writeFileBytes(folder + "/bad.png", "BM");
    const struct {
        QString path;
        QString reason;
    } cases[] = {
        {folder + "/bad.png", "The file is not a PNG picture."},
        {folder + "/missing.png", "The file does not exist."},
        {folder + "/photo.txt", "Unknown picture file extension (.txt)."},
    };
    for (const auto& c : cases) {
        try {
            TPhotoInfo(c.path).CreateThumbnail(32, 32);
            ADD_FAILURE() << c.path.toStdString();
        } catch (const std::exception& e) {
            // The loader's line as it is: the file named once, not wrapped a second time.
            EXPECT_EQ(QString::fromUtf8(e.what()), "Cannot open " + c.path + ". " + c.reason);
        }
    }
}

TEST_F(PhotoCoreTest, ThumbnailDecodeServesTheNextLoadUnlessTheFileChanged)
{
    const QString path = sourceFile("cache", solidBitmap(20, 10, 1, 1, 1));
    const Picture* thumbnailPicture = &LastDecodedPicture::load(path);
    auto taken = LastDecodedPicture::take(path);
    EXPECT_EQ(taken.get(), thumbnailPicture) << "decoded once for thumbnail and view";

    LastDecodedPicture::load(path);
    ASSERT_TRUE(solidBitmap(30, 10, 2, 2, 2).convertToFormat(QImage::Format_RGB888).save(path, "PNG"));
    EXPECT_EQ(LastDecodedPicture::take(path)->width(), 30) << "a changed file is decoded afresh";
}

} // namespace
