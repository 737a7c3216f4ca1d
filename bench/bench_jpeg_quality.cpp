// The quality search under a size limit beside single compressions of the same picture, in
// the same run: a 1024 x 683 photo-like bitmap (a photo resized for the web) under 200 KB.
// The search's time over BM_EncodeQuality100 is its cost in compressions (goal: at most 8).
#include "BenchPictures.h"

#include "formats/JpegSizeLimit.h"
#include "formats/JpegWriter.h"

#include <benchmark/benchmark.h>

namespace {

const QImage& picture()
{
    static const QImage image = photoLikePicture(1024, 683);
    return image;
}

void encodeAt(benchmark::State& state, int quality)
{
    qint64 bytes = 0;
    for (auto _ : state) {
        const QByteArray jpeg = encodeJpeg(picture(), quality);
        bytes = jpeg.size();
        benchmark::DoNotOptimize(jpeg.constData());
    }
    state.counters["KB"] = double(bytes) / 1024;
}

void BM_EncodeQuality100(benchmark::State& state) { encodeAt(state, 100); }
void BM_EncodeQuality85(benchmark::State& state) { encodeAt(state, 85); }

void BM_QualitySearchUnder200KB(benchmark::State& state)
{
    FittedJpeg fitted;
    for (auto _ : state) {
        fitted = *encodeJpegWithin(picture(), 100, 200 * kBytesPerKilobyte);
        benchmark::DoNotOptimize(fitted.bytes.constData());
    }
    state.counters["quality"] = fitted.quality;
    state.counters["encodes"] = fitted.encodes;
    state.counters["KB"] = double(fitted.bytes.size()) / 1024;
}

} // namespace

BENCHMARK(BM_EncodeQuality100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeQuality85)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QualitySearchUnder200KB)->Unit(benchmark::kMillisecond);
