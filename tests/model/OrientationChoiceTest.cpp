#include "batch/BatchExport.h"
#include "model/LastDecodedPicture.h"
#include "model/OrientationChoice.h"
#include "model/PhotoCore.h"
#include "model/ProgramFolder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {

constexpr DecodeOptions kUpright{.upright = true};
constexpr DecodeOptions kAsStored{.upright = false};

TEST(OrientationChoice, IsReadAsStoredAndTurnsPhotosWhenMissingOrUnreadable)
{
    const QString path = freshFolder("orientation-choice") + "/lumatrim.dat";
    EXPECT_TRUE(loadOrientationChoice(path).upright) << "no file";
    const struct {
        const char* content;
        bool upright;
    } cases[] = {
        {"[OPTIONS]\nORIENTATION=0\n", false}, {"[OPTIONS]\nORIENTATION=1\n", true},
        {"[options]\norientation=0\n", false}, {"[OPTIONS]\nORIENTATION=\n", true},
        {"[OPTIONS]\nORIENTATION=off\n", true}, {"[OPTIONS]\n", true},
        {"[PHOTO]\nORIENTATION=0\n", true},    {"", true},
    };
    for (const auto& c : cases) {
        writeFileBytes(path, c.content);
        EXPECT_EQ(loadOrientationChoice(path).upright, c.upright) << c.content;
    }
}

TEST(OrientationChoice, StoringChangesOnlyItsOwnLine)
{
    const QString path = freshFolder("orientation-store") + "/lumatrim.dat";
    const QByteArray before = "[PHOTO]\nSIZE=640\n[OPTIONS]\nORIENTATION=1\n[RECENT]\nFILE1=/photos/a.jpg\n";
    writeFileBytes(path, before);
    storeOrientationChoice(path, kAsStored);
    EXPECT_EQ(readFileBytes(path), QByteArray(before).replace("ORIENTATION=1", "ORIENTATION=0"));
    EXPECT_FALSE(loadOrientationChoice(path).upright);
    storeOrientationChoice(path, kUpright);
    EXPECT_EQ(readFileBytes(path), before);

    // Into a file without the section: the other sections stay as they were.
    writeFileBytes(path, "[PHOTO]\nSIZE=640\n[RECENT]\nFILE1=/photos/a.jpg\n");
    storeOrientationChoice(path, kAsStored);
    const QByteArray after = readFileBytes(path);
    EXPECT_TRUE(after.startsWith("[PHOTO]\nSIZE=640\n[RECENT]\nFILE1=/photos/a.jpg\n")) << after.constData();
    EXPECT_FALSE(loadOrientationChoice(path).upright);
}

TEST(OrientationChoice, AFailedWriteSaysWhichFile)
{
    const QString folder = freshFolder("orientation-unwritable");
    const QString path = folder + "/lumatrim.dat";
    QDir(folder).mkdir("lumatrim.dat");
    try {
        storeOrientationChoice(path, kAsStored);
        ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith("Unable to write to " + path)) << e.what();
    }
}

class OrientedPhotoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(settingsFilePath());
        LastDecodedPicture::clear();
        // 40 x 24 stored, recorded as turned a quarter clockwise: 24 x 40 upright.
        path_ = writeJpegWithOrientation(freshFolder("oriented-photo") + "/turned.jpg", randomBitmap(40, 24, 7), 6);
    }
    QString path_;
};

TEST_F(OrientedPhotoTest, APhotoKeepsTheChoiceItWasOpenedWithThroughRenderAndExport)
{
    for (const DecodeOptions decoding : {kUpright, kAsStored}) {
        SCOPED_TRACE(decoding.upright ? "opened upright" : "opened as stored");
        TPhotoInfo info(path_);
        info.Decoding = decoding;
        info.Watermark.clear();
        info.CropRect = TRect{2, 3, 20, 17};
        PhotoCore photo;
        photo.SetPhotoInfo(&info);
        EXPECT_EQ(photo.SourceBitmap().size(), decoding.upright ? QSize(24, 40) : QSize(40, 24));
        const QString folder = freshFolder("oriented-export");
        photo.SaveToFile(folder + "/saved.jpg");
        // Copies of the settings carry the record's choice only where the record goes itself.
        TPhotoInfo other(path_);
        other.AssignSettings(info);
        EXPECT_EQ(other.Decoding, TPhotoInfo().Decoding);
        const ExportResult result = exportPhotos({&info}, {folder + "/exported.jpg"}, [](int, int) {});
        ASSERT_EQ(result.written.size(), 1);
        EXPECT_EQ(readFileBytes(folder + "/exported.jpg"), readFileBytes(folder + "/saved.jpg"));
        // A render again from the file keeps the pixels the crop was set on.
        const QImage rendered = photo.Bitmap();
        photo.LoadSource();
        photo.Render();
        EXPECT_EQ(photo.Bitmap(), rendered);
    }
}

TEST_F(OrientedPhotoTest, TheOpenTakesThePreviewsDecodeOnlyWhenMadeWithTheSameChoice)
{
    LastDecodedPicture::keep(LastDecodedPicture::decode(path_, kUpright));
    EXPECT_NE(LastDecodedPicture::find(path_, kUpright), nullptr);
    EXPECT_EQ(LastDecodedPicture::find(path_, kAsStored), nullptr);
    const auto stored = LastDecodedPicture::take(path_, kAsStored);
    EXPECT_EQ(QSize(stored->width(), stored->height()), QSize(40, 24));
    EXPECT_EQ(LastDecodedPicture::find(path_, kUpright), nullptr) << "the other decode is dropped";
}

} // namespace
