#include "PhotoCore.h"

#include "Pipeline.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageLimits.h"
#include "formats/ImageConversion.h"
#include "formats/JpegWriter.h"
#include "render/Geometry.h"
#include "render/Resample.h"

#include <new>

PhotoCore::PhotoCore(QObject* parent) : QObject(parent)
{
    Render();
}

PhotoCore::~PhotoCore() = default;

QSize PhotoCore::DisplaySize() const
{
    return QSize(bitmap_.width() * zoom_ / 100, bitmap_.height() * zoom_ / 100);
}

void PhotoCore::SetPhotoInfo(TPhotoInfo* info, std::unique_ptr<Picture> decodedSource)
{
    info_ = info;
    if (info_ && decodedSource) {
        clearSource();
        useSource(std::move(decodedSource));
    } else {
        LoadSource();
    }
    LoadMask();
    Render();
}

void PhotoCore::SetZoom(int percent)
{
    zoom_ = percent;
    emit OnChange(this);
}

void PhotoCore::clearSource()
{
    source_.reset();
    sourceBitmap_ = QImage();
    sourceSize_ = QSize();
    reduced_ = ReducedImage();
    sourceError_.reset();
}

void PhotoCore::LoadSource()
{
    clearSource();
    if (!info_)
        return;
    if (renderOnly_ && info_->Resample) {
        loadForRender();
        return;
    }
    loadFullSource();
}

void PhotoCore::loadFullSource()
{
    try {
        useSource(loadPicture(info_->FileName, info_->Decoding));
    } catch (const PictureError& e) {
        // A source that cannot be read leaves the photo without a picture, silently.
        sourceError_ = e;
    }
}

void PhotoCore::useSource(std::unique_ptr<Picture> picture)
{
    source_.reset();
    sourceBitmap_ = QImage();
    sourceError_.reset();
    try {
        // Asked once: a metafile draws itself at every call.
        const QImage image = picture->toImage();
        QImage bitmap = toRenderedBitmap(image);
        if (bitmap.isNull())
            throw PictureError("The picture is empty.");
        // Keep one copy of the pixels: the 24-bit bitmap also serves as the picture.
        if (bitmap.constBits() != image.constBits())
            picture = std::make_unique<RasterPicture>(bitmap);
        source_ = std::move(picture);
        sourceBitmap_ = std::move(bitmap);
        sourceSize_ = sourceBitmap_.size();
    } catch (const PictureError& e) {
        sourceError_ = PictureError::cannotOpen(info_->FileName, e.message());
    } catch (const std::bad_alloc&) {
        sourceError_ = PictureError::cannotOpen(info_->FileName,
                                                notEnoughMemory(picture->width(), picture->height()).message());
    }
}

void PhotoCore::loadForRender()
{
    std::optional<ReducedImage> decoded;
    try {
        decoded = FormatRegistry::standard().loadReduced(
            info_->FileName, [this](QSize pictureSize) { return sourceReduction(pictureSize, *info_); },
            info_->Decoding);
    } catch (const PictureError& e) {
        sourceError_ = e;
        return;
    }
    if (!decoded) {
        loadFullSource(); // the format decodes only in full
    } else if (decoded->denominator == 1) {
        useSource(std::make_unique<RasterPicture>(decoded->image));
    } else {
        reduced_ = std::move(*decoded);
        reduced_.image = toRenderedBitmap(reduced_.image);
        sourceSize_ = reduced_.pictureSize;
    }
}

void PhotoCore::prepareReduced(int denominator)
{
    if (denominator <= 1) {
        // The full source: in render-only use decoded now, when first needed.
        if (sourceBitmap_.isNull()) {
            loadFullSource();
            if (const PictureError* error = LoadError())
                throw *error;
        }
        return;
    }
    if (reduced_.denominator == denominator && !reduced_.isNull())
        return;
    // The format's own reduced decode where it has one, so that every photo core showing this
    // file (the window, the export, lumatrim-render) reads the same pixels; else the box
    // average of the full source. A file that no longer decodes as it did falls back to the
    // box average when the full source is at hand.
    std::optional<ReducedImage> decoded;
    try {
        decoded = FormatRegistry::standard().loadReduced(info_->FileName, [denominator](QSize) { return denominator; },
                                                            info_->Decoding);
    } catch (const PictureError&) {
        if (sourceBitmap_.isNull())
            throw;
    }
    if (decoded && decoded->denominator == denominator && decoded->pictureSize == sourceSize_) {
        reduced_ = std::move(*decoded);
        reduced_.image = toRenderedBitmap(reduced_.image);
        return;
    }
    prepareReduced(1);
    reduced_ = reduceByBoxAverage(sourceBitmap_, denominator);
}

void PhotoCore::LoadMask()
{
    mask_.reset();
    maskError_.reset();
    if (!info_ || pictureExtension(info_->Mask).isEmpty())
        return;
    try {
        // A mask is shown upright whatever the photo's choice, as the mask list shows it.
        mask_ = loadPicture(info_->Mask);
    } catch (const PictureError& e) {
        // A mask that cannot be read is simply absent; the border is still drawn.
        maskError_ = e;
    }
}

namespace {

// Why a photo renders to no pixels: its maximum size, or a shorter side that rounds to 0.
QString emptyRenderMessage(int maxSize)
{
    if (maxSize <= 0)
        return QStringLiteral("The photo has no pixels at a maximum size of %1.").arg(maxSize);
    return QStringLiteral("The photo has no pixels at a maximum size of %1: its shorter side comes to 0.").arg(maxSize);
}

} // namespace

void PhotoCore::Render()
{
    bitmap_ = QImage();
    message_.clear();
    if (info_ && !source_ && reduced_.isNull()) {
        message_ = QStringLiteral("%1 could not be read.").arg(info_->FileName);
    } else if (info_) {
        try {
            runPipeline();
        } catch (const PictureError& e) {
            bitmap_ = QImage();
            message_ = e.message();
        }
    }
    emit OnChange(this);
}

void PhotoCore::runPipeline()
{
    // The record holds the clipped crop rectangle even when a later step fails.
    info_->CropRect = clipCropRect(info_->CropRect, sourceSize_.width(), sourceSize_.height());
    const int reduction = sourceReduction(sourceSize_, *info_);
    prepareReduced(reduction);
    if (reduction > 1)
        bitmap_ = renderSource(reduced_, *info_, mask_.get());
    else
        bitmap_ = renderSource(sourceBitmap_, *info_, mask_.get());
    if (bitmap_.isNull())
        message_ = emptyRenderMessage(info_->MaxSize);
}

const QImage& PhotoCore::RenderedBitmap() const
{
    if (bitmap_.isNull())
        throw PictureError(message_.isEmpty() ? QStringLiteral("There is no photo to render.") : message_);
    return bitmap_;
}

FittedJpeg PhotoCore::SaveToFile(const QString& path) const
{
    const QImage& bitmap = RenderedBitmap();
    std::optional<FittedJpeg> jpeg;
    try {
        jpeg = EncodeJpeg(bitmap, *info_);
    } catch (const JpegCompressionError& error) {
        // A bitmap that cannot be compressed is a file that cannot be written.
        throw PictureError(QStringLiteral("Unable to write to %1: %2").arg(path, error.reason()));
    }
    writeJpegBytes(jpeg->bytes, path);
    return *jpeg;
}

std::optional<FittedJpeg> PhotoCore::EncodeJpeg(const QImage& bitmap, const PhotoSettings& settings,
                                                const std::function<bool()>& stop)
{
    return encodeJpegWithin(bitmap, settings.JpegQuality, qint64(settings.MaxFileKB) * kBytesPerKilobyte, stop);
}

void PhotoCore::RotateClockwise()
{
    info_->Rotation = (info_->Rotation + 270) % 360;
    Render();
}

void PhotoCore::RotateCounterclockwise()
{
    info_->Rotation = (info_->Rotation + 90) % 360;
    Render();
}
