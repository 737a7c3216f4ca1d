#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <libheif/heif.h>

namespace {

const QStringList kHeifFolders = {"heic", "heif", "avif"};

QImage decodeHeifBytes(const QByteArray& bytes, const QString& name = "photo.heic")
{
    return decodeWith(decodeHeif, bytes, name);
}

// Phones' grids of tiles with thumbnails, lossless 4:4:4, alpha (dropped: the references
// with alpha dropped), odd sizes, AV1 in .avif and .heif.
TEST(HeifDecoder, CorpusFilesMatchTheirReferenceDecodes)
{
    SKIP_WITHOUT_CORPUS();
    EXPECT_GE(expectCorpusMatchesReferences(kHeifFolders), 15);
}

// libheif's fuzzing finds and a JPEG-coded HEIF have no reference: any outcome but a
// PictureError is a fault. Our own truncated files must say so.
TEST(HeifDecoder, DamagedFilesFailCleanly)
{
    SKIP_WITHOUT_CORPUS();
    for (const QString& file : corpusFilesWithoutReference(kHeifFolders)) {
        SCOPED_TRACE(file.toStdString());
        try {
            loadBitmap(file);
        } catch (const PictureError&) {
        }
    }
    const QStringList kept = keptCorruptSamples("heic");
    EXPECT_GE(kept.size(), 2);
    expectEachFailsCleanly(kept);
}

TEST(HeifDecoder, EveryTruncationOfASmallFileFails)
{
    SKIP_WITHOUT_CORPUS();
    for (const char* sample : {"avif/gen_heifenc_one_q50.avif", "heif/libheif_fuzz_hevc32.heif"}) {
        SCOPED_TRACE(sample);
        expectEveryTruncationFails(readFileBytes(corpusFile(sample)),
                                   [](const QByteArray& bytes) { return decodeHeifBytes(bytes); });
    }
}

// Every image-size box of a file set to the claimed size.
QByteArray withClaimedSize(QByteArray file, uint32_t width, uint32_t height)
{
    for (qsizetype at = file.indexOf("ispe"); at >= 0 && at + 16 <= file.size(); at = file.indexOf("ispe", at + 4)) {
        for (int i = 0; i < 4; ++i) {
            file[at + 8 + i] = char(width >> (24 - 8 * i));
            file[at + 12 + i] = char(height >> (24 - 8 * i));
        }
    }
    return file;
}

TEST(HeifDecoder, SizesOverTheLimitsAreRefusedNamingTheSize)
{
    SKIP_WITHOUT_CORPUS();
    const QByteArray file = readFileBytes(corpusFile("heic/gen_heifenc_odd_q60.heic"));
    const struct {
        uint32_t width, height;
        const char* message;
    } cases[] = {
        {70000, 77, "The picture is too large: 70000 x 77 pixels (at most 65535 pixels a side and 400 megapixels)."},
        {333, 4000000000u, "The picture is too large: 333 x 4000000000 pixels (at most 65535 pixels a side and 400 megapixels)."},
        {20000, 20001, "The picture is too large: 20000 x 20001 pixels (at most 65535 pixels a side and 400 megapixels)."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeFailure([&] { decodeHeifBytes(withClaimedSize(file, c.width, c.height)); }), c.message)
            << c.width << " x " << c.height;
}

// --- Files made here with libheif's own encoder -----------------------------------------

struct HeifDeleters {
    void operator()(heif_context* c) const { heif_context_free(c); }
    void operator()(heif_image* i) const { heif_image_release(i); }
    void operator()(heif_encoder* e) const { heif_encoder_release(e); }
    void operator()(heif_encoding_options* o) const { heif_encoding_options_free(o); }
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
template <typename T>
using HeifPtr = std::unique_ptr<T, HeifDeleters>;

heif_error appendBytes(heif_context*, const void* data, size_t size, void* out)
{
    static_cast<QByteArray*>(out)->append(static_cast<const char*>(data), qsizetype(size));
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// A width x height HEIC of `bits` a sample, the samples a gradient, stored in the given
// orientation (libheif writes the turning boxes).
QByteArray encodedHeic(int width, int height, int bits, heif_orientation orientation)
{
    heif_image* raw = nullptr;
    const bool deep = bits > 8;
    EXPECT_EQ(heif_image_create(width, height, heif_colorspace_RGB,
                                deep ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB, &raw).code,
              heif_error_Ok);
    const HeifPtr<heif_image> image(raw);
    heif_image_add_plane(image.get(), heif_channel_interleaved, width, height, bits);
    int stride = 0;
    uint8_t* rows = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    const int maximum = (1 << bits) - 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int rgb[3] = {x * maximum / width, y * maximum / height, (x + y) * maximum / (width + height)};
            for (int c = 0; c < 3; ++c) {
                uint8_t* p = rows + qsizetype(y) * stride + (x * 3 + c) * (deep ? 2 : 1);
                p[0] = uint8_t(rgb[c]);
                if (deep)
                    p[1] = uint8_t(rgb[c] >> 8);
            }
        }
    }
    const HeifPtr<heif_context> context(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    EXPECT_EQ(heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &rawEncoder).code, heif_error_Ok);
    const HeifPtr<heif_encoder> encoder(rawEncoder);
    heif_encoder_set_lossy_quality(encoder.get(), 90);
    const HeifPtr<heif_encoding_options> options(heif_encoding_options_alloc());
    options->image_orientation = orientation;
    EXPECT_EQ(heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(), nullptr).code,
              heif_error_Ok);
    QByteArray file;
    heif_writer writer{1, appendBytes};
    EXPECT_EQ(heif_context_write(context.get(), &writer, &file).code, heif_error_Ok);
    return file;
}

// libheif's own decode of the file to RGB as a blue-green-red bitmap, samples of more than
// 8 bits reduced to their high byte: the plain reference.
QImage libheifHighBytes(const QByteArray& file, int bits)
{
    const HeifPtr<heif_context> context(heif_context_alloc());
    heif_context_read_from_memory_without_copy(context.get(), file.constData(), size_t(file.size()), nullptr);
    heif_image_handle* rawHandle = nullptr;
    heif_context_get_primary_image_handle(context.get(), &rawHandle);
    const HeifPtr<heif_image_handle> handle(rawHandle);
    heif_image* rawImage = nullptr;
    const bool deep = bits > 8;
    heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                      deep ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB, nullptr);
    const HeifPtr<heif_image> image(rawImage);
    int stride = 0;
    const uint8_t* rows = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    QImage bitmap(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const uint8_t* p = rows + qsizetype(y) * stride + (x * 3 + c) * (deep ? 2 : 1);
                bitmap.scanLine(y)[x * 3 + 2 - c] = deep ? uint8_t((p[0] | p[1] << 8) >> (bits - 8)) : p[0];
            }
        }
    }
    return bitmap;
}

TEST(HeifDecoder, DeepSamplesKeepTheirHighByteAndTheFileIsTurnedUpright)
{
    const struct {
        int bits;
        heif_orientation orientation;
        int uprightWidth, uprightHeight;
    } cases[] = {
        {10, heif_orientation_normal, 48, 32},
        {12, heif_orientation_normal, 48, 32},
        {10, heif_orientation_rotate_90_cw, 32, 48},
        {8, heif_orientation_flip_horizontally, 48, 32},
        {8, heif_orientation_rotate_270_cw, 32, 48},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, orientation " << int(c.orientation));
        const QByteArray file = encodedHeic(48, 32, c.bits, c.orientation);
        const QImage actual = decodeHeifBytes(file);
        EXPECT_EQ(actual.size(), QSize(c.uprightWidth, c.uprightHeight));
        EXPECT_EQ(bitmapDifference(libheifHighBytes(file, c.bits), actual), "");
    }
}

} // namespace
