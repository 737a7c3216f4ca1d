// The live previews of the Color Balance and Watermark dialogs: one slider step of the color
// dialog (the color step on the 185-pixel preview base, then shown) and one watermark preview
// (the watermark step on the black 449 x 269 bitmap and its guides). Beside each, in the same
// run, a plain copy of the same preview bitmap (copy_ms): the floor any preview pays.
#include "ui/dialogs/FormColor.h"
#include "ui/dialogs/FormWatermark.h"
#include "ui/dialogs/ImageBox.h"
#include "ui/photo/Photo.h"

#include "BenchPictures.h"
#include "QuietDesktop.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QSlider>

namespace {

double copyMs(const QImage& bitmap)
{
    QElapsedTimer timer;
    timer.start();
    constexpr int kCopies = 200;
    for (int i = 0; i < kCopies; ++i) {
        QImage copy = bitmap.copy();
        benchmark::DoNotOptimize(copy.constBits());
    }
    return double(timer.nsecsElapsed()) / 1e6 / kCopies;
}

void report(benchmark::State& state, double totalNs, const QImage& preview)
{
    const double stepMs = totalNs / 1e6 / double(state.iterations());
    const double copy = copyMs(preview);
    state.counters["preview_ms"] = stepMs;
    state.counters["copy_ms"] = copy;
    state.counters["preview_over_copy"] = stepMs / copy;
}

void BM_ColorSliderStep(benchmark::State& state)
{
    TPhotoInfo info(photoLikeBmp(4000, 3000));
    TPhoto view;
    view.SetPhotoInfo(&info);
    TFormColor dialog(view);
    dialog.show();
    auto* slider = dialog.findChild<QSlider*>(QStringLiteral("TrackBarRed"));
    auto* preview = dialog.findChild<ImageBox*>(QStringLiteral("ImagePreview"));
    double totalNs = 0;
    int step = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        slider->setValue(++step % 200);
        preview->repaint();
        totalNs += double(timer.nsecsElapsed());
    }
    report(state, totalNs, preview->bitmap());
}

void BM_WatermarkPreview(benchmark::State& state)
{
    TPhotoInfo info(photoLikeBmp(4000, 3000));
    info.Watermark = QStringLiteral("(c) 2026 Lumatrim photo");
    info.Font.Size = 24;
    info.Position = 8;
    TPhoto view;
    view.SetPhotoInfo(&info);
    QuietDesktop desktop;
    TFormWatermark dialog(view, desktop);
    dialog.show();
    auto* preview = dialog.findChild<ImageBox*>(QStringLiteral("ImagePreview"));
    double totalNs = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        dialog.UpdatePreview();
        preview->repaint();
        totalNs += double(timer.nsecsElapsed());
    }
    report(state, totalNs, preview->bitmap());
}

} // namespace

BENCHMARK(BM_ColorSliderStep)->Unit(benchmark::kMicrosecond)->Iterations(1000);
BENCHMARK(BM_WatermarkPreview)->Unit(benchmark::kMicrosecond)->Iterations(500);
