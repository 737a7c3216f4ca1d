#include "formats/ImageConversion.h"
#include "model/ProgramFolder.h"
#include "model/KeyValueFile.h"
#include "model/PhotoCore.h"
#include "render/Compositing.h"
#include "render/Geometry.h"
#include "render/Tone.h"

#include "DecoderChecks.h"
#include "FileSizeLimit.h"
#include "TestSupport.h"

#include "formats/FormatRegistry.h"
#include "formats/JpegWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QProcess>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

struct RunResult {
    int exitCode;
    QString errors;
    QString output;
};

// Runs the tool as a child process, which is ended when it takes more than a minute; with
// addressSpace set, the child cannot map more than that many bytes.
RunResult render(const QStringList& args, rlim_t addressSpace = 0)
{
    QProcess process;
    if (addressSpace) {
        process.setChildProcessModifier([addressSpace] {
            const rlimit limit{addressSpace, addressSpace};
            setrlimit(RLIMIT_AS, &limit);
        });
    }
    process.start(QString::fromUtf8(LUMATRIM_RENDER_EXE), args);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {-1, QStringLiteral("(no end within a minute)"), {}};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError()).trimmed(),
            QString::fromUtf8(process.readAllStandardOutput())};
}

// A settings file whose [PHOTO] block holds only these keys.
QString photoSettings(const QString& folder, const QString& name, const QList<QPair<QString, QString>>& values)
{
    const QString path = folder + "/" + name + ".dat";
    KeyValueFile(path).writeValues("PHOTO", values);
    return path;
}

// A 400 x 300 PNG photo of one color in the folder.
QString smallPhoto(const QString& folder)
{
    const QString photo = folder + "/photo.png";
    EXPECT_TRUE(solidBitmap(400, 300, 1, 2, 3).convertToFormat(QImage::Format_RGB888).save(photo, "PNG"));
    return photo;
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

// High-quality renders: the tool decodes only what the render needs, the window decodes the
// full source and keeps a reduced copy beside it; both give the same pixels.
TEST(RenderTool, HighQualityOutputIsTheWindowsPhoto)
{
    const QString folder = freshFolder("tool-resample");
    const QImage picture = randomBitmap(1200, 900, 31);
    const QString jpeg = folder + "/photo.jpg";
    writeJpeg(picture, jpeg);
    const QString png = folder + "/photo.png";
    ASSERT_TRUE(picture.copy(0, 0, 700, 500).convertToFormat(QImage::Format_RGB888).save(png, "PNG"));
    const struct {
        QString source;
        const char* size;
        QStringList options;
        TRect crop;
    } cases[] = {
        {jpeg, "150", {}, {}},
        {jpeg, "100", {"--crop", "33,17,1111,850", "--rotation", "90"}, {33, 17, 1111, 850}},
        {jpeg, "1000", {}, {}},
        {png, "160", {}, {}},
        {png, "100", {"--crop", "5,9,601,477"}, {5, 9, 601, 477}},
    };
    for (const auto& c : cases) {
        const QString settings =
            photoSettings(folder, QStringLiteral("hq%1").arg(c.size), {{"SIZE", c.size}, {"RESAMPLE", "1"}, {"OPTIMIZE", "1"}});
        const QString out = folder + "/out.ppm";
        const RunResult run = render(QStringList{"--settings", settings} << c.options << c.source << out);
        ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
        TPhotoInfo info(c.source);
        info.LoadSettings(settings, "PHOTO");
        info.CropRect = c.crop;
        info.Rotation = c.options.contains("--rotation") ? 90 : 0;
        ASSERT_TRUE(info.Resample);
        PhotoCore window;
        window.SetPhotoInfo(&info);
        EXPECT_EQ(bitmapDifference(window.Bitmap(), readPpm(out)), "") << c.source.toStdString() << " at " << c.size;
    }
}

// A JPEG output is the program's Save As of the photo: its quality and its size limit.
TEST(RenderTool, JpegOutputIsWrittenAtTheSettingsQualityAndLimit)
{
    const QString folder = freshFolder("tool-quality");
    const QString source = folder + "/photo.bmp";
    ASSERT_TRUE(randomBitmap(240, 160, 12).save(source, "BMP"));
    for (const auto& [quality, maxKB] : {std::pair{"55", "0"}, {"90", "30"}, {"80", "1"}}) {
        const QString settings = photoSettings(folder, "q", {{"SIZE", "9999"}, {"QUALITY", quality}, {"MAXKB", maxKB}});
        ASSERT_EQ(render({"--settings", settings, source, folder + "/out.jpg"}).exitCode, 0);
        TPhotoInfo info(source);
        info.LoadSettings(settings, "PHOTO");
        PhotoCore window;
        window.SetPhotoInfo(&info);
        EXPECT_EQ(readFileBytes(folder + "/out.jpg"), PhotoCore::EncodeJpeg(window.Bitmap(), info)->bytes) << quality;
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

TEST(RenderTool, TurnsPhotosAsTheProgramFolderChoosesUnlessToldToKeepThemAsStored)
{
    const QString folder = freshFolder("tool-orientation");
    const QImage stored = randomBitmap(40, 24, 9);
    // Recorded as mirrored along the other diagonal: 24 x 40 upright.
    const QString source = writeJpegWithOrientation(folder + "/turned.jpg", stored, 7);
    const QImage decoded = loadBitmap(source); // the program's own upright decode
    ASSERT_EQ(decoded.size(), QSize(24, 40));
    const QImage asStored = toBgr888(loadPicture(source, DecodeOptions{.upright = false})->toImage());
    const struct {
        const char* settings; // lumatrim.dat of the program folder; nullptr: none
        bool storedOption;
        QImage expected;
    } cases[] = {
        {nullptr, false, decoded},
        {nullptr, true, asStored},
        {"[OPTIONS]\nORIENTATION=0\n", false, asStored},
        {"[OPTIONS]\nORIENTATION=1\n", true, asStored},
        {"[OPTIONS]\nORIENTATION=1\n", false, decoded},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.settings ? c.settings : "no settings file") + (c.storedOption ? " --stored-orientation" : ""));
        QFile::remove(settingsFilePath());
        if (c.settings)
            writeFileBytes(settingsFilePath(), c.settings);
        QStringList args = {"--decode-only", source, folder + "/d.ppm"};
        if (c.storedOption)
            args.prepend("--stored-orientation");
        ASSERT_EQ(render(args).exitCode, 0);
        EXPECT_EQ(bitmapDifference(c.expected, readPpm(folder + "/d.ppm")), "");
        // The thumbnail is drawn from the same decode.
        args[args.size() - 1] = folder + "/t.ppm";
        args.insert(args.indexOf("--decode-only"), "--thumbnail");
        args.removeOne("--decode-only");
        ASSERT_EQ(render(args).exitCode, 0);
        TPhotoInfo info(source);
        EXPECT_EQ(bitmapDifference(info.CreateThumbnail(RasterPicture(c.expected), 32, 32), readPpm(folder + "/t.ppm")), "");
    }
    QFile::remove(settingsFilePath());
}

TEST(RenderTool, ErrorsAreTheProgramsMessages)
{
    const QString folder = freshFolder("tool-errors");
    writeFileBytes(folder + "/photo.txt", "RIFF");
    writeFileBytes(folder + "/empty.png", "");
    const QImage tiny = solidBitmap(4, 4, 0, 0, 0);
    ASSERT_TRUE(tiny.convertToFormat(QImage::Format_RGB888).save(folder + "/ok.png", "PNG"));
    const struct {
        QStringList args;
        int exitCode;
        QString message; // the whole of standard error, or its start with a trailing "*"
    } cases[] = {
        {{folder + "/photo.txt", folder + "/o.ppm"}, 1,
         "Cannot open " + folder + "/photo.txt. Unknown picture file extension (.txt)."},
        {{folder + "/photo", folder + "/o.ppm"}, 1, "Cannot open " + folder + "/photo. Unknown picture file extension (.)."},
        {{folder + "/missing.png", folder + "/o.ppm"}, 1, "Cannot open " + folder + "/missing.png. The file does not exist."},
        {{folder + "/empty.png", folder + "/o.ppm"}, 1, "Cannot open " + folder + "/empty.png. The file is empty."},
        {{folder + "/ok.png", folder + "/nofolder/o.ppm"}, 1, "Unable to write to " + folder + "/nofolder/o.ppm: *"},
        {{folder + "/ok.png", folder + "/nofolder/o.bmp"}, 1, "Unable to write to " + folder + "/nofolder/o.bmp: *"},
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
    QStringList sources = {
        testDataDir() + "/corrupt/jpg/truncated-scan.jpg",
        testDataDir() + "/corrupt/png/bad-ihdr-crc.png",
        testDataDir() + "/corrupt/gif/truncated-image.gif",
        testDataDir() + "/corrupt/sgi/bad_magic.sgi",
        folder + "/note.tif",
        folder + "/album.jpg",
        folder + "/gone.png",
    };
#ifndef __SANITIZE_ADDRESS__
    // Libraries that print their own diagnostics for these stay quiet (AddressSanitizer
    // builds keep standard error for their reports).
    sources << testDataDir() + "/corrupt/jxl/trunc-claims-30614x4232-16bit.jxl"
            << testDataDir() + "/corrupt/heic/av1-data-dav1d-refuses.heic";
#endif
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

// A stored size the dialogs never give is held to the limits of a picture before anything
// is allocated, and a size that leaves no pixels is named as the cause; either way every
// output format fails with the same line and writes nothing.
TEST(RenderTool, RenderedSizesOverTheLimitsOrWithoutPixelsFailForEveryFormat)
{
    const QString folder = freshFolder("tool-sizes");
    const QString photo = smallPhoto(folder);
    const QString strip = folder + "/strip.png";
    ASSERT_TRUE(solidBitmap(1000, 1, 1, 2, 3).convertToFormat(QImage::Format_RGB888).save(strip, "PNG"));
    const struct {
        const char* size;
        QString source;
        QString message;
    } cases[] = {
        {"60000", photo,
         "The photo is too large to render at 60000 x 45000 pixels (at most 65535 pixels a side and 400 megapixels)."},
        {"44000", photo,
         "The photo is too large to render at 44000 x 33000 pixels (at most 65535 pixels a side and 400 megapixels)."},
        {"2147483647", strip,
         "The photo is too large to render at 2147483647 x 2147484 pixels (at most 65535 pixels a side and 400 "
         "megapixels)."},
        {"-5", photo, "The photo has no pixels at a maximum size of -5."},
        {"0", photo, "The photo has no pixels at a maximum size of 0."},
        {"100", strip, "The photo has no pixels at a maximum size of 100: its shorter side comes to 0."},
    };
    for (const auto& c : cases) {
        const QString settings = photoSettings(folder, QStringLiteral("size%1").arg(c.size), {{"SIZE", c.size}, {"KEEP", "0"}});
        for (const char* extension : {"jpg", "bmp", "ppm"}) {
            const QString out = folder + "/out." + extension;
            const RunResult run = render({"--settings", settings, c.source, out});
            EXPECT_EQ(run.exitCode, 1) << c.size << " " << extension;
            EXPECT_EQ(run.errors, c.message) << extension;
            EXPECT_FALSE(QFile::exists(out)) << c.size << " " << extension;
        }
    }
}

// The sizes over the limits are refused before the resize allocates: a child that cannot
// map 2 GB still gives the message instead of an empty picture.
TEST(RenderTool, OversizedRendersAllocateNothing)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer needs more address space than the cap allows";
#endif
    const QString folder = freshFolder("tool-address-space");
    const QString photo = smallPhoto(folder);
    for (const char* size : {"60000", "44000", "30000"}) {
        const QString settings = photoSettings(folder, QStringLiteral("size%1").arg(size), {{"SIZE", size}, {"KEEP", "0"}});
        for (const char* extension : {"bmp", "ppm"}) {
            const RunResult run = render({"--settings", settings, photo, folder + "/out." + extension}, rlim_t(2) << 30);
            EXPECT_EQ(run.exitCode, 1) << size << " " << extension;
            EXPECT_TRUE(run.errors.startsWith("The photo is too large to render at ")) << run.errors.toStdString();
        }
    }
}

// A render within the limits whose bitmap the memory at hand cannot hold fails with the one
// line naming its size, for every output format, and writes nothing.
TEST(RenderTool, OutOfMemoryIsOneLineNamingTheSize)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer needs more address space than the cap allows";
#endif
    const QString folder = freshFolder("tool-out-of-memory");
    const QString photo = smallPhoto(folder);
    const QString settings = photoSettings(folder, QStringLiteral("large"), {{"SIZE", "23000"}, {"KEEP", "0"}});
    for (const char* extension : {"jpg", "bmp", "ppm"}) {
        const QString out = folder + "/out." + extension;
        const RunResult run = render({"--settings", settings, photo, out}, rlim_t(1) << 30);
        EXPECT_EQ(run.exitCode, 1) << extension;
        EXPECT_EQ(run.errors, QStringLiteral("Not enough memory for a 23000 \u00D7 17250 picture")) << extension;
        EXPECT_FALSE(QFile::exists(out)) << extension;
    }
}

// A full disk (here a file size limit the child inherits) is reported with its reason by
// every writer, and the file that was there stays as it was.
TEST(RenderTool, WriteFailuresGiveTheReason)
{
    const QString folder = freshFolder("tool-full-disk");
    const QString photo = folder + "/photo.png";
    ASSERT_TRUE(randomBitmap(200, 150, 3).convertToFormat(QImage::Format_RGB888).save(photo, "PNG"));
    for (const char* extension : {"jpg", "bmp", "ppm"}) {
        const QString out = folder + "/out." + extension;
        writeFileBytes(out, "old contents");
        RunResult run;
        {
            FileSizeLimit limit(4096);
            run = render({photo, out});
        }
        EXPECT_EQ(run.exitCode, 1) << extension;
        EXPECT_TRUE(run.errors.startsWith("Unable to write to " + out + ": ")) << run.errors.toStdString();
        EXPECT_GT(run.errors.size(), ("Unable to write to " + out + ": ").size()) << "a reason follows";
        EXPECT_EQ(readFileBytes(out), QByteArray("old contents")) << extension;
    }
}

TEST(RenderTool, SettingsFileMustBeARegularFile)
{
    const QString folder = freshFolder("tool-settings");
    const QString photo = folder + "/photo.png";
    ASSERT_TRUE(solidBitmap(4, 4, 0, 0, 0).convertToFormat(QImage::Format_RGB888).save(photo, "PNG"));
    const QString fifo = folder + "/fifo.dat";
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    QFile::link(folder + "/nowhere.dat", folder + "/dangling.dat");
    const struct {
        QString settings;
        QString message;
    } cases[] = {
        {"/nonexistent", "Cannot open /nonexistent. The file does not exist."},
        {folder + "/dangling.dat", "Cannot open " + folder + "/dangling.dat. The file does not exist."},
        {folder, "Cannot open " + folder + ". It is not a regular file."},
        {fifo, "Cannot open " + fifo + ". It is not a regular file."},
        {"/dev/null", "Cannot open /dev/null. It is not a regular file."},
    };
    for (const auto& c : cases) {
        const RunResult run = render({"--settings", c.settings, photo, folder + "/out.ppm"});
        EXPECT_EQ(run.exitCode, 1) << c.settings.toStdString();
        EXPECT_EQ(run.errors, c.message);
        EXPECT_FALSE(QFile::exists(folder + "/out.ppm"));
    }
}

TEST(RenderTool, HelpPrintsTheUsageAndSucceeds)
{
    for (const char* option : {"--help", "-h"}) {
        const RunResult run = render({option});
        EXPECT_EQ(run.exitCode, 0) << option;
        EXPECT_TRUE(run.errors.isEmpty()) << run.errors.toStdString();
        EXPECT_TRUE(run.output.startsWith("usage: lumatrim-render [OPTIONS] SOURCE OUTPUT\n")) << option;
        EXPECT_TRUE(run.output.contains("--decode-only")) << option;
        EXPECT_TRUE(run.output.contains("--stored-orientation")) << option;
    }
    const RunResult unknown = render({"--frobnicate"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.output.isEmpty());
}

} // namespace
