// GIF through giflib. The picture is the file's logical screen: the first image drawn at
// its place, black wherever that image does not reach and in its transparent pixels (the
// transparent index of the Graphics Control Extension that precedes it). Later images of
// an animation are not read. Parts of the image past the screen's edges are clipped.
#include "Decoders.h"
#include "ImageConversion.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gif_lib.h>

namespace {

struct GifSource {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

int readGif(GifFileType* gif, GifByteType* out, int count)
{
    auto* source = static_cast<GifSource*>(gif->UserData);
    const size_t n = std::min(size_t(std::max(count, 0)), source->size - source->pos);
    if (n == 0)
        return 0; // also when there are no bytes at all (a null data pointer)
    std::memcpy(out, source->data + source->pos, n);
    source->pos += n;
    return int(n);
}

// Closes the giflib handle on every path.
struct GifHandle {
    GifFileType* gif = nullptr;
    ~GifHandle()
    {
        if (gif) {
            int ignored = 0;
            DGifCloseFile(gif, &ignored);
        }
    }
};

[[noreturn]] void failGif(const char* reason)
{
    throw PictureError(reason);
}

// giflib's error codes in the user's words.
[[noreturn]] void failGif(int errorCode)
{
    switch (errorCode) {
    // giflib reports running out of bytes as a failed read, and as a missing screen
    // descriptor when that read was the header's.
    case D_GIF_ERR_READ_FAILED:
    case D_GIF_ERR_EOF_TOO_SOON:
    case D_GIF_ERR_NO_SCRN_DSCR:
        failGif(PictureReason::kTruncated);
    case D_GIF_ERR_NOT_GIF_FILE:
        failGif("The file is not a GIF picture.");
    case D_GIF_ERR_NO_IMAG_DSCR:
        failGif("The picture data is damaged: an image's header is missing.");
    case D_GIF_ERR_WRONG_RECORD:
        failGif("The picture data is damaged: it holds a block of unknown kind.");
    case D_GIF_ERR_DATA_TOO_BIG:
        failGif("The picture data is damaged: the image does not fit its own size.");
    case D_GIF_ERR_IMAGE_DEFECT:
        failGif("The picture data is damaged: the compressed image cannot be decoded.");
    case D_GIF_ERR_NOT_ENOUGH_MEM:
        failGif(PictureReason::kOutOfMemory);
    default:
        failGif(PictureReason::kDamaged);
    }
}

} // namespace

QImage decodeGif(const PictureFile& file)
{
    GifSource source{file.bytes.data(), file.bytes.size(), 0};
    GifHandle handle;
    int error = 0;
    handle.gif = DGifOpen(&source, readGif, &error);
    if (!handle.gif)
        failGif(error);
    GifFileType* gif = handle.gif;

    // Everything up to the first image: extensions, of which only the Graphics Control
    // Extension matters.
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR)
            failGif(gif->Error);
        if (record == IMAGE_DESC_RECORD_TYPE)
            break;
        if (record == TERMINATE_RECORD_TYPE)
            failGif("The file holds no picture.");
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
                failGif(gif->Error);
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                GraphicsControlBlock control;
                if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
                    transparent = control.TransparentColor;
            }
            while (block) {
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                    failGif(gif->Error);
            }
        }
    }
    if (DGifGetImageDesc(gif) == GIF_ERROR)
        failGif(gif->Error);

    const GifImageDesc& desc = gif->Image;
    checkPictureSize(desc.Width, desc.Height);
    QImage screen = allocatePicture(gif->SWidth, gif->SHeight, kBitmapFormat);
    screen.fill(0);

    // The local color map, else the global one; indexes past its end, and the transparent
    // index, are black.
    uint8_t palette[256][3] = {};
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    // no sample: an image with neither a local nor a global color map (all black);
    // checked by GifDecoder.AnImageWithoutAnyColorTableIsBlack
    if (map && map->Colors) {
        const int count = std::min(map->ColorCount, 256);
        for (int i = 0; i < count; ++i) {
            palette[i][0] = map->Colors[i].Blue;
            palette[i][1] = map->Colors[i].Green;
            palette[i][2] = map->Colors[i].Red;
        }
    }
    if (transparent >= 0 && transparent < 256)
        palette[transparent][0] = palette[transparent][1] = palette[transparent][2] = 0;

    // The visible part of the image, clipped to the screen.
    const int left = desc.Left;
    const int top = desc.Top;
    const int visibleRight = std::min(left + desc.Width, screen.width());
    const int visibleBottom = std::min(top + desc.Height, screen.height());

    std::vector<GifPixelType> line(size_t(desc.Width));
    auto storeRow = [&](int row) {
        const int y = top + row;
        // no sample: an image reaching past the logical screen;
        // checked by GifDecoder.DeliversTheLogicalScreenWithTheFirstImageAtItsPlace
        if (y >= visibleBottom || left >= visibleRight)
            return;
        uint8_t* out = screen.scanLine(y) + 3 * left;
        for (int x = 0; x < visibleRight - left; ++x, out += 3)
            std::memcpy(out, palette[line[size_t(x)]], 3);
    };

    if (desc.Interlace) {
        // Rows arrive in four passes: every 8th row from 0, every 8th from 4, every 4th
        // from 2, every 2nd from 1.
        static const int start[4] = {0, 4, 2, 1};
        static const int step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass) {
            for (int row = start[pass]; row < desc.Height; row += step[pass]) {
                if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR)
                    failGif(gif->Error);
                storeRow(row);
            }
        }
    } else {
        // Rows below the screen are never shown: they are not decoded.
        const int rows = std::min(desc.Height, std::max(visibleBottom - top, 0));
        for (int row = 0; row < rows; ++row) {
            if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR)
                failGif(gif->Error);
            storeRow(row);
        }
    }
    return screen;
}
