#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>

#include <functional>

// A picture's pixels at 1/denominator of its full size (denominator 1, 2, 4 or 8): pixel
// (x, y) stands for the full picture's pixels s.x+x*d .. s.x+x*d+d-1 and s.y+y*d .. s.y+y*d+d-1
// with s = blockStart, and the image is ceil(pictureSize / d) in each direction. Blocks start
// at the picture's corner (blockStart 0, 0; the last pixels stand for what is left over),
// except along a direction that turning the decode upright reversed: there the block left
// over comes first, and blockStart is minus the pixels it lacks. With denominator 1 the image
// is the full picture.
struct ReducedImage {
    QImage image;
    QSize pictureSize;
    int denominator = 1;
    QPoint blockStart;

    bool isNull() const { return image.isNull(); }
};

// Chooses the denominator (1, 2, 4 or 8) of a reduced decode from the full picture's size,
// once the decoder has read it.
using ReductionChoice = std::function<int(QSize pictureSize)>;
