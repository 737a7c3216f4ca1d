#include "TestSupport.h"

#include "render/Tone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

namespace {

// Plain per-pixel color balance, straight from the formulas.
QImage referenceColorBalance(const QImage& source, const PhotoSettings& s)
{
    QImage out = source.copy();
    const bool neutral = s.Contrast == 0 && s.Brightness == 0 && s.Red == 0 && s.Green == 0 && s.Blue == 0
        && !s.Grayscale && !s.Negative;
    if (neutral)
        return out;
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            uint8_t* p = out.scanLine(y) + 3 * x;
            int b = p[0], g = p[1], r = p[2];
            if (s.Grayscale) {
                const int v = (r * 299 + g * 587 + b * 114) / 1000;
                b = g = r = v;
            }
            if (s.Negative) {
                b = 255 - b;
                g = 255 - g;
                r = 255 - r;
            }
            const int in[3] = {b, g, r};
            const int offset[3] = {s.Blue, s.Green, s.Red};
            for (int c = 0; c < 3; ++c) {
                const int v = ((in[c] - 128) * s.Contrast) / 100 + in[c] + s.Brightness + offset[c];
                p[c] = uint8_t(std::clamp(v, 0, 255));
            }
        }
    }
    return out;
}

// Plain 3 x 3 convolution, straight from the formulas.
QImage referenceFilter(const QImage& source, const std::vector<int>& k)
{
    QImage out = source.copy();
    const int w = source.width();
    const int h = source.height();
    for (int y = 1; y + 1 < h; ++y) {
        for (int x = 1; x + 1 < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                int64_t s = 0;
                for (int j = -1; j <= 1; ++j)
                    for (int i = -1; i <= 1; ++i)
                        s += int64_t(k[size_t((j + 1) * 3 + i + 1)]) * source.constScanLine(y + j)[3 * (x + i) + c];
                out.scanLine(y)[3 * x + c] = uint8_t(std::clamp<int64_t>(s / 100, 0, 255));
            }
        }
    }
    return out;
}

uint32_t rgb(int r, int g, int b)
{
    return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

struct BalanceCase {
    const char* name;
    std::function<void(PhotoSettings&)> set;
    uint32_t in;
    uint32_t expected;
};

TEST(ColorBalance, PixelValues)
{
    const BalanceCase cases[] = {
        {"gray of red", [](PhotoSettings& s) { s.Grayscale = true; }, rgb(255, 0, 0), rgb(76, 76, 76)},
        {"gray of green", [](PhotoSettings& s) { s.Grayscale = true; }, rgb(0, 255, 0), rgb(149, 149, 149)},
        {"gray of blue", [](PhotoSettings& s) { s.Grayscale = true; }, rgb(0, 0, 255), rgb(29, 29, 29)},
        {"gray then negative",
         [](PhotoSettings& s) {
             s.Grayscale = true;
             s.Negative = true;
         },
         rgb(255, 0, 0), rgb(179, 179, 179)},
        {"negative", [](PhotoSettings& s) { s.Negative = true; }, rgb(10, 20, 30), rgb(245, 235, 225)},
        {"contrast 50", [](PhotoSettings& s) { s.Contrast = 50; }, rgb(200, 100, 50), rgb(236, 86, 11)},
        {"contrast 1 on 0 truncates to -1", [](PhotoSettings& s) { s.Contrast = 1; }, rgb(0, 0, 0), rgb(0, 0, 0)},
        {"contrast 30 truncates toward zero", [](PhotoSettings& s) { s.Contrast = 30; }, rgb(100, 100, 100),
         rgb(92, 92, 92)},
        {"contrast -1 on 0", [](PhotoSettings& s) { s.Contrast = -1; }, rgb(0, 0, 0), rgb(1, 1, 1)},
        {"contrast -100 flattens", [](PhotoSettings& s) { s.Contrast = -100; }, rgb(3, 128, 250),
         rgb(128, 128, 128)},
        {"contrast 100 doubles", [](PhotoSettings& s) { s.Contrast = 100; }, rgb(100, 140, 255), rgb(72, 152, 255)},
        {"negative before contrast",
         [](PhotoSettings& s) {
             s.Negative = true;
             s.Contrast = 50;
         },
         rgb(55, 155, 205), rgb(236, 86, 11)},
        {"brightness clamps high", [](PhotoSettings& s) { s.Brightness = 100; }, rgb(200, 200, 200),
         rgb(255, 255, 255)},
        {"brightness -100", [](PhotoSettings& s) { s.Brightness = -100; }, rgb(200, 50, 101), rgb(100, 0, 1)},
        {"red -255", [](PhotoSettings& s) { s.Red = -255; }, rgb(255, 40, 60), rgb(0, 40, 60)},
        {"each channel its own offset",
         [](PhotoSettings& s) {
             s.Red = 10;
             s.Green = -20;
             s.Blue = 30;
         },
         rgb(100, 100, 100), rgb(110, 80, 130)},
        {"offsets add to brightness",
         [](PhotoSettings& s) {
             s.Brightness = 50;
             s.Blue = -60;
         },
         rgb(0, 0, 100), rgb(50, 50, 90)},
    };
    for (const BalanceCase& c : cases) {
        SCOPED_TRACE(c.name);
        PhotoSettings s;
        c.set(s);
        QImage image = solidBitmap(3, 2, uint8_t(c.in >> 16), uint8_t(c.in >> 8), uint8_t(c.in));
        DoColorBalance(image, s);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(rgbAt(image, x, y), c.expected) << "at " << x << "," << y;
    }
}

TEST(ColorBalance, NeutralSettingsLeaveTheBitmapUntouched)
{
    QImage image = randomBitmap(40, 30, 7);
    const qint64 key = image.cacheKey();
    const uchar* bits = image.constBits();
    DoColorBalance(image, PhotoSettings{});
    EXPECT_EQ(image.cacheKey(), key);
    EXPECT_EQ(image.constBits(), bits);
}

TEST(ColorBalance, MatchesReferenceOnRandomSettings)
{
    std::mt19937 rng(12345);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 200; ++round) {
        PhotoSettings s;
        // Mostly in the dialog's ranges, now and then an extreme.
        s.Contrast = pick(0, 3) == 0 ? pick(-100, 100) : pick(-100, 100) / 10 * 10;
        s.Brightness = pick(0, 2) == 0 ? 0 : pick(-100, 100);
        s.Red = pick(0, 2) == 0 ? 0 : pick(-255, 255);
        s.Green = pick(0, 2) == 0 ? 0 : pick(-255, 255);
        s.Blue = pick(0, 2) == 0 ? 0 : pick(-255, 255);
        s.Grayscale = pick(0, 1) == 1;
        s.Negative = pick(0, 1) == 1;
        const QImage source = randomBitmap(pick(1, 40), pick(1, 9), uint32_t(round));
        QImage actual = source;
        DoColorBalance(actual, s);
        SCOPED_TRACE(testing::Message() << "round " << round << " contrast " << s.Contrast << " brightness "
                                        << s.Brightness << " rgb " << s.Red << "/" << s.Green << "/" << s.Blue
                                        << " gray " << s.Grayscale << " negative " << s.Negative);
        ASSERT_EQ(bitmapDifference(referenceColorBalance(source, s), actual), "");
        // The caller's other copy of the image is not changed behind its back.
        ASSERT_EQ(bitmapDifference(source, randomBitmap(source.width(), source.height(), uint32_t(round))), "");
    }
}

TEST(Filter, SingleBrightPixel)
{
    struct Case {
        uint8_t background;
        uint8_t centre;
        uint8_t expected;
    };
    for (const Case c : {Case{0, 255, 173}, Case{100, 200, 168}, Case{255, 255, 255}}) {
        QImage image = solidBitmap(3, 3, c.background, c.background, c.background);
        std::fill_n(image.scanLine(1) + 3, 3, c.centre);
        DoFilter(image, OptimizeKernel);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 3; ++x) {
                const uint8_t v = (x == 1 && y == 1) ? c.expected : c.background;
                EXPECT_EQ(rgbAt(image, x, y), rgb(v, v, v)) << "at " << x << "," << y;
            }
        }
    }
}

TEST(Filter, NarrowImagesComeBackUnchanged)
{
    const QSize sizes[] = {{1, 1}, {1, 7}, {7, 1}, {2, 2}, {2, 9}, {9, 2}, {1, 2}};
    for (const QSize size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        QImage image = randomBitmap(size.width(), size.height(), 3);
        DoFilter(image, OptimizeKernel);
        EXPECT_EQ(bitmapDifference(randomBitmap(size.width(), size.height(), 3), image), "");
    }
}

TEST(Filter, KernelOfWrongLengthDoesNothing)
{
    const std::vector<int> eight(8, 12);
    const std::vector<int> ten(10, 10);
    for (const std::vector<int>* kernel : {&eight, &ten}) {
        QImage image = randomBitmap(20, 10, 4);
        const qint64 key = image.cacheKey();
        DoFilter(image, *kernel);
        EXPECT_EQ(image.cacheKey(), key);
        EXPECT_EQ(bitmapDifference(randomBitmap(20, 10, 4), image), "");
    }
}

TEST(Filter, MatchesReferenceOnRandomImagesAndKernels)
{
    std::mt19937 rng(777);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<std::vector<int>> kernels = {
        {OptimizeKernel.begin(), OptimizeKernel.end()},
        {28, 28, 28, 28, 28, 28, 28, 28, 28}, // sums above 100: results clamp at 255
        {0, 0, 0, 0, 100, 0, 0, 0, 0},
        {-1, -1, -1, -1, 900, -1, -1, -1, -1},   // negative weights
        {-100, 0, 0, 0, 0, 0, 0, 0, 0},          // always negative: clamps at 0
        {2000000000, 0, 0, 0, 0, 0, 0, 0, -3},   // sums beyond 32 bits
        {0, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (int i = 0; i < 6; ++i) {
        std::vector<int> k(9);
        for (int& w : k)
            w = i < 3 ? pick(0, 29) : pick(-300, 300);
        kernels.push_back(k);
    }
    const int widths[] = {3, 4, 5, 6, 7, 8, 17, 18, 19, 33, 64, 101};
    int round = 0;
    for (const std::vector<int>& k : kernels) {
        for (const int w : widths) {
            const QImage source = randomBitmap(w, pick(3, 8), uint32_t(++round));
            QImage actual = source;
            DoFilter(actual, k);
            SCOPED_TRACE(testing::Message() << "width " << w << " kernel " << k[0] << "," << k[1] << "," << k[4]
                                            << "," << k[8]);
            ASSERT_EQ(bitmapDifference(referenceFilter(source, k), actual), "");
        }
    }
}

TEST(ToneSteps, TinyAndEmptyImages)
{
    PhotoSettings s;
    s.Contrast = 40;
    s.Grayscale = true;
    for (const QSize size : {QSize(0, 0), QSize(0, 5), QSize(5, 0), QSize(1, 1), QSize(2, 1), QSize(2, 2),
                             QSize(1, 3), QSize(3, 3)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        const QImage source = randomBitmap(size.width(), size.height(), 9);
        QImage balanced = source;
        DoColorBalance(balanced, s);
        EXPECT_EQ(bitmapDifference(referenceColorBalance(source, s), balanced), "");
        QImage filtered = source;
        DoFilter(filtered, OptimizeKernel);
        const std::vector<int> k(OptimizeKernel.begin(), OptimizeKernel.end());
        EXPECT_EQ(bitmapDifference(referenceFilter(source, k), filtered), "");
    }
}

} // namespace
