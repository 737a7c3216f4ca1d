#include "formats/FormatRegistry.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

namespace {

struct ExtensionCase {
    const char* fileName;
    const char* extension;
};

TEST(PictureExtension, TakesTextAfterLastDotOfLastComponent)
{
    const ExtensionCase cases[] = {
        {"PHOTO.JPG", "JPG"},
        {"photo.Jpeg", "Jpeg"},
        {"/a/b/archive.tar.gif", "gif"},
        {"photo", ""},
        {"/some.folder/photo", ""},
        {"photo.", ""},
        {"C:\\dir.x\\name", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pictureExtension(QString::fromUtf8(c.fileName)).toStdString(), c.extension) << c.fileName;
}

TEST(FormatRegistry, LooksUpWithoutRegardToCaseAndTakesTheMostRecentEntry)
{
    FormatRegistry registry;
    registry.add("ABC", "first", nullptr);
    registry.add("abc", "second", nullptr);
    ASSERT_NE(registry.find("aBc"), nullptr);
    EXPECT_EQ(registry.find("aBc")->description, "second");
    EXPECT_EQ(registry.find("abc")->extension, "abc");
    EXPECT_EQ(registry.find("abd"), nullptr);
}

TEST(FormatRegistry, UnknownExtensionsFailWithTheExtensionInTheMessage)
{
    const struct {
        const char* name;
        const char* message;
    } cases[] = {
        {"/nowhere/photo.txt", "Cannot open /nowhere/photo.txt. Unknown picture file extension (.txt)."},
        {"/nowhere/photo", "Cannot open /nowhere/photo. Unknown picture file extension (.)."},
    };
    for (const auto& c : cases) {
        try {
            loadPicture(QString::fromUtf8(c.name));
            ADD_FAILURE() << c.name << " loaded";
        } catch (const PictureError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

TEST(FormatRegistry, StandardTableRegistersEveryFilterExtensionAndIco)
{
    const QString filter = QString::fromLatin1(kOpenPicturesFilter);
    ASSERT_TRUE(filter.startsWith("All Photos|"));
    const QStringList patterns = filter.section('|', 1).split(';');
    EXPECT_EQ(patterns.size(), 45);
    for (const QString& pattern : patterns)
        EXPECT_NE(FormatRegistry::standard().find(pattern.mid(2)), nullptr) << pattern.toStdString();
    EXPECT_NE(FormatRegistry::standard().find("ico"), nullptr);
    EXPECT_FALSE(patterns.contains("*.ico"));
    EXPECT_EQ(toQtFileFilter("A|*.x;*.y"), "A (*.x *.y)");
}

} // namespace
