#pragma once

#include "Decoders.h"

#include <cstdint>
#include <span>

// Readers of the orientation a file records beside its pixels (see Orientation.h), one for
// each format that keeps it there. Each gives 1 to 8, and 1 for a file that records none or
// whose record cannot be read: a damaged, cut short or lying record never fails the picture,
// so these never throw. The format registry pairs them with their decoders.

// An EXIF block: the TIFF structure (byte order mark onward), with or without the six bytes
// "Exif\0\0" before it. Its first image directory's Orientation, read by libexif.
int exifOrientation(std::span<const uint8_t> block);

int jpegOrientation(const PictureFile& file); // the first APP1 "Exif" segment before the picture data
int pngOrientation(const PictureFile& file);  // the eXIf chunk
int webpOrientation(const PictureFile& file); // the EXIF chunk
int psdOrientation(const PictureFile& file);  // image resource 1058, EXIF data
int tiffOrientation(const PictureFile& file); // the first image's Orientation tag, through libtiff
