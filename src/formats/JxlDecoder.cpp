// JPEG XL through libjxl, decoding in parallel on every core: the first frame as displayed
// (an animation's first frame), turned as the file's orientation says, in the file's own
// colors without color management. JPEGs recompressed losslessly decode to their pixels as
// any other file does. Gray becomes red, green and blue; alpha and other extra channels are
// dropped; samples of more than 8 bits keep their high byte.
//
// The size is checked when the basic information arrives, before any pixel is decoded.
#include "Decoders.h"
#include "ImageConversion.h"
#include "ImageLimits.h"
#include "PictureError.h"
#include "QuietStandardError.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner.h>
#include <jxl/thread_parallel_runner_cxx.h>

namespace {

// Where libjxl's worker threads put or find the pixels of the rows they work on. Each call
// touches its own pixels, so the threads never share one.
struct BitmapRows {
    uchar* bits;
    qsizetype bytesPerLine;
    size_t width;
    size_t height;
};

// One of libjxl's 8-bit rows of red, green, blue turned into blue, green, red in place.
void swapRedAndBlue(void* opaque, uint32_t y, size_t)
{
    const auto* rows = static_cast<const BitmapRows*>(opaque);
    uint8_t* p = rows->bits + qsizetype(y) * rows->bytesPerLine;
    for (size_t x = 0; x < rows->width; ++x, p += 3)
        std::swap(p[0], p[2]);
}

int noInit(void*, size_t)
{
    return 0;
}

// A run of 16-bit red, green, blue pixels stored as the high bytes of blue, green, red at (x, y).
void storeDeepRun(void* opaque, size_t x, size_t y, size_t count, const void* pixels)
{
    const auto* rows = static_cast<const BitmapRows*>(opaque);
    if (y >= rows->height || x >= rows->width)
        return;
    count = std::min(count, rows->width - x);
    const auto* s = static_cast<const uint16_t*>(pixels);
    uint8_t* d = rows->bits + qsizetype(y) * rows->bytesPerLine + qsizetype(x) * 3;
    for (size_t i = 0; i < count; ++i, s += 3, d += 3) {
        d[0] = uint8_t(s[2] >> 8);
        d[1] = uint8_t(s[1] >> 8);
        d[2] = uint8_t(s[0] >> 8);
    }
}

} // namespace

QImage decodeJxl(const PictureFile& file)
{
    const QuietStandardError quiet; // the library's own diagnostics
    switch (JxlSignatureCheck(file.bytes.data(), file.bytes.size())) {
    case JXL_SIG_NOT_ENOUGH_BYTES:
        throw PictureError(PictureReason::kTruncated);
    case JXL_SIG_INVALID:
        throw PictureError("The file is not a JPEG XL picture.");
    default:
        break;
    }

    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    const JxlThreadParallelRunnerPtr runner =
        JxlThreadParallelRunnerMake(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads());
    if (!decoder || !runner)
        throw PictureError(PictureReason::kOutOfMemory);
    JxlDecoder* dec = decoder.get();
    if (JxlDecoderSetParallelRunner(dec, JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS
        || JxlDecoderSubscribeEvents(dec, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS
        || JxlDecoderSetKeepOrientation(dec, file.options.upright ? JXL_FALSE : JXL_TRUE) != JXL_DEC_SUCCESS
        || JxlDecoderSetInput(dec, file.bytes.data(), file.bytes.size()) != JXL_DEC_SUCCESS)
        throw PictureError(PictureReason::kOutOfMemory);
    // The input is left open: a file cut short then asks for more input, which names the
    // fault, where closed input gives a bare error.

    int64_t width = 0;
    int64_t height = 0;
    bool deep = false; // samples of more than 8 bits
    QImage picture;
    BitmapRows rows{};
    for (;;) {
        switch (JxlDecoderProcessInput(dec)) {
        case JXL_DEC_BASIC_INFO: {
            JxlBasicInfo info;
            if (JxlDecoderGetBasicInfo(dec, &info) != JXL_DEC_SUCCESS)
                throw PictureError(PictureReason::kDamaged);
            // Orientations 5 to 8 turn the picture by a quarter, unless it is kept as stored.
            const bool turned = file.options.upright && info.orientation >= JXL_ORIENT_TRANSPOSE;
            width = turned ? info.ysize : info.xsize;
            height = turned ? info.xsize : info.ysize;
            checkPictureSize(width, height);
            deep = info.bits_per_sample > 8;
            break;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            // The bitmap is taken only once the frame's header has been read, so a short
            // file that claims a large picture costs nothing. 8-bit samples are written
            // straight into it (libjxl's fastest output); deeper ones reach it through the
            // worker threads' runs, without a 16-bit copy of the picture.
            if (width == 0 || !picture.isNull())
                throw PictureError(PictureReason::kDamaged);
            picture = allocatePicture(width, height, kBitmapFormat);
            rows = BitmapRows{picture.bits(), picture.bytesPerLine(), size_t(width), size_t(height)};
            if (deep) {
                const JxlPixelFormat format{3, JXL_TYPE_UINT16, JXL_NATIVE_ENDIAN, 0};
                if (JxlDecoderSetImageOutCallback(dec, &format, storeDeepRun, &rows) != JXL_DEC_SUCCESS)
                    throw PictureError(PictureReason::kDamaged);
                break;
            }
            // Rows padded to 4 bytes, as the bitmap's are.
            const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 4};
            size_t needed = 0;
            if (JxlDecoderImageOutBufferSize(dec, &format, &needed) != JXL_DEC_SUCCESS
                || needed > size_t(picture.sizeInBytes())
                || JxlDecoderSetImageOutBuffer(dec, &format, picture.bits(), size_t(picture.sizeInBytes()))
                    != JXL_DEC_SUCCESS)
                throw PictureError(PictureReason::kDamaged);
            break;
        }
        case JXL_DEC_FULL_IMAGE:
            // The first frame is the picture; the rest of an animation is not read.
            // The rows are turned into blue, green, red on libjxl's threads too.
            if (!deep && JxlThreadParallelRunner(runner.get(), &rows, noInit, swapRedAndBlue, 0, uint32_t(height)) != 0)
                throw PictureError(PictureReason::kOutOfMemory);
            return picture;
        case JXL_DEC_NEED_MORE_INPUT:
            throw PictureError(PictureReason::kTruncated);
        case JXL_DEC_SUCCESS:
            // The file ended without a frame.
            throw PictureError(PictureReason::kTruncated);
        case JXL_DEC_ERROR:
        default:
            throw PictureError("The compressed picture data is damaged.");
        }
    }
}
