// The names a batch export gives its files.
#include "batch/ExportNaming.h"

#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char* what;
    QString source;
    bool autoName;
    int number;
    int length;
    bool lowercase;
    QString name;
};

TEST(ExportNaming, NamesFollowThePattern)
{
    const NameCase cases[] = {
        {"original name", "/p/Beach.JPG", false, 0, 1, false, "new_Beach_web.jpg"},
        {"lowercased", "/p/Beach.JPG", false, 0, 1, true, "new_beach_web.jpg"},
        {"only A to Z are lowercased", "/p/ÄRGER.x.PNG", false, 0, 1, true, "new_Ärger.x_web.jpg"},
        {"a name without a dot", "/p/README", false, 0, 1, false, "new_README_web.jpg"},
        {"padded to the length", "/p/a.jpg", true, 7, 3, false, "new_007_web.jpg"},
        {"longer than the length", "/p/a.jpg", true, 12345, 3, false, "new_12345_web.jpg"},
        {"length 1 never pads", "/p/a.jpg", true, 5, 1, false, "new_5_web.jpg"},
    };
    for (const NameCase& c : cases) {
        const NamePattern pattern{.prefix = "new_", .autoName = c.autoName, .suffix = "_web", .length = c.length,
                                  .lowercase = c.lowercase};
        EXPECT_EQ(exportFileName(pattern, c.source, c.number), c.name) << c.what;
    }
    EXPECT_EQ(withoutBlanks(QStringLiteral(" \t new \x01")), QStringLiteral("new"));
}

TEST(ExportNaming, NamesAlreadyGivenInOneExportAreNumbered)
{
    const struct {
        const char* what;
        QStringList sources;
        QStringList names;
    } cases[] = {
        {"same name, two folders", {"/a/photo.jpg", "/b/photo.jpg"}, {"photo.jpg", "photo_2.jpg"}},
        {"one source three times", {"/a/x.bmp", "/a/x.bmp", "/a/x.bmp"}, {"x.jpg", "x_2.jpg", "x_3.jpg"}},
        {"a numbered name that is taken too", {"/a/x.png", "/b/x.png", "/c/x_2.png"}, {"x.jpg", "x_2.jpg", "x_2_2.jpg"}},
        {"names that differ only in case", {"/a/IMG.jpg", "/b/img.jpg"}, {"IMG.jpg", "img_2.jpg"}},
        {"different names are kept", {"/a/one.jpg", "/a/two.jpg"}, {"one.jpg", "two.jpg"}},
    };
    for (const auto& c : cases) {
        QStringList paths;
        for (const QString& name : c.names)
            paths << "/out/" + name;
        EXPECT_EQ(exportPaths(c.sources, "/out", NamePattern{}, 1), paths) << c.what;
    }
}

} // namespace
