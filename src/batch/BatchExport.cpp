#include "BatchExport.h"

#include "model/PhotoCore.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Refuses, before anything is written, an export that would replace a photo's own source.
void checkNoSourceIsWrittenOver(const QList<TPhotoInfo*>& photos, const QStringList& paths)
{
    QStringList sources;
    for (const TPhotoInfo* info : photos)
        sources << info->FileName;
    const QStringList replaced = sourcesWrittenOver(paths, sources);
    if (!replaced.isEmpty())
        throw std::runtime_error(QStringLiteral("The export would write over the original photo(s):\n%1\n"
                                                "Add a prefix or a suffix, or choose another folder.")
                                     .arg(replaced.join(QLatin1Char('\n')))
                                     .toStdString());
}

// What became of one photo.
struct Outcome {
    bool written = false;
    QString unreadable;          // why nothing was written, when the photo gave no picture
    QString overLimit;           // written at quality 1 and still over the size limit
    std::exception_ptr failure;  // the write (or render) that failed
    bool skipped = false;        // rendered, but an earlier photo's write had failed
    TRect clippedCrop;           // the crop rectangle as the render clipped it
};

// Renders one photo in the given photo object and writes it. The object lets go of the
// photo's pictures before returning, so a worker holds one decoded photo only while it
// works on it. mayWrite runs between the render and the write; when it says no, nothing is
// written.
Outcome exportOne(PhotoCore& photo, TPhotoInfo& info, const QString& path,
                  const std::function<bool()>& mayWrite = {})
{
    Outcome outcome;
    try {
        photo.SetPhotoInfo(&info);
        if (const PictureError* error = photo.LoadError()) {
            // Nothing was decoded: an empty file under the photo's name would hide that.
            outcome.unreadable = error->message();
        } else if (photo.Bitmap().isNull() || photo.Bitmap().width() <= 0 || photo.Bitmap().height() <= 0) {
            outcome.unreadable = QStringLiteral("%1: %2").arg(info.FileName, photo.Message());
        } else {
            if (!mayWrite || mayWrite()) {
                if (const FittedJpeg jpeg = photo.SaveToFile(path); !jpeg.fits)
                    outcome.overLimit = sizeLimitMissedMessage(info.FileName, jpeg.bytes.size(), info.MaxFileKB);
                outcome.written = true;
            } else {
                outcome.skipped = true;
            }
        }
    } catch (...) {
        outcome.failure = std::current_exception();
    }
    outcome.clippedCrop = info.CropRect;
    photo.SetPhotoInfo(nullptr);
    return outcome;
}

// The photos handed out one at a time to the workers, and their outcomes handed back to the
// calling thread as they finish.
class ExportQueue {
public:
    ExportQueue(const QList<TPhotoInfo*>& photos, const QStringList& paths)
        : paths_(paths), outcomes_(size_t(photos.size())), finishedFlags_(size_t(photos.size()), false)
    {
        // Each worker renders from its own copy of the record: a render writes the clipped
        // crop rectangle back into the record it is given, and the caller's records stay
        // with the calling thread.
        records_.reserve(size_t(photos.size()));
        for (const TPhotoInfo* info : photos)
            records_.push_back(*info);
    }

    int size() const { return int(records_.size()); }

    // The next photo to render, or nothing once every photo is handed out or a photo failed.
    std::optional<int> take()
    {
        const std::lock_guard lock(mutex_);
        if (stopped_ || next_ >= size())
            return std::nullopt;
        return next_++;
    }

    // Renders and writes photos until there are none left to take.
    void work()
    {
        PhotoCore photo;
        // The export needs only the rendered photos, which read the same source pixels as the
        // window's (see PhotoCore::SetRenderOnly).
        photo.SetRenderOnly(true);
        while (const std::optional<int> k = take())
            finish(*k, exportOne(photo, records_[size_t(*k)], paths_[*k], [this, k] { return waitForTurn(*k); }));
    }

    // Waits for the next photo to finish and returns its place; nothing once every photo
    // handed out has finished and no more will be.
    std::optional<int> waitForFinished()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !finished_.empty() || settled(); });
        if (finished_.empty())
            return std::nullopt;
        const int k = finished_.front();
        finished_.pop_front();
        return k;
    }

    // No photo is handed out from now on; those being worked on still finish.
    void stop()
    {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }

    Outcome& outcome(int k) { return outcomes_[size_t(k)]; }

private:
    // Photos are rendered side by side but written in photo order: photo k waits until every
    // photo before it has finished. So the files are those of an export one photo after the
    // other, also when two photos are given the same path, and a failed write leaves exactly
    // the files of the photos before it: the photos after it are rendered but not written
    // (true: write). The photos before k were handed out before it, and each waits only for
    // photos before itself, so the first unfinished photo never waits and every wait ends.
    bool waitForTurn(int k)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this, k] {
            while (leadingFinished_ < size() && finishedFlags_[size_t(leadingFinished_)])
                ++leadingFinished_;
            return leadingFinished_ >= k;
        });
        return !failed_;
    }

    void finish(int k, Outcome outcome)
    {
        const std::lock_guard lock(mutex_);
        // A failed write stops the batch: the photos being worked on finish, no other starts.
        if (outcome.failure)
            stopped_ = failed_ = true;
        outcomes_[size_t(k)] = std::move(outcome);
        finishedFlags_[size_t(k)] = true;
        finished_.push_back(k);
        ++done_;
        changed_.notify_all();
    }

    // Every photo handed out has finished and no further one will be handed out.
    bool settled() const { return done_ == next_ && (stopped_ || next_ >= size()); }

    const QStringList& paths_;
    std::vector<TPhotoInfo> records_;
    std::vector<Outcome> outcomes_;
    std::vector<bool> finishedFlags_;
    int leadingFinished_ = 0; // photos 0 .. leadingFinished_ - 1 have finished
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<int> finished_;
    int next_ = 0;
    int done_ = 0;
    bool stopped_ = false;
    bool failed_ = false;
};

// Joins the worker threads however the calling thread leaves, after telling them to stop.
class Workers {
public:
    explicit Workers(ExportQueue& queue) : queue_(queue) {}
    ~Workers()
    {
        queue_.stop();
        for (std::thread& thread : threads_)
            thread.join();
    }
    void start(int count)
    {
        for (int i = 0; i < count; ++i)
            threads_.emplace_back([this] { queue_.work(); });
    }

private:
    ExportQueue& queue_;
    std::vector<std::thread> threads_;
};

} // namespace

int exportWorkerCount()
{
    return std::clamp(QThread::idealThreadCount(), 1, 4);
}

ExportResult exportPhotos(const QList<TPhotoInfo*>& photos, const QStringList& paths,
                          const std::function<void(int done, int total)>& progress, int workers)
{
    if (paths.size() != photos.size())
        throw std::invalid_argument("exportPhotos needs one path per photo");
    checkNoSourceIsWrittenOver(photos, paths);
    ExportQueue queue(photos, paths);
    const int total = queue.size();
    workers = std::min(workers > 0 ? workers : exportWorkerCount(), total);
    int done = 0;
    {
        Workers threads(queue);
        if (workers <= 1) {
            // One worker: this thread renders every photo in turn.
            PhotoCore photo;
            photo.SetRenderOnly(true);
            for (int k = 0; k < total; ++k) {
                Outcome& outcome = queue.outcome(k);
                outcome = exportOne(photo, *photos[k], paths[k]);
                if (progress && !outcome.failure)
                    progress(++done, total);
                if (outcome.failure)
                    break;
            }
        } else {
            threads.start(workers);
            while (const std::optional<int> k = queue.waitForFinished()) {
                const Outcome& outcome = queue.outcome(*k);
                // The caller's record holds the clipped crop rectangle, as after a render of it.
                photos[*k]->CropRect = outcome.clippedCrop;
                if (progress && !outcome.failure && !outcome.skipped)
                    progress(++done, total);
            }
        }
    }
    ExportResult result;
    for (int k = 0; k < total; ++k) {
        const Outcome& outcome = queue.outcome(k);
        // The first failure in photo order is the one reported.
        if (outcome.failure)
            std::rethrow_exception(outcome.failure);
        if (outcome.written)
            result.written << paths[k];
        if (!outcome.overLimit.isEmpty())
            result.overLimit << outcome.overLimit;
        else if (!outcome.unreadable.isEmpty())
            result.unreadable << outcome.unreadable;
    }
    return result;
}
