// Tone and compositing steps on a web-sized and a 24-megapixel photo; items are pixels, so
// items_per_second is the throughput in pixels per second. BM_Copy is the baseline.
#include "formats/Picture.h"
#include "render/Compositing.h"
#include "render/Tone.h"

#include <QPainter>

#include <benchmark/benchmark.h>

#include <random>

namespace {

QImage noise(int w, int h)
{
    std::mt19937 rng(1);
    QImage image(w, h, QImage::Format_BGR888);
    for (int y = 0; y < h; ++y) {
        uint8_t* p = image.scanLine(y);
        for (int x = 0; x < w * 3; ++x)
            p[x] = uint8_t(rng());
    }
    return image;
}

const QImage& photo(int w)
{
    static const QImage small = noise(600, 450);
    static const QImage large = noise(6000, 4000);
    return w == 600 ? small : large;
}

void setPixels(benchmark::State& state, int w, int h)
{
    // Items are pixels: items_per_second reads as pixels per second ("450M/s" = 450 MP/s).
    state.SetItemsProcessed(int64_t(state.iterations()) * w * h);
}

// In-place steps work on one bitmap of their own, changed again and again: their cost does
// not depend on the pixel values. Steps that make a new bitmap get a shallow copy each time.
template <typename Step>
void runInPlace(benchmark::State& state, Step step)
{
    const int w = int(state.range(0));
    const int h = int(state.range(1));
    QImage bitmap = photo(w).copy();
    for (auto _ : state) {
        step(bitmap);
        benchmark::DoNotOptimize(bitmap.constBits());
    }
    setPixels(state, w, h);
}

template <typename Step>
void runOnShared(benchmark::State& state, Step step)
{
    const int w = int(state.range(0));
    const int h = int(state.range(1));
    const QImage& source = photo(w);
    for (auto _ : state) {
        QImage bitmap = source;
        step(bitmap);
        benchmark::DoNotOptimize(bitmap.constBits());
    }
    setPixels(state, w, h);
}

// Baseline: one deep copy of the bitmap (allocation and first touch included).
void BM_Copy(benchmark::State& state)
{
    runOnShared(state, [](QImage& b) { b = b.copy(); });
}

void BM_ColorBalance(benchmark::State& state)
{
    PhotoSettings s;
    s.Contrast = 30;
    s.Brightness = -10;
    s.Red = 12;
    runInPlace(state, [&](QImage& b) { DoColorBalance(b, s); });
}

void BM_ColorBalanceGray(benchmark::State& state)
{
    PhotoSettings s;
    s.Contrast = 30;
    s.Grayscale = true;
    s.Negative = true;
    runInPlace(state, [&](QImage& b) { DoColorBalance(b, s); });
}

void BM_Filter(benchmark::State& state)
{
    runInPlace(state, [](QImage& b) { DoFilter(b, OptimizeKernel); });
}

void BM_FilterGeneral(benchmark::State& state)
{
    static const int sharpen[9] = {-10, -10, -10, -10, 180, -10, -10, -10, -10};
    runInPlace(state, [](QImage& b) { DoFilter(b, sharpen); });
}

void BM_Watermark(benchmark::State& state)
{
    PhotoSettings s;
    runInPlace(state, [&](QImage& b) { DoWatermark(b, s); });
}

void BM_Border(benchmark::State& state)
{
    PhotoSettings s;
    s.BorderWidth = 20;
    runInPlace(state, [&](QImage& b) { DoMask(b, nullptr, s); });
}

void BM_Mask(benchmark::State& state)
{
    QImage maskImage(400, 300, QImage::Format_RGB32);
    maskImage.fill(Qt::white);
    {
        QPainter painter(&maskImage);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::black);
        painter.drawEllipse(QRect(10, 10, 380, 280));
    }
    const RasterPicture mask(maskImage.convertToFormat(QImage::Format_BGR888));
    PhotoSettings s;
    s.Mask = "ellipse";
    s.BorderWidth = 10;
    runInPlace(state, [&](QImage& b) { DoMask(b, &mask, s); });
}

#define SIZES ->Args({600, 450})->Args({6000, 4000})->Unit(benchmark::kMillisecond)
BENCHMARK(BM_Copy) SIZES;
BENCHMARK(BM_ColorBalance) SIZES;
BENCHMARK(BM_ColorBalanceGray) SIZES;
BENCHMARK(BM_Filter) SIZES;
BENCHMARK(BM_FilterGeneral) SIZES;
BENCHMARK(BM_Watermark) SIZES;
BENCHMARK(BM_Border) SIZES;
BENCHMARK(BM_Mask) SIZES;

} // namespace
