#pragma once

#include "model/LastDecodedPicture.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

template <typename T>
class QFutureWatcher;

// What the open dialog shows of a picture file.
struct PicturePreview {
    QImage image;      // the picture fitted into the box, centred on white; null: no preview
    QSize pictureSize; // the picture's own size
};

// The picture drawn into a box-sized image: scaled with its proportions to fit (never
// enlarged), centred on white, without averaging.
QImage drawPreview(const Picture& picture, QSize box);

// The preview of a file decoded the way PreviewLoader decodes it (a JPEG reduced by DCT
// scaling, any other format in full), on the calling thread, keeping nothing. A null image
// when the file cannot be read.
PicturePreview previewOfFile(const QString& fileName, QSize box, DecodeOptions options = {});

// Makes the open dialog's previews without holding up the user interface: every file is
// decoded on a worker thread of the global thread pool, a JPEG reduced by DCT scaling to the
// box, any other format in full. Only the latest
// request counts: the result of an earlier one is dropped when it arrives, and the full
// decode of the latest is kept in LastDecodedPicture, so that opening the file next takes it
// instead of decoding again. The reduced JPEG decode is never kept.
class PreviewLoader : public QObject {
    Q_OBJECT

public:
    explicit PreviewLoader(QSize box, QObject* parent = nullptr);
    // A decode still running goes on alone and drops its result when it ends; the
    // application waits for the global thread pool when it quits.
    ~PreviewLoader() override;

    // Previews the file in place of any earlier request. Emits ready() before returning when
    // the picture is already kept, otherwise once the background decode is done.
    void request(const QString& fileName);
    // Drops the current request: its decode, if running, no longer shows or keeps anything.
    void cancel();
    // The file is about to be opened. If the current request is its background decode, waits
    // for it and keeps the result, so that the open takes it instead of decoding the file a
    // second time; any other request is dropped.
    void finish(const QString& fileName);
    // Whether a background decode of the current request is under way.
    bool pending() const { return watcher_ != nullptr; }

    // How the files requested from now on are decoded (turned upright, by default): as a
    // photo opened now would be.
    void setDecodeOptions(DecodeOptions options) { options_ = options; }
    DecodeOptions decodeOptions() const { return options_; }

    // Runs on the worker thread before each background decode (tests hold decodes back).
    void setBeforeDecode(std::function<void(const QString&)> hook) { beforeDecode_ = std::move(hook); }

signals:
    void ready(const QString& fileName, const PicturePreview& preview);

private:
    struct Job {
        quint64 generation = 0;
        QString fileName;
        PicturePreview preview;
        LastDecodedPicture::Decoded full;
    };

    void deliver(Job job);
    void dropWatcher();

    QSize box_;
    DecodeOptions options_;
    // Bumped by every request and cancel; a job whose number is no longer current is stale.
    std::shared_ptr<std::atomic<quint64>> generation_;
    QFutureWatcher<Job>* watcher_ = nullptr;
    QString pendingFile_;
    std::function<void(const QString&)> beforeDecode_;
};
