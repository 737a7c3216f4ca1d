// Opening photos in the main window. Opening decodes a file once for both its thumbnail and
// its view, so opening 20 24-megapixel JPEGs one after another should cost little more than
// 20 plain decodes of them; Next decodes and renders the next photo again, so it should cost
// about one decode. Both are measured against plain decodes of the same files in the same
// iteration, and the ratios are reported as counters.
#include "formats/FormatRegistry.h"
#include "formats/JpegWriter.h"
#include "model/LastDecodedPicture.h"
#include "ui/desktop/Desktop.h"
#include "ui/window/FormMain.h"

#include "BenchPictures.h"
#include "QuietDesktop.h"

#include <benchmark/benchmark.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>

namespace {

constexpr int kPhotos = 20;

// 20 copies of one 6000 x 4000 JPEG with photo-like content, written once per run.
const QStringList& photoFiles()
{
    static QTemporaryDir folder;
    static const QStringList files = [] {
        const QImage image = photoLikePicture();
        QStringList list;
        const QString first = folder.filePath(QStringLiteral("photo00.jpg"));
        writeJpeg(image, first);
        list << first;
        for (int i = 1; i < kPhotos; ++i) {
            const QString copy = folder.filePath(QStringLiteral("photo%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
            QFile::copy(first, copy);
            list << copy;
        }
        return list;
    }();
    return files;
}

double decodeSeconds(const QStringList& files)
{
    QElapsedTimer timer;
    timer.start();
    for (const QString& file : files)
        benchmark::DoNotOptimize(loadPicture(file)->width());
    return double(timer.nsecsElapsed()) / 1e9;
}

void BM_OpenTwentyPhotos(benchmark::State& state)
{
    const QStringList& files = photoFiles();
    QuietDesktop desktop;
    TFormMain window(desktop);
    double decodes = 0;
    double opens = 0;
    for (auto _ : state) {
        LastDecodedPicture::clear();
        const double baseline = decodeSeconds(files);
        LastDecodedPicture::clear();
        QElapsedTimer timer;
        timer.start();
        for (const QString& file : files)
            window.OpenPhoto(file, false);
        const double open = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(open);
        window.MenuAllClick();
        decodes += baseline;
        opens += open;
    }
    state.counters["decodes_s"] = decodes / double(state.iterations());
    state.counters["opens_s"] = opens / double(state.iterations());
    state.counters["ratio"] = opens / decodes;
}

void BM_NextPhoto(benchmark::State& state)
{
    const QStringList& files = photoFiles();
    QuietDesktop desktop;
    TFormMain window(desktop);
    window.OpenPhoto(files[0], false);
    window.OpenPhoto(files[1], false);
    double decodes = 0;
    double nexts = 0;
    bool forward = true;
    for (auto _ : state) {
        LastDecodedPicture::clear();
        const double baseline = decodeSeconds({files[0]});
        LastDecodedPicture::clear();
        QElapsedTimer timer;
        timer.start();
        if (forward)
            window.MenuNextClick();
        else
            window.MenuPreviousClick();
        const double step = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(step);
        forward = !forward;
        decodes += baseline;
        nexts += step;
    }
    window.MenuAllClick();
    state.counters["decode_s"] = decodes / double(state.iterations());
    state.counters["next_s"] = nexts / double(state.iterations());
    state.counters["ratio"] = nexts / decodes;
}

} // namespace

BENCHMARK(BM_OpenTwentyPhotos)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_NextPhoto)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
