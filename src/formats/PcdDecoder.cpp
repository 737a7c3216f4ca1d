// Kodak Photo CD image packs: the Base image (768 x 512) is read.
//
// The pack is laid out in 2048-byte sectors. Sector 1 starts with "PCD_IPI"; its byte
// 0x602 (file offset 0xE02) holds the image pack attributes, whose low two bits say how the
// scan must be turned to stand upright: 0 not at all, 1 by 90 degrees counter-clockwise,
// 2 by 180 degrees, 3 by 90 degrees clockwise. The Base image starts at sector 96: per pair
// of rows, two rows of luma (768 bytes each), then one row of each chroma plane (384
// bytes each), the chroma planes having half the resolution in both directions.
//
// Photo YCC becomes RGB by the published conversion:
//   L  = 1.3584 * Y
//   C1 = 2.2179 * (Cb - 156)
//   C2 = 1.8215 * (Cr - 137)
//   R = L + C2,  G = L - 0.194 * C1 - 0.509 * C2,  B = L + C1
// computed exactly in integers, truncated toward zero and clamped to 0..255.
#include "ByteReader.h"
#include "Decoders.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace {

constexpr int kBaseWidth = 768;
constexpr int kBaseHeight = 512;
constexpr size_t kSector = 2048;
constexpr size_t kBaseOffset = 96 * kSector;
constexpr size_t kRowPairBytes = 2 * kBaseWidth + kBaseWidth; // two luma rows, two half chroma rows
constexpr size_t kBaseBytes = kRowPairBytes * (kBaseHeight / 2);
constexpr size_t kAttributesOffset = kSector + 0x602;

uint8_t clampChannel(int64_t scaled, int64_t scale)
{
    const int64_t v = scaled / scale; // truncates toward zero
    return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

} // namespace

QImage decodePcd(const PictureFile& file)
{
    ByteReader in(file.bytes);
    if (in.size() < kSector + 7 || std::string_view(reinterpret_cast<const char*>(in.bytesAt(kSector, 7).data()), 7) != "PCD_IPI")
        throw PictureError("The file is not a Photo CD image pack.");
    if (in.size() < kBaseOffset + kBaseBytes)
        throw PictureError("The file ends before the picture data is complete: the 768 x 512 Base image needs "
                           + std::to_string(kBaseOffset + kBaseBytes) + " bytes, the file has "
                           + std::to_string(in.size()) + ".");
    in.seek(kAttributesOffset);
    const int rotation = in.u8() & 3;
    const auto base = in.bytesAt(kBaseOffset, kBaseBytes);

    const bool upright = rotation == 1 || rotation == 3;
    QImage image = allocatePicture(upright ? kBaseHeight : kBaseWidth, upright ? kBaseWidth : kBaseHeight,
                                   QImage::Format_BGR888);
    const int w = kBaseWidth, h = kBaseHeight;
    uint8_t* const pixels = image.bits();
    const size_t stride = size_t(image.bytesPerLine());
    for (int y = 0; y < h; ++y) {
        const uint8_t* pair = base.data() + size_t(y / 2) * kRowPairBytes;
        const uint8_t* luma = pair + size_t(y % 2) * kBaseWidth;
        const uint8_t* c1Row = pair + 2 * kBaseWidth;
        const uint8_t* c2Row = c1Row + kBaseWidth / 2;
        for (int x = 0; x < w; ++x) {
            // Constants scaled by 10^4, and the green weights by a further 10^3.
            const int64_t l = 13584 * int64_t(luma[x]);
            const int64_t c1 = 22179 * (int64_t(c1Row[x / 2]) - 156);
            const int64_t c2 = 18215 * (int64_t(c2Row[x / 2]) - 137);
            const uint8_t r = clampChannel(l + c2, 10000);
            const uint8_t g = clampChannel(1000 * l - 194 * c1 - 509 * c2, 10000000);
            const uint8_t b = clampChannel(l + c1, 10000);

            int dx = x, dy = y;
            // no sample: stored orientations 1 to 3; checked by PcdDecoder.StoredOrientationIsApplied
            switch (rotation) {
            case 1: dx = y; dy = w - 1 - x; break;         // 90 degrees counter-clockwise
            case 2: dx = w - 1 - x; dy = h - 1 - y; break; // 180 degrees
            case 3: dx = h - 1 - y; dy = x; break;         // 90 degrees clockwise
            default: break;
            }
            uint8_t* p = pixels + size_t(dy) * stride + 3 * size_t(dx);
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    }
    return image;
}
