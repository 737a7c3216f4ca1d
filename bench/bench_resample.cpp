// High-quality scaling of the benchmarks' photo-like 24-megapixel JPEG to 600 pixels.
// (a) A re-render after the first, with the filter beside nearest-neighbour sampling.
// (b) lumatrim-render end to end: see bench/compare.sh, which times it beside djpeg.
// (c) Quality: PSNR of the high-quality and the sampled render against a double-precision
//     Lanczos-3 downscale of the full decode, reported as counters of one-shot runs.
#include "BenchPictures.h"

#include "formats/FormatRegistry.h"
#include "formats/JpegWriter.h"
#include "model/PhotoCore.h"
#include "render/Resample.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

struct Sources {
    QTemporaryDir folder;
    QString jpeg;
    QString png;
    Sources()
    {
        qputenv("LUMATRIM_HOME", folder.path().toUtf8());
        const QImage picture = photoLikePicture(6000, 4000);
        jpeg = QDir(folder.path()).filePath("photo.jpg");
        writeJpeg(picture, jpeg);
        png = QDir(folder.path()).filePath("photo.png");
        picture.convertToFormat(QImage::Format_RGB888).save(png, "PNG", 10);
    }
};

Sources& sources()
{
    static Sources s;
    return s;
}

// The default settings (600 px, watermark "Lumatrim"), filtered or sampled.
TPhotoInfo settingsFor(const QString& path, bool resample, bool watermark = true)
{
    TPhotoInfo info(path);
    info.Resample = resample;
    if (!watermark)
        info.Watermark.clear();
    return info;
}

void rerender(benchmark::State& state, const QString& path, bool resample)
{
    TPhotoInfo info = settingsFor(path, resample);
    PhotoCore photo;
    photo.SetPhotoInfo(&info); // the first render, which decodes
    for (auto _ : state) {
        photo.Render();
        benchmark::DoNotOptimize(photo.Bitmap().constBits());
    }
    state.SetLabel(QStringLiteral("%1x%2").arg(photo.Bitmap().width()).arg(photo.Bitmap().height()).toStdString());
}

void BM_RerenderSampled(benchmark::State& state) { rerender(state, sources().jpeg, false); }
void BM_RerenderHighQuality(benchmark::State& state) { rerender(state, sources().jpeg, true); }
void BM_RerenderHighQualityPng(benchmark::State& state) { rerender(state, sources().png, true); }

// The first render of a newly opened photo in render-only use (lumatrim-render, export):
// the reduced decode and the filter, beside the full decode the sampled render needs.
void firstRender(benchmark::State& state, bool resample)
{
    for (auto _ : state) {
        TPhotoInfo info = settingsFor(sources().jpeg, resample);
        PhotoCore photo;
        photo.SetRenderOnly(true);
        photo.SetPhotoInfo(&info);
        benchmark::DoNotOptimize(photo.Bitmap().constBits());
    }
}
void BM_FirstRenderOnlySampled(benchmark::State& state) { firstRender(state, false); }
void BM_FirstRenderOnlyHighQuality(benchmark::State& state) { firstRender(state, true); }

// ---- Quality ----

double lanczos3(double x)
{
    if (x == 0)
        return 1;
    if (std::abs(x) >= 3)
        return 0;
    const double px = std::numbers::pi * x;
    return 3 * std::sin(px) * std::sin(px / 3) / (px * px);
}

// Normalised weights of every output index along one direction, shrinking the whole source.
std::vector<std::vector<std::pair<int, double>>> weights(int out, int in)
{
    const double scale = double(in) / out;
    const double stretch = std::max(scale, 1.0);
    std::vector<std::vector<std::pair<int, double>>> all(static_cast<size_t>(out));
    for (int j = 0; j < out; ++j) {
        const double centre = (j + 0.5) * scale;
        double sum = 0;
        for (int i = std::max(0, int(centre - 3 * stretch) - 1); i < std::min(in, int(centre + 3 * stretch) + 2); ++i) {
            const double w = lanczos3((i + 0.5 - centre) / stretch);
            if (w != 0) {
                all[size_t(j)].push_back({i, w});
                sum += w;
            }
        }
        for (auto& [i, w] : all[size_t(j)])
            w /= sum;
    }
    return all;
}

// The plain double-precision Lanczos-3 downscale (rows, then columns, without rounding in
// between), rounded and clamped once at the end.
QImage referenceDownscale(const QImage& source, QSize out)
{
    const auto columns = weights(out.width(), source.width());
    const auto rows = weights(out.height(), source.height());
    std::vector<double> across(size_t(source.height()) * size_t(out.width()) * 3);
    for (int y = 0; y < source.height(); ++y) {
        const uint8_t* src = source.constScanLine(y);
        double* dst = across.data() + size_t(y) * size_t(out.width()) * 3;
        for (int x = 0; x < out.width(); ++x)
            for (const auto& [i, w] : columns[size_t(x)])
                for (int c = 0; c < 3; ++c)
                    dst[3 * x + c] += w * src[3 * i + c];
    }
    QImage result(out, QImage::Format_BGR888);
    for (int y = 0; y < out.height(); ++y) {
        uint8_t* dst = result.scanLine(y);
        for (int k = 0; k < out.width() * 3; ++k) {
            double v = 0;
            for (const auto& [i, w] : rows[size_t(y)])
                v += w * across[size_t(i) * size_t(out.width()) * 3 + size_t(k)];
            dst[k] = uint8_t(std::clamp(std::nearbyint(v), 0.0, 255.0));
        }
    }
    return result;
}

double psnr(const QImage& a, const QImage& b)
{
    double squares = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int k = 0; k < a.width() * 3; ++k) {
            const double d = double(a.constScanLine(y)[k]) - double(b.constScanLine(y)[k]);
            squares += d * d;
        }
    const double mse = squares / (double(a.width()) * a.height() * 3);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

const QImage& reference()
{
    static const QImage image = [] {
        const auto full = FormatRegistry::standard().load(sources().jpeg);
        return referenceDownscale(full->toImage().convertToFormat(QImage::Format_BGR888), QSize(600, 400));
    }();
    return image;
}

void quality(benchmark::State& state, const QString& path, bool resample, bool optimize)
{
    TPhotoInfo info = settingsFor(path, resample, false);
    info.Optimize = optimize;
    PhotoCore photo;
    for (auto _ : state) {
        photo.SetPhotoInfo(&info);
        benchmark::DoNotOptimize(photo.Bitmap().constBits());
    }
    state.counters["PSNR_dB"] = psnr(reference(), photo.Bitmap());
}

void BM_PsnrSampled(benchmark::State& state) { quality(state, sources().jpeg, false, false); }
void BM_PsnrSampledOptimized(benchmark::State& state) { quality(state, sources().jpeg, false, true); }
void BM_PsnrHighQuality(benchmark::State& state) { quality(state, sources().jpeg, true, false); }
void BM_PsnrHighQualityPng(benchmark::State& state) { quality(state, sources().png, true, false); }

} // namespace

BENCHMARK(BM_RerenderSampled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RerenderHighQuality)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RerenderHighQualityPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRenderOnlySampled)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FirstRenderOnlyHighQuality)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PsnrSampled)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PsnrSampledOptimized)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PsnrHighQuality)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PsnrHighQualityPng)->Unit(benchmark::kMillisecond)->Iterations(1);
