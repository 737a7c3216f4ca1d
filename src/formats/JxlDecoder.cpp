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

#include <algorithm>
#include <cstdint>
#include <vector>

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner.h>
#include <jxl/thread_parallel_runner_cxx.h>

namespace {

// Where libjxl's worker threads put the pixels they have decoded. Each call writes its own
// pixels, so the threads never share one.
struct BitmapRows {
    uchar* bits;
    qsizetype bytesPerLine;
    size_t width;
    size_t height;
};

// A run of red, green, blue pixels stored as blue, green, red at (x, y).
void storeRun(void* opaque, size_t x, size_t y, size_t count, const void* pixels)
{
    const auto* rows = static_cast<const BitmapRows*>(opaque);
    if (y >= rows->height || x >= rows->width)
        return;
    count = std::min(count, rows->width - x);
    const auto* s = static_cast<const uint8_t*>(pixels);
    uint8_t* d = rows->bits + qsizetype(y) * rows->bytesPerLine + qsizetype(x) * 3;
    for (size_t i = 0; i < count; ++i, s += 3, d += 3) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
    }
}

// Rows of 16-bit red, green, blue samples, reduced to their high bytes in blue, green, red.
void keepHighBytes(const std::vector<uint16_t>& samples, QImage& image)
{
    const uint16_t* s = samples.data();
    for (int y = 0; y < image.height(); ++y) {
        uint8_t* d = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x, s += 3, d += 3) {
            d[0] = uint8_t(s[2] >> 8);
            d[1] = uint8_t(s[1] >> 8);
            d[2] = uint8_t(s[0] >> 8);
        }
    }
}

} // namespace

QImage decodeJxl(const PictureFile& file)
{
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
        || JxlDecoderSetKeepOrientation(dec, JXL_FALSE) != JXL_DEC_SUCCESS
        || JxlDecoderSetInput(dec, file.bytes.data(), file.bytes.size()) != JXL_DEC_SUCCESS)
        throw PictureError(PictureReason::kOutOfMemory);
    // The input is left open: a file cut short then asks for more input, which names the
    // fault, where closed input gives a bare error.

    QImage picture;
    std::vector<uint16_t> deepSamples; // for samples of more than 8 bits
    JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    BitmapRows rows{};
    for (;;) {
        switch (JxlDecoderProcessInput(dec)) {
        case JXL_DEC_BASIC_INFO: {
            JxlBasicInfo info;
            if (JxlDecoderGetBasicInfo(dec, &info) != JXL_DEC_SUCCESS)
                throw PictureError(PictureReason::kDamaged);
            // Orientations 5 to 8 turn the picture by a quarter.
            const bool turned = info.orientation >= JXL_ORIENT_TRANSPOSE;
            const int64_t width = turned ? info.ysize : info.xsize;
            const int64_t height = turned ? info.xsize : info.ysize;
            checkPictureSize(width, height);
            picture = allocatePicture(width, height, kBitmapFormat);
            if (info.bits_per_sample > 8) {
                format = JxlPixelFormat{3, JXL_TYPE_UINT16, JXL_NATIVE_ENDIAN, 0};
                deepSamples.resize(checkedMul(checkedMul(size_t(width), size_t(height)), 3));
            }
            break;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            if (picture.isNull())
                throw PictureError(PictureReason::kDamaged);
            if (deepSamples.empty()) {
                // The threads store their runs of pixels straight into the bitmap.
                rows = BitmapRows{picture.bits(), picture.bytesPerLine(), size_t(picture.width()),
                                  size_t(picture.height())};
                if (JxlDecoderSetImageOutCallback(dec, &format, storeRun, &rows) != JXL_DEC_SUCCESS)
                    throw PictureError(PictureReason::kDamaged);
                break;
            }
            size_t needed = 0;
            if (JxlDecoderImageOutBufferSize(dec, &format, &needed) != JXL_DEC_SUCCESS || needed > deepSamples.size() * 2
                || JxlDecoderSetImageOutBuffer(dec, &format, deepSamples.data(), deepSamples.size() * 2)
                    != JXL_DEC_SUCCESS)
                throw PictureError(PictureReason::kDamaged);
            break;
        }
        case JXL_DEC_FULL_IMAGE:
            // The first frame is the picture; the rest of an animation is not read.
            if (!deepSamples.empty())
                keepHighBytes(deepSamples, picture);
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
