#pragma once

#include <QImage>
#include <QSize>

#include <functional>

// A picture's pixels at 1/denominator of its full size (denominator 1, 2, 4 or 8): pixel
// (x, y) stands for the full picture's pixels x*d .. x*d+d-1 and y*d .. y*d+d-1, and the image
// is ceil(pictureSize / d) in each direction (the last pixels stand for what is left over).
// With denominator 1 the image is the full picture.
struct ReducedImage {
    QImage image;
    QSize pictureSize;
    int denominator = 1;

    bool isNull() const { return image.isNull(); }
};

// Chooses the denominator (1, 2, 4 or 8) of a reduced decode from the full picture's size,
// once the decoder has read it.
using ReductionChoice = std::function<int(QSize pictureSize)>;
