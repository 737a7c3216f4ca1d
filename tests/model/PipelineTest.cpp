#include "model/Pipeline.h"
#include "render/Compositing.h"
#include "render/Geometry.h"
#include "render/Tone.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

// Settings under which every step changes the picture.
PhotoSettings everyStep()
{
    PhotoSettings s;
    s.CropRect = {-5, 12, 170, 95};
    s.MaxSize = 70;
    s.KeepSize = false;
    s.Rotation = 270;
    s.Contrast = 25;
    s.Negative = true;
    s.Optimize = true;
    s.Watermark = QStringLiteral("Wm");
    s.Opacity = 0;
    s.Position = 4;
    s.BorderWidth = 3;
    s.BackgroundColor = 0x00204080;
    return s;
}

// The steps called one by one, up to and including the last one named.
QImage stepByStep(QImage bitmap, PhotoSettings s, PipelineStep last)
{
    DoCrop(bitmap, s);
    if (last >= PipelineStep::Resize)
        DoResize(bitmap, s);
    if (last >= PipelineStep::Rotate)
        DoRotate(bitmap, s);
    if (last >= PipelineStep::ColorBalance)
        DoColorBalance(bitmap, s);
    if (last >= PipelineStep::Filter)
        DoFilter(bitmap, OptimizeKernel);
    if (last >= PipelineStep::Watermark)
        DoWatermark(bitmap, s);
    if (last >= PipelineStep::Mask)
        DoMask(bitmap, nullptr, s);
    return bitmap;
}

TEST(RenderSource, StopsAfterTheNamedStepAndLeavesTheSettingsAlone)
{
    const QImage source = randomBitmap(160, 100, 8);
    const PhotoSettings settings = everyStep();
    QImage previous;
    for (const PipelineStep last : {PipelineStep::Crop, PipelineStep::Resize, PipelineStep::Rotate,
                                    PipelineStep::ColorBalance, PipelineStep::Filter, PipelineStep::Watermark,
                                    PipelineStep::Mask}) {
        SCOPED_TRACE(int(last));
        const QImage rendered = renderSource(source, settings, nullptr, last);
        EXPECT_EQ(bitmapDifference(stepByStep(source, settings, last), rendered), "");
        EXPECT_NE(rendered, previous) << "each step changes the picture here";
        previous = rendered;
    }
    EXPECT_EQ(settings.CropRect, (TRect{-5, 12, 170, 95}));
    EXPECT_EQ(bitmapDifference(source, randomBitmap(160, 100, 8)), "") << "the source is never written";
}

TEST(RenderSource, FilterRunsOnlyWhenOptimizing)
{
    const QImage source = randomBitmap(40, 30, 2);
    PhotoSettings settings;
    settings.Watermark.clear();
    settings.Optimize = false;
    EXPECT_EQ(renderSource(source, settings, nullptr).constBits(), source.constBits())
        << "neutral settings pass the source through uncopied";
    settings.Optimize = true;
    QImage filtered = source;
    DoFilter(filtered, OptimizeKernel);
    EXPECT_EQ(bitmapDifference(filtered, renderSource(source, settings, nullptr)), "");
}

// A size that leaves no pixels ends the render with a null bitmap: the later steps have
// nothing to work on and the caller says why.
TEST(RenderSource, NoPixelsGiveANullBitmap)
{
    PhotoSettings settings = everyStep();
    for (const int maxSize : {0, -3, 1}) {
        settings.MaxSize = maxSize;
        const QImage rendered = renderSource(randomBitmap(400, 10, 1), settings, nullptr);
        EXPECT_TRUE(rendered.isNull()) << maxSize;
    }
    EXPECT_TRUE(renderSource(QImage(), everyStep(), nullptr).isNull());
}

// The crop step's clipping itself is tested with the step.
TEST(RenderSource, ClippedCropRectIsWhatTheCropStepStores)
{
    const QImage source = randomBitmap(50, 40, 3);
    for (const TRect crop : {TRect{5, 6, 20, 30}, TRect{-10, -10, 100, 100}, TRect{50, 0, 60, 10}}) {
        PhotoSettings settings;
        settings.CropRect = crop;
        const TRect clipped = clippedCropRect(source, settings);
        QImage bitmap = source;
        DoCrop(bitmap, settings);
        EXPECT_EQ(clipped, settings.CropRect) << crop.Left << "," << crop.Top;
    }
}

} // namespace
