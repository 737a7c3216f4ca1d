// PNG pictures of every layout the one-call inflate takes, with every filter type, against the
// pixels they were written from; and damaged image data, which must fail as cleanly as before.
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <random>

#include <zlib.h>

namespace {

struct Chunk {
    QByteArray type;
    QByteArray body;
};

std::vector<Chunk> chunksOf(const QByteArray& png)
{
    std::vector<Chunk> chunks;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const auto* p = reinterpret_cast<const uint8_t*>(png.constData() + at);
        const qsizetype length = qsizetype((uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]);
        chunks.push_back({png.mid(at + 4, 4), png.mid(at + 8, length)});
        at += 12 + length;
    }
    return chunks;
}

QByteArray be32(uint32_t v)
{
    const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(bytes, 4);
}

// The file of the chunks, each with its checksum; the image data is cut into pieces of
// idatPiece bytes (all in one chunk when 0).
QByteArray fileOf(const std::vector<Chunk>& chunks, qsizetype idatPiece = 0)
{
    QByteArray data;
    std::vector<Chunk> laid;
    for (const Chunk& c : chunks) {
        if (c.type != "IDAT") {
            laid.push_back(c);
            continue;
        }
        data += c.body;
        if (&c == &chunks.back() || (&c + 1)->type != "IDAT") {
            const qsizetype piece = idatPiece > 0 ? idatPiece : std::max<qsizetype>(data.size(), 1);
            for (qsizetype at = 0; at < data.size(); at += piece)
                laid.push_back({"IDAT", data.mid(at, piece)});
            data.clear();
        }
    }
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    for (const Chunk& c : laid) {
        const QByteArray typed = c.type + c.body;
        png += be32(uint32_t(c.body.size())) + typed
            + be32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()))));
    }
    return png;
}

QByteArray pngOf(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "PNG"));
    return bytes;
}

QImage decode(const QByteArray& bytes)
{
    return decodePng(PictureFile{{}, std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()))});
}

// A picture with smooth runs and noise, so that the writer picks every filter type.
QImage mixedPicture(int width, int height, QImage::Format format, uint32_t seed)
{
    QImage image(width, height, format);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool noisy = (y / 7 + x / 5) % 3 == 0;
            const auto part = [&](int k) { return noisy ? int(random() % 65536) : ((x * 397 + y * 211 * k) * 37) % 65536; };
            image.setPixelColor(x, y, QColor::fromRgba64(quint16(part(1)), quint16(part(2)), quint16(part(3)), quint16(part(4))));
        }
    }
    return image;
}

// The pixels the decoder must deliver: the colors as written, alpha dropped without blending,
// the high byte of 16-bit samples.
QImage expectedOf(const QImage& written)
{
    QImage expected(written.size(), kBitmapFormat);
    for (int y = 0; y < written.height(); ++y) {
        uint8_t* out = expected.scanLine(y);
        for (int x = 0; x < written.width(); ++x, out += 3) {
            const QRgba64 c = written.pixelColor(x, y).rgba64();
            if (written.format() == QImage::Format_Grayscale8 || written.format() == QImage::Format_Grayscale16) {
                const int v = written.format() == QImage::Format_Grayscale8 ? written.constScanLine(y)[x]
                                                                             : reinterpret_cast<const quint16*>(written.constScanLine(y))[x] >> 8;
                out[0] = out[1] = out[2] = uint8_t(v);
            } else {
                out[0] = uint8_t(c.blue() >> 8);
                out[1] = uint8_t(c.green() >> 8);
                out[2] = uint8_t(c.red() >> 8);
            }
        }
    }
    return expected;
}

TEST(PngWholeImage, EveryLayoutAndFilterGivesTheWrittenPixels)
{
    const struct {
        QImage::Format format;
        const char* name;
    } formats[] = {
        {QImage::Format_RGB888, "RGB 8"},         {QImage::Format_ARGB32, "RGBA 8"},
        {QImage::Format_Grayscale8, "gray 8"},    {QImage::Format_Grayscale16, "gray 16"},
        {QImage::Format_RGBX64, "RGB 16"},        {QImage::Format_RGBA64, "RGBA 16"},
    };
    // Widths around the pixel sizes (the first pixel of a row, a single pixel, odd sizes).
    const int widths[] = {1, 2, 3, 5, 17, 64, 257};
    uint32_t seed = 1;
    for (const auto& f : formats) {
        for (const int width : widths) {
            SCOPED_TRACE(testing::Message() << f.name << ", " << width << " wide");
            const QImage written = mixedPicture(width, 37, f.format, seed++);
            const QByteArray png = pngOf(written);
            const QImage expected = expectedOf(written);
            // As written (several image data chunks), in one chunk, and in pieces of 1 byte.
            for (const qsizetype piece : {qsizetype(-1), qsizetype(0), qsizetype(1)}) {
                const QByteArray file = piece < 0 ? png : fileOf(chunksOf(png), piece);
                EXPECT_EQ(bitmapDifference(expected, decode(file)), "") << "pieces " << piece;
            }
        }
    }
}

TEST(PngWholeImage, DamagedImageDataFailsCleanly)
{
    const QByteArray png = pngOf(mixedPicture(300, 200, QImage::Format_RGB888, 99));
    const std::vector<Chunk> chunks = chunksOf(png);
    const auto idat = [&] {
        QByteArray all;
        for (const Chunk& c : chunks) {
            if (c.type == "IDAT")
                all += c.body;
        }
        return all;
    }();
    const auto withImageData = [&](const QByteArray& data, bool keepCrc = true) {
        std::vector<Chunk> changed;
        bool placed = false;
        for (const Chunk& c : chunks) {
            if (c.type != "IDAT")
                changed.push_back(c);
            else if (!placed) {
                changed.push_back({"IDAT", data});
                placed = true;
            }
        }
        QByteArray file = fileOf(changed);
        if (!keepCrc) {
            const qsizetype at = file.indexOf("IDAT") + 4 + data.size();
            file[at] = char(file[at] ^ 0x55);
        }
        return file;
    };
    QByteArray flipped = idat;
    flipped[idat.size() / 2] = char(flipped[idat.size() / 2] ^ 0x10);
    QByteArray badAdler = idat;
    badAdler[idat.size() - 1] = char(badAdler[idat.size() - 1] ^ 1);
    const struct {
        const char* name;
        QByteArray file;
        const char* reason; // a part of the message, or null for any clean error
    } cases[] = {
        {"image data damaged, checksum fitting", withImageData(flipped), nullptr},
        {"image data checksum wrong", withImageData(idat, false), "checksum does not match"},
        {"stream cut short", withImageData(idat.left(idat.size() / 3)), nullptr},
        {"no image data", withImageData(QByteArray()), nullptr},
        {"file cut inside the image data", png.left(png.indexOf("IDAT") + 500), nullptr},
        {"stream checksum wrong", withImageData(badAdler), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const QImage image = decode(c.file);
            // Damage past the last row's data (the stream's own checksum) loses no pixel; the
            // decode may show the picture then, but all of it.
            EXPECT_STREQ(c.name, "stream checksum wrong");
            EXPECT_EQ(image.size(), QSize(300, 200));
        } catch (const PictureError& e) {
            if (c.reason) {
                EXPECT_TRUE(e.message().contains(QLatin1String(c.reason))) << e.message().toStdString();
            }
        }
    }
}

} // namespace
