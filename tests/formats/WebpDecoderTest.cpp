#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include <webp/demux.h>
#include <webp/encode.h>

namespace {

QImage decodeWebpBytes(const QByteArray& bytes)
{
    return decodeWith(decodeWebp, bytes, "photo.webp");
}

// Lossy, lossless, alpha (the reference with alpha dropped), 1 x 1 and odd sizes.
TEST(WebpDecoder, CorpusFilesMatchTheirReferenceDecodes)
{
    SKIP_WITHOUT_CORPUS();
    EXPECT_GE(expectCorpusMatchesReferences({"webp"}), 6);
}

TEST(WebpDecoder, DamagedFilesFailCleanly)
{
    SKIP_WITHOUT_CORPUS();
    expectEachFailsCleanly(QStringList{corpusFile("webp/gen_truncated.webp")} + keptCorruptSamples("webp"));
    for (const char* sample : {"webp/gen_cwebp_one_q50.webp", "webp/libwebp_test.webp"}) {
        SCOPED_TRACE(sample);
        expectEveryTruncationFails(readFileBytes(corpusFile(sample)), decodeWebpBytes);
    }
}

// The canvas after libwebp's own animation decoder has drawn the first frame, alpha
// dropped: the plain reference for an animated file.
QImage firstAnimationFrame(const QByteArray& file)
{
    const WebPData data{reinterpret_cast<const uint8_t*>(file.constData()), size_t(file.size())};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    const std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder(WebPAnimDecoderNew(&data, &options),
                                                                             WebPAnimDecoderDelete);
    WebPAnimInfo info;
    uint8_t* rgba = nullptr;
    int timestamp = 0;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info) || !WebPAnimDecoderGetNext(decoder.get(), &rgba, &timestamp))
        return {};
    QImage bitmap(int(info.canvas_width), int(info.canvas_height), QImage::Format_BGR888);
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            const uint8_t* p = rgba + (size_t(y) * info.canvas_width + size_t(x)) * 4;
            uint8_t* d = bitmap.scanLine(y) + x * 3;
            d[0] = p[2];
            d[1] = p[1];
            d[2] = p[0];
        }
    }
    return bitmap;
}

void appendChunk(QByteArray& file, const char* name, const QByteArray& payload)
{
    const auto size = uint32_t(payload.size());
    file.append(name, 4);
    for (int i = 0; i < 4; ++i)
        file.append(char(size >> (8 * i)));
    file.append(payload);
    if (payload.size() % 2)
        file.append('\0');
}

QByteArray le24(uint32_t v)
{
    const char bytes[3] = {char(v), char(v >> 8), char(v >> 16)};
    return QByteArray(bytes, 3);
}

// An animation of one lossless frame of randomBitmap(w, h, 7) at (x, y) on a larger canvas.
QByteArray animationWithOffsetFrame(int canvasWidth, int canvasHeight, int x, int y, int w, int h)
{
    const QImage frame = randomBitmap(w, h, 7);
    uint8_t* encoded = nullptr;
    const size_t size = WebPEncodeLosslessBGR(frame.constBits(), w, h, int(frame.bytesPerLine()), &encoded);
    // The encoder's RIFF file holds one VP8L chunk after its 12-byte header.
    const QByteArray still(reinterpret_cast<const char*>(encoded), qsizetype(size));
    WebPFree(encoded);
    QByteArray body("WEBP");
    appendChunk(body, "VP8X", QByteArray(1, char(0x02)) + QByteArray(3, '\0') + le24(uint32_t(canvasWidth - 1))
                                  + le24(uint32_t(canvasHeight - 1)));
    appendChunk(body, "ANIM", QByteArray(6, '\0'));
    appendChunk(body, "ANMF", le24(uint32_t(x / 2)) + le24(uint32_t(y / 2)) + le24(uint32_t(w - 1)) + le24(uint32_t(h - 1))
                                  + le24(100) + QByteArray(1, '\0') + still.mid(12));
    QByteArray file("RIFF");
    for (int i = 0; i < 4; ++i)
        file.append(char(uint32_t(body.size()) >> (8 * i)));
    return file + body;
}

// An animation opens as its first frame; a first frame smaller than the canvas sits at its
// offset with black around it.
TEST(WebpDecoder, AnAnimationOpensAsItsFirstFrame)
{
    SKIP_WITHOUT_CORPUS();
    const QByteArray animated = readFileBytes(corpusFile("webp/gen_img2webp_animated.webp"));
    EXPECT_EQ(bitmapDifference(firstAnimationFrame(animated), decodeWebpBytes(animated)), "");

    const QByteArray offset = animationWithOffsetFrame(20, 16, 6, 4, 9, 7);
    const QImage actual = decodeWebpBytes(offset);
    EXPECT_EQ(bitmapDifference(firstAnimationFrame(offset), actual), "");
    ASSERT_EQ(actual.size(), QSize(20, 16));
    EXPECT_EQ(rgbAt(actual, 5, 4), 0u);
    EXPECT_EQ(rgbAt(actual, 6, 3), 0u);
    EXPECT_EQ(rgbAt(actual, 6, 4), rgbAt(randomBitmap(9, 7, 7), 0, 0));
    EXPECT_EQ(rgbAt(actual, 14, 10), rgbAt(randomBitmap(9, 7, 7), 8, 6));
    EXPECT_EQ(rgbAt(actual, 15, 11), 0u);
}

} // namespace
