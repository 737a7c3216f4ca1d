#include "render/Resample.h"

#include "render/Geometry.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

// A plain, slow Lanczos-3 in double precision: every output pixel sums every source pixel
// that overlaps the area and lies within the filter's reach (3 output pixels when shrinking,
// 3 source pixels when enlarging), with weights normalised to 1, then rounds and clamps.
double lanczos3(double x)
{
    if (x == 0)
        return 1;
    if (std::abs(x) >= 3)
        return 0;
    const double px = std::numbers::pi * x;
    return 3 * std::sin(px) * std::sin(px / 3) / (px * px);
}

using Taps = std::vector<std::pair<int, double>>;

std::vector<Taps> referenceTaps(int outSize, double start, double length, int sourceSize)
{
    const double scale = length / outSize;
    const double stretch = std::max(scale, 1.0);
    std::vector<Taps> all(static_cast<size_t>(outSize));
    for (int j = 0; j < outSize; ++j) {
        const double centre = start + (j + 0.5) * scale;
        double sum = 0;
        for (int i = 0; i < sourceSize; ++i) {
            if (i + 1 <= start || i >= start + length)
                continue;
            const double w = lanczos3((i + 0.5 - centre) / stretch);
            if (w != 0) {
                all[size_t(j)].push_back({i, w});
                sum += w;
            }
        }
        for (auto& tap : all[size_t(j)])
            tap.second /= sum;
    }
    return all;
}

QImage referenceResample(const QImage& source, const QRectF& area, QSize out)
{
    const auto columns = referenceTaps(out.width(), area.left(), area.width(), source.width());
    const auto rows = referenceTaps(out.height(), area.top(), area.height(), source.height());
    QImage result = solidBitmap(out.width(), out.height(), 0, 0, 0);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            for (int c = 0; c < 3; ++c) {
                double v = 0;
                for (const auto& [sy, wy] : rows[size_t(y)])
                    for (const auto& [sx, wx] : columns[size_t(x)])
                        v += wy * wx * source.constScanLine(sy)[3 * sx + c];
                result.scanLine(y)[3 * x + c] = uint8_t(std::clamp(std::nearbyint(v), 0.0, 255.0));
            }
    return result;
}

// How many channel values of two same-sized bitmaps differ.
int differingValues(const QImage& a, const QImage& b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int i = 0; i < a.width() * 3; ++i)
            count += a.constScanLine(y)[i] != b.constScanLine(y)[i];
    return count;
}

struct SizeCase {
    QSize source;
    QSize out;
};

const SizeCase kSizes[] = {
    {{64, 48}, {20, 15}},  // down by 3.2
    {{37, 23}, {10, 7}},   // odd sizes
    {{9, 7}, {31, 25}},    // up
    {{1, 17}, {1, 5}},     // a column
    {{17, 1}, {40, 1}},    // a row, enlarged
    {{1, 1}, {3, 3}},      // one pixel
    {{200, 3}, {7, 1}},    // far down
    {{100, 80}, {99, 79}}, // a little down
    {{60, 5}, {20, 15}},   // down across, up along
    {{5, 5}, {5, 5}},      // the same size
};

TEST(ResampleArea, MatchesThePlainLanczosFilterWithinOneAndKeepsFlatColorsExact)
{
    for (const SizeCase& c : kSizes) {
        const QImage source = randomBitmap(c.source.width(), c.source.height(), 7);
        const QRectF whole(0, 0, c.source.width(), c.source.height());
        const QImage expected = referenceResample(source, whole, c.out);
        const QImage actual = resampleArea(source, whole, c.out);
        const std::string what = std::to_string(c.source.width()) + "x" + std::to_string(c.source.height()) + " to "
                                 + std::to_string(c.out.width()) + "x" + std::to_string(c.out.height());
        ASSERT_EQ(actual.size(), c.out) << what;
        EXPECT_LE(maxChannelDifference(expected, actual), 1) << what;
        // Rounding differs only where the exact value lies next to a half: about 1 value in
        // 100 (a rounding or a phase off by half would change every second one).
        EXPECT_LE(differingValues(expected, actual), std::max(4, c.out.width() * c.out.height() * 3 / 50)) << what;
        // The weights sum to exactly 1, so a flat color, the extremes included, stays exact.
        const QImage flat = solidBitmap(c.source.width(), c.source.height(), 0, 128, 255);
        EXPECT_EQ(bitmapDifference(solidBitmap(c.out.width(), c.out.height(), 0, 128, 255), resampleArea(flat, whole, c.out)), "")
            << what;
    }
}

TEST(ResampleArea, AnAreaReadsOnlyThePixelsItCovers)
{
    const QImage source = randomBitmap(50, 40, 3);
    const struct {
        QRect area;
        QSize out;
    } cases[] = {
        {{0, 0, 25, 20}, {8, 6}}, {{13, 7, 30, 29}, {9, 8}}, {{49, 0, 1, 40}, {1, 7}}, {{10, 10, 5, 4}, {20, 16}},
    };
    for (const auto& c : cases) {
        const QImage cropped = source.copy(c.area);
        const QImage expected = resampleArea(cropped, QRectF(0, 0, cropped.width(), cropped.height()), c.out);
        EXPECT_EQ(bitmapDifference(expected, resampleArea(source, QRectF(c.area), c.out)), "")
            << c.area.x() << "," << c.area.y();
    }
}

TEST(ReduceByBoxAverage, AveragesEachBlockRoundedAndTheEdgeBlocksOverWhatTheyHold)
{
    const struct {
        QSize size;
        int d;
    } cases[] = {{{13, 9}, 2}, {{13, 9}, 4}, {{17, 17}, 8}, {{3, 2}, 8}, {{16, 8}, 4}};
    for (const auto& c : cases) {
        const QImage source = randomBitmap(c.size.width(), c.size.height(), 11);
        const ReducedImage reduced = reduceByBoxAverage(source, c.d);
        EXPECT_EQ(reduced.denominator, c.d);
        EXPECT_EQ(reduced.pictureSize, c.size);
        const int w = (c.size.width() + c.d - 1) / c.d;
        const int h = (c.size.height() + c.d - 1) / c.d;
        ASSERT_EQ(reduced.image.size(), QSize(w, h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int k = 0; k < 3; ++k) {
                    int sum = 0;
                    int n = 0;
                    for (int sy = y * c.d; sy < std::min(c.size.height(), (y + 1) * c.d); ++sy)
                        for (int sx = x * c.d; sx < std::min(c.size.width(), (x + 1) * c.d); ++sx, ++n)
                            sum += source.constScanLine(sy)[3 * sx + k];
                    ASSERT_EQ(reduced.image.constScanLine(y)[3 * x + k], (sum + n / 2) / n)
                        << c.size.width() << "x" << c.size.height() << "/" << c.d << " at " << x << "," << y;
                }
    }
}

TEST(SourceReduction, LeavesAtLeastTwiceTheOutputInBothDirections)
{
    const struct {
        QSize picture;
        int maxSize;
        bool resample;
        bool keep;
        TRect crop;
        int expected;
    } cases[] = {
        {{6000, 4000}, 600, true, true, {}, 4},
        {{6000, 4000}, 375, true, true, {}, 8},
        {{6000, 4000}, 376, true, true, {}, 4},
        {{6000, 4000}, 600, false, true, {}, 1},
        {{2399, 1600}, 600, true, true, {}, 1},
        {{300, 200}, 600, true, false, {}, 1},                   // enlarged
        {{300, 200}, 600, true, true, {}, 1},                    // kept at its size
        {{6000, 4000}, 600, true, true, {0, 0, 2400, 4000}, 2},  // the crop area counts, not the picture
        {{6000, 4000}, 100, true, true, {0, 0, 1600, 30}, 4},    // its short side, rounded up, decides
        {{6000, 4000}, 600, true, true, {7000, 0, 8000, 10}, 4}, // a crop outside is the whole
    };
    for (const auto& c : cases) {
        PhotoSettings info;
        info.MaxSize = c.maxSize;
        info.Resample = c.resample;
        info.KeepSize = c.keep;
        info.CropRect = c.crop;
        EXPECT_EQ(sourceReduction(c.picture, info), c.expected)
            << c.picture.width() << "x" << c.picture.height() << " at " << c.maxSize;
    }
}

TEST(DoResample, GivesTheSampledStepsSizeAndStoresTheClippedCrop)
{
    const struct {
        QSize source;
        int maxSize;
        bool keep;
        TRect crop;
    } cases[] = {
        {{120, 80}, 50, true, {}},          {{80, 120}, 33, true, {}},         {{30, 20}, 50, true, {}},
        {{30, 20}, 50, false, {}},          {{101, 3}, 40, true, {}},          {{120, 80}, 50, true, {-5, 10, 70, 200}},
        {{120, 80}, 0, true, {}},           {{500, 1}, 20, true, {}},          {{120, 80}, 25, true, {1, 1, 2, 2}},
    };
    for (const auto& c : cases) {
        const QImage source = randomBitmap(c.source.width(), c.source.height(), 5);
        PhotoSettings sampled;
        sampled.MaxSize = c.maxSize;
        sampled.KeepSize = c.keep;
        sampled.CropRect = c.crop;
        PhotoSettings filtered = sampled;
        filtered.Resample = true;
        QImage expected = source;
        DoCrop(expected, sampled);
        DoResize(expected, sampled);
        QImage actual;
        DoResample(actual, ReducedImage{source, source.size(), 1, {}}, filtered);
        EXPECT_EQ(actual.size(), expected.size()) << c.source.width() << "x" << c.source.height() << " " << c.maxSize;
        EXPECT_EQ(actual.isNull(), expected.isNull());
        EXPECT_EQ(filtered.CropRect, sampled.CropRect);
    }
}

// A ramp of 2 levels per pixel: a reduced source mapped half a reduced pixel off would move
// the result by 2.
TEST(DoResample, AReducedSourceMapsACropOffItsGridWhereTheFullSourcePutsIt)
{
    QImage source = solidBitmap(128, 96, 0, 0, 0);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 128; ++x) {
            uint8_t* p = source.scanLine(y) + 3 * x;
            p[0] = uint8_t(2 * x);
            p[1] = uint8_t(2 * y);
            p[2] = uint8_t(x + y);
        }
    for (const TRect crop : {TRect{3, 5, 125, 91}, TRect{0, 0, 128, 96}, TRect{17, 1, 110, 80}}) {
        PhotoSettings info;
        info.MaxSize = 30;
        info.Resample = true;
        info.CropRect = crop;
        const ReducedImage reduced = reduceByBoxAverage(source, 2);
        PhotoSettings full = info;
        QImage expected;
        DoResample(expected, ReducedImage{source, source.size(), 1, {}}, full);
        QImage actual;
        DoResample(actual, reduced, info);
        ASSERT_EQ(actual.size(), expected.size());
        // Away from the edges, where the filter's reach is cut differently.
        int worst = 0;
        for (int y = 2; y < actual.height() - 2; ++y)
            for (int i = 6; i < (actual.width() - 2) * 3; ++i)
                worst = std::max(worst, std::abs(actual.constScanLine(y)[i] - expected.constScanLine(y)[i]));
        EXPECT_LE(worst, 1) << crop.Left << "," << crop.Top;
    }
}

} // namespace
