#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/Decoders.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <array>
#include <set>
#include <vector>

#include <gif_lib.h>

namespace {

using Palette = std::vector<std::array<uint8_t, 3>>;

// One image on a logical screen, written with giflib's encoder.
struct GifLayout {
    int screenWidth, screenHeight;
    Palette global;
    int left, top, width, height;
    bool interlaced;
    Palette local;
    int transparent;
    std::vector<uint8_t> pixels; // width x height indexes, rows from the top
};

int appendBytes(GifFileType* gif, const GifByteType* data, int count)
{
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), count);
    return count;
}

QByteArray makeGif(const GifLayout& layout)
{
    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendBytes, &error);
    EGifSetGifVersion(gif, true);
    auto makeMap = [](const Palette& colors) -> ColorMapObject* {
        if (colors.empty())
            return nullptr;
        std::vector<GifColorType> entries;
        for (const auto& c : colors)
            entries.push_back(GifColorType{c[0], c[1], c[2]});
        return GifMakeMapObject(int(entries.size()), entries.data());
    };
    ColorMapObject* global = makeMap(layout.global);
    ColorMapObject* local = makeMap(layout.local);
    EGifPutScreenDesc(gif, layout.screenWidth, layout.screenHeight, 8, 0, global);
    if (layout.transparent >= 0) {
        GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, layout.transparent};
        GifByteType block[4];
        EGifGCBToExtension(&control, block);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
    }
    EGifPutImageDesc(gif, layout.left, layout.top, layout.width, layout.height, layout.interlaced, local);
    std::vector<int> order;
    if (layout.interlaced) {
        for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
            for (int row = start; row < layout.height; row += step)
                order.push_back(row);
    } else {
        for (int row = 0; row < layout.height; ++row)
            order.push_back(row);
    }
    std::vector<GifPixelType> line(size_t(layout.width));
    for (int row : order) {
        std::copy_n(layout.pixels.begin() + row * layout.width, layout.width, line.begin());
        EGifPutLine(gif, line.data(), layout.width);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(global);
    GifFreeMapObject(local);
    return out;
}

// The picture a GIF must give, built pixel by pixel: the logical screen in black, the
// image at its place, clipped to the screen, transparent pixels black.
QImage expectedScreen(const GifLayout& layout)
{
    QImage screen = solidBitmap(layout.screenWidth, layout.screenHeight, 0, 0, 0);
    const Palette& colors = layout.local.empty() ? layout.global : layout.local;
    for (int y = 0; y < layout.height; ++y) {
        for (int x = 0; x < layout.width; ++x) {
            const int sx = layout.left + x, sy = layout.top + y;
            const int index = layout.pixels[size_t(y * layout.width + x)];
            if (sx >= layout.screenWidth || sy >= layout.screenHeight || index == layout.transparent)
                continue;
            uint8_t* p = screen.scanLine(sy) + 3 * sx;
            p[0] = colors[size_t(index)][2];
            p[1] = colors[size_t(index)][1];
            p[2] = colors[size_t(index)][0];
        }
    }
    return screen;
}

std::vector<uint8_t> pattern(int width, int height, int colors)
{
    std::vector<uint8_t> pixels(size_t(width * height));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t((i * 7 + i / size_t(width)) % size_t(colors));
    return pixels;
}

TEST(GifDecoder, DeliversTheLogicalScreenWithTheFirstImageAtItsPlace)
{
    const Palette four = {{{200, 10, 20}}, {{30, 220, 40}}, {{50, 60, 230}}, {{250, 250, 250}}};
    const Palette other = {{{1, 2, 3}}, {{90, 80, 70}}, {{255, 0, 255}}, {{0, 255, 255}}};
    const struct {
        const char* what;
        GifLayout layout;
    } cases[] = {
        {"image inside the screen", {20, 12, four, 5, 3, 9, 6, false, {}, -1, pattern(9, 6, 4)}},
        {"interlaced, local palette", {30, 25, four, 2, 1, 11, 21, true, other, -1, pattern(11, 21, 4)}},
        {"transparent index", {16, 16, four, 0, 0, 16, 16, false, {}, 2, pattern(16, 16, 4)}},
        {"image past the right and bottom edges", {10, 10, four, 6, 7, 8, 9, true, {}, 1, pattern(8, 9, 4)}},
        {"image wholly outside", {10, 10, four, 12, 0, 4, 4, false, {}, -1, pattern(4, 4, 4)}},
    };
    for (const auto& c : cases) {
        const QByteArray bytes = makeGif(c.layout);
        const QImage actual =
            decodeGif(PictureFile{"test.gif", spanOf(bytes)});
        EXPECT_EQ(bitmapDifference(expectedScreen(c.layout), toBgr888(actual)), "") << c.what;
    }
}

// GIF89a written byte by byte: a 4 x 3 screen without a global color table, and a 2 x 2
// image at (1, 1). Its LZW data (minimum code size 2: clear code 4, end code 5, codes of
// 3 bits until entry 7 is made, then 4 bits) is clear, four literal codes of index 1, end,
// packed from the low bit: 100 001 001 001 0001 0101 = 4C 12 05. Without a local color
// table either, index 1 has no color and the image is black like the rest of the screen;
// the same data under a local table of two colors shows where the image lies.
TEST(GifDecoder, AnImageWithoutAnyColorTableIsBlack)
{
    const struct {
        const char* name;
        QByteArray imageFlagsAndTable;
        uint32_t inside; // color of the image's four pixels
    } cases[] = {
        {"no color table anywhere", QByteArray::fromHex("00"), 0x000000},
        {"local table: black, orange", QByteArray::fromHex("80" "000000" "ff8000"), 0xFF8000},
    };
    for (const auto& c : cases) {
        QByteArray gif("GIF89a");
        gif += QByteArray::fromHex("0400" "0300" "00" "00" "00");    // screen 4 x 3, no global table
        gif += QByteArray::fromHex("2c" "0100" "0100" "0200" "0200"); // image 2 x 2 at (1, 1)
        gif += c.imageFlagsAndTable;
        gif += QByteArray::fromHex("02" "03" "4c1205" "00" "3b");    // LZW code size 2, one 3-byte block, end
        const QImage image = decodeWith(decodeGif, gif, QStringLiteral("test.gif"));
        const uint32_t o = 0x000000, i = c.inside;
        EXPECT_EQ(pixelsOf(image), (std::vector<uint32_t>{o, o, o, o, o, i, i, o, o, i, i, o})) << c.name;
    }
}

TEST(GifDecoder, CorpusFilesMatchTheirReferenceDecodes)
{
    SKIP_WITHOUT_CORPUS();
    // Zero-sized screens and images, a screen of 65535 x 65535 and a cut file.
    const std::set<QString> mustFail = {"gen_trunc60_im_interlaced.gif", "imagers_zero-loop-count.gif",
                                        "pillow_zero_width.gif", "pillow_decompression_bomb.gif"};
    // The disputed files (first images smaller than, offset on or larger than the screen)
    // follow the reference: GIF89a places an image within the logical screen and leaves
    // what it does not cover to the decoder, which here is black; parts of an image
    // outside the screen are not shown.
    int compared = 0;
    for (const QString& file : corpusFiles("gif")) {
        const QString name = QFileInfo(file).fileName();
        if (mustFail.count(name)) {
            EXPECT_THROW(loadPicture(file), PictureError) << name.toStdString();
            continue;
        }
        const QImage actual = toBgr888(loadPicture(file)->toImage());
        const QImage expected = loadReference(referenceFor(file));
        const std::string difference = bitmapDifference(expected, actual);
        if (!difference.empty())
            ADD_FAILURE() << name.toStdString() << ": " << difference << " (kept as "
                          << keepMismatch(file, actual).toStdString() << ")";
        ++compared;
    }
    EXPECT_GE(compared, 34);
}

} // namespace
