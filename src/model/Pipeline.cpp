#include "Pipeline.h"

#include "formats/ImageLimits.h"
#include "render/Compositing.h"
#include "render/Geometry.h"
#include "render/Resample.h"
#include "render/Tone.h"

#include <new>

TRect clippedCropRect(const QImage& source, const PhotoSettings& settings)
{
    return clipCropRect(settings.CropRect, source.width(), source.height());
}

QImage renderSource(const QImage& source, const PhotoSettings& settings, const Picture* maskPicture,
                    PipelineStep lastStep)
{
    return renderSource(ReducedImage{source, source.size(), 1, {}}, settings, maskPicture, lastStep);
}

QImage renderSource(const ReducedImage& source, const PhotoSettings& settings, const Picture* maskPicture,
                    PipelineStep lastStep)
{
    // The crop step stores its clipped rectangle back into the settings it is given: a copy.
    PhotoSettings steps = settings;
    // A shallow copy: the first step that changes pixels works on its own copy.
    QImage bitmap = source.image;
    // A step runs when the render reaches it and there are pixels to work on.
    const auto runs = [&](PipelineStep step) { return step <= lastStep && !bitmap.isNull(); };
    try {
        if (steps.Resample && PipelineStep::Resize <= lastStep && !bitmap.isNull()) {
            DoResample(bitmap, source, steps);
        } else {
            DoCrop(bitmap, steps);
            if (runs(PipelineStep::Resize))
                DoResize(bitmap, steps);
        }
        if (runs(PipelineStep::Rotate))
            DoRotate(bitmap, steps);
        if (runs(PipelineStep::ColorBalance))
            DoColorBalance(bitmap, steps);
        if (runs(PipelineStep::Filter) && steps.Optimize)
            DoFilter(bitmap, OptimizeKernel);
        if (runs(PipelineStep::Watermark))
            DoWatermark(bitmap, steps);
        if (runs(PipelineStep::Mask))
            DoMask(bitmap, maskPicture, steps);
    } catch (const std::bad_alloc&) {
        // Memory a step needs beside its bitmaps (tables, saved rows, text drawing): the
        // bitmap it was working on is the size that did not fit.
        throw notEnoughMemory(bitmap.width(), bitmap.height());
    }
    return bitmap;
}
