#pragma once

#include "formats/ReducedImage.h"
#include "render/PhotoSettings.h"

#include <QImage>

class Picture;

// The steps of a render, in the order they run.
enum class PipelineStep { Crop, Resize, Rotate, ColorBalance, Filter, Watermark, Mask };

// The crop rectangle as the crop step clips it to a source of this size (0,0,0,0 when it
// leaves nothing): what the settings record holds once the photo has been rendered.
TRect clippedCropRect(const QImage& source, const PhotoSettings& settings);

// Renders source (a 24-bit bitmap, left unchanged) with the settings through every step up
// to and including lastStep: crop, resize to settings.MaxSize, rotate, color balance, the
// filter when settings.Optimize, watermark, and mask with maskPicture (may be null). The
// settings are not written to: the crop step clips a copy of the crop rectangle (see
// clippedCropRect). A size that leaves no pixels gives a null bitmap and ends the render.
// Throws a PictureError when a step would exceed the size limits or finds no memory.
// With settings.Resample, crop and resize are one step (DoResample) when the render reaches
// the resize step.
QImage renderSource(const QImage& source, const PhotoSettings& settings, const Picture* maskPicture,
                    PipelineStep lastStep = PipelineStep::Mask);

// The same from a source that may be reduced (see sourceReduction): the crop rectangle stays
// in the full picture's pixels. A reduced source needs settings.Resample and a render that
// reaches the resize step; otherwise the source must be the full picture.
QImage renderSource(const ReducedImage& source, const PhotoSettings& settings, const Picture* maskPicture,
                    PipelineStep lastStep = PipelineStep::Mask);
