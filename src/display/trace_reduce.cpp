#include "trace_reduce.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

/// Appends the indices first, lowest, highest, last of a NaN-free run inside one column, in
/// sample order and each once.
void PushReduced(std::vector<int>& out, int nFirst, int nMin, int nMax, int nLast) {
    const int idx[4] = {nFirst, std::min(nMin, nMax), std::max(nMin, nMax), nLast};
    int nPrev = -1;
    for (int k : idx) {
        if (k > nPrev) {
            out.push_back(k);
            nPrev = k;
        }
    }
}

/// Smallest and largest of p[0..n-1], n > 0; true when one of them is NaN (then mn, mx are
/// meaningless).
bool MinMax(const double* p, int n, double& mn, double& mx) {
    int i = 0;
#ifdef __SSE2__
    if (n >= 4) {
        __m128d vmn0 = _mm_loadu_pd(p);
        __m128d vmx0 = vmn0;
        __m128d vmn1 = _mm_loadu_pd(p + 2);
        __m128d vmx1 = vmn1;
        __m128d nan = _mm_cmpunord_pd(vmn0, vmn1);
        for (i = 4; i + 4 <= n; i += 4) {
            const __m128d a = _mm_loadu_pd(p + i);
            const __m128d b = _mm_loadu_pd(p + i + 2);
            nan = _mm_or_pd(nan, _mm_cmpunord_pd(a, b));
            vmn0 = _mm_min_pd(vmn0, a);
            vmx0 = _mm_max_pd(vmx0, a);
            vmn1 = _mm_min_pd(vmn1, b);
            vmx1 = _mm_max_pd(vmx1, b);
        }
        if (_mm_movemask_pd(nan) != 0)
            return true;
        vmn0 = _mm_min_pd(vmn0, vmn1);
        vmx0 = _mm_max_pd(vmx0, vmx1);
        mn = std::min(_mm_cvtsd_f64(vmn0), _mm_cvtsd_f64(_mm_unpackhi_pd(vmn0, vmn0)));
        mx = std::max(_mm_cvtsd_f64(vmx0), _mm_cvtsd_f64(_mm_unpackhi_pd(vmx0, vmx0)));
    } else
#endif
    {
        mn = mx = p[0];
    }
    for (; i < n; ++i) {
        const double v = p[i];
        if (v != v)
            return true;
        mn = v < mn ? v : mn;
        mx = v > mx ? v : mx;
    }
    return false;
}

void PushBreak(std::vector<int>& out) {
    if (!out.empty() && out.back() != kTraceBreak)
        out.push_back(kTraceBreak);
}

} // namespace

void ReduceTrace(const double* pValues, int nCount, double dMultiplier, double dAddend,
                 int nPlotWidth, int nScreenSamples, std::vector<int>& out) {
    if (nCount <= 0)
        return;
    // With no more samples than columns (or a degenerate plot) there is nothing to merge.
    const bool bMerge = nPlotWidth >= 0 && nScreenSamples > 0 && nPlotWidth < nScreenSamples;
    if (!bMerge) {
        for (int k = 0; k < nCount; ++k) {
            const double d = pValues[k] * dMultiplier + dAddend;
            if (std::isnan(d))
                PushBreak(out);
            else
                out.push_back(k);
        }
        return;
    }

    const int64_t W = nPlotWidth;
    const int64_t S = nScreenSamples;
    auto display = [&](int i) { return pValues[i] * dMultiplier + dAddend; };
    // With a finite multiplier and addend the display value is NaN exactly when the sample is,
    // and it is monotonic in the sample, so the column's extremes can be found on the raw
    // samples, two at a time with SSE2.
    const bool bRaw = std::isfinite(dMultiplier) && std::isfinite(dAddend) && dMultiplier != 0.0;
    std::vector<int> run;
    int k = 0;
    while (k < nCount) {
        // Samples k .. nEnd-1 share the column c = (W * k) / S; the next column starts at the
        // smallest k with W * k >= (c + 1) * S. A zero-width plot is one column.
        int64_t kEnd = nCount;
        if (W > 0) {
            const int64_t c = W * k / S;
            kEnd = std::min<int64_t>(((c + 1) * S + W - 1) / W, nCount);
        }
        const int nEnd = static_cast<int>(kEnd);
        // Where a polyline ends, its end point is drawn only if an earlier sample at the same
        // height starts a segment; that depends on device rows, not values, so the column where a
        // polyline ends keeps all its samples (at most one column per NaN gap and the last one).
        const bool bRunEndsHere = nEnd == nCount || std::isnan(display(nEnd));
        double mn = 0.0;
        double mx = 0.0;
        if (bRaw && !bRunEndsHere && !MinMax(pValues + k, nEnd - k, mn, mx)) {
            int iMin = k;
            while (pValues[iMin] != mn)
                ++iMin;
            int iMax = k;
            while (pValues[iMax] != mx)
                ++iMax;
            PushReduced(out, k, iMin, iMax, nEnd - 1);
            k = nEnd;
            continue;
        }
        // Column with NaN, or where a polyline ends, or with a non-finite scale.
        run.clear();
        auto flush = [&](bool bAll) {
            if (run.empty())
                return;
            if (bAll) {
                out.insert(out.end(), run.begin(), run.end());
                return;
            }
            int iMin = run.front();
            int iMax = run.front();
            for (int i : run) {
                if (display(i) < display(iMin))
                    iMin = i;
                else if (display(i) > display(iMax))
                    iMax = i;
            }
            PushReduced(out, run.front(), iMin, iMax, run.back());
        };
        for (; k < nEnd; ++k) {
            if (std::isnan(display(k))) {
                flush(true);
                run.clear();
                PushBreak(out);
            } else {
                run.push_back(k);
            }
        }
        flush(bRunEndsHere);
    }
}

namespace {

/// Point of segment p-q at device row y (p and q on different sides of y, or one on it).
SPoint CrossAt(SPoint p, SPoint q, int y) {
    const double t = (static_cast<double>(y) - p.y) / (static_cast<double>(q.y) - p.y);
    const double x = p.x + t * (static_cast<double>(q.x) - p.x);
    return {static_cast<int>(std::lround(x)), y};
}

void PushPoint(std::vector<SPoint>& out, size_t nStart, SPoint pt) {
    if (out.size() == nStart || !(out.back() == pt))
        out.push_back(pt);
}

} // namespace

void ClipPolylineToBand(const SPoint* pts, int nCount, int nTop, int nBottom,
                        std::vector<SPoint>& out) {
    const size_t nStart = out.size();
    auto inside = [&](SPoint p) { return nTop <= p.y && p.y <= nBottom; };
    if (nCount <= 0)
        return;
    if (inside(pts[0]))
        out.push_back(pts[0]);
    for (int i = 1; i < nCount; ++i) {
        const SPoint p = pts[i - 1];
        const SPoint q = pts[i];
        if (inside(p) && inside(q)) {
            PushPoint(out, nStart, q);
            continue;
        }
        // Part of p-q within the band, if any: enter at a, leave at b.
        const int yLo = p.y < q.y ? p.y : q.y;
        const int yHi = p.y < q.y ? q.y : p.y;
        if (yHi < nTop || yLo > nBottom)
            continue; // wholly beyond one edge: the joining run along that edge is implied
        SPoint a = p;
        SPoint b = q;
        if (p.y < nTop)
            a = CrossAt(p, q, nTop);
        else if (p.y > nBottom)
            a = CrossAt(p, q, nBottom);
        if (q.y < nTop)
            b = CrossAt(p, q, nTop);
        else if (q.y > nBottom)
            b = CrossAt(p, q, nBottom);
        PushPoint(out, nStart, a);
        PushPoint(out, nStart, b);
    }
}
