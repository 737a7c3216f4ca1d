// HEIF (HEVC-coded HEIC files) and AVIF (AV1-coded) through libheif: the file's primary
// image, which libheif assembles from its grid tiles and turns, mirrors and crops as the
// file's transformation boxes require. Thumbnails, depth maps and the other images of the
// file are not read. The library converts to interleaved RGB, whose buffer becomes the
// bitmap; samples of more than 8 bits keep their high byte, alpha is dropped and the colors
// stay as stored.
//
// The size is checked twice before a pixel is decoded: libheif refuses a side beyond ours
// while it reads the boxes, and the primary image's size, after its transformations, goes
// through checkPictureSize.
#include "Decoders.h"
#include "ImageConversion.h"
#include "ImageLimits.h"
#include "PictureError.h"
#include "QuietStandardError.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

#include <libheif/heif.h>

namespace {

struct ContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct DecodingOptionsDeleter {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

bool isAvifName(const QString& path)
{
    return path.endsWith(QLatin1String(".avif"), Qt::CaseInsensitive);
}

// Whether the file's top-level boxes claim more bytes than it has: a file cut short, which
// libheif may report as a box it cannot find.
bool boxesRunPastTheEnd(std::span<const uint8_t> bytes)
{
    const auto be = [&](size_t at, int count) {
        uint64_t v = 0;
        for (int i = 0; i < count; ++i)
            v = v << 8 | bytes[at + size_t(i)];
        return v;
    };
    size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 8)
            return true;
        uint64_t size = be(at, 4);
        if (size == 1) {
            if (bytes.size() - at < 16)
                return true;
            size = be(at + 8, 8);
        }
        if (size == 0)
            return false; // the last box, reaching to the end of the file
        if (size < 8)
            return false; // damaged, not cut short
        if (size > bytes.size() - at)
            return true;
        at += size_t(size);
    }
    return false;
}

// The user's words for a libheif error. The library's own text is never shown.
[[noreturn]] void failHeif(const heif_error& error, const PictureFile& file)
{
    switch (error.code) {
    case heif_error_Memory_allocation_error:
        if (error.subcode == heif_suberror_Security_limit_exceeded) {
            // The one limit that names a size says "... Image size WxH exceeds ...".
            const char* size = error.message ? std::strstr(error.message, "Image size ") : nullptr;
            unsigned width = 0;
            unsigned height = 0;
            if (size && std::sscanf(size, "Image size %ux%u", &width, &height) == 2)
                checkPictureSize(width, height);
            throw PictureError("The picture data is damaged: it declares more data than a picture can hold.");
        }
        throw PictureError(PictureReason::kOutOfMemory);
    case heif_error_Unsupported_filetype:
        throw PictureError(isAvifName(file.path) ? "The file is not an AVIF picture." : "The file is not a HEIF picture.");
    case heif_error_Invalid_input:
        if (error.subcode == heif_suberror_End_of_data || boxesRunPastTheEnd(file.bytes))
            throw PictureError(PictureReason::kTruncated);
        if (error.subcode == heif_suberror_No_ftyp_box)
            throw PictureError(isAvifName(file.path) ? "The file is not an AVIF picture."
                                                     : "The file is not a HEIF picture.");
        throw PictureError(PictureReason::kDamaged);
    case heif_error_Unsupported_feature:
        if (error.subcode == heif_suberror_Unsupported_codec)
            throw PictureError("The picture is compressed in a way this program cannot decode.");
        throw PictureError("This kind of HEIF picture is not supported.");
    case heif_error_Decoder_plugin_error:
        throw PictureError("The compressed picture data is damaged.");
    default:
        throw PictureError(PictureReason::kDamaged);
    }
}

void check(const heif_error& error, const PictureFile& file)
{
    if (error.code != heif_error_Ok)
        failHeif(error, file);
}

// Red and blue of libheif's interleaved 8-bit rows exchanged in place: the rows become the
// blue-green-red bitmap without a copy.
void swapRedAndBlue(uint8_t* rows, int stride, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        uint8_t* p = rows + qsizetype(y) * stride;
        for (int x = 0; x < width; ++x, p += 3)
            std::swap(p[0], p[2]);
    }
}

// Copies rows of 16-bit little-endian red, green, blue words holding `bits` bits each into
// the blue-green-red bitmap, keeping each sample's high byte.
void copyHighBytes(const uint8_t* rows, int stride, int bits, QImage& image)
{
    const int shift = bits - 8;
    const auto sample = [shift](const uint8_t* p) { return uint8_t((unsigned(p[0]) | unsigned(p[1]) << 8) >> shift); };
    for (int y = 0; y < image.height(); ++y) {
        const uint8_t* s = rows + qsizetype(y) * stride;
        uint8_t* d = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x, s += 6, d += 3) {
            d[0] = sample(s + 4);
            d[1] = sample(s + 2);
            d[2] = sample(s);
        }
    }
}

void releaseHeifImage(void* image)
{
    heif_image_release(static_cast<heif_image*>(image));
}

} // namespace

QImage decodeHeif(const PictureFile& file)
{
    const QuietStandardError quiet; // the library's own diagnostics
    const std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    if (!context)
        throw PictureError(PictureReason::kOutOfMemory);
    heif_context_set_maximum_image_size_limit(context.get(), int(kMaxPictureSide));
    // Grid tiles are decoded in parallel, one thread a core.
    heif_context_set_max_decoding_threads(context.get(), int(std::max(1u, std::thread::hardware_concurrency())));

    // The bytes outlive the context: the registry keeps them mapped until the decoder returns.
    check(heif_context_read_from_memory_without_copy(context.get(), file.bytes.data(), file.bytes.size(), nullptr),
          file);

    heif_image_handle* primary = nullptr;
    check(heif_context_get_primary_image_handle(context.get(), &primary), file);
    const std::unique_ptr<heif_image_handle, HandleDeleter> handle(primary);
    checkPictureSize(heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get()));

    const int luma = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    const bool deep = luma > 8;
    // The format's own turns, mirrors and crop are applied unless the pixels are wanted as
    // stored; an EXIF orientation inside a HEIF file is never read, as the format requires.
    const std::unique_ptr<heif_decoding_options, DecodingOptionsDeleter> options(heif_decoding_options_alloc());
    if (!options)
        throw PictureError(PictureReason::kOutOfMemory);
    options->ignore_transformations = file.options.upright ? 0 : 1;
    heif_image* decoded = nullptr;
    check(heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                            deep ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB, options.get()),
          file);
    std::unique_ptr<heif_image, ImageDeleter> image(decoded);

    int stride = 0;
    uint8_t* rows = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    const int bits = heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved);
    const int bytesPerPixel = deep ? 6 : 3;
    if (!rows || width <= 0 || height <= 0 || (deep ? bits <= 8 || bits > 16 : bits != 8)
        || stride < int64_t(width) * bytesPerPixel)
        throw PictureError(PictureReason::kDamaged);
    checkPictureSize(width, height);

    if (deep) {
        QImage picture = allocatePicture(width, height, kBitmapFormat);
        copyHighBytes(rows, stride, bits, picture);
        return picture;
    }
    // The bitmap keeps libheif's buffer and releases it when the last copy of it goes.
    swapRedAndBlue(rows, stride, width, height);
    QImage picture(rows, width, height, stride, kBitmapFormat, releaseHeifImage, image.get());
    if (picture.isNull())
        throw PictureError(PictureReason::kOutOfMemory);
    image.release();
    return picture;
}
