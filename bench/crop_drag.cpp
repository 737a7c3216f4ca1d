// One drag step in the Crop dialog on a 24-megapixel photo: the pointer moves while a button
// is held, the outline is erased and drawn again, and the picture repaints. Beside it, in the
// same run, one render of the same photo through the whole pipeline (render_ms), the cost a
// drag step must stay far below: drag_over_render is their ratio.
#include "ui/dialogs/FormCrop.h"
#include "ui/dialogs/ImageBox.h"
#include "ui/photo/Photo.h"

#include "BenchPictures.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>

#include <algorithm>
#include <vector>

namespace {

double medianRenderMs(TPhoto& view)
{
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        view.Render();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void BM_CropDragStep24MP(benchmark::State& state)
{
    TPhotoInfo info(photoLikeBmp(6000, 4000));
    info.CropRect = {1000, 1000, 4000, 3000};
    TPhoto view;
    view.SetPhotoInfo(&info);
    if (!view.Source() || view.Source()->width() != 6000) {
        state.SkipWithError("the 24-megapixel photo did not load");
        return;
    }
    const double renderMs = medianRenderMs(view);

    TFormCrop dialog(view);
    dialog.show();
    auto* picture = dialog.findChild<ImageBox*>(QStringLiteral("ImagePhoto"));
    dialog.ImagePhotoMouseMove(QPoint(10, 10));
    dialog.ImagePhotoMouseDown(QPoint(10, 10));
    int step = 0;
    QElapsedTimer timer;
    double dragNs = 0;
    for (auto _ : state) {
        ++step;
        timer.start();
        dialog.ImagePhotoMouseMove(QPoint(20 + step % 300, 20 + step % 200));
        picture->repaint();
        dragNs += double(timer.nsecsElapsed());
    }
    dialog.ImagePhotoMouseUp(QPoint(20, 20));
    const double dragMs = dragNs / 1e6 / double(state.iterations());
    state.counters["drag_ms"] = dragMs;
    state.counters["render_ms"] = renderMs;
    state.counters["drag_over_render"] = dragMs / renderMs;
}

} // namespace

BENCHMARK(BM_CropDragStep24MP)->Unit(benchmark::kMicrosecond)->Iterations(500);
