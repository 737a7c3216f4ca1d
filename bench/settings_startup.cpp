// Start-up of the main window with large settings files, each beside a plain read of the same
// file in the same iteration:
// - a lumatrim.dat of about 10 MB, with three photos opened as from the command line, beside
//   the same start-up without the file;
// - a template store of 20,000 templates (none, half or all with a tool bar button), beside
//   the start-up without a store and the reading of the store alone (whole, and only the names
//   and buttons start-up needs);
// - a template store of 50 MB, over the cap.
// peak_mb is the process's peak resident memory: run one benchmark at a time
// (--benchmark_filter) to read it for that one.
#include "formats/JpegWriter.h"
#include "model/KeyValueFile.h"
#include "model/ProgramFolder.h"
#include "model/TemplateStore.h"
#include "ui/window/FormMain.h"

#include "BenchPictures.h"
#include "QuietDesktop.h"
#include "SettingsFiles.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>

#include <memory>

#include <sys/resource.h>

namespace {

constexpr int kTemplates = 20000;

const QStringList& threePhotos()
{
    static const QStringList files = [] {
        QDir(programFolder()).mkpath(QStringLiteral("photos"));
        QStringList list;
        const QImage image = photoLikePicture(1600, 1200);
        for (int i = 0; i < 3; ++i) {
            list << programFile(QStringLiteral("photos/photo%1.jpg").arg(i));
            writeJpeg(image, list.last());
        }
        return list;
    }();
    return files;
}

// Seconds from creating the window to the photos being open and the window ready.
double startSeconds(const QStringList& photos, std::unique_ptr<TFormMain>& window)
{
    static QuietDesktop desktop;
    QElapsedTimer timer;
    timer.start();
    window = std::make_unique<TFormMain>(desktop);
    if (!photos.isEmpty())
        window->OpenFiles(photos);
    return double(timer.nsecsElapsed()) / 1e9;
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void BM_StartWithLargeSettings(benchmark::State& state)
{
    const QStringList& photos = threePhotos();
    const QByteArray large = largeSettingsFile(10);
    double plain = 0;
    double withoutFile = 0;
    double withFile = 0;
    for (auto _ : state) {
        std::unique_ptr<TFormMain> window;
        QFile::remove(settingsFilePath());
        withoutFile += startSeconds(photos, window);
        window.reset();
        writeBenchFile(settingsFilePath(), large);
        plain += plainReadSeconds(settingsFilePath());
        const double seconds = startSeconds(photos, window);
        state.SetIterationTime(seconds);
        withFile += seconds;
        window.reset();
    }
    QFile::remove(settingsFilePath());
    const double n = double(state.iterations());
    state.counters["plain_read_ms"] = plain * 1e3 / n;
    state.counters["start_without_file_ms"] = withoutFile * 1e3 / n;
    state.counters["start_ms"] = withFile * 1e3 / n;
    state.counters["peak_mb"] = peakMegabytes();
}

void BM_StartWithManyTemplates(benchmark::State& state)
{
    const int everyButton = int(state.range(0)); // every n-th template has a button; 0: none
    QList<TemplateContent> templates;
    const TPhotoInfo settings;
    for (int i = 0; i < kTemplates; ++i)
        templates.append({QStringLiteral("Template %1 for the web").arg(i), everyButton > 0 && i % everyButton == 0,
                          &settings});
    double plain = 0;
    double reading = 0;
    double readingNames = 0;
    double withoutStore = 0;
    double withStore = 0;
    for (auto _ : state) {
        std::unique_ptr<TFormMain> window;
        QFile::remove(templatesFilePath());
        withoutStore += startSeconds({}, window);
        window.reset();
        rewriteTemplates(templatesFilePath(), templates);
        plain += plainReadSeconds(templatesFilePath());
        QElapsedTimer timer;
        timer.start();
        benchmark::DoNotOptimize(readTemplates(templatesFilePath()).size());
        reading += double(timer.nsecsElapsed()) / 1e9;
        timer.start();
        benchmark::DoNotOptimize(readTemplateNames(templatesFilePath()).size());
        readingNames += double(timer.nsecsElapsed()) / 1e9;
        const double seconds = startSeconds({}, window);
        state.SetIterationTime(seconds);
        withStore += seconds;
        window.reset();
    }
    QFile::remove(templatesFilePath());
    const double n = double(state.iterations());
    state.counters["plain_read_ms"] = plain * 1e3 / n;
    state.counters["read_templates_ms"] = reading * 1e3 / n;
    state.counters["read_names_ms"] = readingNames * 1e3 / n;
    state.counters["start_without_store_ms"] = withoutStore * 1e3 / n;
    state.counters["start_ms"] = withStore * 1e3 / n;
    state.counters["peak_mb"] = peakMegabytes();
}

// A store of 1,093,021 small sections, 50 MB: over the cap, so start-up neither reads nor
// builds anything of it.
void BM_StartWithOversizedStore(benchmark::State& state)
{
    QByteArray store;
    for (int i = 0; i < 1093021; ++i)
        store += "[TEMPLATE" + QByteArray::number(i) + "]\nNAME=t\nBUTTON=1\nSIZE=600\nKEEP=1\n";
    writeBenchFile(templatesFilePath(), store);
    double plain = 0;
    double start = 0;
    for (auto _ : state) {
        plain += plainReadSeconds(templatesFilePath());
        std::unique_ptr<TFormMain> window;
        const double seconds = startSeconds({}, window);
        state.SetIterationTime(seconds);
        start += seconds;
        window.reset();
    }
    takeFileNotices();
    QFile::remove(templatesFilePath());
    const double n = double(state.iterations());
    state.counters["store_mb"] = double(store.size()) / (1024.0 * 1024.0);
    state.counters["plain_read_ms"] = plain * 1e3 / n;
    state.counters["start_ms"] = start * 1e3 / n;
    state.counters["peak_mb"] = peakMegabytes();
}

} // namespace

BENCHMARK(BM_StartWithOversizedStore)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StartWithLargeSettings)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StartWithManyTemplates)->Arg(0)->Arg(2)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
