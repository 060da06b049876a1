#pragma once

#include <cstdint>

/// The figures of one channel over a stretch of its samples, in display units (each sample
/// times the multiplier plus the addend). Values that are not finite there (infinities from
/// numbers too large for a double, or a product that overflows) are counted apart and take no
/// part in the figures. A plain record; whoever computes it owns it.
struct SChannelStats {
    int64_t m_nCount = 0;     ///< finite values
    int64_t m_nNonFinite = 0; ///< values left out
    double m_dMin = 0.0;
    double m_dMax = 0.0;
    double m_dMean = 0.0;
    double m_dRms = 0.0;
    double m_dStdDev = 0.0;   ///< population standard deviation (divided by the count)
    int64_t m_nMinIndex = -1; ///< sample index of the first minimum; -1 without finite values
    int64_t m_nMaxIndex = -1; ///< sample index of the first maximum
    double PeakToPeak() const { return m_dMax - m_dMin; }
};

/// The figures over pData[0..nCount-1], whose first sample has the index nFirstIndex, in display
/// units value * dMul + dAdd. Without finite values every figure is 0 and the indexes -1.
SChannelStats ComputeChannelStats(const double* pData, int64_t nCount, int64_t nFirstIndex,
                                  double dMul, double dAdd);
