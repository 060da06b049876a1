#pragma once

#include "display/canvas.h"

#include <vector>

/// One vertical run of pixels: column x, rows y0..y1 inclusive, or several equal columns side by
/// side (x .. x + cx - 1).
struct SColumnSpan {
    int x, y0, y1, cx;
    bool operator==(const SColumnSpan&) const = default;
};

/// Rasterises a polyline whose x never changes direction (a graph trace, a straight line) the way
/// the graph's drawing model asks: each segment from its start pixel up to, not including, its end
/// point; a pen of width w > 1 stamps a round dot of diameter w on every pixel, which gives round
/// ends and joins. Because every pixel column of such a polyline is one run of rows, the result is
/// at most one span per column, so the cost follows the width in pixels, not the point count.
/// Returns false (and leaves out unchanged) when x is not monotonic or the extent is too large for
/// this method; the caller then strokes the polyline the ordinary way.
bool RasterizeMonotonicPolyline(const SPoint* pts, int nCount, int nWidth,
                                std::vector<SColumnSpan>& out);
