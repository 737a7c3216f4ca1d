#pragma once

#include "PhotoSettings.h"

#include <QImage>

#include <array>
#include <span>

// The weights of "Optimize the photo": each inner pixel keeps 68 % of itself and takes 4 %
// of each of its eight neighbours.
inline constexpr std::array<int, 9> OptimizeKernel{4, 4, 4, 4, 68, 4, 4, 4, 4};

// Grayscale, negative, contrast, brightness and channel offsets, in place.
void DoColorBalance(QImage& bitmap, const PhotoSettings& info);

// 3 x 3 convolution with a fixed divisor of 100. Any kernel that is not nine weights is
// ignored.
void DoFilter(QImage& bitmap, std::span<const int> kernel);
