#include "XorOutline.h"

#include <QImage>

#include <algorithm>

void XorOutline(QImage& bitmap, const TRect& r, TColor flip, bool dotted)
{
    const TRect n{std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
                  std::max(r.Top, r.Bottom)};
    if (n.isEmpty() || bitmap.format() != QImage::Format_BGR888)
        return;
    const uchar blue = uchar(colorBlue(flip));
    const uchar green = uchar(colorGreen(flip));
    const uchar red = uchar(colorRed(flip));
    auto toggle = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= bitmap.width() || y >= bitmap.height() || (dotted && (x + y) % 2 != 0))
            return;
        uchar* pixel = bitmap.scanLine(y) + 3 * x;
        pixel[0] ^= blue;
        pixel[1] ^= green;
        pixel[2] ^= red;
    };
    const int last = n.Right - 1;
    const int bottom = n.Bottom - 1;
    // Only the part inside the bitmap is walked: a guide may start far outside it.
    for (int x = std::max(n.Left, 0), end = std::min(last, bitmap.width() - 1); x <= end; ++x) {
        toggle(x, n.Top);
        if (bottom != n.Top)
            toggle(x, bottom);
    }
    for (int y = std::max(n.Top + 1, 0), end = std::min(bottom - 1, bitmap.height() - 1); y <= end; ++y) {
        toggle(n.Left, y);
        if (last != n.Left)
            toggle(last, y);
    }
}
