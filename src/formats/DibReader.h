#pragma once

#include "ByteReader.h"

#include <QImage>
#include <QList>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

// The device-independent bitmap shared by Windows bitmap files (after their 14-byte file
// header, or alone in headerless .dib files) and by the bitmap entries of Windows icons.
//
// Header sizes: 12 is the OS/2 1.x core header (16-bit sizes, 3-byte palette entries);
// 16..64 other than 40, 52 and 56 is the OS/2 2.x header (compression 3 is Huffman, 4 is
// RLE24 there); 40, 52, 56, 108, 124 and any other size of at least 40 are the Windows
// info header and its V2..V5 extensions, read as far as the size covers them.
//
// How samples become 8 bits:
// - palette entries are stored 8-bit colors; an index past the palette read from the file
//   (a short palette, or a bad index) is black;
// - a bit-field channel of n bits up to 8 is scaled to 0..255 by bit replication (5 bits:
//   v << 3 | v >> 2, so the largest value is 255); a wider one keeps its top 8 bits;
//   an empty mask gives 0; alpha masks are not read;
// - pixels that a run-length picture skips (delta, end of line, end of bitmap) take palette
//   index 0 (RLE4, RLE8) or black (RLE24).
struct DibInfo {
    enum class Coding { Rgb, Rle4, Rle8, Rle24, BitFields, Jpeg, Png };

    uint32_t headerSize = 0;
    int64_t width = 0;
    int64_t height = 0;       // rows as stored, always positive
    bool topDown = false;     // rows stored from the top (negative height in the header)
    int bitCount = 0;
    Coding coding = Coding::Rgb;
    std::array<uint32_t, 3> masks{}; // red, green, blue bit fields for 16 and 32 bits
    uint32_t sizeImage = 0;
    QList<QRgb> palette;      // the entries read from the file, at most 256
    size_t paletteOffset = 0; // where the palette starts
    size_t paletteEntrySize = 4;
    size_t paletteCount = 0;  // entries the header announces (clamped to 256)
};

// Reads the info header at the reader's position and the bit-field masks that follow a
// 40-byte header; leaves the reader at the start of the palette. Validates the bit count
// against the compression; the size is the caller's to check (icons halve the height first).
DibInfo readDibHeader(ByteReader& reader);

// Reads the palette at info.paletteOffset: the announced entries, but never past
// paletteLimit (the offset of the pixel data where a file header gives it). Returns the
// offset just after the entries the header announces.
size_t readDibPalette(ByteReader& reader, DibInfo& info, size_t paletteLimit);

// Decodes the pixel data that starts at pixelOffset. Pixel data running past the end of the
// bytes is an error. JPEG and PNG codings are not handled here (see embeddedPictureBytes).
QImage decodeDibPixels(ByteReader& reader, const DibInfo& info, size_t pixelOffset);

// An n-bit sample (n from 1 to 8) scaled to 0..255: expanded to 16 bits with rounding
// (value * 65535 / (2^n - 1)) and cut to the high byte, which replicates the bits.
uint8_t scaleSampleTo8Bits(uint32_t value, int bits);
