#include "PreviewLoader.h"

#include "formats/FormatRegistry.h"

#include <QFutureWatcher>
#include <QPainter>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>

QImage drawPreview(const Picture& picture, QSize box)
{
    if (box.isEmpty() || picture.width() <= 0 || picture.height() <= 0)
        return {};
    const QSize fitted = fittedSize(QSize(picture.width(), picture.height()), box);
    QImage image(box, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const QPoint corner((box.width() - fitted.width()) / 2, (box.height() - fitted.height()) / 2);
    picture.draw(painter, QRect(corner, fitted));
    return image;
}

namespace {

PicturePreview previewOf(const Picture& picture, QSize box)
{
    return {drawPreview(picture, box), QSize(picture.width(), picture.height())};
}

// The reduced decode where the format has one; nothing when it decodes only in full.
// Throws PictureError.
std::optional<PicturePreview> scaledPreview(const QString& fileName, QSize box, DecodeOptions options)
{
    std::optional<ScaledImage> scaled = FormatRegistry::standard().loadScaled(fileName, box, options);
    if (!scaled)
        return std::nullopt;
    return PicturePreview{drawPreview(RasterPicture(scaled->image), box), scaled->pictureSize};
}

} // namespace

PicturePreview previewOfFile(const QString& fileName, QSize box, DecodeOptions options)
{
    try {
        if (std::optional<PicturePreview> preview = scaledPreview(fileName, box, options))
            return *preview;
        return previewOf(*loadPicture(fileName, options), box);
    } catch (const std::exception&) {
        // A file the preview cannot read simply shows no preview; opening it reports why.
        return {};
    }
}

PreviewLoader::PreviewLoader(QSize box, QObject* parent)
    : QObject(parent), box_(box), generation_(std::make_shared<std::atomic<quint64>>(0))
{
}

PreviewLoader::~PreviewLoader()
{
    cancel();
}

void PreviewLoader::request(const QString& fileName)
{
    cancel();
    if (const Picture* kept = LastDecodedPicture::find(fileName, options_)) {
        emit ready(fileName, previewOf(*kept, box_));
        return;
    }
    // The kept picture is of another file: free it before decoding the next one.
    LastDecodedPicture::clear();

    const quint64 generation = *generation_;
    auto job = [current = generation_, generation, fileName, box = box_, options = options_, hook = beforeDecode_] {
        Job result{generation, fileName, {}, {}};
        if (*current != generation)
            return result; // superseded while it waited for a thread
        if (hook)
            hook(fileName);
        try {
            // A JPEG reduced by DCT scaling, kept by nobody; any other format in full, kept
            // for the open that may follow.
            if (std::optional<PicturePreview> preview = scaledPreview(fileName, box, options)) {
                result.preview = *preview;
            } else {
                result.full = LastDecodedPicture::decode(fileName, options);
                result.preview = previewOf(*result.full.picture, box);
            }
        } catch (const std::exception&) {
            result.full = {}; // no preview; opening the file reports why
        }
        return result;
    };
    watcher_ = new QFutureWatcher<Job>(this);
    pendingFile_ = fileName;
    connect(watcher_, &QFutureWatcherBase::finished, this, [this, watcher = watcher_] {
        if (watcher == watcher_)
            deliver(watcher->future().takeResult());
    });
    watcher_->setFuture(QtConcurrent::run(std::move(job)));
}

void PreviewLoader::cancel()
{
    ++*generation_;
    dropWatcher();
}

void PreviewLoader::finish(const QString& fileName)
{
    if (!watcher_ || pendingFile_ != fileName) {
        cancel();
        return;
    }
    // Not a stale job: the open needs this decode and would otherwise start it again.
    watcher_->waitForFinished();
    deliver(watcher_->future().takeResult());
}

void PreviewLoader::deliver(Job job)
{
    dropWatcher();
    if (job.generation != *generation_)
        return;
    if (job.full.picture)
        LastDecodedPicture::keep(std::move(job.full));
    emit ready(job.fileName, job.preview);
}

void PreviewLoader::dropWatcher()
{
    if (!watcher_)
        return;
    // Disconnected at once; a job still running keeps its result to itself and frees it.
    watcher_->disconnect(this);
    watcher_->deleteLater();
    watcher_ = nullptr;
    pendingFile_.clear();
}
