#include "model/SettingsGroups.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// Every field of the record by name, compared between two records.
struct Field {
    const char* name;
    std::function<bool(const PhotoSettings&, const PhotoSettings&)> same;
};
#define FIELD(f) Field{#f, [](const PhotoSettings& a, const PhotoSettings& b) { return a.f == b.f; }}
const Field kFields[] = {
    FIELD(FileName), FIELD(MaxSize), FIELD(Optimize), FIELD(KeepSize), FIELD(CropRect), FIELD(Rotation),
    FIELD(Contrast), FIELD(Brightness), FIELD(Red), FIELD(Green), FIELD(Blue), FIELD(Grayscale),
    FIELD(Negative), FIELD(Watermark), FIELD(Font), FIELD(Opacity), FIELD(Position), FIELD(MarginX),
    FIELD(MarginY), FIELD(Mask), FIELD(BorderWidth), FIELD(BackgroundColor), FIELD(Resample),
    FIELD(JpegQuality), FIELD(MaxFileKB),
};
#undef FIELD

// A record differing from the defaults in every field.
PhotoSettings allChanged()
{
    PhotoSettings s;
    s.FileName = "other.jpg";
    s.MaxSize = 123;
    s.Optimize = true;
    s.KeepSize = false;
    s.CropRect = {1, 2, 30, 40};
    s.Rotation = 90;
    s.Contrast = 5;
    s.Brightness = -6;
    s.Red = 7;
    s.Green = -8;
    s.Blue = 9;
    s.Grayscale = true;
    s.Negative = true;
    s.Watermark = "Holiday";
    s.Font = {"Courier", 20, 0x0000FF, fsItalic | fsUnderline};
    s.Opacity = 64;
    s.Position = 2;
    s.MarginX = 11;
    s.MarginY = 12;
    s.Mask = "/masks/oval.png";
    s.BorderWidth = 4;
    s.BackgroundColor = 0x00123456;
    s.Resample = true;
    s.JpegQuality = 77;
    s.MaxFileKB = 640;
    return s;
}

struct GroupCase {
    SettingsGroup group;
    std::vector<std::string> fields;
};

class CopyGroupTest : public testing::TestWithParam<GroupCase> {};

TEST_P(CopyGroupTest, CopiesExactlyTheGroupsFields)
{
    const PhotoSettings from = allChanged();
    const PhotoSettings before;
    PhotoSettings to;
    CopyGroup(GetParam().group, from, to);
    std::vector<std::string> copied;
    for (const Field& field : kFields) {
        if (field.same(to, from))
            copied.push_back(field.name);
        else
            EXPECT_TRUE(field.same(to, before)) << field.name << " changed without being copied";
    }
    EXPECT_EQ(copied, GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(
    EveryGroup, CopyGroupTest,
    testing::Values(GroupCase{SettingsGroup::Resize, {"MaxSize", "Optimize", "KeepSize", "Resample", "JpegQuality", "MaxFileKB"}},
                    GroupCase{SettingsGroup::Crop, {"CropRect"}},
                    GroupCase{SettingsGroup::ColorBalance,
                              {"Contrast", "Brightness", "Red", "Green", "Blue", "Grayscale", "Negative"}},
                    GroupCase{SettingsGroup::Watermark,
                              {"Watermark", "Font", "Opacity", "Position", "MarginX", "MarginY"}},
                    GroupCase{SettingsGroup::Mask, {"Mask", "BorderWidth", "BackgroundColor"}}));

} // namespace
