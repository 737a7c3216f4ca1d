// Files that once cost far more than their size (../shared/hostile, or the folder named by
// LUMATRIM_HOSTILE_DIR): each decode through the format registry, beside a plain read of
// the same file's bytes in the same run. A decode that is refused counts as done: the time
// to the error is what is measured.
//
// The counter peak_mb is the process's peak resident memory so far; run one benchmark at a
// time (--benchmark_filter) to read it for that file alone.
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <QFile>
#include <QImage>
#include <QString>

#include <benchmark/benchmark.h>

#include <cstdlib>

#include <sys/resource.h>

namespace {

QString hostileFile(const char* name)
{
    const char* dir = std::getenv("LUMATRIM_HOSTILE_DIR");
    return QString::fromLocal8Bit(dir && *dir ? dir : "../shared/hostile") + QLatin1Char('/') + QString::fromLatin1(name);
}

void reportPeakMemory(benchmark::State& state)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_mb"] = double(usage.ru_maxrss) / 1024.0;
}

void plainRead(benchmark::State& state, const char* name)
{
    const QString path = hostileFile(name);
    if (!QFile::exists(path)) {
        state.SkipWithError("set LUMATRIM_HOSTILE_DIR to the folder of the hostile files");
        return;
    }
    for (auto _ : state) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            state.SkipWithError("the file cannot be read");
            return;
        }
        const QByteArray bytes = file.readAll();
        benchmark::DoNotOptimize(bytes.constData());
    }
    reportPeakMemory(state);
}

void decode(benchmark::State& state, const char* name)
{
    const QString path = hostileFile(name);
    if (!QFile::exists(path)) {
        state.SkipWithError("set LUMATRIM_HOSTILE_DIR to the folder of the hostile files");
        return;
    }
    int64_t pixels = 0;
    bool refused = false;
    for (auto _ : state) {
        try {
            const QImage bitmap = toBgr888(loadPicture(path)->toImage());
            benchmark::DoNotOptimize(bitmap.constBits());
            pixels = int64_t(bitmap.width()) * bitmap.height();
        } catch (const PictureError&) {
            refused = true;
        }
    }
    state.counters["megapixels"] = double(pixels) / 1e6;
    state.counters["refused"] = refused ? 1 : 0;
    reportPeakMemory(state);
}

BENCHMARK_CAPTURE(plainRead, eps_36_samples, "eps-36-samples.eps")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, eps_36_samples, "eps-36-samples.eps")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(plainRead, tiff_ccitt_286mp, "tiff-ccitt-286mp.tif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, tiff_ccitt_286mp, "tiff-ccitt-286mp.tif")->Unit(benchmark::kMillisecond);

} // namespace
