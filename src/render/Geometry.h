#pragma once

#include "PhotoSettings.h"

#include <QImage>

// The geometry steps of the pipeline, on 24-bit blue-green-red bitmaps. A step that changes
// the size replaces the bitmap; a step with nothing to do leaves it untouched.

// The crop rectangle's intersection with a width x height image, or 0,0,0,0 when they do not
// overlap (or either is empty).
TRect clipCropRect(const TRect& crop, int width, int height);

// Cuts out info.CropRect, after storing back clipCropRect of it.
void DoCrop(QImage& bitmap, PhotoSettings& info);

// The size the resize step gives a width x height bitmap: the longer side at info.MaxSize,
// the other in proportion, rounded to nearest (ties to even); the size itself when
// info.KeepSize and the longer side is already below MaxSize. A side may come to 0.
QSize resizedSize(int width, int height, const PhotoSettings& info);

// Brings the longer side to info.MaxSize by nearest-neighbour sampling (never averaging).
// A result with a side of 0 is a null bitmap. Throws a PictureError, before allocating, when
// the result would exceed the limits of a picture, or when its memory cannot be had.
void DoResize(QImage& bitmap, const PhotoSettings& info);

// Turns the image by info.Rotation degrees counter-clockwise (0, 90, 180, 270). Throws a
// PictureError when the turned bitmap's memory cannot be had.
void DoRotate(QImage& bitmap, const PhotoSettings& info);
