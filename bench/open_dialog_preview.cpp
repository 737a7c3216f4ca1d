// Selecting a 24-megapixel picture in the open dialog, from the selection to the moment the
// preview image is set. A JPEG is previewed from its DCT-scaled decode on the user-interface
// thread; a PNG is decoded in full on a worker thread, so what counts for it is how long
// showPreview holds the user-interface thread (ui_ms) beside how long until the preview
// appears (shown_ms). Each iteration also times one plain full decode of the same file
// (decode_ms), the cost the dialog used to pay on the user-interface thread.
#include "formats/FormatRegistry.h"
#include "formats/JpegWriter.h"
#include "model/LastDecodedPicture.h"
#include "ui/desktop/OpenPictureDialog.h"
#include "ui/desktop/PreviewLoader.h"

#include "BenchPictures.h"

#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThreadPool>

#include <algorithm>

namespace {

enum class Kind { JpegOurs, JpegCamera, Png };

// The files, written once per run into a temporary folder: a JPEG of the program's own
// writer (quality 100, as an exported photo), one at quality 90 (as cameras write them, with
// far less entropy-coded data) and a PNG at zlib's default compression.
QString pictureFile(Kind kind)
{
    static QTemporaryDir folder;
    static const QImage picture = photoLikePicture();
    auto written = [](const char* name, auto write) {
        const QString path = folder.filePath(QLatin1String(name));
        write(path);
        return path;
    };
    static const QString ours = written("ours.jpg", [](const QString& path) { writeJpeg(picture, path); });
    static const QString camera = written("camera.jpg", [](const QString& path) { picture.save(path, "JPEG", 90); });
    static const QString png = written("photo.png", [](const QString& path) { picture.save(path, "PNG"); });
    switch (kind) {
    case Kind::JpegOurs:
        return ours;
    case Kind::JpegCamera:
        return camera;
    case Kind::Png:
        break;
    }
    return png;
}

double millisecondsOf(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

void previewBenchmark(benchmark::State& state, Kind kind)
{
    const QString file = pictureFile(kind);
    OpenPictureDialog dialog;
    bool shown = false;
    QElapsedTimer sinceSelection;
    double shownAt = 0;
    QEventLoop waiting;
    // Connected after the dialog's own handler: runs once the preview image is set.
    QObject::connect(&dialog.previewLoader(), &PreviewLoader::ready, [&] {
        shownAt = millisecondsOf(sinceSelection);
        shown = true;
        waiting.quit();
    });
    double decodes = 0, uis = 0, shows = 0;
    for (auto _ : state) {
        LastDecodedPicture::clear();
        QElapsedTimer timer;
        timer.start();
        benchmark::DoNotOptimize(loadPicture(file)->width());
        const double decode = millisecondsOf(timer);

        LastDecodedPicture::clear();
        dialog.showPreview(QString()); // nothing selected
        shown = false;
        sinceSelection.start();
        dialog.showPreview(file);
        const double ui = millisecondsOf(sinceSelection);
        if (!shown)
            waiting.exec(); // the user-interface thread sleeps until the result arrives
        state.SetIterationTime(shownAt / 1e3);
        decodes += decode;
        uis += ui;
        shows += shownAt;
    }
    QThreadPool::globalInstance()->waitForDone();
    const double n = double(state.iterations());
    state.counters["decode_ms"] = decodes / n;
    state.counters["ui_ms"] = uis / n;
    state.counters["shown_ms"] = shows / n;
    state.counters["ui_ratio"] = uis / decodes;
    state.counters["shown_ratio"] = shows / decodes;
}

void BM_PreviewJpeg24MPQuality100(benchmark::State& state)
{
    previewBenchmark(state, Kind::JpegOurs);
}

void BM_PreviewJpeg24MPQuality90(benchmark::State& state)
{
    previewBenchmark(state, Kind::JpegCamera);
}

void BM_PreviewPng24MP(benchmark::State& state)
{
    previewBenchmark(state, Kind::Png);
}

} // namespace

BENCHMARK(BM_PreviewJpeg24MPQuality100)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_PreviewJpeg24MPQuality90)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_PreviewPng24MP)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
