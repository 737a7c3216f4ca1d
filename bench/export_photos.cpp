// Exporting 20 12-megapixel JPEGs with the default settings (600 pixels, watermark) on every
// core (export_ms), against 20 plain decodes of the same files one after the other in the same
// iteration (decode_ms, export_over_decode) and the same export with one worker
// (one_worker_ms). The peak memory of the export above what the process held before it, in
// decoded photos of 4000 x 3000 x 3 bytes (peak_in_photos). When GraphicsMagick is installed,
// the time it takes to scale the same 20 files to 600 pixels (gm_ms), for comparison; it may
// use several threads. A baseline that fails fails the benchmark.
#include "batch/BatchExport.h"
#include "formats/FormatRegistry.h"
#include "formats/JpegWriter.h"
#include "model/PhotoInfo.h"

#include "BenchPictures.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int kPhotos = 20;
constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

const QStringList& photoFiles()
{
    static QTemporaryDir folder;
    static const QStringList files = [] {
        const QString first = folder.filePath(QStringLiteral("photo00.jpg"));
        writeJpeg(photoLikePicture(kWidth, kHeight), first);
        QStringList list{first};
        for (int i = 1; i < kPhotos; ++i) {
            list << folder.filePath(QStringLiteral("photo%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
            QFile::copy(first, list.back());
        }
        return list;
    }();
    return files;
}

// A field of /proc/self/status, in KiB.
double statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').value(0).toDouble();
    }
    return 0;
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Seconds GraphicsMagick takes to write the files scaled to 600 pixels into out; 0 without
// it, -1 when it fails. mogrify joins its output folder with the names it is given, so it runs
// in the sources' folder on their bare names.
double gmSeconds(const QStringList& files, const QString& out, QString& failure)
{
    const QString gm = QStandardPaths::findExecutable(QStringLiteral("gm"));
    if (gm.isEmpty())
        return 0;
    QStringList names;
    for (const QString& file : files)
        names << QFileInfo(file).fileName();
    QProcess process;
    process.setWorkingDirectory(QFileInfo(files.front()).path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(gm, QStringList{"mogrify", "-output-directory", out, "-resize", "600x600", "-quality", "90"} + names);
    const bool finished = process.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const QByteArray output = process.readAll().trimmed();
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || !output.isEmpty()) {
        failure = QStringLiteral("gm mogrify failed (exit %1): %2").arg(process.exitCode()).arg(QString::fromLocal8Bit(output));
        return -1;
    }
    for (const QString& name : names) {
        if (!QFileInfo(QDir(out).filePath(name)).isFile()) {
            failure = QStringLiteral("gm mogrify wrote no %1").arg(QDir(out).filePath(name));
            return -1;
        }
    }
    return seconds;
}

void BM_ExportTwentyPhotos(benchmark::State& state)
{
    const QStringList& files = photoFiles();
    std::vector<std::unique_ptr<TPhotoInfo>> records;
    QList<TPhotoInfo*> photos;
    for (const QString& file : files) {
        records.push_back(std::make_unique<TPhotoInfo>(file));
        photos << records.back().get();
    }
    QTemporaryDir out;
    double exportS = 0, oneWorkerS = 0, decodeS = 0, gmS = 0, peak = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        for (const QString& file : files)
            benchmark::DoNotOptimize(loadPicture(file)->width());
        decodeS += double(timer.nsecsElapsed()) / 1e9;

        resetPeakMemory();
        const double before = statusKiB("VmRSS:");
        timer.start();
        const ExportResult result = exportPhotos(photos, exportPaths(files, out.path(), NamePattern{}, 1), {});
        exportS += double(timer.nsecsElapsed()) / 1e9;
        peak = std::max(peak, statusKiB("VmHWM:") - before);
        if (result.written.size() != kPhotos) {
            state.SkipWithError("not every photo was written");
            break;
        }

        timer.start();
        const ExportResult sequential = exportPhotos(photos, exportPaths(files, out.path(), NamePattern{}, 1), {}, 1);
        oneWorkerS += double(timer.nsecsElapsed()) / 1e9;
        if (sequential.written.size() != kPhotos) {
            state.SkipWithError("not every photo was written by one worker");
            break;
        }

        const QString gmOut = out.filePath(QStringLiteral("gm"));
        QDir(gmOut).removeRecursively();
        QDir().mkpath(gmOut);
        QString failure;
        const double gm = gmSeconds(files, gmOut, failure);
        if (gm < 0) {
            state.SkipWithError(failure.toStdString().c_str());
            break;
        }
        gmS += gm;
    }
    const double n = double(state.iterations());
    state.counters["export_ms"] = exportS * 1e3 / n;
    state.counters["decode_ms"] = decodeS * 1e3 / n;
    state.counters["export_over_decode"] = exportS / decodeS;
    state.counters["one_worker_ms"] = oneWorkerS * 1e3 / n;
    state.counters["peak_in_photos"] = peak * 1024 / (double(kWidth) * kHeight * 3);
    state.counters["gm_ms"] = gmS * 1e3 / n;
}

} // namespace

BENCHMARK(BM_ExportTwentyPhotos)->Unit(benchmark::kMillisecond)->Iterations(3);
