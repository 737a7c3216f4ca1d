// Encapsulated PostScript (eps): only the TIFF preview of a binary EPS file is read. The
// 30-byte binary header starts with C5 D0 D3 C6 and gives, little-endian, the offset and
// length of the PostScript part, of a metafile preview and of a TIFF preview, then a
// checksum (not checked: many writers leave it FFFF). The TIFF preview's bytes are handed to
// the TIFF decoder as if they were a file of their own. The PostScript itself is never
// interpreted, so a file without a TIFF preview cannot be read.
#include "ByteReader.h"
#include "Decoders.h"
#include "PictureError.h"

#include <cstring>
#include <string>

namespace {

[[noreturn]] void failNoPreview(const std::string& why)
{
    throw PictureError("The file has no TIFF preview: " + why + ".");
}

} // namespace

QImage decodeEps(const PictureFile& file)
{
    static const uint8_t kSignature[4] = {0xC5, 0xD0, 0xD3, 0xC6};
    if (file.bytes.size() < 4 || std::memcmp(file.bytes.data(), kSignature, 4) != 0)
        failNoPreview("it does not start with the binary EPS header");

    ByteReader reader(file.bytes);
    reader.skip(4);
    reader.skip(16); // PostScript offset and length, metafile offset and length
    const uint32_t tiffOffset = reader.u32le();
    const uint32_t tiffLength = reader.u32le();
    reader.skip(2); // checksum

    if (tiffOffset == 0 || tiffLength == 0)
        failNoPreview("its header names none");
    if (tiffOffset > file.bytes.size() || tiffLength > file.bytes.size() - tiffOffset)
        throw PictureError("The file ends before its TIFF preview is complete.");

    try {
        return decodeTiff(PictureFile{file.path, file.bytes.subspan(tiffOffset, tiffLength)});
    } catch (const PictureError& e) {
        throw PictureError(std::string("The TIFF preview inside it cannot be read. ") + e.what());
    }
}
