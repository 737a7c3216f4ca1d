#include "model/KeyValueFile.h"
#include "model/PhotoCore.h"
#include "render/Compositing.h"
#include "render/Geometry.h"
#include "render/Tone.h"

#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/FormatRegistry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImageReader>
#include <QProcess>

namespace {

struct RunResult {
    int exitCode;
    QString errors;
};

RunResult render(const QStringList& args)
{
    QProcess process;
    process.start(QString::fromUtf8(LUMATRIM_RENDER_EXE), args);
    process.waitForFinished(60000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError()).trimmed()};
}

QImage readPpm(const QString& path)
{
    QImageReader reader(path, "ppm");
    return reader.read().convertToFormat(QImage::Format_BGR888);
}

// The photo's pipeline called step by step in the test.
QImage stepByStep(const QImage& source, PhotoSettings info)
{
    QImage bitmap = source.convertToFormat(QImage::Format_BGR888);
    DoCrop(bitmap, info);
    DoResize(bitmap, info);
    DoRotate(bitmap, info);
    DoColorBalance(bitmap, info);
    if (info.Optimize)
        DoFilter(bitmap, OptimizeKernel);
    DoWatermark(bitmap, info);
    DoMask(bitmap, nullptr, info);
    return bitmap;
}

TEST(RenderTool, OutputEqualsTheStepsOneByOne)
{
    const QString folder = freshFolder("tool");
    const QImage source = randomBitmap(700, 500, 77);
    const QString sourcePath = folder + "/source.png";
    ASSERT_TRUE(source.convertToFormat(QImage::Format_RGB888).save(sourcePath, "PNG"));
    const QString settings = folder + "/settings.dat";
    KeyValueFile(settings).writeValues("BLOCK", {{"SIZE", "300"}, {"OPTIMIZE", "1"}, {"MARGIN", "5"},
                                                 {"COLOR", "clNavy"}, {"POSITION", "4"}, {"OPACITY", "0"}});

    const struct {
        QStringList options;
        std::function<void(PhotoSettings&)> apply;
    } cases[] = {
        {{}, [](PhotoSettings&) {}},
        {{"--crop", "50,60,650,400", "--rotation", "270"},
         [](PhotoSettings& s) { s.CropRect = {50, 60, 650, 400}; s.Rotation = 270; }},
        {{"--contrast", "40", "--brightness", "-10", "--red", "30", "--green", "-5", "--blue", "7", "--negative"},
         [](PhotoSettings& s) { s.Contrast = 40; s.Brightness = -10; s.Red = 30; s.Green = -5; s.Blue = 7; s.Negative = true; }},
        {{"--settings", settings, "--section", "BLOCK", "--grayscale"},
         [](PhotoSettings& s) {
             s.MaxSize = 300; s.Optimize = true; s.BorderWidth = 5; s.BackgroundColor = 0x800000;
             s.Position = 4; s.Opacity = 0; s.Grayscale = true;
         }},
    };
    for (const auto& c : cases) {
        const QString out = folder + "/out.ppm";
        const RunResult run = render(QStringList(c.options) << sourcePath << out);
        ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
        EXPECT_TRUE(run.errors.isEmpty());
        PhotoSettings expected;
        c.apply(expected);
        EXPECT_EQ(bitmapDifference(stepByStep(source, expected), readPpm(out)), "") << c.options.join(' ').toStdString();
    }
}

TEST(RenderTool, DecodeOnlyThumbnailAndOutputFormats)
{
    const QString folder = freshFolder("tool-modes");
    const QImage source = randomBitmap(90, 60, 5);
    const QString sourcePath = folder + "/source.png";
    ASSERT_TRUE(source.convertToFormat(QImage::Format_RGB888).save(sourcePath, "PNG"));

    ASSERT_EQ(render({"--decode-only", sourcePath, folder + "/d.ppm"}).exitCode, 0);
    EXPECT_EQ(bitmapDifference(source, readPpm(folder + "/d.ppm")), "");

    ASSERT_EQ(render({"--decode-only", sourcePath, folder + "/d.bmp"}).exitCode, 0);
    EXPECT_EQ(bitmapDifference(source, QImage(folder + "/d.bmp", "BMP").convertToFormat(QImage::Format_BGR888)), "");

    ASSERT_EQ(render({"--thumbnail", sourcePath, folder + "/t.ppm"}).exitCode, 0);
    EXPECT_EQ(readPpm(folder + "/t.ppm").size(), QSize(32, 32));

    ASSERT_EQ(render({sourcePath, folder + "/r.jpg"}).exitCode, 0);
    EXPECT_EQ(QImage(folder + "/r.jpg", "JPG").size(), QSize(90, 60));
}

TEST(RenderTool, ErrorsAreTheProgramsMessages)
{
    const QString folder = freshFolder("tool-errors");
    writeFileBytes(folder + "/photo.webp", "RIFF");
    writeFileBytes(folder + "/empty.png", "");
    const QImage tiny = solidBitmap(4, 4, 0, 0, 0);
    ASSERT_TRUE(tiny.convertToFormat(QImage::Format_RGB888).save(folder + "/ok.png", "PNG"));
    const struct {
        QStringList args;
        int exitCode;
        QString message; // the whole of standard error, or its start with a trailing "*"
    } cases[] = {
        {{folder + "/photo.webp", folder + "/o.ppm"}, 1,
         "Cannot open " + folder + "/photo.webp. Unknown picture file extension (.webp)."},
        {{folder + "/photo", folder + "/o.ppm"}, 1, "Cannot open " + folder + "/photo. Unknown picture file extension (.)."},
        {{folder + "/missing.png", folder + "/o.ppm"}, 1, "Cannot open " + folder + "/missing.png. The file does not exist."},
        {{folder + "/empty.png", folder + "/o.ppm"}, 1, "Cannot open " + folder + "/empty.png. The file is empty."},
        {{folder + "/ok.png", folder + "/nofolder/o.ppm"}, 1, "Unable to write to " + folder + "/nofolder/o.ppm"},
        {{folder + "/ok.png"}, 2, "lumatrim-render: needs SOURCE and OUTPUT*"},
        {{"--rotation", "45", folder + "/ok.png", folder + "/o.ppm"}, 2, "lumatrim-render: --rotation must be*"},
        {{folder + "/ok.png", folder + "/o.png"}, 2, "lumatrim-render: OUTPUT must end in*"},
    };
    for (const auto& c : cases) {
        const RunResult run = render(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        if (c.message.endsWith('*'))
            EXPECT_TRUE(run.errors.startsWith(c.message.chopped(1))) << run.errors.toStdString();
        else
            EXPECT_EQ(run.errors, c.message);
    }
}

// A file that cannot be opened gives on standard error exactly the line the program shows,
// whether the tool renders the photo or its thumbnail.
TEST(RenderTool, PrintsTheProgramsOneLineForFilesThatCannotBeOpened)
{
    const QString folder = freshFolder("tool-damaged");
    QDir(folder).mkpath("album.jpg");
    writeFileBytes(folder + "/note.tif", "not a picture");
    const QStringList sources = {
        testDataDir() + "/corrupt/jpg/truncated-scan.jpg",
        testDataDir() + "/corrupt/png/bad-ihdr-crc.png",
        testDataDir() + "/corrupt/gif/truncated-image.gif",
        testDataDir() + "/corrupt/sgi/bad_magic.sgi",
        folder + "/note.tif",
        folder + "/album.jpg",
        folder + "/gone.png",
    };
    for (const QString& source : sources) {
        const QString expected = QString::fromStdString(decodeFailure([&] { loadPicture(source); }));
        ASSERT_TRUE(expected.startsWith("Cannot open " + source + ". ")) << expected.toStdString();
        for (const QStringList& mode : {QStringList{}, QStringList{"--thumbnail"}}) {
            const RunResult run = render(QStringList(mode) << source << folder + "/o.ppm");
            EXPECT_EQ(run.exitCode, 1) << source.toStdString();
            EXPECT_EQ(run.errors, expected) << mode.join(' ').toStdString();
        }
    }
}

} // namespace
