#pragma once

#include "render/PhotoSettings.h"

#include <QPoint>
#include <QSize>

// What the Crop dialog computes about its selection rectangle, apart from any widget.
// Rectangles are Left, Top, Right, Bottom with Right and Bottom exclusive.

// Maps r from a space of size from into a space of size to, turning it by a - b degrees
// counter-clockwise (as the rotate step turns the photo) and scaling it by the smaller of the
// two ratios. The scale is held as a 32-bit float; each coordinate is its product with the
// scale in extended precision, rounded to the nearest integer with ties to even.
TRect MapRect(const TRect& r, QSize from, QSize to, int a, int b);

// The zone of the selection under (x, y): 0..8 as the selection's 3 x 3 grid read row by
// row (4 is the inside, which moves the selection), or -1 outside it. The edge bands are 5
// pixels deep on the left and top and 4 on the right and bottom.
int HitTest(const TRect& selection, int x, int y);

// The selection after the pointer moved from last to now while dragging zone: -1 pulls the
// corner opposite the anchor, 4 moves the whole selection, the others move their edges.
// Nothing is clipped; an edge may cross the opposite one.
TRect DragSelection(const TRect& selection, int zone, QPoint last, QPoint now);

// Left <= Right and Top <= Bottom, the same pixels covered.
TRect Normalized(const TRect& r);

// Shortens one side so that width : height = a : b, the top-left corner kept; a zero ratio
// leaves the selection as it is.
TRect ApplyRatio(const TRect& selection, int a, int b);

// The largest rectangle of the selection's ratio centered in a picture of size picture; an
// empty selection becomes (0, 0, 0, 0).
TRect AutoCrop(const TRect& selection, QSize picture);
