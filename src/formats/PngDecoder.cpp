// PNG through libpng, delivered as the file stores its colors: palettes expanded, gray
// repeated into red, green and blue, samples of fewer than 8 bits scaled by bit replication
// (libpng's expansion), 16-bit samples reduced to their high byte, alpha and tRNS dropped
// without blending, no gamma correction. Interlaced files are assembled by libpng.
//
// The pictures photos are saved as (gray, RGB, with or without alpha, 8 or 16 bits a sample,
// not interlaced) take a faster way when the file is plainly sound: all image data is
// inflated in one call by libdeflate, which is several times faster than zlib's streaming
// inflate, and unfiltered here, Paeth a whole pixel at a time. Any file that way does not
// find sound (a checksum, a short or overlong stream, a chunk out of place) is decoded by
// libpng as every other file is, so its error is libpng's and its pixels are libpng's.
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
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include <libdeflate.h>
#include <png.h>

#include <sys/mman.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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


// ---- the one-call inflate ------------------------------------------------------------------

uint32_t bigEndian32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// The header fields and the image data of a file the one-call inflate can decode.
struct WholeImageData {
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 0;        // 1 gray, 2 gray and alpha, 3 RGB, 4 RGB and alpha
    int bytesPerSample = 0;  // 1 or 2
    std::vector<std::pair<const uint8_t*, size_t>> idat; // the image data chunks, in order
    size_t compressedSize = 0;
};

// Walks the chunks up to the end of the image data. Nothing when the file is anything but a
// sound, non-interlaced gray or RGB picture of 8 or 16 bits: libpng then decides.
std::optional<WholeImageData> findWholeImageData(const uint8_t* data, size_t size)
{
    WholeImageData found;
    size_t at = 8;
    bool header = false;
    while (true) {
        if (size - at < 8)
            return found.idat.empty() ? std::nullopt : std::optional(std::move(found));
        const uint32_t length = bigEndian32(data + at);
        const uint8_t* type = data + at + 4;
        if (length > 0x7fffffffu || size - at - 8 < size_t(length) + 4) {
            if (!found.idat.empty() && std::memcmp(type, "IDAT", 4) != 0)
                return found; // the image data is whole; what follows is never read
            return std::nullopt;
        }
        const uint8_t* body = data + at + 8;
        const bool isIdat = std::memcmp(type, "IDAT", 4) == 0;
        if (!found.idat.empty() && !isIdat)
            return found;
        const bool critical = (type[0] & 0x20) == 0;
        if (critical) {
            // Critical chunks are checked as libpng checks them.
            const uint32_t crc = uint32_t(libdeflate_crc32(libdeflate_crc32(0, type, 4), body, length));
            if (crc != bigEndian32(body + length))
                return std::nullopt;
        }
        if (!header) {
            if (std::memcmp(type, "IHDR", 4) != 0 || length != 13)
                return std::nullopt;
            header = true;
            found.width = bigEndian32(body);
            found.height = bigEndian32(body + 4);
            const int depth = body[8];
            const int colorType = body[9];
            // compression, filter method, interlace
            if (body[10] != 0 || body[11] != 0 || body[12] != 0)
                return std::nullopt;
            // libpng's own limit on a side, whose error names the size.
            if (found.width == 0 || found.height == 0 || found.width > 1000000 || found.height > 1000000)
                return std::nullopt;
            if (depth != 8 && depth != 16)
                return std::nullopt;
            switch (colorType) {
            case 0: found.channels = 1; break;
            case 2: found.channels = 3; break;
            case 4: found.channels = 2; break;
            case 6: found.channels = 4; break;
            default: return std::nullopt; // palettes go through libpng
            }
            found.bytesPerSample = depth / 8;
        } else if (isIdat) {
            found.idat.emplace_back(body, size_t(length));
            found.compressedSize += length;
        } else if (critical) {
            return std::nullopt; // PLTE, a second IHDR, IEND before any image data, unknown ones
        }
        at += 12 + size_t(length);
    }
}

// Uninitialized bytes for the whole image data. Large buffers get a mapping of their own on
// transparent huge pages, as large pictures do (see allocatePicture): tens of thousands of
// 4 KB page faults cost more than the inflate saves. Throws std::bad_alloc.
class ScratchBuffer {
public:
    explicit ScratchBuffer(size_t size)
    {
        constexpr size_t kHugePage = size_t(2) << 20;
        if (size >= 4 * kHugePage && size < SIZE_MAX - kHugePage) {
            mappingSize_ = size + kHugePage;
            mapping_ = ::mmap(nullptr, mappingSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (mapping_ == MAP_FAILED) {
                mapping_ = nullptr;
                throw std::bad_alloc();
            }
            data_ = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(mapping_) + kHugePage - 1) & ~(kHugePage - 1));
            ::madvise(data_, size, MADV_HUGEPAGE);
        } else {
            owned_.reset(new uint8_t[size]);
            data_ = owned_.get();
        }
    }
    ~ScratchBuffer()
    {
        if (mapping_)
            ::munmap(mapping_, mappingSize_);
    }
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;
    uint8_t* data() const { return data_; }

private:
    std::unique_ptr<uint8_t[]> owned_;
    uint8_t* data_ = nullptr;
    void* mapping_ = nullptr;
    size_t mappingSize_ = 0;
};

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

inline uint8_t paethPredictor(int a, int b, int c)
{
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

#if defined(__SSE2__)
// Paeth for pixels of 3 or 4 bytes: the pixel's bytes side by side in 16-bit lanes, so the
// whole pixel is predicted at once. A pixel depends on the one before it, so pixels go in
// turn. Each pixel is read as 4 bytes: for 3-byte pixels the byte after the row must be
// readable (the next row's filter byte, or slack after the last row) and is written back as
// it was. The next pixel is read before this one is written, which keeps the load from
// waiting on the store.
template <int Bpp>
void unfilterPaethPixels(uint8_t* cur, const uint8_t* prev, size_t n)
{
    const __m128i zero = _mm_setzero_si128();
    const auto load = [](const uint8_t* p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    };
    const auto widen = [&](uint32_t v) { return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), zero); };
    const auto absolute = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
    const __m128i low = _mm_set1_epi16(0xff);
    __m128i a = zero;
    __m128i c = zero;
    uint32_t stored = load(cur);
    for (size_t x = 0; x < n; x += Bpp) {
        const __m128i b = widen(load(prev + x));
        const __m128i bc = _mm_sub_epi16(b, c);
        const __m128i ac = _mm_sub_epi16(a, c);
        const __m128i pa = absolute(bc);
        const __m128i pb = absolute(ac);
        const __m128i pc = absolute(_mm_add_epi16(bc, ac));
        // a where pa <= pb and pa <= pc, else b where pb <= pc, else c.
        const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
        const __m128i notB = _mm_cmpgt_epi16(pb, pc);
        const __m128i bOrC = _mm_or_si128(_mm_and_si128(notB, c), _mm_andnot_si128(notB, b));
        const __m128i predicted = _mm_or_si128(_mm_and_si128(notA, bOrC), _mm_andnot_si128(notA, a));
        a = _mm_and_si128(_mm_add_epi16(widen(stored), predicted), low);
        c = b;
        uint32_t result = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(a, a)));
        if constexpr (Bpp == 3)
            result = (result & 0x00ffffffu) | (stored & 0xff000000u); // little-endian: byte 3 is the next one's
        const uint32_t next = x + Bpp < n ? load(cur + x + Bpp) : 0;
        std::memcpy(cur + x, &result, 4);
        stored = next;
    }
}
#endif

// Undoes one row's filter in place; prev is the row above, unfiltered (null for the first).
// False for a filter type PNG does not have.
bool unfilterRow(int filter, uint8_t* cur, const uint8_t* prev, size_t n, int bpp)
{
    const size_t step = size_t(bpp);
    switch (filter) {
    case 0:
        return true;
    case 1:
        for (size_t x = step; x < n; ++x)
            cur[x] = uint8_t(cur[x] + cur[x - step]);
        return true;
    case 2:
        if (prev) {
            for (size_t x = 0; x < n; ++x)
                cur[x] = uint8_t(cur[x] + prev[x]);
        }
        return true;
    case 3:
        if (prev) {
            for (size_t x = 0; x < step; ++x)
                cur[x] = uint8_t(cur[x] + (prev[x] >> 1));
            for (size_t x = step; x < n; ++x)
                cur[x] = uint8_t(cur[x] + ((cur[x - step] + prev[x]) >> 1));
        } else {
            for (size_t x = step; x < n; ++x)
                cur[x] = uint8_t(cur[x] + (cur[x - step] >> 1));
        }
        return true;
    case 4:
        if (!prev) { // the row above is zero: Paeth predicts the pixel to the left
            for (size_t x = step; x < n; ++x)
                cur[x] = uint8_t(cur[x] + cur[x - step]);
            return true;
        }
#if defined(__SSE2__)
        if (bpp == 3) {
            unfilterPaethPixels<3>(cur, prev, n);
            return true;
        }
        if (bpp == 4) {
            unfilterPaethPixels<4>(cur, prev, n);
            return true;
        }
#endif
        for (size_t x = 0; x < step; ++x)
            cur[x] = uint8_t(cur[x] + prev[x]);
        for (size_t x = step; x < n; ++x)
            cur[x] = uint8_t(cur[x] + paethPredictor(cur[x - step], prev[x], prev[x - step]));
        return true;
    default:
        return false;
    }
}

// One unfiltered row to blue-green-red: gray repeated, alpha dropped, the high byte of
// 16-bit samples (stored first).
template <int Channels, int BytesPerSample>
void rowToBgr(const uint8_t* src, size_t width, uint8_t* bgr)
{
    constexpr size_t pixel = size_t(Channels) * BytesPerSample;
    for (size_t x = 0; x < width; ++x, src += pixel, bgr += 3) {
        if constexpr (Channels <= 2) {
            bgr[0] = bgr[1] = bgr[2] = src[0];
        } else {
            bgr[0] = src[2 * BytesPerSample];
            bgr[1] = src[BytesPerSample];
            bgr[2] = src[0];
        }
    }
}

template <int BytesPerSample>
void rowToBgr(int channels, const uint8_t* src, size_t width, uint8_t* bgr)
{
    switch (channels) {
    case 1: rowToBgr<1, BytesPerSample>(src, width, bgr); break;
    case 2: rowToBgr<2, BytesPerSample>(src, width, bgr); break;
    case 3: rowToBgr<3, BytesPerSample>(src, width, bgr); break;
    default: rowToBgr<4, BytesPerSample>(src, width, bgr); break;
    }
}

// The one-call decode; nothing when libpng is to decode the file.
std::optional<QImage> decodeWholeImage(const uint8_t* data, size_t size)
{
    std::optional<WholeImageData> found = findWholeImageData(data, size);
    if (!found)
        return std::nullopt;
    // Too large a picture is refused here with the same message libpng's way gives.
    QImage image = allocatePicture(found->width, found->height, kBitmapFormat);
    const int bpp = found->channels * found->bytesPerSample;
    const size_t rowBytes = checkedMul(found->width, size_t(bpp));
    const size_t rawSize = checkedMul(rowBytes + 1, found->height);
    try {
        // Left uninitialized: the inflate writes every byte or the decode goes to libpng. The
        // slack after it is read by the unfiltering of the last row.
        const ScratchBuffer raw(checkedAdd(rawSize, 8));
        std::memset(raw.data() + rawSize, 0, 8);
        std::vector<uint8_t> joined;
        const uint8_t* compressed = found->idat.front().first;
        if (found->idat.size() > 1) {
            joined.reserve(found->compressedSize);
            for (const auto& [chunk, length] : found->idat)
                joined.insert(joined.end(), chunk, chunk + length);
            compressed = joined.data();
        }
        const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> inflater(libdeflate_alloc_decompressor());
        if (!inflater)
            return std::nullopt;
        size_t used = 0;
        size_t produced = 0;
        if (libdeflate_zlib_decompress_ex(inflater.get(), compressed, found->compressedSize, raw.data(), rawSize,
                                          &used, &produced) != LIBDEFLATE_SUCCESS
            || used != found->compressedSize || produced != rawSize)
            return std::nullopt;
        const uint8_t* prev = nullptr;
        for (uint32_t y = 0; y < found->height; ++y) {
            uint8_t* row = raw.data() + size_t(y) * (rowBytes + 1);
            if (!unfilterRow(row[0], row + 1, prev, rowBytes, bpp))
                return std::nullopt;
            if (found->bytesPerSample == 1)
                rowToBgr<1>(found->channels, row + 1, found->width, image.scanLine(int(y)));
            else
                rowToBgr<2>(found->channels, row + 1, found->width, image.scanLine(int(y)));
            prev = row + 1;
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt; // libpng needs only the picture's memory
    }
    return image;
}

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
    if (std::optional<QImage> whole = decodeWholeImage(job.data, job.size))
        return std::move(*whole);

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
