#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/FormatRegistry.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {

// The extension alone picks the decoder, whatever its case and however many dots the
// name has; the content never does.
TEST(DecoderFileNames, ExtensionPicksTheDecoder)
{
    SKIP_WITHOUT_CORPUS();
    const QString folder = freshFolder("decoder-names");
    const struct {
        const char* sample;
        const char* name;
        int width;
    } cases[] = {
        {"jpg/libjpegturbo_testorig.jpg", "PHOTO.JPG", 227},
        {"jpg/libjpegturbo_testorig.jpg", "photo.Jpeg", 227},
        {"jpg/libjpegturbo_testorig.jpg", "photo.jfif", 227},
        {"jpg/libjpegturbo_testorig.jpg", "photo.jpe", 227},
        {"gif/pillow_hopper.gif", "archive.tar.gif", 128},
        {"png/pngsuite_basn2c08.png", "picture.PNG", 32},
        {"tif/pillow_hopper.tif", "scan.fax", 128},
        {"heic/gen_heifenc_odd_q60.heic", "IMG_0001.HIF", 333},
        {"avif/gen_heifenc_land_q70.avif", "photo.heif", 640},
    };
    for (const auto& c : cases) {
        const QString path = folder + "/" + c.name;
        QFile::remove(path);
        ASSERT_TRUE(QFile::copy(corpusFile(c.sample), path)) << c.name;
        EXPECT_EQ(loadPicture(path)->width(), c.width) << c.name;
    }
}

TEST(DecoderFileNames, APngFileNamedJpgFailsInTheJpegDecoder)
{
    SKIP_WITHOUT_CORPUS();
    const QString path = freshFolder("decoder-names-png") + "/photo.jpg";
    ASSERT_TRUE(QFile::copy(corpusFile("png/pngsuite_basn2c08.png"), path));
    try {
        loadPicture(path);
        ADD_FAILURE() << "a PNG file named .jpg loaded";
    } catch (const PictureError& e) {
        EXPECT_EQ(e.message(), "Cannot open " + path + ". The file is not a JPEG picture.") << e.what();
    }
}

// Empty files, headers alone, headers claiming 60000 x 60000 pixels and truncated pixel
// data: a clear error, quickly, and nothing allocated for the claimed size.
TEST(DecoderFileNames, DamagedFilesFailQuicklyWithAMessage)
{
    for (const char* folder : {"jpg", "png", "gif", "tif"}) {
        const QDir dir(testDataDir() + "/corrupt/" + folder);
        const QStringList files = dir.entryList(QDir::Files);
        EXPECT_GE(files.size(), 4) << folder;
        for (const QString& name : files) {
            const QString error = QString::fromStdString(decodeFailure([&] { loadPicture(dir.filePath(name)); }));
            EXPECT_TRUE(error.startsWith("Cannot open " + dir.filePath(name) + ". ")) << error.toStdString();
            EXPECT_EQ(error.contains("The picture is too large"), name.contains("claims")) << error.toStdString();
        }
    }
}

} // namespace
