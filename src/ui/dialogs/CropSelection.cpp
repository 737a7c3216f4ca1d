#include "CropSelection.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// Coordinates are worked out in 64 bits and stored back clamped, so that a rectangle from an
// edited settings file or a long drag never overflows.
int32_t clampTo32(long double v)
{
    constexpr long double lo = std::numeric_limits<int32_t>::min();
    constexpr long double hi = std::numeric_limits<int32_t>::max();
    return int32_t(std::clamp(v, lo, hi));
}

int32_t clampTo32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

struct Rect64 {
    int64_t left, top, right, bottom;
};

} // namespace

TRect MapRect(const TRect& r, QSize from, QSize to, int a, int b)
{
    if (b > a)
        a += 360;
    const int64_t wf = from.width();
    const int64_t hf = from.height();
    Rect64 t{r.Left, r.Top, r.Right, r.Bottom};
    int64_t tw = wf;
    int64_t th = hf;
    switch (a - b) {
    case 90:
        t = {r.Top, wf - r.Right, r.Bottom, wf - r.Left};
        std::swap(tw, th);
        break;
    case 180:
        t = {wf - r.Right, hf - r.Bottom, wf - r.Left, hf - r.Top};
        break;
    case 270:
        t = {hf - r.Bottom, r.Left, hf - r.Top, r.Right};
        std::swap(tw, th);
        break;
    default:
        break;
    }
    float s = 0;
    if (tw != 0 && th != 0)
        s = float(std::min((long double)to.width() / tw, (long double)to.height() / th));
    // nearbyint rounds in the default mode: to the nearest, ties to even.
    auto scaled = [s](int64_t v) { return clampTo32(std::nearbyintl((long double)v * (long double)s)); };
    return {scaled(t.left), scaled(t.top), scaled(t.right), scaled(t.bottom)};
}

int HitTest(const TRect& selection, int x, int y)
{
    const TRect& s = selection;
    if (x < s.Left || x >= s.Right || y < s.Top || y >= s.Bottom)
        return -1;
    const int64_t px = x;
    const int64_t py = y;
    const int column = px >= int64_t(s.Right) - 4 ? 2 : (px > int64_t(s.Left) + 4 ? 1 : 0);
    const int row = (py > int64_t(s.Top) + 4 ? 1 : 0) + (py >= int64_t(s.Bottom) - 4 ? 1 : 0);
    return column + 3 * row;
}

TRect DragSelection(const TRect& selection, int zone, QPoint last, QPoint now)
{
    TRect s = selection;
    if (zone == -1) {
        s.Right = now.x();
        s.Bottom = now.y();
        return s;
    }
    if (zone == 4) {
        const int64_t dx = int64_t(now.x()) - last.x();
        const int64_t dy = int64_t(now.y()) - last.y();
        return {clampTo32(s.Left + dx), clampTo32(s.Top + dy), clampTo32(s.Right + dx), clampTo32(s.Bottom + dy)};
    }
    if (zone == 0 || zone == 3 || zone == 6)
        s.Left = now.x();
    if (zone == 2 || zone == 5 || zone == 8)
        s.Right = now.x();
    if (zone == 0 || zone == 1 || zone == 2)
        s.Top = now.y();
    if (zone == 6 || zone == 7 || zone == 8)
        s.Bottom = now.y();
    return s;
}

TRect Normalized(const TRect& r)
{
    return {std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right), std::max(r.Top, r.Bottom)};
}

TRect ApplyRatio(const TRect& selection, int a, int b)
{
    if (a == 0 || b == 0)
        return selection;
    TRect s = selection;
    const int64_t w = std::abs(int64_t(s.Right) - s.Left);
    const int64_t h = std::abs(int64_t(s.Bottom) - s.Top);
    if (double(h) / b >= double(w) / a)
        s.Bottom = clampTo32(s.Top + w * b / a);
    else
        s.Right = clampTo32(s.Left + h * a / b);
    return s;
}

TRect AutoCrop(const TRect& selection, QSize picture)
{
    const int64_t w = int64_t(selection.Right) - selection.Left;
    const int64_t h = int64_t(selection.Bottom) - selection.Top;
    if (w == 0 || h == 0)
        return {};
    const int64_t pw = picture.width();
    const int64_t ph = picture.height();
    int64_t nw = 0;
    int64_t nh = 0;
    if (double(ph) / h > double(pw) / w) {
        nw = pw;
        nh = pw * h / w;
    } else {
        nw = ph * w / h;
        nh = ph;
    }
    return {clampTo32((pw - nw) / 2), clampTo32((ph - nh) / 2), clampTo32((pw + nw) / 2), clampTo32((ph + nh) / 2)};
}
