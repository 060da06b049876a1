#include "acquisition/channel_stats.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The figures are gathered block by block: within a block four independent lanes fill vector
// registers, and only the block that holds the extreme is scanned again for its index, so the
// index costs no comparison per sample.
constexpr int64_t kBlock = 4096;
constexpr int kLanes = 4;

struct SBlockSums {
    int64_t m_nCount = 0;
    double m_dSum = 0.0;   ///< of value - shift
    double m_dSumSq = 0.0; ///< of (value - shift)^2
    double m_dMin = std::numeric_limits<double>::infinity();
    double m_dMax = -std::numeric_limits<double>::infinity();

    /// Takes in one finite value.
    void Add(double v, double dShift) {
        const double d = v - dShift;
        m_dSum += d;
        m_dSumSq += d * d;
        m_dMin = std::min(m_dMin, v);
        m_dMax = std::max(m_dMax, v);
        ++m_nCount;
    }
};

/// Sums of one block whose values all turn out finite, four at a time in two pairs of SSE2
/// registers where the processor has them. A value that is not finite makes the sum not finite,
/// which the caller sees and then takes SumBlockChecked instead.
SBlockSums SumBlockFast(const double* p, int64_t n, double dMul, double dAdd, double dShift) {
    SBlockSums sums;
    int64_t i = 0;
#if defined(__SSE2__)
    const __m128d vMul = _mm_set1_pd(dMul);
    const __m128d vAdd = _mm_set1_pd(dAdd);
    const __m128d vShift = _mm_set1_pd(dShift);
    __m128d s1a = _mm_setzero_pd(), s1b = _mm_setzero_pd();
    __m128d s2a = _mm_setzero_pd(), s2b = _mm_setzero_pd();
    __m128d mna = vShift, mnb = vShift, mxa = vShift, mxb = vShift;
    for (; i + kLanes <= n; i += kLanes) {
        const __m128d va = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(p + i), vMul), vAdd);
        const __m128d vb = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(p + i + 2), vMul), vAdd);
        const __m128d da = _mm_sub_pd(va, vShift);
        const __m128d db = _mm_sub_pd(vb, vShift);
        s1a = _mm_add_pd(s1a, da);
        s1b = _mm_add_pd(s1b, db);
        s2a = _mm_add_pd(s2a, _mm_mul_pd(da, da));
        s2b = _mm_add_pd(s2b, _mm_mul_pd(db, db));
        mna = _mm_min_pd(mna, va);
        mnb = _mm_min_pd(mnb, vb);
        mxa = _mm_max_pd(mxa, va);
        mxb = _mm_max_pd(mxb, vb);
    }
    double l1[2], l2[2], lmn[2], lmx[2];
    _mm_storeu_pd(l1, _mm_add_pd(s1a, s1b));
    _mm_storeu_pd(l2, _mm_add_pd(s2a, s2b));
    _mm_storeu_pd(lmn, _mm_min_pd(mna, mnb));
    _mm_storeu_pd(lmx, _mm_max_pd(mxa, mxb));
    sums.m_dSum = l1[0] + l1[1];
    sums.m_dSumSq = l2[0] + l2[1];
    sums.m_dMin = std::min(lmn[0], lmn[1]);
    sums.m_dMax = std::max(lmx[0], lmx[1]);
    sums.m_nCount = i;
#endif
    for (; i < n; ++i)
        sums.Add(p[i] * dMul + dAdd, dShift);
    return sums;
}

/// Sums of one block that holds values that are not finite: those are left out one by one.
SBlockSums SumBlockChecked(const double* p, int64_t n, double dMul, double dAdd, double dShift) {
    SBlockSums sums;
    for (int64_t i = 0; i < n; ++i) {
        const double v = p[i] * dMul + dAdd;
        if (std::isfinite(v))
            sums.Add(v, dShift);
    }
    return sums;
}

SBlockSums SumBlock(const double* p, int64_t n, double dMul, double dAdd, double dShift) {
    const SBlockSums fast = SumBlockFast(p, n, dMul, dAdd, dShift);
    // Squares can overflow for finite values too; the checked pass then gives the same result.
    if (std::isfinite(fast.m_dSum) && std::isfinite(fast.m_dSumSq))
        return fast;
    return SumBlockChecked(p, n, dMul, dAdd, dShift);
}

/// Offset of the first sample of p[0..n-1] whose display value is exactly dValue.
int64_t FindFirst(const double* p, int64_t n, double dMul, double dAdd, double dValue) {
    for (int64_t i = 0; i < n; ++i) {
        if (p[i] * dMul + dAdd == dValue)
            return i;
    }
    return 0;
}

} // namespace

SChannelStats ComputeChannelStats(const double* pData, int64_t nCount, int64_t nFirstIndex,
                                  double dMul, double dAdd) {
    SChannelStats stats;
    if (pData == nullptr || nCount <= 0)
        return stats;
    // Sums of the distances from one of the values keep the variance exact where the values lie
    // far from zero compared with their spread (a sensor at 1e6 that moves by 1e-3).
    int64_t nShiftAt = 0;
    double dShift = 0.0;
    for (; nShiftAt < nCount; ++nShiftAt) {
        dShift = pData[nShiftAt] * dMul + dAdd;
        if (std::isfinite(dShift))
            break;
    }
    if (nShiftAt == nCount) {
        stats.m_nNonFinite = nCount;
        return stats;
    }

    double dSum = 0.0;
    double dSumSq = 0.0;
    int64_t nFinite = 0;
    double dMin = std::numeric_limits<double>::infinity();
    double dMax = -std::numeric_limits<double>::infinity();
    int64_t nMinBlock = 0;
    int64_t nMaxBlock = 0;
    for (int64_t b = 0; b < nCount; b += kBlock) {
        const int64_t n = std::min(kBlock, nCount - b);
        const SBlockSums sums = SumBlock(pData + b, n, dMul, dAdd, dShift);
        nFinite += sums.m_nCount;
        dSum += sums.m_dSum;
        dSumSq += sums.m_dSumSq;
        if (sums.m_dMin < dMin) {
            dMin = sums.m_dMin;
            nMinBlock = b;
        }
        if (sums.m_dMax > dMax) {
            dMax = sums.m_dMax;
            nMaxBlock = b;
        }
    }

    const double dN = static_cast<double>(nFinite);
    const double dMeanShift = dSum / dN;
    const double dVariance = std::max(0.0, dSumSq / dN - dMeanShift * dMeanShift);
    stats.m_nCount = nFinite;
    stats.m_nNonFinite = nCount - nFinite;
    stats.m_dMin = dMin;
    stats.m_dMax = dMax;
    stats.m_dMean = dShift + dMeanShift;
    stats.m_dStdDev = std::sqrt(dVariance);
    // The mean square of the values themselves: variance plus the square of the mean.
    stats.m_dRms = std::sqrt(dVariance + stats.m_dMean * stats.m_dMean);
    stats.m_nMinIndex =
        nFirstIndex + nMinBlock +
        FindFirst(pData + nMinBlock, std::min(kBlock, nCount - nMinBlock), dMul, dAdd, dMin);
    stats.m_nMaxIndex =
        nFirstIndex + nMaxBlock +
        FindFirst(pData + nMaxBlock, std::min(kBlock, nCount - nMaxBlock), dMul, dAdd, dMax);
    return stats;
}
