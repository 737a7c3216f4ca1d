// Exports with several workers against the same export with one: the same files, bytes,
// order, reports and records; a failed write stops the batch; progress on the calling thread.
#include "batch/BatchExport.h"
#include "formats/JpegWriter.h"
#include "model/PhotoInfo.h"
#include "model/ProgramFolder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

struct Photo {
    QString source;
    int maxSize = 200;
    TRect crop{};
    int rotation = 0;
    QString watermark = QStringLiteral("Lumatrim");
    bool resample = false;
};

std::vector<std::unique_ptr<TPhotoInfo>> recordsOf(const std::vector<Photo>& photos)
{
    std::vector<std::unique_ptr<TPhotoInfo>> records;
    for (const Photo& p : photos) {
        auto info = std::make_unique<TPhotoInfo>(p.source);
        info->MaxSize = p.maxSize;
        info->KeepSize = false;
        info->CropRect = p.crop;
        info->Rotation = p.rotation;
        info->Watermark = p.watermark;
        info->Resample = p.resample;
        records.push_back(std::move(info));
    }
    return records;
}

QList<TPhotoInfo*> pointersTo(const std::vector<std::unique_ptr<TPhotoInfo>>& records)
{
    QList<TPhotoInfo*> list;
    for (const auto& r : records)
        list << r.get();
    return list;
}

// The paths with their folder replaced: the same names in another folder.
QStringList inFolder(const QStringList& paths, const QString& folder)
{
    QStringList moved;
    for (const QString& path : paths)
        moved << folder + QLatin1Char('/') + QFileInfo(path).fileName();
    return moved;
}

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Sources of several formats and sizes, two of them with the same file name in different
// folders (exportPaths names the second "_2"), and one that does not exist.
std::vector<Photo> mixedPhotos(const QString& folder)
{
    QDir().mkpath(folder + "/other");
    // The first photo takes longest, so that a later one given the same path is ready first.
    const QString jpeg = folder + "/wide.jpg";
    writeJpeg(randomBitmap(2400, 1500, 1), jpeg);
    const QString tall = folder + "/tall.jpg";
    writeJpeg(randomBitmap(300, 700, 2), tall);
    const QString png = folder + "/flat.png";
    randomBitmap(640, 480, 3).convertToFormat(QImage::Format_RGB888).save(png, "PNG");
    const QString twin = folder + "/other/wide.jpg";
    writeJpeg(randomBitmap(500, 500, 4), twin);
    return {
        {jpeg, 200, {}, 0, QStringLiteral("Lumatrim"), false},
        {tall, 150, {10, 20, 5000, 5000}, 90, QStringLiteral("Text on every photo"), false},
        {.source = folder + "/missing.jpg"},
        {png, 320, {5, 5, 600, 400}, 180, QString(), true},
        {twin, 250, {}, 270, QStringLiteral("Twin"), false},
        {jpeg, 120, {}, 0, QStringLiteral("Lumatrim"), true},
        {png, 400, {}, 90, QStringLiteral("Lumatrim"), false},
        {tall, 90, {}, 0, QStringLiteral("Small"), true},
    };
}

TEST(ParallelExport, WritesWhatOneWorkerWritesInTheSameOrder)
{
    const QString folder = freshFolder("parallel-mixed");
    const std::vector<Photo> photos = mixedPhotos(folder + "/sources");
    QStringList sources;
    for (const Photo& p : photos)
        sources << p.source;

    const struct {
        const char* name;
        bool sharedPath; // the first and the fifth photo are given one path
    } cases[] = {{"named", false}, {"shared", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList paths = exportPaths(sources, folder + "/one-" + c.name, NamePattern{}, 1);
        if (c.sharedPath)
            paths[4] = paths[0];
        QDir().mkpath(QFileInfo(paths[0]).path());
        auto sequential = recordsOf(photos);
        const ExportResult expected = exportPhotos(pointersTo(sequential), paths, {}, 1);
        ASSERT_EQ(expected.written.size(), 7);
        ASSERT_EQ(expected.unreadable.size(), 1);

        for (const int workers : {2, 3, 4}) {
            SCOPED_TRACE(workers);
            const QString out = folder + QStringLiteral("/%1-%2").arg(c.name).arg(workers);
            QDir().mkpath(out);
            const QStringList parallelPaths = inFolder(paths, out);
            auto parallel = recordsOf(photos);
            const ExportResult result = exportPhotos(pointersTo(parallel), parallelPaths, {}, workers);
            EXPECT_EQ(result.written, inFolder(expected.written, out));
            EXPECT_EQ(result.unreadable, expected.unreadable);
            EXPECT_EQ(namesIn(out), namesIn(QFileInfo(paths[0]).path()));
            for (const QString& path : expected.written)
                EXPECT_EQ(readFileBytes(out + "/" + QFileInfo(path).fileName()), readFileBytes(path))
                    << path.toStdString();
            // The records hold what a render leaves in them: the clipped crop rectangle.
            for (size_t k = 0; k < photos.size(); ++k)
                EXPECT_EQ(*parallel[k], *sequential[k]) << "record " << k;
        }
    }
}

TEST(ParallelExport, UnreadableSourcesAreReportedInPhotoOrder)
{
    const QString folder = freshFolder("parallel-unreadable");
    const QString good = folder + "/good.jpg";
    writeJpeg(randomBitmap(400, 300, 7), good);
    const QString broken = folder + "/broken.jpg";
    writeFileBytes(broken, QByteArray("not a picture at all"));
    std::vector<Photo> photos;
    for (int k = 0; k < 9; ++k)
        photos.push_back({.source = k % 3 == 1 ? folder + QStringLiteral("/gone%1.jpg").arg(k) : k % 3 == 2 ? broken : good});
    QStringList paths;
    for (int k = 0; k < 9; ++k)
        paths << folder + QStringLiteral("/out%1.jpg").arg(k);
    auto records = recordsOf(photos);
    auto reference = recordsOf(photos);
    const ExportResult one = exportPhotos(pointersTo(reference), inFolder(paths, freshFolder("parallel-unreadable-1")), {}, 1);
    const ExportResult four = exportPhotos(pointersTo(records), paths, {}, 4);
    ASSERT_EQ(four.unreadable.size(), 6);
    EXPECT_EQ(four.unreadable, one.unreadable);
    for (int k = 0; k < 6; ++k)
        EXPECT_TRUE(four.unreadable[k].contains(k % 2 == 0 ? QStringLiteral("gone%1.jpg").arg(k / 2 * 3 + 1) : broken))
            << four.unreadable[k].toStdString();
    EXPECT_EQ(four.written, (QStringList{paths[0], paths[3], paths[6]}));
}

TEST(ParallelExport, AFailedWriteStopsTheBatchAsWithOneWorkerAndNamesTheFile)
{
    const QString sources = freshFolder("parallel-failing-sources");
    const QString picture = sources + "/photo.jpg";
    writeJpeg(randomBitmap(1200, 900, 9), picture);
    constexpr int kPhotos = 16;
    constexpr int kFailing = 2;
    for (const int workers : {1, 2, 4}) {
        SCOPED_TRACE(workers);
        const QString out = freshFolder(QStringLiteral("parallel-failing-%1").arg(workers));
        std::vector<Photo> photos(kPhotos, Photo{.source = picture});
        QStringList paths;
        for (int k = 0; k < kPhotos; ++k)
            paths << out + QStringLiteral("/photo%1.jpg").arg(k, 2, 10, QLatin1Char('0'));
        // A folder where the file should go: the write cannot replace it.
        ASSERT_TRUE(QDir().mkpath(paths[kFailing]));
        auto records = recordsOf(photos);
        std::vector<int> reported;
        try {
            exportPhotos(pointersTo(records), paths, [&](int done, int) { reported.push_back(done); }, workers);
            ADD_FAILURE() << "the export did not report the failed write";
        } catch (const std::exception& e) {
            EXPECT_NE(QString::fromUtf8(e.what()).indexOf(paths[kFailing]), -1) << e.what();
        }
        // Exactly the photos before the failed one are written, whole, as with one worker;
        // nothing else (no temporary file) is left beside the folder in the way.
        QStringList before;
        for (int k = 0; k <= kFailing; ++k)
            before << QFileInfo(paths[k]).fileName();
        EXPECT_EQ(namesIn(out), before);
        const QByteArray whole = readFileBytes(out + "/photo00.jpg");
        for (int k = 1; k < kFailing; ++k)
            EXPECT_EQ(readFileBytes(paths[k]), whole) << k;
        EXPECT_EQ(reported, (std::vector<int>{1, 2}));
    }
}

TEST(ParallelExport, ProgressCountsFinishedPhotosOnTheCallingThread)
{
    const QString folder = freshFolder("parallel-progress");
    const QString picture = folder + "/photo.jpg";
    writeJpeg(randomBitmap(640, 480, 11), picture);
    const struct {
        int photos;
        int workers;
    } cases[] = {{1, 4}, {3, 4}, {10, 4}, {10, 2}, {7, 1}, {5, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.photos << " photos, " << c.workers << " workers");
        std::vector<Photo> photos(size_t(c.photos), Photo{.source = picture});
        photos.back().source = folder + "/missing.jpg"; // unreadable photos count as finished too
        auto records = recordsOf(photos);
        QStringList paths;
        for (int k = 0; k < c.photos; ++k)
            paths << folder + QStringLiteral("/out%1.jpg").arg(k);
        const auto caller = std::this_thread::get_id();
        std::vector<std::pair<int, int>> calls;
        bool onCaller = true;
        exportPhotos(pointersTo(records), paths, [&](int done, int total) {
            calls.emplace_back(done, total);
            onCaller = onCaller && std::this_thread::get_id() == caller;
        }, c.workers);
        EXPECT_TRUE(onCaller);
        ASSERT_EQ(int(calls.size()), c.photos);
        for (int k = 0; k < c.photos; ++k)
            EXPECT_EQ(calls[size_t(k)], std::make_pair(k + 1, c.photos));
    }
}

TEST(ParallelExport, AFailingProgressCallbackEndsTheExportCleanly)
{
    const QString folder = freshFolder("parallel-progress-throws");
    const QString picture = folder + "/photo.jpg";
    writeJpeg(randomBitmap(320, 240, 12), picture);
    std::vector<Photo> photos(12, Photo{.source = picture});
    auto records = recordsOf(photos);
    QStringList paths;
    for (int k = 0; k < 12; ++k)
        paths << folder + QStringLiteral("/out%1.jpg").arg(k);
    EXPECT_THROW(exportPhotos(pointersTo(records), paths, [](int done, int) {
        if (done == 2)
            throw std::runtime_error("stop");
    }, 4), std::runtime_error);
    // The workers were joined: nothing is written after the export returned.
    const QStringList afterwards = namesIn(folder);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(namesIn(folder), afterwards);
    EXPECT_FALSE(afterwards.contains("out11.jpg"));
}

} // namespace
