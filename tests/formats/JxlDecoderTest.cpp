#include "ChildProcess.h"
#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include <jxl/encode.h>
#include <jxl/encode_cxx.h>

namespace {

QImage decodeJxlBytes(const QByteArray& bytes)
{
    return decodeWith(decodeJxl, bytes, "photo.jxl");
}

// Lossy, lossless, alpha (the reference with alpha dropped), odd sizes, and a JPEG
// recompressed losslessly.
// libjxl decodes lossy files in floating point with the widest vector unit the processor
// has, so their last bit differs between machines; lossless files stay exact.
TEST(JxlDecoder, CorpusFilesMatchTheirReferenceDecodes)
{
    SKIP_WITHOUT_CORPUS();
    const std::set<QString> lossless{"gen_cjxl_port_lossless.jxl"};
    const std::set<QString> lossy{"gen_cjxl_alpha_d2.jxl", "gen_cjxl_from_jpeg.jxl", "gen_cjxl_land_d1.jxl",
                                  "gen_cjxl_odd_d15.jxl"};
    EXPECT_EQ(expectCorpusMatchesReferences({"jxl"}, loadBitmap, lossy), 1);
    EXPECT_EQ(expectCorpusMatchesReferences({"jxl"}, loadBitmap, lossless, 1), 4);
}

TEST(JxlDecoder, DamagedFilesFailCleanly)
{
    SKIP_WITHOUT_CORPUS();
    expectEachFailsCleanly(QStringList{corpusFile("jxl/gen_truncated.jxl")} + keptCorruptSamples("jxl"));
    expectEveryTruncationFails(readFileBytes(corpusFile("jxl/gen_cjxl_odd_d15.jxl")), decodeJxlBytes);
}

// 203 bytes claiming 30614 x 4232 samples of 16 bits: refused as cut short without taking
// the 0.4 GB bitmap (or a 16-bit copy of it) for the claimed size.
TEST(JxlDecoder, AShortFileClaimingALargePictureTakesNoMemoryForIt)
{
    const QString path = testDataDir() + "/corrupt/jxl/trunc-claims-30614x4232-16bit.jxl";
    const ChildOutcome outcome = runInChild(
        [&] {
            std::fputs(decodeFailure([&] { decodeJxlBytes(readFileBytes(path)); }).c_str(), stdout);
            return 0;
        },
        60, rlim_t(256) << 20);
    ASSERT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
    EXPECT_TRUE(outcome.output.endsWith(PictureReason::kTruncated)) << outcome.output.toStdString();
}

// A lossless file of width x height samples of the given depth, gray or RGB, stored in the
// given orientation.
QByteArray encodedJxl(const std::vector<uint16_t>& samples, int width, int height, int channels, int bits,
                      JxlOrientation orientation)
{
    const JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(width);
    info.ysize = uint32_t(height);
    info.bits_per_sample = uint32_t(bits);
    info.num_color_channels = uint32_t(channels);
    info.uses_original_profile = JXL_TRUE;
    info.orientation = orientation;
    EXPECT_EQ(JxlEncoderSetBasicInfo(encoder.get(), &info), JXL_ENC_SUCCESS);
    JxlColorEncoding color;
    JxlColorEncodingSetToSRGB(&color, channels == 1);
    EXPECT_EQ(JxlEncoderSetColorEncoding(encoder.get(), &color), JXL_ENC_SUCCESS);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    JxlEncoderSetFrameLossless(settings, JXL_TRUE);
    JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, 1);
    const JxlPixelFormat format{uint32_t(channels), JXL_TYPE_UINT16, JXL_NATIVE_ENDIAN, 0};
    EXPECT_EQ(JxlEncoderAddImageFrame(settings, &format, samples.data(), samples.size() * 2), JXL_ENC_SUCCESS);
    JxlEncoderCloseInput(encoder.get());
    std::vector<uint8_t> out(4096);
    size_t used = 0;
    for (;;) {
        uint8_t* next = out.data() + used;
        size_t available = out.size() - used;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder.get(), &next, &available);
        used = size_t(next - out.data());
        if (status != JXL_ENC_NEED_MORE_OUTPUT) {
            EXPECT_EQ(status, JXL_ENC_SUCCESS);
            break;
        }
        out.resize(out.size() * 2);
    }
    return QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(used));
}

// Pseudo-random samples of the full 16-bit range.
std::vector<uint16_t> randomSamples(size_t count)
{
    std::vector<uint16_t> samples(count);
    uint32_t state = 12345;
    for (uint16_t& s : samples) {
        state = state * 1103515245u + 12345u;
        s = uint16_t(state >> 8);
    }
    return samples;
}

// Lossless files of 16 and 8 bits, gray and RGB, in four orientations: every pixel is the
// stored sample's high byte at its upright place.
TEST(JxlDecoder, LosslessSamplesKeepTheirHighByteAtTheirUprightPlace)
{
    constexpr int W = 5, H = 3;
    // Where the upright pixel (x, y) is stored.
    using StoredAt = std::function<QPoint(int x, int y)>;
    const struct {
        JxlOrientation orientation;
        int channels, bits;
        StoredAt storedAt;
    } cases[] = {
        {JXL_ORIENT_IDENTITY, 3, 16, [](int x, int y) { return QPoint(x, y); }},
        {JXL_ORIENT_IDENTITY, 1, 12, [](int x, int y) { return QPoint(x, y); }},
        {JXL_ORIENT_FLIP_HORIZONTAL, 3, 8, [](int x, int y) { return QPoint(W - 1 - x, y); }},
        {JXL_ORIENT_ROTATE_90_CW, 3, 16, [](int x, int y) { return QPoint(y, H - 1 - x); }},
        {JXL_ORIENT_ROTATE_90_CCW, 1, 8, [](int x, int y) { return QPoint(W - 1 - y, x); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "orientation " << int(c.orientation) << ", " << c.channels << " channels, "
                                        << c.bits << " bits");
        std::vector<uint16_t> samples = randomSamples(size_t(W * H * c.channels));
        // Samples of fewer than 16 bits are given to the encoder scaled to the 16-bit range.
        for (uint16_t& s : samples)
            s = uint16_t((s >> (16 - c.bits)) * 65535u / ((1u << c.bits) - 1));
        const QImage actual = decodeJxlBytes(encodedJxl(samples, W, H, c.channels, c.bits, c.orientation));
        const bool turned = c.orientation >= JXL_ORIENT_TRANSPOSE;
        ASSERT_EQ(actual.size(), turned ? QSize(H, W) : QSize(W, H));
        for (int y = 0; y < actual.height(); ++y) {
            for (int x = 0; x < actual.width(); ++x) {
                const QPoint at = c.storedAt(x, y);
                const uint16_t* s = &samples[size_t((at.y() * W + at.x()) * c.channels)];
                const uint32_t expected = c.channels == 1 ? (s[0] >> 8) * 0x010101u
                                                          : uint32_t(s[0] >> 8) << 16 | uint32_t(s[1] >> 8) << 8 | uint32_t(s[2] >> 8);
                EXPECT_EQ(rgbAt(actual, x, y), expected) << x << ", " << y;
            }
        }
    }
}

TEST(JxlDecoder, SizesOverTheLimitsAreRefusedNamingTheSize)
{
    const struct {
        int width, height;
        JxlOrientation orientation;
        const char* message;
    } cases[] = {
        {70000, 1, JXL_ORIENT_IDENTITY, "The picture is too large: 70000 x 1 pixels (at most 65535 pixels a side and 400 megapixels)."},
        {70000, 1, JXL_ORIENT_ROTATE_90_CW, "The picture is too large: 1 x 70000 pixels (at most 65535 pixels a side and 400 megapixels)."},
    };
    for (const auto& c : cases) {
        const QByteArray file =
            encodedJxl(std::vector<uint16_t>(size_t(c.width) * size_t(c.height)), c.width, c.height, 1, 8, c.orientation);
        EXPECT_EQ(decodeFailure([&] { decodeJxlBytes(file); }), c.message);
    }
}

} // namespace
