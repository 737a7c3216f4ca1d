// TIFF pictures whose pixels are stored together, in strips of every height (one row, a
// few, a last strip cut short, the whole picture in one), uncompressed, LZW and deflate,
// against the pixels they were written from.
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/ImageConversion.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cstring>
#include <random>

#include <tiffio.h>

namespace {

struct Layout {
    const char* name;
    int samples;       // 1 gray, 3 RGB, 4 RGB and alpha
    int bits;          // 8 or 16
};

// Writes width x height pixels of the layout, the channel values taken from values.
void writeTiff(const QString& path, int width, int height, const Layout& layout, int rowsPerStrip, int compression,
               const std::vector<uint16_t>& values)
{
    TIFF* tiff = TIFFOpen(path.toLocal8Bit().constData(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(layout.samples));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(layout.bits));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, layout.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, uint16_t(compression));
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(rowsPerStrip));
    if (layout.samples == 4) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    const size_t perRow = size_t(width) * size_t(layout.samples);
    std::vector<uint8_t> row(perRow * size_t(layout.bits / 8));
    for (int y = 0; y < height; ++y) {
        for (size_t i = 0; i < perRow; ++i) {
            const uint16_t v = values[size_t(y) * perRow + i];
            if (layout.bits == 8)
                row[i] = uint8_t(v >> 8);
            else
                std::memcpy(row.data() + 2 * i, &v, 2); // the file's own byte order
        }
        ASSERT_EQ(TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0), 1);
    }
    TIFFClose(tiff);
}

TEST(TiffStrips, EveryStripHeightAndCompressionGivesTheWrittenPixels)
{
    const QString folder = freshFolder("tiff-strips");
    const Layout layouts[] = {{"RGB 8", 3, 8}, {"RGBA 8", 4, 8}, {"gray 8", 1, 8}, {"RGB 16", 3, 16}};
    const int compressions[] = {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE};
    // 40 pixels wide: rows of exactly the bitmap's row length for RGB; 13 wide: padded rows.
    const int widths[] = {40, 13};
    const int height = 23;
    const int stripHeights[] = {1, 5, 8, height, 1000};
    std::mt19937 random(5);
    int k = 0;
    for (const Layout& layout : layouts) {
        for (const int width : widths) {
            std::vector<uint16_t> values(size_t(width) * height * size_t(layout.samples));
            for (uint16_t& v : values)
                v = uint16_t(random());
            QImage expected(width, height, kBitmapFormat);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const uint16_t* px = values.data() + (size_t(y) * width + x) * size_t(layout.samples);
                    uint8_t* out = expected.scanLine(y) + 3 * x;
                    if (layout.samples == 1) {
                        out[0] = out[1] = out[2] = uint8_t(px[0] >> 8);
                    } else {
                        out[0] = uint8_t(px[2] >> 8);
                        out[1] = uint8_t(px[1] >> 8);
                        out[2] = uint8_t(px[0] >> 8);
                    }
                }
            }
            for (const int compression : compressions) {
                for (const int rows : stripHeights) {
                    SCOPED_TRACE(testing::Message() << layout.name << ", " << width << " wide, compression "
                                                    << compression << ", " << rows << " rows a strip");
                    const QString path = folder + QStringLiteral("/p%1.tif").arg(k++);
                    writeTiff(path, width, height, layout, rows, compression, values);
                    const QByteArray bytes = readFileBytes(path);
                    const QImage actual = decodeTiff(PictureFile{
                        path, std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()))});
                    EXPECT_EQ(bitmapDifference(expected, actual), "");
                }
            }
        }
    }
}

} // namespace
