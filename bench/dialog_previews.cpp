// The live previews of the Color Balance and Watermark dialogs: one slider step of the color
// dialog (the color step on the 185-pixel preview base, then shown) and one watermark preview
// (the watermark step on the black 449 x 269 bitmap and its guides). Beside each, in the same
// run, a plain copy of the same preview bitmap (copy_ms): the floor any preview pays.
#include "ui/dialogs/FormColor.h"
#include "ui/dialogs/FormWatermark.h"
#include "ui/dialogs/ImageBox.h"
#include "ui/main/Desktop.h"
#include "ui/main/Photo.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QSlider>
#include <QTemporaryDir>

namespace {

QString photoFile()
{
    static QTemporaryDir folder;
    static const QString path = [] {
        QImage image(4000, 3000, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = qRgb(x / 16, y / 12, (x + y) / 28);
        }
        const QString file = folder.filePath(QStringLiteral("photo.bmp"));
        image.save(file);
        return file;
    }();
    return path;
}

// The Watermark dialog never opens its font chooser here.
class NoDesktop final : public Desktop {
public:
    QString openPicture(QWidget*) override { return {}; }
    QString savePicture(QWidget*, const QString&) override { return {}; }
    std::optional<QColor> chooseColor(QWidget*, const QColor&) override { return std::nullopt; }
    std::optional<TFont> chooseFont(QWidget*, const TFont&) override { return std::nullopt; }
    bool confirm(QWidget*, const QString&) override { return false; }
    void showError(QWidget*, const QString&) override {}
    int execDialog(QDialog&) override { return 0; }
    void sendMail(const QStringList&) override {}
    void openUrl(const QUrl&) override {}
};

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
    TPhotoInfo info(photoFile());
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
    TPhotoInfo info(photoFile());
    info.Watermark = QStringLiteral("(c) 2026 Lumatrim photo");
    info.Font.Size = 24;
    info.Position = 8;
    TPhoto view;
    view.SetPhotoInfo(&info);
    NoDesktop desktop;
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
