#pragma once

#include "render/PhotoSettings.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

template <typename T>
class QFutureWatcher;
struct FittedJpeg;

// How large a photo's JPEG file is: the size of the stream PhotoCore::EncodeJpeg gives, the
// quality it was compressed at, the quality the settings ask for, and whether it met the
// size limit.
struct FileSizeEstimate {
    qint64 bytes = 0;
    int quality = 100;
    int askedQuality = 100;
    bool fits = true;
};

// "About 212 KB"; "About 198 KB at quality 83" when a size limit lowered the quality;
// "About 612 KB at quality 1, over the limit" when even quality 1 does not fit.
QString fileSizeText(const FileSizeEstimate& estimate);

// Works out on a worker thread of the global thread pool how large the JPEG file of a
// rendered bitmap is with a photo's settings, compressing it with the same encoder that
// writes every file, so the size shown is the size written. One compression (or search under
// a size limit) runs at a time: a newer request waits for it and replaces any request
// already waiting, and stops the running search before its next compression. Only the newest
// request is announced (estimated); results of earlier ones are dropped.
class FileSizeEstimator : public QObject {
    Q_OBJECT

public:
    explicit FileSizeEstimator(QObject* parent = nullptr);
    // A compression still running goes on alone and drops its result when it ends.
    ~FileSizeEstimator() override;

    // Estimates the bitmap's file with the settings' JpegQuality and MaxFileKB, in place of
    // any earlier request. The same bitmap (by its cache key) with the same two settings as
    // the newest request is not estimated again.
    void request(const QImage& bitmap, const PhotoSettings& settings);
    // No estimate is wanted any more: nothing earlier is announced, and the next request is
    // estimated whatever it is.
    void clear();
    // Whether an estimate is on its way.
    bool pending() const;

signals:
    void estimated(const FileSizeEstimate& estimate);

private:
    struct Job {
        QImage bitmap;
        int quality = 100;
        int maxKilobytes = 0;
    };
    struct Result {
        quint64 generation = 0;
        std::optional<FileSizeEstimate> estimate;
    };

    void start(Job job);
    void finished();

    // Bumped by every request and clear; a job whose number is no longer current stops.
    std::shared_ptr<std::atomic<quint64>> generation_;
    QFutureWatcher<Result>* watcher_ = nullptr;
    std::optional<Job> waiting_;
    // What the newest request asked, to skip asking the same again.
    qint64 lastKey_ = 0;
    int lastQuality_ = 0;
    int lastMaxKilobytes_ = -1;
};
