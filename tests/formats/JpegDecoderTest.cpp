#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/JpegWriter.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <cstdlib>
#include <map>
#include <set>

namespace {

// The largest difference of any channel, or -1 when the sizes differ.
int maxChannelDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return -1;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uint8_t* p = a.constScanLine(y);
        const uint8_t* q = b.constScanLine(y);
        for (int x = 0; x < a.width() * 3; ++x)
            worst = std::max(worst, std::abs(int(p[x]) - int(q[x])));
    }
    return worst;
}

TEST(JpegDecoder, CorpusFilesMatchTheirReferenceDecodes)
{
    // Damaged files fail instead of showing gray blocks where data is missing. The
    // reference of pillow_truncated_jpeg.jpg is such a partly gray decode.
    const std::set<QString> mustFail = {
        "gen_trunc60_im_baseline_420_q90.jpg", "gen_trunc60_im_progressive.jpeg", "pillow_truncated_jpeg.jpg",
        "imagers_oss-fuzz-36829.jpg", // entropy data cut short by a marker
        "libjpegturbo_monkey12.jpg",  // 12-bit precision: not an 8-bit JPEG
    };
    // Adobe CMYK: the plain ink formula truncates, the reference rounds at 16 bits.
    const std::map<QString, int> tolerance = {
        {"gen_im_cmyk.jpg", 1}, {"pillow_pil_sample_cmyk.jpg", 1}, {"pillow_pil_sample_cmyk.jpe", 1}};

    int compared = 0;
    for (const char* ext : {"jpg", "jpe", "jpeg", "jfif"}) {
        for (const QString& file : corpusFiles(ext)) {
            const QString name = QFileInfo(file).fileName();
            if (mustFail.count(name)) {
                EXPECT_THROW(loadPicture(file), PictureError) << name.toStdString();
                continue;
            }
            const QString reference = referenceFor(file);
            ASSERT_FALSE(reference.isEmpty()) << name.toStdString();
            const QImage actual = loadBitmap(file);
            const QImage expected = loadReference(reference);
            const int allowed = tolerance.count(name) ? tolerance.at(name) : 0;
            const int difference = maxChannelDifference(expected, actual);
            if (difference < 0 || difference > allowed)
                ADD_FAILURE() << name.toStdString() << ": " << bitmapDifference(expected, actual) << " (kept as "
                              << keepMismatch(file, actual).toStdString() << ")";
            ++compared;
        }
    }
    // Among them: EXIF orientations 2, 3 and 6 delivered as stored, progressive and
    // arithmetic coding, gray and RGB components, stray bytes before markers.
    EXPECT_GE(compared, 30);
}

TEST(JpegDecoder, AMissingEndMarkerAfterTheLastScanLosesNoPixel)
{
    const QString folder = freshFolder("jpeg-eoi");
    const QString whole = folder + "/whole.jpg";
    writeJpeg(randomBitmap(40, 24, 3), whole);
    QByteArray bytes = readFileBytes(whole);
    ASSERT_TRUE(bytes.endsWith("\xff\xd9"));
    bytes.chop(2);
    writeFileBytes(folder + "/cut.jpg", bytes);
    EXPECT_EQ(bitmapDifference(loadBitmap(whole), loadBitmap(folder + "/cut.jpg")), "");
}

TEST(JpegDecoder, DecodesBytesFromAnyPlaceInMemory)
{
    const QByteArray file = readFileBytes(corpusDir() + "/jpg/libjpegturbo_testorig.jpg");
    const QByteArray padded = QByteArray(7, 'x') + file + QByteArray(5, 'y');
    const auto* data = reinterpret_cast<const uint8_t*>(padded.constData());
    const QImage inner = decodeJpeg(PictureFile{"inner.jpg", std::span<const uint8_t>(data + 7, size_t(file.size()))});
    EXPECT_EQ(bitmapDifference(loadBitmap(corpusDir() + "/jpg/libjpegturbo_testorig.jpg"), inner), "");
}

} // namespace
