// WebP through libwebp: its demux API finds the canvas and the first frame (the picture of
// a still file, the first frame of an animation), and the decoder writes that frame's
// colors straight into the blue-green-red bitmap, alpha dropped without blending. A first
// frame smaller than the canvas sits at its offset, black around it, as the canvas of an
// animation starts out transparent. EXIF orientation is not applied.
#include "Decoders.h"
#include "ImageConversion.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include <webp/decode.h>
#include <webp/demux.h>

namespace {

struct DemuxDeleter {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};

struct FrameIterator {
    WebPIterator iterator{};
    ~FrameIterator() { WebPDemuxReleaseIterator(&iterator); }
};

bool hasWebpSignature(std::span<const uint8_t> bytes)
{
    return bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0
        && std::memcmp(bytes.data() + 8, "WEBP", 4) == 0;
}

[[noreturn]] void failDecode(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
        throw PictureError(PictureReason::kOutOfMemory);
    case VP8_STATUS_NOT_ENOUGH_DATA:
        throw PictureError(PictureReason::kTruncated);
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        throw PictureError("This kind of WebP picture is not supported.");
    default:
        throw PictureError("The compressed picture data is damaged.");
    }
}

// Decodes one frame's bitstream into rows of `target` of its exact size.
void decodeFrame(const WebPData& fragment, uchar* target, qsizetype stride, int width, int height)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        throw PictureError("This kind of WebP picture is not supported.");
    config.options.use_threads = 1;
    config.output.colorspace = MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.width = width;
    config.output.height = height;
    config.output.u.RGBA.rgba = target;
    config.output.u.RGBA.stride = int(stride);
    config.output.u.RGBA.size = size_t(stride) * size_t(height);

    // The frame's own bitstream must give the size the container announced for it.
    WebPBitstreamFeatures features;
    if (const VP8StatusCode status = WebPGetFeatures(fragment.bytes, fragment.size, &features); status != VP8_STATUS_OK)
        failDecode(status);
    if (features.width != width || features.height != height)
        throw PictureError(PictureReason::kDamaged);

    const VP8StatusCode status = WebPDecode(fragment.bytes, fragment.size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        failDecode(status);
}

} // namespace

QImage decodeWebp(const PictureFile& file)
{
    if (!hasWebpSignature(file.bytes))
        throw PictureError(file.bytes.size() < 12 ? PictureReason::kTruncated : "The file is not a WebP picture.");

    const WebPData data{file.bytes.data(), file.bytes.size()};
    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    const std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemuxPartial(&data, &state));
    if (!demux || state == WEBP_DEMUX_PARSE_ERROR)
        throw PictureError(PictureReason::kDamaged);
    if (state != WEBP_DEMUX_DONE)
        throw PictureError(PictureReason::kTruncated);

    const int64_t canvasWidth = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    const int64_t canvasHeight = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    checkPictureSize(canvasWidth, canvasHeight);

    FrameIterator frame;
    if (!WebPDemuxGetFrame(demux.get(), 1, &frame.iterator) || !frame.iterator.complete)
        throw PictureError(PictureReason::kDamaged);
    const WebPIterator& first = frame.iterator;
    if (first.width <= 0 || first.height <= 0 || first.x_offset < 0 || first.y_offset < 0
        || first.x_offset + int64_t(first.width) > canvasWidth || first.y_offset + int64_t(first.height) > canvasHeight)
        throw PictureError(PictureReason::kDamaged);

    QImage picture = allocatePicture(canvasWidth, canvasHeight, kBitmapFormat);
    if (first.width == canvasWidth && first.height == canvasHeight) {
        decodeFrame(first.fragment, picture.bits(), picture.bytesPerLine(), first.width, first.height);
        return picture;
    }
    picture.fill(0);
    QImage part = allocatePicture(first.width, first.height, kBitmapFormat);
    decodeFrame(first.fragment, part.bits(), part.bytesPerLine(), first.width, first.height);
    for (int y = 0; y < part.height(); ++y)
        std::memcpy(picture.scanLine(first.y_offset + y) + qsizetype(first.x_offset) * 3, part.constScanLine(y),
                    size_t(part.width()) * 3);
    return picture;
}
