#include "model/ColorNames.h"
#include "model/KeyValueFile.h"
#include "model/PhotoInfo.h"
#include "model/ProgramFolder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

const QByteArray kDefaultBlock =
    "[PHOTO]\n"
    "SIZE=600\n"
    "OPTIMIZE=0\n"
    "KEEP=1\n"
    "WATERMARK=Lumatrim\n"
    "FONTNAME=Arial\n"
    "FONTSIZE=10\n"
    "FONTCOLOR=clWhite\n"
    "BOLD=1\n"
    "ITALIC=0\n"
    "UNDERLINE=0\n"
    "STRIKEOUT=0\n"
    "OPACITY=128\n"
    "POSITION=6\n"
    "X=8\n"
    "Y=8\n"
    "MASK=\n"
    "MARGIN=0\n"
    "COLOR=clWhite\n"
    "RESAMPLE=0\n"
    "QUALITY=100\n"
    "MAXKB=0\n";

QString blockFile(const QString& name, const QByteArray& content)
{
    const QString path = freshFolder("info") + "/" + name;
    writeFileBytes(path, content);
    return path;
}

class PhotoInfoTest : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(settingsFilePath()); }
    void TearDown() override { QFile::remove(settingsFilePath()); }
};

TEST_F(PhotoInfoTest, CreateWithoutSettingsFileGivesBuiltInDefaults)
{
    const TPhotoInfo info("/photos/a.jpg");
    EXPECT_EQ(info.FileName, "/photos/a.jpg");
    EXPECT_EQ(info.MaxSize, 600);
    EXPECT_FALSE(info.Optimize);
    EXPECT_TRUE(info.KeepSize);
    EXPECT_EQ(info.Watermark, "Lumatrim");
    EXPECT_EQ(info.Font, (TFont{"Arial", 10, clWhite, fsBold}));
    EXPECT_EQ(info.Opacity, 128);
    EXPECT_EQ(info.Position, 6);
    EXPECT_EQ(info.MarginX, 8);
    EXPECT_EQ(info.MarginY, 8);
    EXPECT_EQ(info.Mask, "");
    EXPECT_EQ(info.BorderWidth, 0);
    EXPECT_EQ(info.BackgroundColor, clWhite);
    EXPECT_FALSE(info.Resample);
    EXPECT_EQ(info.JpegQuality, 100);
    EXPECT_EQ(info.MaxFileKB, 0);
    EXPECT_EQ(info.CropRect, TRect{});
    EXPECT_EQ(info.Rotation + info.Contrast + info.Brightness + info.Red + info.Green + info.Blue, 0);
    EXPECT_FALSE(info.Grayscale || info.Negative);
    EXPECT_FALSE(QFile::exists(settingsFilePath())) << "reading never creates the file";
}

TEST_F(PhotoInfoTest, CreateReadsTheStoredDefaults)
{
    KeyValueFile(settingsFilePath()).writeInteger("PHOTO", "SIZE", 1024);
    const TPhotoInfo info;
    EXPECT_EQ(info.MaxSize, 1024);
}

TEST_F(PhotoInfoTest, DefaultBlockIsWrittenByteForByteAndReadsBack)
{
    const QString path = freshFolder("info-block") + "/block.dat";
    const TPhotoInfo defaults;
    defaults.SaveSettings(path, "PHOTO");
    EXPECT_EQ(readFileBytes(path), kDefaultBlock);

    TPhotoInfo back;
    back.MaxSize = 1;
    back.Font = TFont{"X", 1, 0, 0};
    back.LoadSettings(path, "PHOTO");
    EXPECT_TRUE(static_cast<const PhotoSettings&>(back) == defaults);
}

TEST_F(PhotoInfoTest, ValuesAreReadByTheEncodingRules)
{
    const struct {
        const char* line;
        std::function<bool(const TPhotoInfo&)> check;
    } cases[] = {
        {"SIZE=0x258", [](auto& i) { return i.MaxSize == 600; }},
        {"SIZE=$258", [](auto& i) { return i.MaxSize == 600; }},
        {"SIZE=abc", [](auto& i) { return i.MaxSize == 600; }},
        {"SIZE=-5", [](auto& i) { return i.MaxSize == -5; }},
        {"BOLD=2", [](auto& i) { return i.Font.has(fsBold); }},
        {"BOLD=x", [](auto& i) { return i.Font.has(fsBold); }},
        {"BOLD=0", [](auto& i) { return i.Font.Style == 0; }},
        {"ITALIC=1", [](auto& i) { return i.Font.Style == (fsBold | fsItalic); }},
        {"STRIKEOUT=1\nUNDERLINE=7\nBOLD=0", [](auto& i) { return i.Font.Style == (fsStrikeOut | fsUnderline); }},
        {"FONTCOLOR=clRed", [](auto& i) { return i.Font.Color == 0x0000FF; }},
        {"FONTCOLOR=CLRED", [](auto& i) { return i.Font.Color == 0x0000FF; }},
        {"FONTCOLOR=$000000FF", [](auto& i) { return i.Font.Color == 0x0000FF; }},
        {"FONTCOLOR=255", [](auto& i) { return i.Font.Color == 0x0000FF; }},
        {"FONTCOLOR=banana", [](auto& i) { return i.Font.Color == clWhite; }},
        {"COLOR=clAppWorkSpace", [](auto& i) { return i.BackgroundColor == 0xFF00000C; }},
        {"COLOR=", [](auto& i) { return i.BackgroundColor == clWhite; }},
        {"POSITION=12\nOPACITY=999", [](auto& i) { return i.Position == 12 && i.Opacity == 999; }},
        {"WATERMARK=  (c) Me  ", [](auto& i) { return i.Watermark == "(c) Me"; }},
        {"WATERMARK=", [](auto& i) { return i.Watermark.isEmpty(); }},
        {"mask=/m/oval.png", [](auto& i) { return i.Mask == "/m/oval.png"; }},
        {"RESAMPLE=1", [](auto& i) { return i.Resample; }},
        {"RESAMPLE=3", [](auto& i) { return i.Resample; }},
        {"RESAMPLE=0", [](auto& i) { return !i.Resample; }},
        {"RESAMPLE=yes", [](auto& i) { return !i.Resample; }},
        {"SIZE=300", [](auto& i) { return !i.Resample; }},
        {"QUALITY=85", [](auto& i) { return i.JpegQuality == 85; }},
        {"QUALITY=0", [](auto& i) { return i.JpegQuality == 1; }},
        {"QUALITY=-40", [](auto& i) { return i.JpegQuality == 1; }},
        {"QUALITY=101", [](auto& i) { return i.JpegQuality == 100; }},
        {"QUALITY=$7FFFFFFF", [](auto& i) { return i.JpegQuality == 100; }},
        {"QUALITY=high", [](auto& i) { return i.JpegQuality == 100; }},
        {"MAXKB=500", [](auto& i) { return i.MaxFileKB == 500; }},
        {"MAXKB=-1", [](auto& i) { return i.MaxFileKB == 0; }},
        {"MAXKB=100000", [](auto& i) { return i.MaxFileKB == kMaxFileKBLimit; }},
        {"SIZE=300", [](auto& i) { return i.JpegQuality == 100 && i.MaxFileKB == 0; }},
    };
    for (const auto& c : cases) {
        const QString path = blockFile("rules.dat", QByteArray("[PHOTO]\n") + c.line + "\n");
        TPhotoInfo info;
        info.LoadSettings(path, "photo");
        EXPECT_TRUE(c.check(info)) << c.line;
    }
}

TEST_F(PhotoInfoTest, ColorsAreWrittenByNameOrAsEightHexDigits)
{
    const struct {
        TColor color;
        const char* written;
    } cases[] = {
        {0x0000FF, "clRed"},     {0x0080FF00, "$0080FF00"}, {0xFF00000C, "clAppWorkSpace"},
        {clNone, "clNone"},      {0xA4A0A0, "clMedGray"},   {0x00ABCDEF, "$00ABCDEF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(colorToString(c.color), c.written);
        EXPECT_EQ(colorFromString(c.written), c.color);
        const QString path = freshFolder("info-color") + "/c.dat";
        TPhotoInfo info;
        info.Font.Color = c.color;
        info.SaveSettings(path, "PHOTO");
        EXPECT_EQ(KeyValueFile(path).readString("PHOTO", "FONTCOLOR", ""), c.written);
    }
}

TEST_F(PhotoInfoTest, LoadLeavesFieldsOutsideTheBlockAlone)
{
    const QString path = blockFile("outside.dat", kDefaultBlock);
    TPhotoInfo info("/x.jpg");
    info.CropRect = {1, 2, 3, 4};
    info.Rotation = 90;
    info.Contrast = 40;
    info.LoadSettings(path, "PHOTO");
    EXPECT_EQ(info.CropRect, (TRect{1, 2, 3, 4}));
    EXPECT_EQ(info.Rotation, 90);
    EXPECT_EQ(info.Contrast, 40);
    EXPECT_EQ(info.FileName, "/x.jpg");
}

TEST_F(PhotoInfoTest, AssignCopiesEverythingButTheFileName)
{
    TPhotoInfo source("/source.jpg");
    source.CropRect = {5, 6, 7, 8};
    source.Rotation = 270;
    source.Contrast = -3;
    source.Blue = 9;
    source.Negative = true;
    source.Font = TFont{"Serif", 22, 0x123456, fsItalic};
    source.Mask = "/m.png";
    source.Resample = true;
    TPhotoInfo target("/target.jpg");
    target.AssignSettings(source);
    EXPECT_EQ(target.FileName, "/target.jpg");
    target.FileName = source.FileName;
    EXPECT_TRUE(static_cast<PhotoSettings&>(target) == source);
    source.Font.Name = "Changed";
    EXPECT_EQ(target.Font.Name, "Serif") << "the records share nothing";
}

TEST_F(PhotoInfoTest, SaveKeepsOtherKeysAndSections)
{
    const QString path = blockFile("keep.dat", "[PHOTO]\nBACKGROUND=clBlack\nSIZE=1\n[RECENT]\nPHOTO1=/a.jpg\n");
    TPhotoInfo info;
    info.Watermark = " padded ";
    info.SaveSettings(path, "PHOTO");
    const KeyValueFile file(path);
    EXPECT_EQ(file.readString("PHOTO", "BACKGROUND", ""), "clBlack");
    EXPECT_EQ(file.readString("RECENT", "PHOTO1", ""), "/a.jpg");
    EXPECT_EQ(file.readInteger("PHOTO", "SIZE", 0), 600);
    EXPECT_TRUE(readFileBytes(path).startsWith("[PHOTO]\nBACKGROUND=clBlack\nSIZE=600\nOPTIMIZE=0\n"));
    TPhotoInfo back;
    back.LoadSettings(path, "PHOTO");
    EXPECT_EQ(back.Watermark, "padded");
}

TEST_F(PhotoInfoTest, AnOlderBlockReadsAsSampledAndGainsTheKeyLastWhenSaved)
{
    QByteArray older = kDefaultBlock;
    older.replace("RESAMPLE=0\nQUALITY=100\nMAXKB=0\n", "");
    older.replace("SIZE=600", "SIZE=800");
    const QString path = blockFile("older.dat", older);
    TPhotoInfo info;
    info.Resample = true;
    info.LoadSettings(path, "PHOTO");
    EXPECT_FALSE(info.Resample);
    EXPECT_EQ(info.MaxSize, 800);
    info.Resample = true;
    info.SaveSettings(path, "PHOTO");
    EXPECT_EQ(readFileBytes(path), older + "RESAMPLE=1\nQUALITY=100\nMAXKB=0\n");
}

TEST_F(PhotoInfoTest, ABlockWithoutQualityReadsAsQuality100WithoutLimitAndGainsBothKeysLast)
{
    QByteArray older = kDefaultBlock;
    older.replace("QUALITY=100\nMAXKB=0\n", "");
    const QString path = blockFile("before-quality.dat", older);
    TPhotoInfo info;
    info.JpegQuality = 40;
    info.MaxFileKB = 300;
    info.LoadSettings(path, "PHOTO");
    EXPECT_EQ(std::pair(info.JpegQuality, info.MaxFileKB), std::pair(100, 0));
    info.JpegQuality = 72;
    info.MaxFileKB = 250;
    info.SaveSettings(path, "PHOTO");
    EXPECT_EQ(readFileBytes(path), older + "QUALITY=72\nMAXKB=250\n");
}

TEST_F(PhotoInfoTest, SaveIntoAFolderPathRaisesUnableToWrite)
{
    const QString folder = freshFolder("info-dir");
    try {
        TPhotoInfo().SaveSettings(folder, "PHOTO");
        ADD_FAILURE() << "saved over a folder";
    } catch (const std::exception& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), "Unable to write to " + folder + ": it is a folder");
    }
}

TEST_F(PhotoInfoTest, StoredDefaultsBehindAByteOrderMarkAreReadAndSavedInPlace)
{
    // As an editor that marks its UTF-8 files leaves lumatrim.dat.
    writeFileBytes(settingsFilePath(), "\xEF\xBB\xBF[PHOTO]\r\nSIZE=200\r\n");
    TPhotoInfo info;
    EXPECT_EQ(info.MaxSize, 200);
    info.MaxSize = 320;
    info.SaveSettings(settingsFilePath(), "PHOTO");
    const QByteArray saved = readFileBytes(settingsFilePath());
    EXPECT_TRUE(saved.startsWith("\xEF\xBB\xBF[PHOTO]\r\nSIZE=320\r\nOPTIMIZE=0\r\n")) << saved.toStdString();
    EXPECT_EQ(saved.count("[PHOTO]"), 1) << "a second block would hide the first";
    EXPECT_EQ(TPhotoInfo().MaxSize, 320);
}

} // namespace
