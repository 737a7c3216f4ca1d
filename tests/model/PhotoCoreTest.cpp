#include "formats/FormatRegistry.h"
#include "model/LastDecodedPicture.h"
#include "model/PhotoCore.h"
#include "model/ProgramFolder.h"
#include "render/Compositing.h"
#include "render/Geometry.h"
#include "render/Tone.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

// Writes a 24-bit PNG source file with Qt's own writer.
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
    const QString out = freshFolder("core-nosave") + "/out.jpg";
    EXPECT_THROW(photo.SaveToFile(out), std::exception);
    EXPECT_FALSE(QFile::exists(out));
}

// A rendered bitmap wider than a JPEG file can hold fails its save as a write of that file.
TEST_F(PhotoCoreTest, ABitmapTooWideForJpegFailsItsSaveNamingTheFile)
{
    TPhotoInfo info(sourceFile("thin", solidBitmap(4000, 2, 1, 2, 3)));
    info.MaxSize = 65510;
    info.KeepSize = false;
    PhotoCore photo;
    photo.SetPhotoInfo(&info);
    ASSERT_EQ(photo.Bitmap().width(), 65510);
    const QString out = freshFolder("core-too-wide") + "/out.jpg";
    try {
        photo.SaveToFile(out);
        ADD_FAILURE() << "saved";
    } catch (const PictureError& e) {
        EXPECT_TRUE(e.message().startsWith("Unable to write to " + out + ": a JPEG file holds at most 65500 pixels"))
            << e.what();
    }
    EXPECT_FALSE(QFile::exists(out));
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
        info.CropRect = {-5, -5, 1000, 1000};
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
            EXPECT_EQ(info.CropRect, (TRect{0, 0, 400, 300})) << "clipped although a later step failed";
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
        const QImage thumbnail = info.CreateThumbnail(*loadPicture(info.FileName), 32, 32);
        ASSERT_EQ(thumbnail.size(), QSize(32, 32));
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                ASSERT_EQ(rgbAt(thumbnail, x, y), c.box.contains(x, y) ? 0xc80000u : 0xffffffu)
                    << c.image.width() << "x" << c.image.height() << " at " << x << "," << y;
    }
}

// Opening a photo decodes it once for its thumbnail and its view: a file that cannot be read
// fails there with the loader's line, the file named once; a picture without pixels fails
// at the thumbnail.
TEST_F(PhotoCoreTest, OpeningAnUnreadableSourceFailsNamingTheFile)
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
            const auto source = LastDecodedPicture::take(c.path, {});
            TPhotoInfo(c.path).CreateThumbnail(*source, 32, 32);
            ADD_FAILURE() << c.path.toStdString();
        } catch (const std::exception& e) {
            EXPECT_EQ(QString::fromUtf8(e.what()), "Cannot open " + c.path + ". " + c.reason);
        }
    }
    try {
        TPhotoInfo(folder + "/empty.png").CreateThumbnail(RasterPicture(QImage()), 32, 32);
        ADD_FAILURE() << "a thumbnail of nothing";
    } catch (const std::exception& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), "Cannot open " + folder + "/empty.png. The picture is empty.");
    }
}

TEST_F(PhotoCoreTest, PreviewDecodeServesTheOpenUnlessTheFileChanged)
{
    const QString path = sourceFile("cache", solidBitmap(20, 10, 1, 1, 1));
    LastDecodedPicture::keep(LastDecodedPicture::decode(path, {}));
    const Picture* previewed = LastDecodedPicture::find(path, {});
    ASSERT_NE(previewed, nullptr);
    EXPECT_EQ(LastDecodedPicture::take(path, {}).get(), previewed) << "decoded once for preview and open";
    EXPECT_EQ(LastDecodedPicture::find(path, {}), nullptr) << "taken, not kept";

    LastDecodedPicture::keep(LastDecodedPicture::decode(path, {}));
    ASSERT_TRUE(solidBitmap(30, 10, 2, 2, 2).convertToFormat(QImage::Format_RGB888).save(path, "PNG"));
    EXPECT_EQ(LastDecodedPicture::take(path, {})->width(), 30) << "a changed file is decoded afresh";
}

// A picture that counts how often it is turned into a bitmap (a metafile draws itself each time).
class CountingPicture final : public Picture {
public:
    explicit CountingPicture(int& conversions) : conversions_(conversions) {}
    int width() const override { return 40; }
    int height() const override { return 30; }
    void draw(QPainter&, const QRect&) const override {}
    QImage toImage() const override
    {
        ++conversions_;
        return solidBitmap(40, 30, 7, 8, 9).convertToFormat(QImage::Format_RGB32);
    }

private:
    int& conversions_;
};

TEST_F(PhotoCoreTest, TakenSourceIsConvertedOnceAndRenderedFromMemory)
{
    TPhotoInfo info("/nowhere/drawing.wmf");
    info.Watermark.clear();
    int conversions = 0;
    PhotoCore photo;
    photo.SetPhotoInfo(&info, std::make_unique<CountingPicture>(conversions));
    EXPECT_EQ(conversions, 1);
    photo.Render();
    photo.RotateClockwise();
    EXPECT_EQ(conversions, 1);
    EXPECT_EQ(photo.LoadError(), nullptr);
    ASSERT_EQ(photo.Bitmap().size(), QSize(30, 40));
    EXPECT_EQ(rgbAt(photo.Bitmap(), 5, 5), 0x070809u);
}

// A failed load shows the photo area's one line as before, and keeps the loader's line for the
// callers that report it; the next load that succeeds clears it.
TEST_F(PhotoCoreTest, LoadErrorsKeepTheLoadersLine)
{
    const QString folder = freshFolder("core-load-error");
    writeFileBytes(folder + "/broken.png", "not a png");
    const QString good = sourceFile("good", solidBitmap(20, 10, 1, 2, 3));
    const struct {
        const char* name;
        QString source;
        QString mask;
        QString sourceError; // empty: the source loads
        QString maskError;   // empty: the mask loads or is not asked for
    } cases[] = {
        {"missing source", "/nowhere/missing.jpg", "", "Cannot open /nowhere/missing.jpg. The file does not exist.", ""},
        {"broken source", folder + "/broken.png", "",
         "Cannot open " + folder + "/broken.png. The file is not a PNG picture.", ""},
        {"broken mask", good, folder + "/broken.png", "",
         "Cannot open " + folder + "/broken.png. The file is not a PNG picture."},
        {"mask without extension", good, folder + "/plain", "", ""},
        {"both fine", good, good, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPhotoInfo info(c.source);
        info.Mask = c.mask;
        PhotoCore photo;
        photo.SetPhotoInfo(&info);
        EXPECT_EQ(photo.LoadError() ? photo.LoadError()->message() : QString(), c.sourceError);
        EXPECT_EQ(photo.MaskLoadError() ? photo.MaskLoadError()->message() : QString(), c.maskError);
        EXPECT_EQ(photo.Message(), c.sourceError.isEmpty() ? QString() : c.source + " could not be read.");
        info.FileName = good;
        info.Mask.clear();
        photo.LoadSource();
        photo.LoadMask();
        EXPECT_EQ(photo.LoadError(), nullptr);
        EXPECT_EQ(photo.MaskLoadError(), nullptr);
    }
    TPhotoInfo info(folder + "/nothing.png");
    PhotoCore photo;
    photo.SetPhotoInfo(&info, std::make_unique<RasterPicture>(QImage()));
    ASSERT_NE(photo.LoadError(), nullptr);
    EXPECT_EQ(photo.LoadError()->message(), "Cannot open " + folder + "/nothing.png. The picture is empty.");
}

// The address space the process holds now, from /proc/self/status.
rlim_t addressSpaceInUse()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0)
            return rlim_t(std::stoull(line.substr(7))) * 1024;
    return 0;
}

// A memory allocation that fails, in the decode or in any step of the render, is the one
// error naming the size that did not fit, shown as the photo's line and never a crash. Each
// case runs in a child whose address space is capped a little above what it holds once the
// 6000 x 4000 source (72 MB) is decoded, so that no second bitmap of that size fits.
TEST_F(PhotoCoreTest, OutOfMemoryNamesTheSizeThatDidNotFit)
{
    if (!canCapAddressSpace())
        GTEST_SKIP() << "AddressSanitizer needs more address space than the cap allows";
    const QString large = sourceFile("large", solidBitmap(6000, 4000, 10, 20, 30));
    const struct {
        const char* name;
        bool decodeUnderCap;
        void (*set)(TPhotoInfo&);
        const char* message;
    } cases[] = {
        {"decode", true, [](TPhotoInfo&) {}, ""},
        {"resize", false,
         [](TPhotoInfo& i) {
             i.MaxSize = 20000;
             i.KeepSize = false;
         },
         "20000 \u00D7 13333"},
        {"rotate", false, [](TPhotoInfo& i) { i.Rotation = 90; }, "4000 \u00D7 6000"},
        {"color balance", false, [](TPhotoInfo& i) { i.Contrast = 20; }, "6000 \u00D7 4000"},
        {"filter", false, [](TPhotoInfo& i) { i.Optimize = true; }, "6000 \u00D7 4000"},
        {"watermark", false, [](TPhotoInfo& i) { i.Watermark = "Lumatrim"; }, "6000 \u00D7 4000"},
        {"mask", false, [](TPhotoInfo& i) { i.BorderWidth = 10; }, "6000 \u00D7 4000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildOutcome outcome = runInChild(
            [&] {
                TPhotoInfo info(large);
                info.MaxSize = 10000;
                info.Watermark.clear();
                c.set(info);
                std::unique_ptr<Picture> source;
                if (!c.decodeUnderCap)
                    source = std::make_unique<RasterPicture>(solidBitmap(6000, 4000, 10, 20, 30));
                const rlim_t cap = addressSpaceInUse() + (rlim_t(40) << 20);
                const rlimit limit{cap, cap};
                setrlimit(RLIMIT_AS, &limit);
                PhotoCore photo;
                photo.SetPhotoInfo(&info, std::move(source));
                const QString error = photo.LoadError() ? photo.LoadError()->message() : QString();
                std::printf("%s\n%s", qPrintable(error), qPrintable(photo.Message()));
                return photo.Bitmap().isNull() ? 0 : 1;
            },
            60);
        ASSERT_TRUE(outcome.exited) << outcome.describe();
        EXPECT_EQ(outcome.exitCode, 0) << "rendered although no memory was left";
        const QString picture = QStringLiteral("Not enough memory for a %1 picture").arg(QString::fromUtf8(c.message));
        const QString expected = c.decodeUnderCap
            ? "Cannot open " + large + ". Not enough memory for a 6000 \u00D7 4000 picture.\n" + large + " could not be read."
            : "\n" + picture;
        EXPECT_EQ(QString::fromUtf8(outcome.output), expected);
    }
}

} // namespace
