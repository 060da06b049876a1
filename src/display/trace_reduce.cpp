#include "display/trace_reduce.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KEST_HAVE_AVX2_PATH 1
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
    mn = mx = p[0];
    for (int i = 0; i < n; ++i) {
        const double v = p[i];
        if (v != v)
            return true;
        mn = v < mn ? v : mn;
        mx = v > mx ? v : mx;
    }
    return false;
}

/// Index of the first of p[0..n-1] equal to v; one of them must be.
int FindFirst(const double* p, double v) {
    int i = 0;
    while (p[i] != v)
        ++i;
    return i;
}

} // namespace

bool ColumnExtremes(const double* p, int n, int& iMin, int& iMax) {
    double mn = 0.0;
    double mx = 0.0;
    if (MinMax(p, n, mn, mx))
        return false;
    iMin = FindFirst(p, mn);
    iMax = FindFirst(p, mx);
    return true;
}

namespace {

#ifdef KEST_HAVE_AVX2_PATH
/// FindFirst four lanes wide, sixteen values per step.
__attribute__((target("avx2"))) int FindFirstAvx2(const double* p, int n, double d) {
    const __m256d v = _mm256_set1_pd(d);
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256d a = _mm256_cmp_pd(_mm256_loadu_pd(p + i), v, _CMP_EQ_OQ);
        const __m256d b = _mm256_cmp_pd(_mm256_loadu_pd(p + i + 4), v, _CMP_EQ_OQ);
        const __m256d c = _mm256_cmp_pd(_mm256_loadu_pd(p + i + 8), v, _CMP_EQ_OQ);
        const __m256d e = _mm256_cmp_pd(_mm256_loadu_pd(p + i + 12), v, _CMP_EQ_OQ);
        if (_mm256_movemask_pd(_mm256_or_pd(_mm256_or_pd(a, b), _mm256_or_pd(c, e))) != 0) {
            const int m = _mm256_movemask_pd(a) | (_mm256_movemask_pd(b) << 4) |
                          (_mm256_movemask_pd(c) << 8) | (_mm256_movemask_pd(e) << 12);
            return i + __builtin_ctz(static_cast<unsigned>(m));
        }
    }
    for (; i + 4 <= n; i += 4) {
        const int m = _mm256_movemask_pd(_mm256_cmp_pd(_mm256_loadu_pd(p + i), v, _CMP_EQ_OQ));
        if (m != 0)
            return i + __builtin_ctz(static_cast<unsigned>(m));
    }
    while (p[i] != d)
        ++i;
    return i;
}

/// ColumnExtremes four lanes wide, for processors with AVX2; short columns take the reference.
/// This is the one wide variant: measured on the paint benchmark it takes a quarter off a frame
/// of long columns, and an SSE2 variant beside it added nothing measurable (docs/ARCHITECTURE.md).
__attribute__((target("avx2"))) bool ColumnExtremesAvx2(const double* p, int n, int& iMin,
                                                        int& iMax) {
    if (n < 16)
        return ColumnExtremes(p, n, iMin, iMax);
    __m256d mn0 = _mm256_loadu_pd(p);
    __m256d mn1 = _mm256_loadu_pd(p + 4);
    __m256d mn2 = _mm256_loadu_pd(p + 8);
    __m256d mn3 = _mm256_loadu_pd(p + 12);
    __m256d mx0 = mn0;
    __m256d mx1 = mn1;
    __m256d mx2 = mn2;
    __m256d mx3 = mn3;
    __m256d nan =
        _mm256_or_pd(_mm256_cmp_pd(mn0, mn1, _CMP_UNORD_Q), _mm256_cmp_pd(mn2, mn3, _CMP_UNORD_Q));
    // The last block overlaps the one before; min and max do not mind.
    for (int i = 16; i < n; i += 16) {
        const int j = std::min(i, n - 16);
        const __m256d a = _mm256_loadu_pd(p + j);
        const __m256d b = _mm256_loadu_pd(p + j + 4);
        const __m256d c = _mm256_loadu_pd(p + j + 8);
        const __m256d d = _mm256_loadu_pd(p + j + 12);
        nan = _mm256_or_pd(nan, _mm256_or_pd(_mm256_cmp_pd(a, b, _CMP_UNORD_Q),
                                             _mm256_cmp_pd(c, d, _CMP_UNORD_Q)));
        mn0 = _mm256_min_pd(mn0, a);
        mx0 = _mm256_max_pd(mx0, a);
        mn1 = _mm256_min_pd(mn1, b);
        mx1 = _mm256_max_pd(mx1, b);
        mn2 = _mm256_min_pd(mn2, c);
        mx2 = _mm256_max_pd(mx2, c);
        mn3 = _mm256_min_pd(mn3, d);
        mx3 = _mm256_max_pd(mx3, d);
    }
    if (_mm256_movemask_pd(nan) != 0)
        return false;
    mn0 = _mm256_min_pd(_mm256_min_pd(mn0, mn1), _mm256_min_pd(mn2, mn3));
    mx0 = _mm256_max_pd(_mm256_max_pd(mx0, mx1), _mm256_max_pd(mx2, mx3));
    __m128d mn = _mm_min_pd(_mm256_castpd256_pd128(mn0), _mm256_extractf128_pd(mn0, 1));
    __m128d mx = _mm_max_pd(_mm256_castpd256_pd128(mx0), _mm256_extractf128_pd(mx0, 1));
    mn = _mm_min_pd(mn, _mm_unpackhi_pd(mn, mn));
    mx = _mm_max_pd(mx, _mm_unpackhi_pd(mx, mx));
    iMin = FindFirstAvx2(p, n, _mm_cvtsd_f64(mn));
    iMax = FindFirstAvx2(p, n, _mm_cvtsd_f64(mx));
    return true;
}
#endif

using ColumnExtremesFn = bool (*)(const double*, int, int&, int&);

/// The widest ColumnExtremes this processor runs.
ColumnExtremesFn PickColumnExtremes() {
#ifdef KEST_HAVE_AVX2_PATH
    if (__builtin_cpu_supports("avx2"))
        return ColumnExtremesAvx2;
#endif
    return ColumnExtremes;
}

void PushBreak(std::vector<int>& out) {
    if (!out.empty() && out.back() != kTraceBreak)
        out.push_back(kTraceBreak);
}

} // namespace

namespace {

/// ReduceTrace where nothing is merged: every sample, NaNs as breaks.
void PushEverySample(const double* pValues, int nCount, double dMultiplier, double dAddend,
                     std::vector<int>& out) {
    for (int k = 0; k < nCount; ++k) {
        const double d = pValues[k] * dMultiplier + dAddend;
        if (std::isnan(d))
            PushBreak(out);
        else
            out.push_back(k);
    }
}

/// One column k..nEnd-1 sample by sample on the display values: a column with a NaN, where a
/// polyline ends (bKeepLastRun: its last run keeps every sample) or with a non-finite scale.
void ReduceColumnByValue(const double* pValues, int k, int nEnd, double dMultiplier, double dAddend,
                         bool bKeepLastRun, std::vector<int>& out) {
    auto display = [&](int i) { return pValues[i] * dMultiplier + dAddend; };
    // Scratch kept between calls (window thread only), so that a paint allocates nothing here.
    thread_local std::vector<int> run;
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
    flush(bKeepLastRun);
}

} // namespace

namespace {

/// PickColumnExtremes, asked once.
ColumnExtremesFn ChosenColumnExtremes() {
    static const ColumnExtremesFn s_fnExtremes = PickColumnExtremes();
    return s_fnExtremes;
}

} // namespace

bool FastColumnExtremes(const double* p, int n, int& iMin, int& iMax) {
    return ChosenColumnExtremes()(p, n, iMin, iMax);
}

void ReduceTrace(const double* pValues, int nCount, double dMultiplier, double dAddend,
                 int nPlotWidth, int nScreenSamples, std::vector<int>& out,
                 std::vector<double>* pOutValues) {
    if (nCount <= 0)
        return;
    // The samples of the indices appended since nFrom.
    auto pushValues = [&](size_t nFrom) {
        if (pOutValues == nullptr)
            return;
        for (size_t i = nFrom; i < out.size(); ++i) {
            const int kk = out[i];
            pOutValues->push_back(kk == kTraceBreak ? 0.0 : pValues[kk]);
        }
    };
    // With no more samples than columns (or a degenerate plot) there is nothing to merge.
    if (nPlotWidth < 0 || nScreenSamples <= 0 || nPlotWidth >= nScreenSamples) {
        const size_t nFrom = out.size();
        PushEverySample(pValues, nCount, dMultiplier, dAddend, out);
        pushValues(nFrom);
        return;
    }

    const int64_t W = nPlotWidth;
    const int64_t S = nScreenSamples;
    // With a finite multiplier and addend the display value is NaN exactly when the sample is,
    // and it is monotonic in the sample, so the column's extremes can be found on the raw
    // samples, many at a time.
    const bool bRaw = std::isfinite(dMultiplier) && std::isfinite(dAddend) && dMultiplier != 0.0;
    const ColumnExtremesFn extremes = ChosenColumnExtremes();
    // Samples k .. nEnd-1 share the column c = (W * k) / S; the next column starts at
    // ceil((c + 1) * S / W) = q + (r != 0) with (c + 1) * S = q * W + r, stepped without dividing.
    // A zero-width plot is one column.
    const int64_t nStepQ = W > 0 ? S / W : 0;
    const int64_t nStepR = W > 0 ? S % W : 0;
    int64_t q = nStepQ;
    int64_t r = nStepR;
    int k = 0;
    while (k < nCount) {
        int64_t kEnd = nCount;
        if (W > 0) {
            kEnd = std::min<int64_t>(q + (r != 0), nCount);
            q += nStepQ;
            r += nStepR;
            if (r >= W) {
                r -= W;
                ++q;
            }
        }
        const int nEnd = static_cast<int>(kEnd);
        // Where a polyline ends, its end point is drawn only if an earlier sample at the same
        // height starts a segment; that depends on device rows, not values, so the column where a
        // polyline ends keeps all its samples (at most one column per NaN gap and the last one).
        const bool bRunEndsHere =
            nEnd == nCount || std::isnan(pValues[nEnd] * dMultiplier + dAddend);
        const size_t nFrom = out.size();
        int iMin = 0;
        int iMax = 0;
        if (bRaw && !bRunEndsHere && extremes(pValues + k, nEnd - k, iMin, iMax))
            PushReduced(out, k, k + iMin, k + iMax, nEnd - 1);
        else
            ReduceColumnByValue(pValues, k, nEnd, dMultiplier, dAddend, bRunEndsHere, out);
        pushValues(nFrom);
        k = nEnd;
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
