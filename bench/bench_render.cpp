// Render from memory: the work every setting change costs once the source is decoded. The
// baseline is one pass over the decoded source (a plain copy), measured in the same run.
#include "formats/JpegWriter.h"
#include "model/PhotoCore.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstring>

namespace {

struct Source {
    QTemporaryDir folder;
    QString path;
    Source()
    {
        qputenv("LUMATRIM_HOME", folder.path().toUtf8());
        QImage image(6000, 4000, QImage::Format_BGR888);
        for (int y = 0; y < image.height(); ++y) {
            uint8_t* p = image.scanLine(y);
            for (int x = 0; x < image.width(); ++x, p += 3) {
                p[0] = uint8_t((x / 7 + y / 5) & 0xFF);
                p[1] = uint8_t((x * y / 4096) & 0xFF);
                p[2] = uint8_t((x / 13) & 0xFF);
            }
        }
        path = QDir(folder.path()).filePath("source.jpg");
        writeJpeg(image, path);
    }
};

Source& source()
{
    static Source s;
    return s;
}

void BM_CopyDecodedSource(benchmark::State& state)
{
    TPhotoInfo info(source().path);
    PhotoCore photo;
    photo.SetPhotoInfo(&info);
    const QImage& decoded = photo.SourceBitmap();
    QImage copy(decoded.size(), decoded.format());
    for (auto _ : state) {
        std::memcpy(copy.bits(), decoded.constBits(), size_t(decoded.sizeInBytes()));
        benchmark::DoNotOptimize(copy.bits());
    }
}

void BM_RenderDefaultSettings(benchmark::State& state)
{
    TPhotoInfo info(source().path);
    PhotoCore photo;
    photo.SetPhotoInfo(&info);
    for (auto _ : state) {
        photo.Render();
        benchmark::DoNotOptimize(photo.Bitmap().constBits());
    }
}

void BM_RenderAllSteps(benchmark::State& state)
{
    TPhotoInfo info(source().path);
    info.CropRect = {100, 100, 5900, 3900};
    info.Rotation = 90;
    info.Contrast = 20;
    info.Optimize = true;
    info.BorderWidth = 10;
    PhotoCore photo;
    photo.SetPhotoInfo(&info);
    for (auto _ : state) {
        photo.Render();
        benchmark::DoNotOptimize(photo.Bitmap().constBits());
    }
}

void BM_OpenPhoto(benchmark::State& state)
{
    for (auto _ : state) {
        TPhotoInfo info(source().path);
        PhotoCore photo;
        photo.SetPhotoInfo(&info);
        benchmark::DoNotOptimize(photo.Bitmap().constBits());
    }
}

} // namespace

BENCHMARK(BM_CopyDecodedSource)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderDefaultSettings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderAllSteps)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenPhoto)->Unit(benchmark::kMillisecond);
