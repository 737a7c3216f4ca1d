#pragma once

#include "DecodeOptions.h"
#include "Picture.h"
#include "ReducedImage.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
#include <span>

// What a decoder reads: the whole file's bytes, its path for formats that look for a
// companion file beside it (the Dr. Halo palette), and how to decode it.
struct PictureFile {
    QString path;
    std::span<const uint8_t> bytes;
    DecodeOptions options = {};
};

// One decoder a file, each turning a file's bytes into pixels as the file stores them (top
// row first, no gamma or color management). The orientation a camera records beside the
// pixels is not applied here: the registry reads it (StoredOrientation.h) and turns the
// picture. HEIF and JPEG XL carry theirs in the format itself, and their libraries apply it
// unless options.upright is off. Every
// failure is a PictureError. The format registry is the only place that maps extensions to
// these functions.
QImage decodeBmp(const PictureFile& file);   // bmp, dib, rle
QImage decodeIco(const PictureFile& file);   // ico
QImage decodeJpeg(const PictureFile& file);  // jpg, jpe, jpeg, jfif
QImage decodePng(const PictureFile& file);   // png
QImage decodeGif(const PictureFile& file);   // gif
QImage decodeTiff(const PictureFile& file);  // tif, tiff, fax
QImage decodeEps(const PictureFile& file);   // eps: the TIFF preview of a binary EPS file
QImage decodePnm(const PictureFile& file);   // pbm, pgm, ppm
QImage decodeTga(const PictureFile& file);   // tga, win, vst, vda, icb
QImage decodePcx(const PictureFile& file);   // pcx, pcc, scr
QImage decodeSgi(const PictureFile& file);   // sgi, rgb, rgba, bw
QImage decodePsd(const PictureFile& file);   // psd, pdd
QImage decodeRla(const PictureFile& file);   // rla, rpf
QImage decodeCel(const PictureFile& file);   // cel, pic
QImage decodePcd(const PictureFile& file);   // pcd
QImage decodeCut(const PictureFile& file);   // cut
QImage decodePsp(const PictureFile& file);   // psp
QImage decodeHeif(const PictureFile& file);  // heic, heif, hif, avif
QImage decodeWebp(const PictureFile& file);  // webp
QImage decodeJxl(const PictureFile& file);   // jxl
std::unique_ptr<Picture> decodeWmf(const PictureFile& file); // wmf
std::unique_ptr<Picture> decodeEmf(const PictureFile& file); // emf

// A picture decoded reduced, and the size of the picture the file holds.
struct ScaledImage {
    QImage image;
    QSize pictureSize;
};

// jpg, jpe, jpeg, jfif reduced by libjpeg's DCT scaling: the smallest of the scales 1/8,
// 2/8 ... 8/8 whose output still holds fittedSize(picture, box), so that a picture drawn
// from it into box is never enlarged. The same checks, limits and errors as decodeJpeg.
ScaledImage decodeJpegScaled(const PictureFile& file, QSize box);

// jpg, jpe, jpeg, jfif decoded by libjpeg's DCT scaling at 1/denominator of the full size,
// the denominator chosen from the picture's size once the header is read (1 for anything but
// 2, 4 or 8: the full decode, pixel for pixel decodeJpeg's). The same checks, limits and
// errors as decodeJpeg.
ReducedImage decodeJpegReduced(const PictureFile& file, const ReductionChoice& choose);

// jpg, jpe, jpeg, jfif decoded in full and turned by the orientation (1 to 8, anything else
// is 1) as the rows are decoded: pixel for pixel orientImage(decodeJpeg(file), orientation),
// without a second full-size picture. The same checks, limits and errors as decodeJpeg.
QImage decodeJpegUpright(const PictureFile& file, int orientation);
