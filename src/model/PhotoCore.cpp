#include "PhotoCore.h"

#include "LastDecodedPicture.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/JpegWriter.h"
#include "formats/PictureError.h"
#include "render/Compositing.h"
#include "render/Geometry.h"
#include "render/Tone.h"

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

void PhotoCore::SetPhotoInfo(TPhotoInfo* info)
{
    info_ = info;
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
    if (!info_)
        return;
    try {
        source_ = LastDecodedPicture::take(info_->FileName);
        sourceBitmap_ = toBgr888(source_->toImage());
        if (sourceBitmap_.isNull())
            throw std::bad_alloc(); // the conversion found no memory: there is no picture to show
        // Keep one copy of the pixels: the 24-bit bitmap also serves as the picture.
        if (sourceBitmap_.constBits() != source_->toImage().constBits())
            source_ = std::make_unique<RasterPicture>(sourceBitmap_);
    } catch (const std::exception&) {
        // A source that cannot be read leaves the photo without a picture, silently.
        source_.reset();
        sourceBitmap_ = QImage();
    }
}

void PhotoCore::LoadMask()
{
    mask_.reset();
    if (!info_ || pictureExtension(info_->Mask).isEmpty())
        return;
    try {
        mask_ = loadPicture(info_->Mask);
    } catch (const std::exception&) {
        // A mask that cannot be read is simply absent; the border is still drawn.
        mask_.reset();
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
        } catch (const std::bad_alloc&) {
            bitmap_ = QImage();
            message_ = QStringLiteral("There is not enough memory to render the photo.");
        }
    }
    emit OnChange(this);
}

void PhotoCore::runPipeline()
{
    // A shallow copy: the first step that changes pixels works on its own copy.
    bitmap_ = sourceBitmap_;
    DoCrop(bitmap_, *info_);
    DoResize(bitmap_, *info_);
    if (bitmap_.isNull()) {
        // Nothing is left for the later steps to work on.
        message_ = emptyRenderMessage(info_->MaxSize);
        return;
    }
    DoRotate(bitmap_, *info_);
    DoColorBalance(bitmap_, *info_);
    if (info_->Optimize)
        DoFilter(bitmap_, OptimizeKernel);
    DoWatermark(bitmap_, *info_);
    DoMask(bitmap_, mask_.get(), *info_);
    if (bitmap_.isNull())
        throw std::bad_alloc(); // no later step empties a bitmap on purpose: its memory ran out
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

void PhotoCore::DoCrop(QImage& bitmap, PhotoSettings& info)
{
    ::DoCrop(bitmap, info);
}

void PhotoCore::DoResize(QImage& bitmap, const PhotoSettings& info)
{
    ::DoResize(bitmap, info);
}

void PhotoCore::DoRotate(QImage& bitmap, const PhotoSettings& info)
{
    ::DoRotate(bitmap, info);
}

void PhotoCore::DoColorBalance(QImage& bitmap, const PhotoSettings& info)
{
    ::DoColorBalance(bitmap, info);
}

void PhotoCore::DoFilter(QImage& bitmap, std::span<const int> kernel)
{
    ::DoFilter(bitmap, kernel);
}

void PhotoCore::DoWatermark(QImage& bitmap, const PhotoSettings& info)
{
    ::DoWatermark(bitmap, info);
}

void PhotoCore::DoMask(QImage& bitmap, const Picture* maskPicture, const PhotoSettings& info)
{
    ::DoMask(bitmap, maskPicture, info);
}
