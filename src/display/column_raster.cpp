#include "display/column_raster.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

/// Widest polyline (in columns) handled here; wider ones are stroked by the painter.
constexpr int64_t kMaxColumns = 1 << 16;
/// Rows beyond this are left to the painter too, so that the arithmetic stays well in 64 bits.
constexpr int64_t kMaxRow = int64_t{1} << 29;
/// Bounds of a column with no pixels: beyond every row by more than a dot's reach (which
/// kMaxColumns limits), so that adding a dot's offsets leaves it empty and within int.
constexpr int kEmptyLo = 1 << 30;
constexpr int kEmptyHi = -(1 << 30);

int64_t FloorDiv(int64_t a, int64_t b) { // b > 0
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

int64_t CeilDiv(int64_t a, int64_t b) { // b > 0
    return -FloorDiv(-a, b);
}

struct SColumns {
    int64_t m_nLeft = 0;
    std::vector<int> m_lo;
    std::vector<int> m_hi;

    void Add(int64_t x, int64_t y0, int64_t y1) {
        const size_t i = static_cast<size_t>(x - m_nLeft);
        if (y0 > y1)
            std::swap(y0, y1);
        m_lo[i] = std::min(m_lo[i], static_cast<int>(y0));
        m_hi[i] = std::max(m_hi[i], static_cast<int>(y1));
    }
};

/// The pixels of segment a-b without b: n = max(|dx|, |dy|) steps, step i at
/// (a.x + round(dx * i / n), a.y + round(dy * i / n)), i = 0 .. n - 1, added column by column.
void AddSegment(SColumns& cols, SPoint a, SPoint b) {
    if (a.x == b.x) {
        // Vertical, the most common segment of a dense trace: rows a.y up to, not including, b.y.
        if (a.y != b.y)
            cols.Add(a.x, a.y, b.y > a.y ? int64_t{b.y} - 1 : int64_t{b.y} + 1);
        return;
    }
    const int64_t dx = int64_t{b.x} - a.x;
    const int64_t dy = int64_t{b.y} - a.y;
    const int64_t adx = dx < 0 ? -dx : dx;
    const int64_t ady = dy < 0 ? -dy : dy;
    const int64_t n = std::max(adx, ady);
    if (n == 0)
        return;
    if (adx == 0) {
        cols.Add(a.x, a.y, a.y + (dy > 0 ? n - 1 : -(n - 1)));
        return;
    }
    if (adx >= ady) {
        // round(dy * i / n) stepped without dividing: 2 dy i + n = q 2n + r with 0 <= r < 2n,
        // and |2 dy| <= 2n, so one correction per step keeps r in range.
        const int64_t den = 2 * n;
        const int64_t step = 2 * dy;
        const int64_t sx = dx > 0 ? 1 : -1;
        int64_t q = 0;
        int64_t r = n;
        for (int64_t i = 0; i < n; ++i) {
            const int64_t y = a.y + q;
            cols.Add(a.x + sx * i, y, y);
            r += step;
            if (r >= den) {
                r -= den;
                ++q;
            } else if (r < 0) {
                r += den;
                --q;
            }
        }
        return;
    }
    // Steep: |dy| = n, so step i is at row a.y +- i exactly, and along column offset j the steps
    // with round(adx * i / n) == j form one run ending at ceil((2 n j + n) / (2 adx)) - 1.
    const int64_t sx = dx > 0 ? 1 : -1;
    const int64_t sy = dy > 0 ? 1 : -1;
    if (adx == 1) {
        // The common case between neighbouring columns of a dense trace: the first
        // ceil(n / 2) steps in a's column, the rest in the next.
        const int64_t h = (n + 1) / 2;
        cols.Add(a.x, a.y, a.y + sy * (h - 1));
        cols.Add(a.x + sx, a.y + sy * h, a.y + sy * (n - 1));
        return;
    }
    int64_t iLo = 0;
    for (int64_t j = 0; j <= adx && iLo < n; ++j) {
        const int64_t iHi = std::min<int64_t>(CeilDiv(2 * n * j + n, 2 * adx) - 1, n - 1);
        if (iLo <= iHi)
            cols.Add(a.x + sx * j, a.y + sy * iLo, a.y + sy * iHi);
        iLo = std::max<int64_t>(iHi + 1, iLo);
    }
}

/// Round dot of diameter w, centred on the pixel for odd w and on its top-left corner for even
/// w: rows dyLo[i]..dyHi[i] (none where dyLo[i] > dyHi[i]) at column offset -(w / 2) + i.
void DotRows(int w, std::vector<int>& dyLo, std::vector<int>& dyHi) {
    const int64_t r = w / 2;
    const double c = (w % 2 == 1) ? 0.0 : -0.5;
    const double R2 = (w / 2.0) * (w / 2.0);
    const int64_t dxLast = (w % 2 == 1) ? r : r - 1;
    dyLo.clear();
    dyHi.clear();
    for (int64_t dx = -r; dx <= dxLast; ++dx) {
        const double rest = R2 - (dx - c) * (dx - c);
        const double h = rest >= 0 ? std::sqrt(rest) : -1.0;
        // Rows dy with |dy - c| <= h.
        dyLo.push_back(static_cast<int>(std::ceil(c - h)));
        dyHi.push_back(static_cast<int>(std::floor(c + h)));
    }
}

/// Appends the rows lo[i]..hi[i] of columns xFirst + i as spans, neighbouring columns with the
/// same rows merged into one; empty columns (lo > hi) are skipped.
void AppendSpans(const std::vector<int>& lo, const std::vector<int>& hi, int64_t xFirst,
                 std::vector<SColumnSpan>& out) {
    const size_t nFirstOut = out.size();
    for (size_t i = 0; i < lo.size(); ++i) {
        if (lo[i] > hi[i])
            continue;
        const int x = static_cast<int>(xFirst + static_cast<int64_t>(i));
        if (out.size() > nFirstOut) {
            SColumnSpan& last = out.back();
            if (last.x + last.cx == x && last.y0 == lo[i] && last.y1 == hi[i]) {
                ++last.cx;
                continue;
            }
        }
        out.push_back(SColumnSpan{x, lo[i], hi[i], 1});
    }
}

} // namespace

bool RasterizeMonotonicPolyline(const SPoint* pts, int nCount, int nWidth,
                                std::vector<SColumnSpan>& out) {
    if (nCount < 2)
        return true;
    // x must never change direction, and rows must stay in range; checked without branches.
    bool bUp = true;
    bool bDown = true;
    int yMin = pts[0].y;
    int yMax = pts[0].y;
    for (int i = 1; i < nCount; ++i) {
        bUp &= pts[i].x >= pts[i - 1].x;
        bDown &= pts[i].x <= pts[i - 1].x;
        yMin = std::min(yMin, pts[i].y);
        yMax = std::max(yMax, pts[i].y);
    }
    if (!(bUp || bDown) || yMin < -kMaxRow || yMax > kMaxRow)
        return false;
    const int64_t xMin = bUp ? pts[0].x : pts[nCount - 1].x;
    const int64_t xMax = bUp ? pts[nCount - 1].x : pts[0].x;
    const int w = std::max(nWidth, 1);
    const int64_t r = w / 2;
    if (xMax - xMin + 2 * r + 1 > kMaxColumns)
        return false;

    // Scratch kept between calls: a paint rasterises hundreds of lines of similar width.
    thread_local SColumns cols;
    cols.m_nLeft = xMin;
    cols.m_lo.assign(static_cast<size_t>(xMax - xMin + 1), kEmptyLo);
    cols.m_hi.assign(static_cast<size_t>(xMax - xMin + 1), kEmptyHi);
    for (int i = 1; i < nCount; ++i)
        AddSegment(cols, pts[i - 1], pts[i]);

    const int64_t dxFirst = -r;
    const int64_t dxLast = (w % 2 == 1) ? r : r - 1;
    thread_local std::vector<int> dyLo;
    thread_local std::vector<int> dyHi;
    DotRows(w, dyLo, dyHi);

    // Stamp the dot: output column i (x = xMin + dxFirst + i) takes source column s = i - d
    // shifted by the dot's rows at offset d, one plain pass over the columns per dot column.
    const int64_t nCols = xMax - xMin + 1;
    const size_t nOut = static_cast<size_t>(nCols + dxLast - dxFirst);
    thread_local std::vector<int> outLo;
    thread_local std::vector<int> outHi;
    outLo.assign(nOut, kEmptyLo);
    outHi.assign(nOut, kEmptyHi);
    for (size_t d = 0; d < dyLo.size(); ++d) {
        if (dyLo[d] > dyHi[d])
            continue;
        const int nLo = dyLo[d];
        const int nHi = dyHi[d];
        const int* __restrict pSrcLo = cols.m_lo.data();
        const int* __restrict pSrcHi = cols.m_hi.data();
        int* __restrict pLo = outLo.data() + d;
        int* __restrict pHi = outHi.data() + d;
        for (int64_t i = 0; i < nCols; ++i) {
            pLo[i] = std::min(pLo[i], pSrcLo[i] + nLo);
            pHi[i] = std::max(pHi[i], pSrcHi[i] + nHi);
        }
    }

    AppendSpans(outLo, outHi, xMin + dxFirst, out);
    return true;
}
