#pragma once

#include "PhotoSettings.h"
#include "formats/ReducedImage.h"

#include <QImage>
#include <QRectF>
#include <QSize>

// The high-quality resize: a separable Lanczos-3 filter (rows, then columns) on 24-bit
// blue-green-red bitmaps, reading the source either in full or reduced.

// The denominator (1, 2, 4 or 8) of the reduced source a render with these settings may read
// from a picture of this size: the largest that still leaves at least twice the output size
// in both directions of the crop area. 1 without info.Resample, and when even 1/2 leaves less.
int sourceReduction(QSize pictureSize, const PhotoSettings& info);

// The area (in source pixels, continuous: pixel i spans i .. i+1) of source filtered to
// outSize by Lanczos-3, widened by the reduction factor where it shrinks. Only source pixels
// that overlap the area contribute; the weights of every output pixel are normalised to sum
// to 1 and the result rounded and clamped to 0..255. Weights are 14-bit fixed point and the
// rows' results keep 6 fractional bits, so a value may differ by 1 from exact arithmetic.
// Throws a PictureError when the result's memory cannot be had.
QImage resampleArea(const QImage& source, const QRectF& area, QSize outSize);

// The full source's d x d blocks averaged (rounded to nearest) into one pixel each; the
// blocks at the right and bottom edges average the pixels they hold. The result is the
// reduced source of denominator d (see ReducedImage).
ReducedImage reduceByBoxAverage(const QImage& source, int denominator);

// The crop and resize steps in one, for info.Resample: stores clipCropRect of info.CropRect
// back (against the full picture's size), then filters the crop area, read from source at its
// reduction, to the resize step's size (resizedSize of the crop area). A crop that leaves
// nothing reads the whole picture, as the crop step does. Throws as DoResize does.
void DoResample(QImage& bitmap, const ReducedImage& source, PhotoSettings& info);
