// Reading and writing a lumatrim.dat of about 10 MB, each beside a plain read of the same
// file in the same iteration: a new photo's settings record (one section), one key of
// another section, and the recent-files write that every Open, PgUp and PgDn makes.
#include "model/KeyValueFile.h"
#include "model/PhotoInfo.h"
#include "model/ProgramFolder.h"

#include "SettingsFiles.h"

#include <benchmark/benchmark.h>

namespace {

const QString& largeSettings()
{
    static const QString path = [] {
        writeBenchFile(settingsFilePath(), largeSettingsFile(10));
        return settingsFilePath();
    }();
    return path;
}

template <typename Operation>
void measureBesidePlainRead(benchmark::State& state, Operation&& operation)
{
    const QString& path = largeSettings();
    double plain = 0;
    double measured = 0;
    for (auto _ : state) {
        plain += plainReadSeconds(path);
        QElapsedTimer timer;
        timer.start();
        operation(path);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        measured += seconds;
    }
    const double n = double(state.iterations());
    state.counters["plain_read_ms"] = plain * 1e3 / n;
    state.counters["ms"] = measured * 1e3 / n;
    state.counters["ratio"] = measured / plain;
}

void BM_NewPhotoSettings(benchmark::State& state)
{
    measureBesidePlainRead(state, [](const QString&) { benchmark::DoNotOptimize(TPhotoInfo().MaxSize); });
}

void BM_ReadOneKey(benchmark::State& state)
{
    measureBesidePlainRead(state, [](const QString& path) {
        benchmark::DoNotOptimize(KeyValueFile(path).readString("RECENT", "PHOTO1", QString()).size());
    });
}

void BM_WriteRecentFiles(benchmark::State& state)
{
    int turn = 0;
    measureBesidePlainRead(state, [&turn](const QString& path) {
        KeyValueFile::Pairs values;
        for (int slot = 1; slot <= 9; ++slot)
            values.append({QStringLiteral("PHOTO%1").arg(slot), QStringLiteral("/photos/%1/%2.jpg").arg(turn).arg(slot)});
        ++turn;
        KeyValueFile(path).writeValues("RECENT", values);
    });
}

} // namespace

BENCHMARK(BM_NewPhotoSettings)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ReadOneKey)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_WriteRecentFiles)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
