// The cost of turning a photo as its camera held it: a 24-megapixel JPEG decoded through the
// format registry as stored (no orientation recorded) beside the same file recording
// orientations 3, 6 and 8 (turned while decoding), the decode followed by a turn of the
// decoded bitmap, and the turn alone on the decoded bitmap.
#include "BenchPictures.h"

#include "formats/FormatRegistry.h"
#include "formats/JpegWriter.h"
#include "formats/Orientation.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// The JPEG file of a photo-like 6000 x 4000 picture, with an APP1 EXIF segment recording the
// orientation after its start marker (none for 0).
QString photoJpeg(int orientation)
{
    static QTemporaryDir folder;
    const QString plain = folder.filePath(QStringLiteral("photo-0.jpg"));
    if (!QFile::exists(plain))
        writeJpeg(photoLikePicture(6000, 4000), plain);
    if (orientation == 0)
        return plain;
    const QString path = folder.filePath(QStringLiteral("photo-%1.jpg").arg(orientation));
    if (!QFile::exists(path)) {
        QFile in(plain);
        in.open(QIODevice::ReadOnly);
        const QByteArray bytes = in.readAll();
        // "Exif", a little-endian TIFF header and one directory holding Orientation.
        const char segment[] = {'\xFF', '\xE1', 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                                1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, char(orientation), 0, 0, 0, 0, 0, 0, 0};
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write(bytes.left(2) + QByteArray(segment, sizeof segment) + bytes.mid(2));
    }
    return path;
}

void decodeJpeg(benchmark::State& state)
{
    const QString path = photoJpeg(int(state.range(0)));
    for (auto _ : state) {
        const auto picture = loadPicture(path);
        benchmark::DoNotOptimize(picture->width());
    }
    state.SetItemsProcessed(state.iterations() * 24'000'000);
}

// The decode as stored, then the turn of the decoded bitmap: what turning while decoding saves.
void decodeThenTurn(benchmark::State& state)
{
    const QString path = photoJpeg(0);
    for (auto _ : state) {
        const auto picture = loadPicture(path);
        const QImage turned = orientImage(picture->toImage(), int(state.range(0)));
        benchmark::DoNotOptimize(turned.constBits());
    }
}

void turnBitmap(benchmark::State& state)
{
    const QImage stored = photoLikePicture(6000, 4000);
    for (auto _ : state) {
        QImage copy = stored.copy(); // orientations 2 to 4 turn in place
        const QImage turned = orientImage(std::move(copy), int(state.range(0)));
        benchmark::DoNotOptimize(turned.constBits());
    }
}

void copyBitmap(benchmark::State& state)
{
    const QImage stored = photoLikePicture(6000, 4000);
    for (auto _ : state) {
        const QImage copy = stored.copy();
        benchmark::DoNotOptimize(copy.constBits());
    }
}

// 0: no orientation recorded (the plain decode); 1: recorded upright.
BENCHMARK(decodeJpeg)->ArgName("orientation")->Arg(0)->Arg(1)->Arg(3)->Arg(6)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(decodeThenTurn)->ArgName("orientation")->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime();
// The turns include a copy of the bitmap, timed alone as the baseline.
BENCHMARK(copyBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(turnBitmap)->ArgName("orientation")->Arg(2)->Arg(3)->Arg(5)->Arg(6)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
