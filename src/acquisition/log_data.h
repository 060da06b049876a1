#pragma once

#include <cstdint>

/// Growable array of one channel's samples; owned by CLogStore, window thread only.
class SLogData {
public:
    SLogData();
    virtual ~SLogData();
    SLogData(const SLogData&) = delete;
    SLogData& operator=(const SLogData&) = delete;

    /// Releases the array: no array, capacity 0, growth step 1024, count 0.
    void Clear();
    /// Clear(), then allocates nSize doubles; returns false (and stays empty) if that fails.
    bool Init(int nSize, int nGrowBy);
    /// Appends one sample, growing by m_nGrowBy when full; false if it cannot grow.
    bool Add(double value);
    /// True when one more Add would succeed without a failing allocation (used to keep rows whole).
    bool Reserve1();

    double* m_pData = nullptr;
    int32_t m_nSize = 0;
    int32_t m_nGrowBy = 1024;
    int32_t m_nCount = 0;
};
