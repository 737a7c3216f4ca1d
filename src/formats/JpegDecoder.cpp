// JPEG through libjpeg's IJG interface, with the library's default decompression settings
// (accurate integer inverse DCT, smooth chroma upsampling, block smoothing for progressive
// files): at full size, or reduced for a preview by libjpeg's DCT scaling, which computes
// only the output pixels it delivers. Color and gray files are decoded straight into the
// blue-green-red bitmap; CMYK and YCCK files become RGB by the plain ink formula. A full
// decode can turn the picture upright as it goes (decodeJpegUpright); the reduced ones
// deliver the pixels as stored.
//
// libjpeg reports errors by calling error_exit, which must not return: it longjmps back to
// the setjmp in the function that called the library. Those functions hold only plain C
// data, so no destructor is ever skipped; the C++ work (size checks, allocation, throwing)
// happens outside them.
#include "Decoders.h"
#include "ImageConversion.h"
#include "ImageLimits.h"
#include "Orientation.h"
#include "PictureError.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace {

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    // The library's message code and its first parameter, mapped to the user's words after
    // the jump.
    int code;
    int parameter;
    // Running out of data is harmless once every scanline has been delivered (a missing
    // EOI marker), and in a single Huffman-coded scan, whose decoder reads ahead and
    // reports JWRN_HIT_MARKER when bits it needs are really missing. In any other file
    // (progressive, several scans, arithmetic coding) whole scans may be gone unnoticed.
    bool pixelsComplete;
    bool singleHuffmanScan;
};

struct JpegJob {
    jpeg_decompress_struct info;
    JpegErrorManager error;
    bool cmyk;          // decoded as JCS_CMYK and converted here
    bool adobeInverted; // CMYK stored inverted (Adobe APP14), as every Adobe writer does
};

[[noreturn]] void jpegErrorExit(j_common_ptr info)
{
    auto* error = reinterpret_cast<JpegErrorManager*>(info->err);
    error->code = info->err->msg_code;
    error->parameter = info->err->msg_parm.i[0];
    std::longjmp(error->jump, 1);
}

// Warnings that mean pixels were lost (data ended early or could not be decoded) stop the
// decode: a picture with gray blocks in place of its data is worse than a clear error.
// Warnings that lose nothing, such as stray bytes before a marker, are ignored.
void jpegEmitMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return; // trace messages
    auto* error = reinterpret_cast<JpegErrorManager*>(info->err);
    switch (info->err->msg_code) {
    case JWRN_JPEG_EOF:
        if (error->pixelsComplete || error->singleHuffmanScan)
            break;
        jpegErrorExit(info);
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
        jpegErrorExit(info);
    default:
        break;
    }
    ++info->err->num_warnings;
}

// Reads the header and chooses the output color space. False on error, with the message
// code in job.error; the caller destroys job.info either way.
bool readJpegHeader(JpegJob& job, const uint8_t* data, size_t size)
{
    job.info.err = jpeg_std_error(&job.error.pub);
    job.error.pub.error_exit = jpegErrorExit;
    job.error.pub.emit_message = jpegEmitMessage;
    if (setjmp(job.error.jump))
        return false;

    jpeg_create_decompress(&job.info);
    jpeg_mem_src(&job.info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&job.info, TRUE);
    job.error.singleHuffmanScan =
        !job.info.progressive_mode && !job.info.arith_code && job.info.comps_in_scan == job.info.num_components;

    switch (job.info.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        // libjpeg-turbo converts gray, YCbCr and RGB data to any RGB order itself.
        job.info.out_color_space = JCS_EXT_BGR;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        job.info.out_color_space = JCS_CMYK;
        job.cmyk = true;
        job.adobeInverted = job.info.saw_Adobe_marker;
        break;
    default:
        ERREXIT1(&job.info, JERR_CONVERSION_NOTIMPL, job.info.jpeg_color_space);
    }
    jpeg_calc_output_dimensions(&job.info);
    return true;
}

// Sets the smallest of libjpeg's scales 1/8, 2/8 ... 8/8 whose output is at least
// minWidth x minHeight (full size when none smaller is). False on error.
bool scaleJpegOutput(JpegJob& job, JDIMENSION minWidth, JDIMENSION minHeight)
{
    if (setjmp(job.error.jump))
        return false;

    jpeg_decompress_struct& info = job.info;
    info.scale_denom = 8;
    for (info.scale_num = 1; info.scale_num < 8; ++info.scale_num) {
        jpeg_calc_output_dimensions(&info);
        if (info.output_width >= minWidth && info.output_height >= minHeight)
            return true;
    }
    jpeg_calc_output_dimensions(&info);
    return true;
}

// Plain ink formula: each of red, green and blue is what its ink and black leave of white,
// (255 - ink) x (255 - black) / 255, truncated.
void cmykRowToBgr(const JSAMPLE* cmyk, uint8_t* bgr, JDIMENSION width, bool inverted)
{
    // no sample: CMYK without an Adobe marker, whose inks are stored uninverted;
    // checked by JpegDecoder.CmykInksAreInvertedOnlyUnderTheAdobeMarker
    const unsigned flip = inverted ? 0 : 255;
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const unsigned c = cmyk[0] ^ flip, m = cmyk[1] ^ flip, y = cmyk[2] ^ flip, k = cmyk[3] ^ flip;
        bgr[0] = JSAMPLE(y * k / 255);
        bgr[1] = JSAMPLE(m * k / 255);
        bgr[2] = JSAMPLE(c * k / 255);
    }
}

// Sets libjpeg's scale 1/denominator (1, 2, 4 or 8). False on error.
bool reduceJpegOutput(JpegJob& job, int denominator)
{
    if (setjmp(job.error.jump))
        return false;

    job.info.scale_num = 1;
    job.info.scale_denom = unsigned(denominator);
    jpeg_calc_output_dimensions(&job.info);
    return true;
}

// Decodes every scanline, a band of rows at a time, into the places the writer gives them.
// False on error.
bool readJpegPixels(JpegJob& job, UprightRowWriter& writer)
{
    if (setjmp(job.error.jump))
        return false;

    jpeg_decompress_struct& info = job.info;
    jpeg_start_decompress(&info);
    JSAMPARRAY cmykRow = nullptr;
    if (job.cmyk)
        cmykRow = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, info.output_width * 4, 1);
    JSAMPROW band[UprightRowWriter::kBandRows];
    while (info.output_scanline < info.output_height) {
        const int first = int(info.output_scanline);
        const int count = int(std::min<JDIMENSION>(UprightRowWriter::kBandRows, info.output_height - info.output_scanline));
        for (int i = 0; i < count; ++i)
            band[i] = writer.landing(first, first + i);
        while (int(info.output_scanline) < first + count) {
            const int i = int(info.output_scanline) - first;
            if (!cmykRow)
                jpeg_read_scanlines(&info, band + i, JDIMENSION(count - i));
            else if (jpeg_read_scanlines(&info, cmykRow, 1) == 1)
                cmykRowToBgr(cmykRow[0], band[i], info.output_width, job.adobeInverted);
        }
        writer.place(first, count);
    }
    // Everything is decoded; whatever follows the last scan is not read.
    job.error.pixelsComplete = true;
    return true;
}

// The reason the user reads for the library's message code. Codes of the library's own
// misuse or of features a decoder never asks for (writing, quantizing, temporary files)
// cannot come from a file; they fall under damaged data like any code not named here.
QString jpegReason(const JpegJob& job)
{
    const int parameter = job.error.parameter;
    switch (job.error.code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JERR_INPUT_EOF:
        return QString::fromLatin1(PictureReason::kTruncated);
    case JERR_INPUT_EMPTY:
        return QStringLiteral("The file is empty.");
    case JERR_NO_SOI:
        return QStringLiteral("The file is not a JPEG picture.");
    case JERR_NO_IMAGE:
    case JERR_SOF_NO_SOS:
        return QStringLiteral("The file holds no picture data.");
    case JERR_EMPTY_IMAGE:
        return QStringLiteral("The picture gives its height only after its data, which is not supported.");
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JERR_BAD_DCT_COEF:
        return QStringLiteral("The picture data is damaged: part of it cannot be decoded.");
    case JERR_BAD_HUFF_TABLE:
    case JERR_HUFF_CLEN_OVERFLOW:
    case JERR_HUFF_MISSING_CODE:
    case JERR_NO_HUFF_TABLE:
    case JERR_NO_ARITH_TABLE:
    case JERR_NO_QUANT_TABLE:
    case JERR_DHT_INDEX:
    case JERR_DQT_INDEX:
    case JERR_DAC_INDEX:
    case JERR_DAC_VALUE:
        return QStringLiteral("The picture data is damaged: a table needed to decode it is missing or invalid.");
    case JERR_BAD_PRECISION:
        return job.info.progressive_mode
                   ? QStringLiteral("Progressive %1-bit JPEG pictures are not supported.").arg(parameter)
                   : QStringLiteral("%1-bit JPEG pictures are not supported.").arg(parameter);
    case JERR_SOF_UNSUPPORTED:
        // 0xC3 and 0xCB are lossless, the rest (0xC5..0xC7, 0xCD..0xCF) hierarchical.
        if (parameter == 0xC3 || parameter == 0xCB)
            return QStringLiteral("Lossless JPEG pictures are not supported.");
        return QStringLiteral("Hierarchical JPEG pictures are not supported.");
    case JERR_ARITH_NOTIMPL:
        return QStringLiteral("JPEG pictures with arithmetic coding are not supported.");
    case JERR_COMPONENT_COUNT:
        return QStringLiteral("JPEG pictures with %1 color components are not supported.").arg(parameter);
    case JERR_CONVERSION_NOTIMPL:
    case JERR_BAD_J_COLORSPACE:
        return QStringLiteral("The picture's color space is not supported.");
    case JERR_IMAGE_TOO_BIG:
    case JERR_WIDTH_OVERFLOW:
        return QStringLiteral("The picture is too large: %1 x %2 pixels.")
            .arg(job.info.image_width)
            .arg(job.info.image_height);
    case JERR_OUT_OF_MEMORY:
        return QString::fromLatin1(PictureReason::kOutOfMemory);
    default:
        return QString::fromLatin1(PictureReason::kDamaged);
    }
}

// Owns the decompressor so that it is destroyed on every path, thrown errors included.
struct JpegJobGuard {
    JpegJob job{};
    ~JpegJobGuard() { jpeg_destroy_decompress(&job.info); }

    [[noreturn]] void fail() const { throw PictureError(jpegReason(job)); }
};

// Decodes at the output size readJpegHeader or scaleJpegOutput chose, turned upright by the
// orientation.
QImage readJpegImage(JpegJobGuard& guard, int orientation = 1)
{
    JpegJob& job = guard.job;
    const QSize stored(int(job.info.output_width), int(job.info.output_height));
    const QSize upright = orientedSize(stored, orientation);
    QImage image = allocatePicture(upright.width(), upright.height(), kBitmapFormat);
    UprightRowWriter writer(image, stored, orientation);
    if (!readJpegPixels(job, writer))
        guard.fail();
    writer.finish();
    return image;
}

} // namespace

QImage decodeJpeg(const PictureFile& file)
{
    return decodeJpegUpright(file, 1);
}

QImage decodeJpegUpright(const PictureFile& file, int orientation)
{
    JpegJobGuard guard;
    if (!readJpegHeader(guard.job, file.bytes.data(), file.bytes.size()))
        guard.fail();
    return readJpegImage(guard, validOrientation(orientation));
}

namespace {

// Reads the header of a decode that is to be reduced and gives the full picture's size. The
// limits of the full picture apply, however small the decode.
QSize readFullPictureSize(JpegJobGuard& guard, const PictureFile& file)
{
    JpegJob& job = guard.job;
    if (!readJpegHeader(job, file.bytes.data(), file.bytes.size()))
        guard.fail();
    checkPictureSize(job.info.image_width, job.info.image_height);
    return QSize(int(job.info.image_width), int(job.info.image_height));
}

} // namespace

ScaledImage decodeJpegScaled(const PictureFile& file, QSize box)
{
    JpegJobGuard guard;
    const QSize pictureSize = readFullPictureSize(guard, file);
    const QSize fitted = fittedSize(pictureSize, box);
    if (!scaleJpegOutput(guard.job, JDIMENSION(fitted.width()), JDIMENSION(fitted.height())))
        guard.fail();
    return ScaledImage{readJpegImage(guard), pictureSize};
}

ReducedImage decodeJpegReduced(const PictureFile& file, const ReductionChoice& choose)
{
    JpegJobGuard guard;
    const QSize pictureSize = readFullPictureSize(guard, file);
    int denominator = choose ? choose(pictureSize) : 1;
    if (denominator != 2 && denominator != 4 && denominator != 8)
        denominator = 1;
    if (!reduceJpegOutput(guard.job, denominator))
        guard.fail();
    return ReducedImage{readJpegImage(guard), pictureSize, denominator, {}};
}
