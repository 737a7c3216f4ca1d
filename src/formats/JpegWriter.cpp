// Baseline JPEG output through libjpeg's IJG interface. The bitmap's blue-green-red rows
// go to libjpeg as they are (JCS_EXT_BGR); the compressed stream is collected in memory.
// encodeJpeg hands that stream out; writeJpeg writes the same stream with QSaveFile, so a
// failure never leaves a partial file and a file is byte for byte its encodeJpeg.
//
// As in the decoder, libjpeg's error_exit longjmps back to the setjmp of the one function
// that calls the library, which holds only plain C data.
#include "JpegWriter.h"

#include "FileReplacement.h"
#include "ImageConversion.h"
#include "PictureError.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace {

struct WriterErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// A growing malloc'd buffer that this file owns and frees on every path (libjpeg's own
// memory destination leaks its enlarged buffer when compression is aborted).
struct MemoryDestination {
    jpeg_destination_mgr pub;
    JOCTET* data;
    size_t capacity;
    size_t size;
};

struct JpegWriteJob {
    jpeg_compress_struct info;
    WriterErrorManager error;
    MemoryDestination destination;
};

[[noreturn]] void writerErrorExit(j_common_ptr info)
{
    auto* error = reinterpret_cast<WriterErrorManager*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

void writerEmitMessage(j_common_ptr, int) {}

void startDestination(j_compress_ptr info)
{
    auto* dest = reinterpret_cast<MemoryDestination*>(info->dest);
    dest->pub.next_output_byte = dest->data;
    dest->pub.free_in_buffer = dest->capacity;
}

// Called when the buffer is full: doubles it.
boolean growDestination(j_compress_ptr info)
{
    auto* dest = reinterpret_cast<MemoryDestination*>(info->dest);
    const size_t used = dest->capacity;
    const size_t capacity = used * 2;
    auto* grown = static_cast<JOCTET*>(capacity > used ? std::realloc(dest->data, capacity) : nullptr);
    if (!grown)
        ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    dest->data = grown;
    dest->capacity = capacity;
    dest->pub.next_output_byte = grown + used;
    dest->pub.free_in_buffer = capacity - used;
    return TRUE;
}

void finishDestination(j_compress_ptr info)
{
    auto* dest = reinterpret_cast<MemoryDestination*>(info->dest);
    dest->size = dest->capacity - dest->pub.free_in_buffer;
}

// Compresses rows[0 .. height) into job.destination. False on error, with the message in
// job.error.message.
bool compressJpeg(JpegWriteJob& job, JSAMPROW* rows, JDIMENSION width, JDIMENSION height, int quality)
{
    if (setjmp(job.error.jump))
        return false;

    jpeg_compress_struct& info = job.info;
    jpeg_create_compress(&info);
    job.destination.pub.init_destination = startDestination;
    job.destination.pub.empty_output_buffer = growDestination;
    job.destination.pub.term_destination = finishDestination;
    info.dest = &job.destination.pub;

    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height)
        jpeg_write_scanlines(&info, rows + info.next_scanline, info.image_height - info.next_scanline);
    jpeg_finish_compress(&info);
    return true;
}

struct JpegWriteGuard {
    JpegWriteJob job{};
    ~JpegWriteGuard()
    {
        jpeg_destroy_compress(&job.info);
        std::free(job.destination.data);
    }
};

// Compresses the bitmap at the quality (clamped to 1..100); nothing on failure, with the
// reason in failure.
std::optional<QByteArray> compressBitmap(const QImage& bgr888Bitmap, int quality, QString& failure)
{
    if (bgr888Bitmap.isNull() || bgr888Bitmap.width() <= 0 || bgr888Bitmap.height() <= 0) {
        failure = QStringLiteral("the picture is empty");
        return std::nullopt;
    }
    // The format's own limit, checked before the buffers are allocated.
    if (bgr888Bitmap.width() > JPEG_MAX_DIMENSION || bgr888Bitmap.height() > JPEG_MAX_DIMENSION) {
        failure = QStringLiteral("a JPEG file holds at most %1 pixels a side, and the picture is %2 x %3")
                      .arg(JPEG_MAX_DIMENSION)
                      .arg(bgr888Bitmap.width())
                      .arg(bgr888Bitmap.height());
        return std::nullopt;
    }
    const QImage bitmap = toBgr888(bgr888Bitmap);
    if (bitmap.isNull()) {
        failure = QStringLiteral("not enough memory");
        return std::nullopt;
    }

    const auto width = JDIMENSION(bitmap.width());
    const auto height = JDIMENSION(bitmap.height());
    std::vector<JSAMPROW> rows(height);
    for (JDIMENSION y = 0; y < height; ++y)
        rows[y] = const_cast<JSAMPROW>(bitmap.constScanLine(int(y))); // libjpeg only reads them

    JpegWriteGuard guard;
    JpegWriteJob& job = guard.job;
    job.info.err = jpeg_std_error(&job.error.pub);
    job.error.pub.error_exit = writerErrorExit;
    job.error.pub.emit_message = writerEmitMessage;
    // Quality 100 with 2x2 chroma subsampling rarely exceeds a byte and a half per pixel;
    // the buffer doubles when it does. Lower qualities start smaller.
    const size_t pixels = size_t(width) * height;
    job.destination.capacity = (quality >= 90 ? pixels : pixels / 4) + 65536;
    job.destination.data = static_cast<JOCTET*>(std::malloc(job.destination.capacity));
    if (!job.destination.data) {
        failure = QStringLiteral("not enough memory");
        return std::nullopt;
    }

    if (!compressJpeg(job, rows.data(), width, height, std::clamp(quality, kJpegQualityMin, kJpegQualityMax))) {
        failure = QString::fromLocal8Bit(job.error.message);
        return std::nullopt;
    }
    try {
        return QByteArray(reinterpret_cast<const char*>(job.destination.data), qsizetype(job.destination.size));
    } catch (const std::bad_alloc&) {
        failure = QStringLiteral("not enough memory");
        return std::nullopt;
    }
}

[[noreturn]] void failWrite(const QString& path, const QString& reason)
{
    throw PictureError(QStringLiteral("Unable to write to %1: %2").arg(path, reason));
}

} // namespace

QByteArray encodeJpeg(const QImage& bgr888Bitmap, int quality)
{
    QString failure;
    if (auto bytes = compressBitmap(bgr888Bitmap, quality, failure))
        return std::move(*bytes);
    throw JpegCompressionError(failure);
}

JpegCompressionError::JpegCompressionError(const QString& reason)
    : PictureError(QStringLiteral("Unable to compress the picture as JPEG: %1").arg(reason)), reason_(reason)
{
}

void writeJpeg(const QImage& bgr888Bitmap, const QString& path, int quality)
{
    QString failure;
    const std::optional<QByteArray> bytes = compressBitmap(bgr888Bitmap, quality, failure);
    if (!bytes)
        failWrite(path, failure);
    writeJpegBytes(*bytes, path);
}

void writeJpegBytes(const QByteArray& jpeg, const QString& path)
{
    if (const auto failure = replaceFile(path, QByteArrayView(jpeg)))
        failWrite(path, *failure);
}
