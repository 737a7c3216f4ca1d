#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/JpegWriter.h"
#include "formats/Orientation.h"
#include "formats/StoredOrientation.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <tiffio.h>
#include <webp/encode.h>
#include <zlib.h>

namespace {

constexpr DecodeOptions kAsStored{.upright = false};

// ---- the turn against a plain reference ---------------------------------------------------

// A quarter turn clockwise and a left-right mirror, pixel by pixel.
void copyPixel(const QImage& in, int inX, int inY, QImage& out, int x, int y)
{
    out.setPixel(x, y, in.format() == QImage::Format_Indexed8 ? uint(in.pixelIndex(inX, inY)) : in.pixel(inX, inY));
}

QImage slowQuarterClockwise(const QImage& in)
{
    QImage out(in.height(), in.width(), in.format());
    out.setColorTable(in.colorTable());
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            copyPixel(in, y, in.height() - 1 - x, out, x, y);
    return out;
}

QImage slowMirror(const QImage& in)
{
    QImage out(in.size(), in.format());
    out.setColorTable(in.colorTable());
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            copyPixel(in, in.width() - 1 - x, y, out, x, y);
    return out;
}

// Each orientation as quarter turns clockwise, then a mirror, as the EXIF definitions read.
QImage slowOrient(const QImage& in, int orientation)
{
    static const struct {
        int quarters;
        bool mirror;
    } steps[9] = {{0, false}, {0, false}, {0, true}, {2, false}, {2, true},
                  {1, true},  {1, false}, {3, true}, {3, false}};
    QImage out = in.copy();
    for (int q = 0; q < steps[orientation].quarters; ++q)
        out = slowQuarterClockwise(out);
    return steps[orientation].mirror ? slowMirror(out) : out;
}

QImage patterned(int width, int height, QImage::Format format)
{
    QImage image(width, height, format);
    if (format == QImage::Format_Indexed8) {
        QList<QRgb> colors;
        for (int i = 0; i < 256; ++i)
            colors << qRgb(i, 255 - i, i / 2);
        image.setColorTable(colors);
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (format == QImage::Format_Indexed8)
                image.setPixel(x, y, uint((x * 7 + y * 31) % 256));
            else
                image.setPixelColor(x, y, QColor((x * 37) % 256, (y * 53) % 256, (x * y) % 256));
        }
    return image;
}

TEST(Orientation, EveryCaseAndPixelFormatMatchesThePlainReference)
{
    // Odd sides, a picture wider than one tile, so the tile edges are crossed, and one tall
    // and wide enough to be shared among threads in bands.
    for (const QSize size : {QSize(7, 5), QSize(1, 9), QSize(70, 41), QSize(131, 301)}) {
        for (const QImage::Format format : {QImage::Format_BGR888, QImage::Format_Grayscale8, QImage::Format_RGB32,
                                            QImage::Format_Indexed8, QImage::Format_RGBA64}) {
            const QImage stored = patterned(size.width(), size.height(), format);
            for (int orientation = 1; orientation <= 8; ++orientation) {
                SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height() << ", format " << format
                                                << ", orientation " << orientation);
                const QImage turned = orientImage(stored.copy(), orientation);
                const QImage expected = slowOrient(stored, orientation);
                ASSERT_EQ(turned.format(), format);
                ASSERT_EQ(turned.size(), orientedSize(size, orientation));
                EXPECT_EQ(turned, expected);
            }
        }
    }
}

TEST(Orientation, AnImageSharedWithAnotherIsLeftAlone)
{
    const QImage stored = patterned(5, 3, QImage::Format_BGR888);
    const QImage kept = stored.copy();
    for (int orientation : {2, 3, 4, 6}) {
        const QImage turned = orientImage(stored, orientation);
        EXPECT_EQ(stored, kept) << orientation;
        EXPECT_EQ(turned, slowOrient(kept, orientation)) << orientation;
    }
    // Out of range is upright, as stored.
    for (int orientation : {0, 9, -1, 65535})
        EXPECT_EQ(orientImage(stored, orientation), kept) << orientation;
}

// ---- EXIF blocks, well formed and not -----------------------------------------------------

QByteArray bytesOf(std::initializer_list<char> list)
{
    return QByteArray(list.begin(), qsizetype(list.size()));
}

// A TIFF structure of one directory in either byte order, after "Exif\0\0" unless bare:
// entries of (tag, type, count, value in the first bytes of the value field).
struct Entry {
    uint16_t tag, type;
    uint32_t count, value;
};
QByteArray exifBlock(const std::vector<Entry>& entries, bool bigEndian = false, bool bare = false,
                     uint32_t directoryOffset = 8)
{
    QByteArray b = bare ? QByteArray() : QByteArray("Exif\0\0", 6);
    const int base = int(b.size());
    auto put16 = [&](uint16_t v) { b += bigEndian ? bytesOf({char(v >> 8), char(v)}) : bytesOf({char(v), char(v >> 8)}); };
    auto put32 = [&](uint32_t v) {
        if (bigEndian) {
            put16(uint16_t(v >> 16));
            put16(uint16_t(v));
        } else {
            put16(uint16_t(v));
            put16(uint16_t(v >> 16));
        }
    };
    b += bigEndian ? "MM" : "II";
    put16(42);
    put32(directoryOffset);
    b.resize(base + 8);
    put16(uint16_t(entries.size()));
    for (const Entry& e : entries) {
        put16(e.tag);
        put16(e.type);
        put32(e.count);
        if (e.type == 3) { // a short sits in the first two bytes of the field
            put16(uint16_t(e.value));
            put16(0);
        } else {
            put32(e.value);
        }
    }
    put32(0);
    return b;
}

Entry orientationEntry(uint32_t value)
{
    return {0x0112, 3, 1, value};
}

struct BlockCase {
    const char* what;
    QByteArray block;
    int expected;
};

std::vector<BlockCase> blockCases()
{
    const QByteArray six = exifBlock({{0x010F, 2, 4, 0}, orientationEntry(6)});
    return {
        {"6, little-endian, after another tag", six, 6},
        {"8, big-endian", exifBlock({orientationEntry(8)}, true), 8},
        {"3 without the Exif header", exifBlock({orientationEntry(3)}, false, true), 3},
        {"0", exifBlock({orientationEntry(0)}), 1},
        {"9", exifBlock({orientationEntry(9)}), 1},
        {"65535", exifBlock({orientationEntry(65535)}, true), 1},
        {"stored as a long", exifBlock({{0x0112, 4, 1, 6}}), 1},
        {"no value", exifBlock({{0x0112, 3, 0, 6}}), 1},
        {"no orientation", exifBlock({{0x010F, 2, 4, 0}}), 1},
        {"directory beyond the end", exifBlock({orientationEntry(6)}, false, false, 0x7FFFFFF0), 1},
        {"directory inside the header", exifBlock({orientationEntry(6)}, false, false, 2), 1},
        {"cut inside the directory", six.left(six.size() - 14), 1},
        {"cut in the TIFF header", six.left(10), 1},
        {"header only", QByteArray("Exif\0\0", 6), 1},
        {"empty", QByteArray(), 1},
        {"not TIFF", QByteArray("Exif\0\0XX*\0\x08\0\0\0", 14) + six.mid(14), 1},
    };
}

TEST(ExifOrientation, ReadsTheFirstDirectorysOrientationAndOnlyAValidOne)
{
    for (const BlockCase& c : blockCases())
        EXPECT_EQ(exifOrientation(spanOf(c.block)), c.expected) << c.what;
    // A directory claiming 65535 entries in a short block: the entries the block holds are read.
    QByteArray lying = exifBlock({orientationEntry(6)});
    lying[14] = '\xFF';
    lying[15] = '\xFF';
    EXPECT_EQ(exifOrientation(spanOf(lying)), 6);
}

// ---- each format's framing, through the registry --------------------------------------------

QByteArray bigEndian32(uint32_t v)
{
    return bytesOf({char(v >> 24), char(v >> 16), char(v >> 8), char(v)});
}

// The 3 x 2 test picture as a JPEG (quality 100) with the block in an APP1 segment.
QByteArray jpegWith(const QByteArray& block, const QImage& picture)
{
    const QString path = freshFolder("orientation-jpeg") + "/plain.jpg";
    writeJpeg(picture, path);
    const QByteArray plain = readFileBytes(path);
    const int length = int(block.size()) + 2;
    return plain.left(2) + bytesOf({'\xFF', '\xE1', char(length >> 8), char(length)}) + block + plain.mid(2);
}

// The picture as a PNG with the block (without its Exif header) in an eXIf chunk after IHDR.
QByteArray pngWith(const QByteArray& block, const QImage& picture)
{
    const QString path = freshFolder("orientation-png") + "/plain.png";
    picture.save(path, "PNG");
    const QByteArray plain = readFileBytes(path);
    const QByteArray data = block.startsWith(QByteArray("Exif\0\0", 6)) ? block.mid(6) : block;
    const QByteArray typed = "eXIf" + data;
    const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size())));
    const QByteArray chunk = bigEndian32(uint32_t(data.size())) + typed + bigEndian32(crc);
    return plain.left(33) + chunk + plain.mid(33); // signature and IHDR take 33 bytes
}

QByteArray littleEndian32(uint32_t v)
{
    return bytesOf({char(v), char(v >> 8), char(v >> 16), char(v >> 24)});
}

// The picture as a lossless WebP in the extended layout: VP8X announcing EXIF, the picture's
// VP8L chunk, then the block (without its Exif header) in an EXIF chunk.
QByteArray webpWith(const QByteArray& block, const QImage& picture)
{
    uint8_t* encoded = nullptr;
    const size_t size = WebPEncodeLosslessBGR(picture.constBits(), picture.width(), picture.height(),
                                              int(picture.bytesPerLine()), &encoded);
    const QByteArray simple(reinterpret_cast<const char*>(encoded), qsizetype(size));
    WebPFree(encoded);
    const uint32_t w = uint32_t(picture.width() - 1);
    const uint32_t h = uint32_t(picture.height() - 1);
    QByteArray body = "WEBPVP8X" + littleEndian32(10) + bytesOf({0x08, 0, 0, 0, char(w), char(w >> 8), char(w >> 16),
                                                                 char(h), char(h >> 8), char(h >> 16)});
    body += simple.mid(12); // the VP8L chunk
    const QByteArray data = block.startsWith(QByteArray("Exif\0\0", 6)) ? block.mid(6) : block;
    body += "EXIF" + littleEndian32(uint32_t(data.size())) + data;
    if (data.size() % 2)
        body += '\0';
    return "RIFF" + littleEndian32(uint32_t(body.size())) + body;
}

struct FormatCase {
    const char* extension;
    std::function<QByteArray(const QByteArray&, const QImage&)> make;
};

TEST(StoredOrientation, JpegPngAndWebpAreTurnedAsTheirBlockSaysAndOtherwiseKeptAsStored)
{
    const QImage picture = patterned(3, 2, QImage::Format_BGR888);
    const FormatCase formats[] = {{"jpg", jpegWith}, {"png", pngWith}, {"webp", webpWith}};
    for (const FormatCase& format : formats) {
        const QString name = QStringLiteral("photo.") + format.extension;
        for (const BlockCase& c : blockCases()) {
            SCOPED_TRACE(std::string(format.extension) + ": " + c.what);
            const QByteArray file = format.make(c.block, picture);
            QImage stored;
            ASSERT_NO_THROW(stored = toBgr888(FormatRegistry::standard().decode(name, spanOf(file), kAsStored)->toImage()));
            ASSERT_EQ(stored.size(), QSize(3, 2));
            const QImage turned = toBgr888(FormatRegistry::standard().decode(name, spanOf(file))->toImage());
            // An APP1 segment is EXIF only after its "Exif" header.
            const bool framed = c.block.startsWith(QByteArray("Exif\0\0", 6)) || format.extension != std::string("jpg");
            EXPECT_EQ(turned, orientImage(stored, framed ? c.expected : 1));
        }
    }
}

// A reduced decode turned upright must stand for the same part of the picture as the full
// decode: where a turn reverses a direction whose size is no multiple of the reduction, the
// block left over comes first. A sharp edge shows a misplaced block as a large difference.
TEST(StoredOrientation, AReducedDecodeTurnedUprightStandsForTheSamePixelsAsTheFullDecode)
{
    QImage picture(85, 61, QImage::Format_BGR888);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const uint8_t v = (x < 29) != (y < 21) ? 230 : 20;
            uint8_t* p = picture.scanLine(y) + 3 * x;
            p[0] = p[1] = p[2] = v;
        }
    }
    const int d = 4;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const QByteArray file = jpegWith(exifBlock({orientationEntry(uint32_t(orientation))}), picture);
        const QImage full = toBgr888(FormatRegistry::standard().decode("photo.jpg", spanOf(file))->toImage());
        const std::optional<ReducedImage> reduced =
            FormatRegistry::standard().decodeReduced("photo.jpg", spanOf(file), [](QSize) { return d; });
        ASSERT_TRUE(reduced);
        ASSERT_EQ(reduced->pictureSize, full.size());
        ASSERT_EQ(reduced->image.size(), QSize((full.width() + d - 1) / d, (full.height() + d - 1) / d));
        const QImage small = toBgr888(reduced->image);
        const QPoint start = reduced->blockStart;
        int worst = 0;
        for (int y = 0; y < small.height(); ++y) {
            for (int x = 0; x < small.width(); ++x) {
                // The box average of the full pixels this reduced pixel stands for.
                int sum = 0;
                int count = 0;
                for (int fy = std::max(0, start.y() + y * d); fy < std::min(full.height(), start.y() + (y + 1) * d); ++fy)
                    for (int fx = std::max(0, start.x() + x * d); fx < std::min(full.width(), start.x() + (x + 1) * d); ++fx, ++count)
                        sum += full.constScanLine(fy)[3 * fx + 1];
                ASSERT_GT(count, 0);
                worst = std::max(worst, std::abs(sum / count - small.constScanLine(y)[3 * x + 1]));
            }
        }
        EXPECT_LT(worst, 40);
    }
}

// A PSD of 1 x 1 gray pixel with the block as image resource 1058, after another resource
// with an odd-length name and odd-length data.
QByteArray psdWith(const QByteArray& block)
{
    QByteArray b("8BPS\0\x01\0\0\0\0\0\0\0\x01", 14);
    b += bigEndian32(1) + bigEndian32(1) + QByteArray("\0\x08\0\x01", 4); // height, width, depth, gray
    b += bigEndian32(0);                                                  // no color mode data
    QByteArray resources = QByteArray("8BIM\x04\x0C\x02" "ab\0", 10) + bigEndian32(3) + QByteArray("xyz\0", 4);
    QByteArray data = block;
    resources += QByteArray("8BIM\x04\x22\0\0", 8) + bigEndian32(uint32_t(data.size())) + data;
    if (data.size() % 2)
        resources += '\0';
    b += bigEndian32(uint32_t(resources.size())) + resources;
    b += bigEndian32(0);                         // no layers
    b += QByteArray("\0\0\x7F", 3);             // raw, one sample
    return b;
}

TEST(StoredOrientation, PsdResourceIsFoundPastOtherResourcesAndCutOrLyingLengthsAreIgnored)
{
    const QByteArray six = exifBlock({orientationEntry(6)}, true, true);
    EXPECT_EQ(psdOrientation(PictureFile{"a.psd", spanOf(psdWith(six))}), 6);
    EXPECT_EQ(psdOrientation(PictureFile{"a.psd", spanOf(psdWith(exifBlock({orientationEntry(9)}, true, true)))}), 1);
    // Cut inside the resource, or with a length far beyond the file: as stored.
    const QByteArray whole = psdWith(six);
    EXPECT_EQ(psdOrientation(PictureFile{"a.psd", spanOf(whole.left(whole.size() - 12))}), 1);
    QByteArray lying = whole;
    lying[26 + 4] = '\x7F'; // the resources' length far beyond the file
    EXPECT_EQ(psdOrientation(PictureFile{"a.psd", spanOf(lying)}), 1);
}

TEST(StoredOrientation, JpegSegmentsThatLieAboutTheirLengthLeaveThePictureAsStored)
{
    const QByteArray block = exifBlock({orientationEntry(6)});
    const QImage picture = patterned(3, 2, QImage::Format_BGR888);
    QByteArray file = jpegWith(block, picture);
    file[4] = '\x7F'; // the APP1 length beyond the file
    EXPECT_EQ(jpegOrientation(PictureFile{"a.jpg", spanOf(file)}), 1);
    for (qsizetype n = 0; n < 4 + block.size(); ++n)
        EXPECT_EQ(jpegOrientation(PictureFile{"a.jpg", spanOf(file.left(n))}), 1) << n;
}

// A 3 x 2 RGB TIFF written by libtiff with the Orientation tag.
QString tiffWith(const QImage& picture, int orientation)
{
    const QString path = freshFolder("orientation-tiff") + QStringLiteral("/o%1.tif").arg(orientation);
    TIFF* tiff = TIFFOpen(path.toLocal8Bit().constData(), "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(picture.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(picture.height()));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_RGB));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, uint16_t(orientation));
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb.height(); ++y)
        TIFFWriteScanline(tiff, const_cast<uchar*>(rgb.constScanLine(y)), uint32_t(y), 0);
    TIFFClose(tiff);
    return path;
}

TEST(StoredOrientation, TiffIsTurnedAsItsOrientationTagSays)
{
    const QImage picture = patterned(3, 2, QImage::Format_BGR888);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QString path = tiffWith(picture, orientation);
        EXPECT_EQ(loadBitmap(path), orientImage(picture, orientation)) << orientation;
        EXPECT_EQ(toBgr888(loadPicture(path, kAsStored)->toImage()), picture) << orientation;
    }
}

// ---- the corpus ----------------------------------------------------------------------------

TEST(StoredOrientation, EachOfTheEightOrientationsLooksLikeTheUprightFile)
{
    SKIP_WITHOUT_CORPUS();
    for (const char* shape : {"landscape", "portrait"}) {
        const bool landscape = shape[0] == 'l';
        const QSize upright = landscape ? QSize(1800, 1200) : QSize(1200, 1800);
        const QString base = corpusDir() + "/orientation/exiforient_" + shape + "_";
        const QImage reference = loadBitmap(base + "1.jpg");
        ASSERT_EQ(reference.size(), upright);
        for (int n = 0; n <= 8; ++n) {
            SCOPED_TRACE(std::string(shape) + " " + std::to_string(n));
            const QString file = base + QString::number(n) + ".jpg";
            const QImage turned = loadBitmap(file);
            ASSERT_EQ(turned.size(), upright);
            // The landscape files stored on their side were encoded with their chroma
            // subsampled across the other axis: an independent decoder turning them (ImageMagick's
            // auto-orient) differs from the _1 file by the same 3.3 to 3.7.
            EXPECT_LT(meanSampleDifference(turned, reference), landscape && n >= 5 ? 4.0 : 3.0);
            // Kept as stored, the sides of 5 to 8 stay exchanged.
            const auto stored = loadPicture(file, kAsStored);
            EXPECT_EQ(QSize(stored->width(), stored->height()), orientedSize(upright, n));
            // The reduced decode of the open dialog and the thumbnails is turned alike.
            const auto scaled = FormatRegistry::standard().loadScaled(file, QSize(180, 180));
            ASSERT_TRUE(scaled);
            EXPECT_EQ(scaled->pictureSize, upright);
            EXPECT_EQ(scaled->image.size(), landscape ? QSize(225, 150) : QSize(150, 225));
            const auto scaledStored = FormatRegistry::standard().loadScaled(file, QSize(180, 180), kAsStored);
            EXPECT_EQ(scaledStored->pictureSize, orientedSize(upright, n));
        }
    }
}

TEST(StoredOrientation, CorpusFilesRecordingAnOrientationMatchTheirUprightOrStoredReference)
{
    SKIP_WITHOUT_CORPUS();
    const char* const files[] = {"jpg/pillow_hopper_orientation_6.jpg", "jpg/imagers_portrait_2.jpg",
                                 "jpeg/pillow_hopper_orientation_3.jpeg", "tif/pillow_g4_orientation_6.tif",
                                 "psd/kimageformats_orientation6.psd"};
    for (const char* relative : files) {
        const QString file = corpusFile(relative);
        for (const bool upright : {true, false}) {
            SCOPED_TRACE(std::string(relative) + (upright ? " upright" : " as stored"));
            const QString reference = referenceFor(file, upright);
            ASSERT_EQ(reference.endsWith(".upright.ref.png"), upright);
            const QImage actual = toBgr888(loadPicture(file, DecodeOptions{.upright = upright})->toImage());
            EXPECT_EQ(bitmapDifference(loadReference(reference), actual), "")
                << "kept as " << keepMismatch(file, actual).toStdString();
        }
    }
}

TEST(StoredOrientation, HeifKeepsItsOwnTransformsOnlyWhenTurningIsOn)
{
    SKIP_WITHOUT_CORPUS();
    // A 64 x 64 picture whose clean-aperture box shows 32 x 32 of it.
    const QString file = corpusFile("heif/libheif_fuzz_hevc32.heif");
    const auto upright = loadPicture(file);
    const auto stored = loadPicture(file, kAsStored);
    EXPECT_EQ(QSize(upright->width(), upright->height()), QSize(32, 32));
    EXPECT_EQ(QSize(stored->width(), stored->height()), QSize(64, 64));
}

} // namespace
