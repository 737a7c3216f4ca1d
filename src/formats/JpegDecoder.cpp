// JPEG through libjpeg's IJG interface, with the library's default decompression settings
// (accurate integer inverse DCT, smooth chroma upsampling, block smoothing for progressive
// files): at full size, or reduced for a preview by libjpeg's DCT scaling, which computes
// only the output pixels it delivers. Color and gray files are decoded straight into the
// blue-green-red bitmap; CMYK and YCCK files become RGB by the plain ink formula. EXIF
// orientation is not applied.
//
// libjpeg reports errors by calling error_exit, which must not return: it longjmps back to
// the setjmp in the function that called the library. Those functions hold only plain C
// data, so no destructor is ever skipped; the C++ work (size checks, allocation, throwing)
// happens outside them.
#include "Decoders.h"
#include "ImageConversion.h"
#include "ImageLimits.h"
#include "PictureError.h"

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
    char message[JMSG_LENGTH_MAX];
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
    (*info->err->format_message)(info, error->message);
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

// Reads the header and chooses the output color space. False on error, with the message in
// job.error.message; the caller destroys job.info either way.
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

// Decodes every scanline into rows[0 .. output_height). False on error.
bool readJpegPixels(JpegJob& job, JSAMPROW* rows)
{
    if (setjmp(job.error.jump))
        return false;

    jpeg_decompress_struct& info = job.info;
    jpeg_start_decompress(&info);
    if (job.cmyk) {
        JSAMPARRAY buffer = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                      info.output_width * 4, 1);
        while (info.output_scanline < info.output_height) {
            const JDIMENSION y = info.output_scanline;
            if (jpeg_read_scanlines(&info, buffer, 1) == 1)
                cmykRowToBgr(buffer[0], rows[y], info.output_width, job.adobeInverted);
        }
    } else {
        while (info.output_scanline < info.output_height)
            jpeg_read_scanlines(&info, rows + info.output_scanline, info.output_height - info.output_scanline);
    }
    // Everything is decoded; whatever follows the last scan is not read.
    job.error.pixelsComplete = true;
    return true;
}

// Owns the decompressor so that it is destroyed on every path, thrown errors included.
struct JpegJobGuard {
    JpegJob job{};
    ~JpegJobGuard() { jpeg_destroy_decompress(&job.info); }

    [[noreturn]] void fail(const PictureFile& file) const
    {
        throw PictureError(QStringLiteral("Cannot read the JPEG picture %1: %2")
                               .arg(file.path, QString::fromLocal8Bit(job.error.message)));
    }
};

// Decodes at the output size readJpegHeader or scaleJpegOutput chose.
QImage readJpegImage(JpegJobGuard& guard, const PictureFile& file)
{
    JpegJob& job = guard.job;
    QImage image = allocatePicture("JPEG", job.info.output_width, job.info.output_height, kBitmapFormat);
    std::vector<JSAMPROW> rows(job.info.output_height);
    for (int y = 0; y < image.height(); ++y)
        rows[size_t(y)] = image.scanLine(y);

    if (!readJpegPixels(job, rows.data()))
        guard.fail(file);
    return image;
}

} // namespace

QImage decodeJpeg(const PictureFile& file)
{
    JpegJobGuard guard;
    if (!readJpegHeader(guard.job, file.bytes.data(), file.bytes.size()))
        guard.fail(file);
    return readJpegImage(guard, file);
}

ScaledImage decodeJpegScaled(const PictureFile& file, QSize box)
{
    JpegJobGuard guard;
    JpegJob& job = guard.job;
    if (!readJpegHeader(job, file.bytes.data(), file.bytes.size()))
        guard.fail(file);
    // The limits of the full picture apply, however small the decode.
    checkPictureSize("JPEG", job.info.image_width, job.info.image_height);
    const QSize pictureSize(int(job.info.image_width), int(job.info.image_height));
    const QSize fitted = fittedSize(pictureSize, box);
    if (!scaleJpegOutput(job, JDIMENSION(fitted.width()), JDIMENSION(fitted.height())))
        guard.fail(file);
    return ScaledImage{readJpegImage(guard, file), pictureSize};
}
