// Feeds arbitrary bytes to the readers of a recorded orientation: as an EXIF block (with and
// without its "Exif" header) and as a JPEG, PNG, WebP, PSD and TIFF file. A reader may only
// give an orientation of 1 to 8.
#include "formats/StoredOrientation.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void expectOrientation(int orientation)
{
    if (orientation < 1 || orientation > 8)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    expectOrientation(exifOrientation(bytes));
    // The same block inside each format's framing.
    std::vector<uint8_t> app1 = {0xFF, 0xD8, 0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    if (size <= 0xFFFF - 8) {
        app1[4] = uint8_t((size + 8) >> 8);
        app1[5] = uint8_t(size + 8);
        app1.insert(app1.end(), data, data + size);
        app1.insert(app1.end(), {0xFF, 0xDA});
        expectOrientation(jpegOrientation(PictureFile{"fuzz.jpg", app1}));
    }
    const PictureFile file{"fuzz", bytes};
    expectOrientation(jpegOrientation(file));
    expectOrientation(pngOrientation(file));
    expectOrientation(webpOrientation(file));
    expectOrientation(psdOrientation(file));
    expectOrientation(tiffOrientation(file));
    return 0;
}
