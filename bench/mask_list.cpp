// The first showing of the Mask dialog reads the masks folder: every shipped mask decoded and
// squeezed into its 80 x 80 thumbnail. Beside it, in the same run, the plain decode of the same
// files (decode_ms): what the thumbnails add on top of reading the masks.
#include "formats/FormatRegistry.h"
#include "ui/dialogs/MaskList.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>

namespace {

const QString kMasks = QStringLiteral(LUMATRIM_SOURCE_DIR "/data/Masks");

void BM_MaskListFirstShowing(benchmark::State& state)
{
    double listNs = 0;
    double decodeNs = 0;
    int masks = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        MaskList list(80);
        list.load({kMasks});
        listNs += double(timer.nsecsElapsed());
        masks = list.count();
        timer.start();
        for (const MaskFile& file : listMaskFiles(kMasks))
            benchmark::DoNotOptimize(loadPicture(file.path).get());
        decodeNs += double(timer.nsecsElapsed());
    }
    const double n = double(state.iterations());
    state.counters["masks"] = masks;
    state.counters["list_ms"] = listNs / 1e6 / n;
    state.counters["decode_ms"] = decodeNs / 1e6 / n;
    state.counters["list_over_decode"] = listNs / decodeNs;
}

} // namespace

BENCHMARK(BM_MaskListFirstShowing)->Unit(benchmark::kMillisecond)->Iterations(10);
