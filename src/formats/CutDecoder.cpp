// Dr. Halo pictures (.cut): 8-bit palette indexes, run-length packed per row. The colors
// live in a separate Dr. Halo palette file of the same base name (.pal or .PAL) beside the
// picture; without one the indexes are shown as a gray ramp (index i as gray level i).
//
// Picture: little-endian width, height and a reserved word; then per row a 2-byte count
// (not needed: the packets end themselves) and packets: a byte whose low 7 bits are zero ends
// the row; with the high bit set, the next byte is repeated (low 7 bits) times; with it clear,
// that many literal bytes follow.
//
// Palette file: a 40-byte header of little-endian fields, then the colors.
//   0  "AH"            2  version            4  size
//   6  file type       7  subtype            8  board id       10  graphics mode
//   12 highest index   14 maximum red        16 maximum green  18  maximum blue
//   20 20-byte name, "Dr. Halo"
// Each color is three 16-bit words (red, green, blue), each 0..its maximum, scaled to
// 0..255 by value * 255 / maximum rounded to nearest (ties to even); values above the
// maximum count as the maximum. The file is written in 512-byte blocks and a color never
// straddles two: when fewer than 6 bytes are left in a block, the next color starts at the
// next block.
#include "ByteReader.h"
#include "Decoders.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <string>

namespace {

constexpr size_t kPaletteHeader = 40;
constexpr size_t kPaletteBlock = 512;
constexpr qint64 kPaletteFileLimit = 1 << 20;

uint8_t scaleToByte(unsigned value, unsigned maximum)
{
    value = std::min(value, maximum);
    const unsigned product = value * 255;
    unsigned q = product / maximum;
    const unsigned r = product % maximum;
    if (2 * r > maximum || (2 * r == maximum && (q & 1)))
        ++q;
    return uint8_t(q);
}

QList<QRgb> grayRamp()
{
    QList<QRgb> colors(256);
    for (int i = 0; i < 256; ++i)
        colors[i] = qRgb(i, i, i);
    return colors;
}

QList<QRgb> readPalette(const QString& path, std::span<const uint8_t> bytes)
{
    const std::string name = QFileInfo(path).fileName().toStdString();
    ByteReader in(bytes);
    if (in.size() < kPaletteHeader || in.u8() != 'A' || in.u8() != 'H')
        throw PictureError("The palette file " + name + " beside it is not a Dr. Halo palette.");
    in.seek(12);
    const unsigned highest = in.u16le();
    const unsigned maxRed = in.u16le();
    const unsigned maxGreen = in.u16le();
    const unsigned maxBlue = in.u16le();
    if (maxRed == 0 || maxGreen == 0 || maxBlue == 0)
        throw PictureError("The palette file " + name + " beside it is damaged: it gives a color maximum of 0.");

    QList<QRgb> colors(256, qRgb(0, 0, 0));
    in.seek(kPaletteHeader);
    const unsigned count = std::min(highest + 1, 256u);
    for (unsigned i = 0; i < count; ++i) {
        // no sample: colors past the first 512-byte block;
        // checked by CutDecoder.PaletteColorsAfterTheFirstBlockComeFromTheNextBlock
        size_t at = in.pos();
        if (at % kPaletteBlock > kPaletteBlock - 6)
            at = (at / kPaletteBlock + 1) * kPaletteBlock;
        // Checked here: the reader's own error would blame the picture, not its palette.
        if (at > in.size() || in.size() - at < 6)
            throw PictureError("The palette file " + name + " beside it ends before its colors are complete.");
        in.seek(at);
        const unsigned r = in.u16le(), g = in.u16le(), b = in.u16le();
        colors[int(i)] = qRgb(scaleToByte(r, maxRed), scaleToByte(g, maxGreen), scaleToByte(b, maxBlue));
    }
    return colors;
}

// The colors from the palette file beside the picture, or the gray ramp.
QList<QRgb> companionPalette(const QString& picturePath)
{
    if (picturePath.isEmpty())
        return grayRamp();
    const QFileInfo info(picturePath);
    // no sample: either palette name; checked by CutDecoder.PaletteFileBesideThePictureGivesTheColors
    for (const char* extension : {".pal", ".PAL"}) {
        const QString path = info.dir().filePath(info.completeBaseName() + QLatin1String(extension));
        QFile file(path);
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.read(kPaletteFileLimit);
        return readPalette(path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                                          size_t(bytes.size())));
    }
    // no sample: a picture without a palette file; checked by CutDecoder.WithoutAPaletteFileIndexesAreGrayLevels
    return grayRamp();
}

} // namespace

QImage decodeCut(const PictureFile& file)
{
    ByteReader in(file.bytes);
    const uint16_t width = in.u16le();
    const uint16_t height = in.u16le();
    in.skip(2);
    checkPictureSize(width, height);
    // Every row takes at least its count and its end byte.
    if (checkedMul(height, 3) > in.remaining())
        throw PictureError("The file ends before the picture data is complete: " + std::to_string(height)
                           + " rows cannot fit in " + std::to_string(in.size()) + " bytes.");

    // no sample: the corpus holds no Dr. Halo picture; run and literal packets are checked by
    // CutDecoder.PacketsThatOvershootTheRowAreCutAndRowsEndOnAZeroCount
    QImage image = allocatePicture(width, height, QImage::Format_Indexed8);
    image.fill(0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.scanLine(y);
        in.u16le();
        int x = 0;
        for (;;) {
            const uint8_t code = in.u8();
            const int count = code & 0x7F;
            if (count == 0)
                break;
            if (code & 0x80) {
                const uint8_t value = in.u8();
                const int n = std::min(count, width - x);
                std::fill_n(row + x, n, value);
                x += n;
            } else {
                const auto bytes = in.bytes(size_t(count));
                const int n = std::min(count, width - x);
                std::copy_n(bytes.begin(), n, row + x);
                x += n;
            }
        }
    }
    image.setColorTable(companionPalette(file.path));
    return image;
}
