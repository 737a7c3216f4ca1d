#include "FileSizeEstimator.h"

#include "formats/JpegWriter.h"
#include "model/PhotoCore.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <exception>

QString fileSizeText(const FileSizeEstimate& estimate)
{
    const QString size = approximateFileSize(estimate.bytes);
    if (!estimate.fits)
        return QStringLiteral("%1 at quality %2, over the limit").arg(size).arg(estimate.quality);
    if (estimate.quality != estimate.askedQuality)
        return QStringLiteral("%1 at quality %2").arg(size).arg(estimate.quality);
    return size;
}

FileSizeEstimator::FileSizeEstimator(QObject* parent)
    : QObject(parent), generation_(std::make_shared<std::atomic<quint64>>(0))
{
}

FileSizeEstimator::~FileSizeEstimator()
{
    ++*generation_;
    if (watcher_)
        watcher_->disconnect(this);
}

void FileSizeEstimator::request(const QImage& bitmap, const PhotoSettings& settings)
{
    if (bitmap.cacheKey() == lastKey_ && settings.JpegQuality == lastQuality_ &&
        settings.MaxFileKB == lastMaxKilobytes_)
        return;
    lastKey_ = bitmap.cacheKey();
    lastQuality_ = settings.JpegQuality;
    lastMaxKilobytes_ = settings.MaxFileKB;
    ++*generation_;
    Job job{bitmap, settings.JpegQuality, settings.MaxFileKB};
    if (watcher_)
        waiting_ = std::move(job); // after the running one has stopped
    else
        start(std::move(job));
}

void FileSizeEstimator::clear()
{
    ++*generation_;
    waiting_.reset();
    lastKey_ = 0;
    lastMaxKilobytes_ = -1;
}

bool FileSizeEstimator::pending() const
{
    return watcher_ != nullptr;
}

void FileSizeEstimator::start(Job job)
{
    const quint64 generation = *generation_;
    auto work = [current = generation_, generation, job = std::move(job)] {
        Result result{generation, std::nullopt};
        PhotoSettings settings;
        settings.JpegQuality = job.quality;
        settings.MaxFileKB = job.maxKilobytes;
        try {
            const std::optional<FittedJpeg> jpeg =
                PhotoCore::EncodeJpeg(job.bitmap, settings, [&] { return *current != generation; });
            if (jpeg)
                result.estimate = FileSizeEstimate{jpeg->bytes.size(), jpeg->quality,
                                                   std::clamp(job.quality, kJpegQualityMin, kJpegQualityMax),
                                                   jpeg->fits};
        } catch (const std::exception&) {
            // An empty bitmap or no memory for the compression: no size to show.
        }
        return result;
    };
    watcher_ = new QFutureWatcher<Result>(this);
    connect(watcher_, &QFutureWatcherBase::finished, this, &FileSizeEstimator::finished);
    watcher_->setFuture(QtConcurrent::run(std::move(work)));
}

void FileSizeEstimator::finished()
{
    const Result result = watcher_->future().result();
    watcher_->deleteLater();
    watcher_ = nullptr;
    if (waiting_) {
        Job next = std::move(*waiting_);
        waiting_.reset();
        start(std::move(next));
        return;
    }
    if (result.generation == *generation_ && result.estimate)
        emit estimated(*result.estimate);
}
