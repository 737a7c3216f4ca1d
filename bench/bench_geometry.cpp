// Geometry steps on a 24-megapixel bitmap. Resize to 600 px must cost in proportion to the
// destination; a quarter turn moves every pixel once. The baseline is a plain copy of the
// same bitmap, measured in the same run.
#include "render/Geometry.h"

#include <benchmark/benchmark.h>

#include <QImage>

#include <cstring>

namespace {

const QImage& source()
{
    static const QImage image = [] {
        QImage img(6000, 4000, QImage::Format_BGR888);
        for (int y = 0; y < img.height(); ++y) {
            uint8_t* p = img.scanLine(y);
            for (int x = 0; x < img.width() * 3; ++x)
                p[x] = uint8_t(x * 7 + y * 13);
        }
        return img;
    }();
    return image;
}

void BM_CopyBaseline(benchmark::State& state)
{
    const QImage& src = source();
    QImage dst(src.size(), src.format());
    for (auto _ : state) {
        std::memcpy(dst.bits(), src.constBits(), size_t(src.sizeInBytes()));
        benchmark::DoNotOptimize(dst.bits());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(src.width()) * src.height());
}

void BM_ResizeTo600(benchmark::State& state)
{
    PhotoSettings info;
    for (auto _ : state) {
        QImage bitmap = source();
        DoResize(bitmap, info);
        benchmark::DoNotOptimize(bitmap.constBits());
    }
    state.SetItemsProcessed(state.iterations() * 600 * 400);
}

void BM_Rotate(benchmark::State& state)
{
    PhotoSettings info;
    info.Rotation = int(state.range(0));
    {
        QImage warmUp = source(); // grows the heap once, as the program's first render does
        DoRotate(warmUp, info);
    }
    for (auto _ : state) {
        QImage bitmap = source();
        DoRotate(bitmap, info);
        benchmark::DoNotOptimize(bitmap.constBits());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(source().width()) * source().height());
}

void BM_CropHalf(benchmark::State& state)
{
    for (auto _ : state) {
        PhotoSettings info;
        info.CropRect = {1500, 1000, 4500, 3000};
        QImage bitmap = source();
        DoCrop(bitmap, info);
        benchmark::DoNotOptimize(bitmap.constBits());
    }
    state.SetItemsProcessed(state.iterations() * 3000 * 2000);
}

} // namespace

BENCHMARK(BM_CopyBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeTo600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate)->Arg(90)->Arg(180)->Arg(270)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CropHalf)->Unit(benchmark::kMillisecond);
