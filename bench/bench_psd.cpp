// Decoding a 24-megapixel Photoshop file, beside ImageMagick converting the same file in
// the same run. The file is made once with ImageMagick (a 6000 x 4000 plasma fractal, 8-bit RGB,
// PackBits) and kept in the temporary folder; LUMATRIM_BENCH_PSD names another file.
#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <string>

namespace {

QString benchFile()
{
    static const QString path = [] {
        const QByteArray given = qgetenv("LUMATRIM_BENCH_PSD");
        if (!given.isEmpty())
            return QString::fromLocal8Bit(given);
        const QString file = QDir::temp().filePath(QStringLiteral("lumatrim-bench-6000x4000-rgb8.psd"));
        if (!QFileInfo::exists(file)) {
            const std::string command = "convert -size 6000x4000 -seed 7 plasma:fractal -depth 8 -compress RLE '"
                + file.toStdString() + "' >/dev/null 2>&1";
            if (std::system(command.c_str()) != 0)
                return QString();
        }
        return file;
    }();
    return path;
}

const QByteArray& benchBytes()
{
    static const QByteArray bytes = [] {
        QFile file(benchFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    return bytes;
}

void BM_PsdDecodeFromMemory(benchmark::State& state)
{
    const QByteArray& bytes = benchBytes();
    if (bytes.isEmpty()) {
        state.SkipWithError("no benchmark file (ImageMagick convert failed)");
        return;
    }
    const PictureFile file{benchFile(), std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                                                   size_t(bytes.size()))};
    for (auto _ : state) {
        QImage image = toBgr888(decodePsd(file));
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetItemsProcessed(state.iterations() * 6000 * 4000);
}
BENCHMARK(BM_PsdDecodeFromMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole load as the program does it: open, map, decode, convert to the bitmap.
void BM_PsdLoadFile(benchmark::State& state)
{
    const QString path = benchFile();
    if (path.isEmpty()) {
        state.SkipWithError("no benchmark file (ImageMagick convert failed)");
        return;
    }
    for (auto _ : state) {
        QImage image = toBgr888(loadPicture(path)->toImage());
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetItemsProcessed(state.iterations() * 6000 * 4000);
}
BENCHMARK(BM_PsdLoadFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: ImageMagick reading the same file and writing its pixels as PPM to nowhere.
void BM_ImageMagickConvertToPpm(benchmark::State& state)
{
    const QString path = benchFile();
    if (path.isEmpty()) {
        state.SkipWithError("no benchmark file (ImageMagick convert failed)");
        return;
    }
    const std::string command = "convert '" + path.toStdString() + "[0]' ppm:- >/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("convert failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * 6000 * 4000);
}
BENCHMARK(BM_ImageMagickConvertToPpm)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
