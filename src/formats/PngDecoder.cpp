// PNG through libpng, delivered as the file stores its colors: palettes expanded, gray
// repeated into red, green and blue, samples of fewer than 8 bits scaled by bit replication
// (libpng's expansion), 16-bit samples reduced to their high byte, alpha and tRNS dropped
// without blending, no gamma correction. Interlaced files are assembled by libpng.
//
// libpng reports errors by longjmp to the setjmp of the function that called it. Those
// functions hold only plain C data, so no destructor is ever skipped; the C++ work (size
// checks, allocation, throwing) happens outside them.
#include "Decoders.h"
#include "ImageConversion.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <png.h>

namespace {

struct PngJob {
    png_structp png;
    png_infop info;
    const uint8_t* data;
    size_t size;
    size_t pos;
    char message[256];  // libpng's message
    const char* reason; // ours, when this decoder stopped libpng itself
    png_uint_32 width;
    png_uint_32 height;
};

void pngError(png_structp png, png_const_charp message)
{
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "%s", message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp)
{
    // Warnings (bad ancillary chunks, out-of-place chunks) lose no pixels.
}

void pngRead(png_structp png, png_bytep out, size_t count)
{
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (count > job->size - job->pos) {
        job->reason = PictureReason::kTruncated;
        png_error(png, "read past the end");
    }
    std::memcpy(out, job->data + job->pos, count);
    job->pos += count;
}

// Reads the chunks before the image data and sets up the conversion to 8-bit
// blue-green-red. False on error, with the message in job.message or job.reason.
bool readPngHeader(PngJob& job)
{
    if (setjmp(png_jmpbuf(job.png)))
        return false;

    png_set_read_fn(job.png, &job, pngRead);
    // Ancillary chunks describe nothing this decoder uses (gamma, color profiles, text,
    // transparency); they are skipped unread, so a huge or damaged one costs nothing.
    static const png_byte ignored[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0"
                                      "sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0tRNS\0zTXt";
    png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, ignored, int(sizeof ignored / 5));
    png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_read_info(job.png, job.info);

    int bitDepth = 0;
    int colorType = 0;
    png_get_IHDR(job.png, job.info, &job.width, &job.height, &bitDepth, &colorType, nullptr, nullptr, nullptr);

    if (bitDepth == 16)
        png_set_strip_16(job.png);
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(job.png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(job.png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(job.png);
    // Alpha is dropped; the stored colors stay.
    png_set_strip_alpha(job.png);
    png_set_bgr(job.png);
    png_set_interlace_handling(job.png);
    png_read_update_info(job.png, job.info);

    if (png_get_bit_depth(job.png, job.info) != 8 || png_get_channels(job.png, job.info) != 3
        || png_get_rowbytes(job.png, job.info) != size_t(job.width) * 3) {
        job.reason = "This kind of PNG picture is not supported.";
        png_error(job.png, "unsupported pixel layout");
    }
    return true;
}

// Decodes every pass of the image data into rows. False on error.
bool readPngPixels(PngJob& job, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(job.png)))
        return false;
    png_read_image(job.png, rows);
    // The chunks after the image data hold nothing this program shows; they are not read.
    return true;
}

// libpng gives no error codes, only messages (a chunk's errors start with its name, as in
// "IDAT: incorrect data check"). The first entry whose text occurs in the message gives
// the user's reason.
QString pngReason(const PngJob& job)
{
    if (job.reason)
        return QString::fromLatin1(job.reason);
    const QString message = QString::fromLatin1(job.message);
    if (message.contains(QLatin1String("exceeds"), Qt::CaseInsensitive)
        || message.contains(QLatin1String("too large"), Qt::CaseInsensitive)) {
        // The size the header claims, big-endian at bytes 16 to 23 after the signature and
        // the chunk's length and name.
        if (job.size >= 24) {
            const auto be32 = [&](size_t at) {
                return (uint32_t(job.data[at]) << 24) | (uint32_t(job.data[at + 1]) << 16)
                    | (uint32_t(job.data[at + 2]) << 8) | uint32_t(job.data[at + 3]);
            };
            return QStringLiteral("The picture is too large: %1 x %2 pixels.").arg(be32(16)).arg(be32(20));
        }
    }
    static const struct {
        const char* text;
        const char* reason;
    } reasons[] = {
        {"CRC error", "The picture data is damaged: a checksum does not match."},
        {"Not enough image data", PictureReason::kTruncated},
        {"Not enough compressed data", PictureReason::kTruncated},
        {"memory", PictureReason::kOutOfMemory},
        {"PLTE", "The picture's palette is missing or damaged."},
        {"palette", "The picture's palette is missing or damaged."},
        {"IHDR", "The picture's header is damaged."},
        {"IDAT", "The compressed picture data is damaged."},
    };
    for (const auto& entry : reasons) {
        if (message.contains(QLatin1String(entry.text), Qt::CaseInsensitive))
            return QString::fromLatin1(entry.reason);
    }
    return QString::fromLatin1(PictureReason::kDamaged);
}

struct PngJobGuard {
    PngJob job{};
    ~PngJobGuard() { png_destroy_read_struct(&job.png, &job.info, nullptr); }

    [[noreturn]] void fail() const { throw PictureError(pngReason(job)); }
};

} // namespace

QImage decodePng(const PictureFile& file)
{
    PngJobGuard guard;
    PngJob& job = guard.job;
    job.data = file.bytes.data();
    job.size = file.bytes.size();

    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (job.size < sizeof signature || std::memcmp(job.data, signature, sizeof signature) != 0)
        throw PictureError("The file is not a PNG picture.");

    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, pngError, pngWarning);
    if (job.png)
        job.info = png_create_info_struct(job.png);
    if (!job.png || !job.info)
        throw PictureError(PictureReason::kOutOfMemory);

    if (!readPngHeader(job))
        guard.fail();

    QImage image = allocatePicture(job.width, job.height, kBitmapFormat);
    std::vector<png_bytep> rows(job.height);
    for (int y = 0; y < image.height(); ++y)
        rows[size_t(y)] = image.scanLine(y);

    if (!readPngPixels(job, rows.data()))
        guard.fail();
    return image;
}
