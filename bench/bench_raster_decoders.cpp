// Decode time of large TGA, PCX and SGI files through the format registry, from the file on
// disk to the 24-bit bitmap. bench/decode_compare_tga_pcx_sgi.sh makes the files and names
// their folder in LUMATRIM_BENCH_RASTER_DIR; without it these benchmarks are skipped.
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"

#include <QFile>
#include <QImage>
#include <QString>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

void decodeFile(benchmark::State& state, const char* name)
{
    const char* dir = std::getenv("LUMATRIM_BENCH_RASTER_DIR");
    const QString path = QString::fromLocal8Bit(dir ? dir : "") + QLatin1Char('/') + QString::fromLatin1(name);
    if (!dir || !QFile::exists(path)) {
        state.SkipWithError("set LUMATRIM_BENCH_RASTER_DIR to the folder the comparison script fills");
        return;
    }
    int64_t pixels = 0;
    for (auto _ : state) {
        const QImage bitmap = toBgr888(loadPicture(path)->toImage());
        benchmark::DoNotOptimize(bitmap.constBits());
        pixels = int64_t(bitmap.width()) * bitmap.height();
    }
    state.SetItemsProcessed(state.iterations() * pixels);
}

BENCHMARK_CAPTURE(decodeFile, tga_24bit_rle, "photo_rle.tga")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeFile, tga_24bit_raw, "photo_raw.tga")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeFile, pcx_24bit_rle, "photo.pcx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeFile, sgi_rgb8_rle, "photo_rle.sgi")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeFile, sgi_rgb8_verbatim, "photo_verbatim.sgi")->Unit(benchmark::kMillisecond);

} // namespace
