#include "PhotoCore.h"

#include "Pipeline.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageLimits.h"
#include "formats/JpegWriter.h"

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
    if (info_ && decodedSource)
        useSource(std::move(decodedSource));
    else
        LoadSource();
    LoadMask();
    Render();
}

void PhotoCore::SetZoom(int percent)
{
    zoom_ = percent;
    emit OnChange(this);
}

void PhotoCore::LoadSource()
{
    source_.reset();
    sourceBitmap_ = QImage();
    sourceError_.reset();
    if (!info_)
        return;
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
    } catch (const PictureError& e) {
        sourceError_ = PictureError::cannotOpen(info_->FileName, e.message());
    } catch (const std::bad_alloc&) {
        sourceError_ = PictureError::cannotOpen(info_->FileName,
                                                notEnoughMemory(picture->width(), picture->height()).message());
    }
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
    if (info_ && !source_) {
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
    info_->CropRect = clippedCropRect(sourceBitmap_, *info_);
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

void PhotoCore::SaveToFile(const QString& path) const
{
    writeJpeg(RenderedBitmap(), path);
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
