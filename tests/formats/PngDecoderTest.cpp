#include "TestSupport.h"

#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QFileInfo>

namespace {

// Every PNG of the corpus: palettes, gray and gray+alpha of 1 to 16 bits, RGB and RGBA of
// 8 and 16 bits, interlaced or not, with and without tRNS, gAMA, sRGB and iCCP. The
// references drop alpha and apply no gamma, as the decoder must.
TEST(PngDecoder, CorpusFilesMatchTheirReferenceDecodes)
{
    SKIP_WITHOUT_CORPUS();
    int compared = 0;
    for (const QString& file : corpusFiles("png")) {
        const QString name = QFileInfo(file).fileName();
        const QString reference = referenceFor(file);
        // A wrong CRC in the critical IDAT chunk is damage: libpng refuses such files by
        // default, and so does this decoder, although another tool made a reference for
        // it by ignoring the checksum.
        const bool damaged = name.contains("_crashers_") && !name.contains("empty_ancillary_chunks");
        if (damaged || name.startsWith("gen_trunc")) {
            EXPECT_THROW(loadPicture(file), PictureError) << name.toStdString();
            continue;
        }
        if (reference.isEmpty()) {
            // Palette indexes past the palette's end: shown (as black), never read
            // outside the palette.
            EXPECT_TRUE(name.contains("_badpal_")) << name.toStdString();
            EXPECT_NO_THROW(loadPicture(file)) << name.toStdString();
            continue;
        }
        const QImage actual = toBgr888(loadPicture(file)->toImage());
        const QImage expected = loadReference(reference);
        const std::string difference = bitmapDifference(expected, actual);
        if (!difference.empty())
            ADD_FAILURE() << name.toStdString() << ": " << difference << " (kept as "
                          << keepMismatch(file, actual).toStdString() << ")";
        ++compared;
    }
    EXPECT_GE(compared, 180);
}

} // namespace
