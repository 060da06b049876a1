#pragma once

#include <cstddef>
#include <cstdint>

/// Growable array of one channel's samples; owned by CLogStore, window thread only.
///
/// The array lives in a block of address space reserved once and committed as the capacity
/// grows, so growing never moves or copies the samples already held and appending stays linear
/// however long logging runs.
class SLogData {
public:
    SLogData();
    ~SLogData();
    SLogData(const SLogData&) = delete;
    SLogData& operator=(const SLogData&) = delete;

    /// Releases the array: no array, capacity 0, growth step 1024, count 0.
    void Clear();
    /// Clear(), then allocates nSize doubles; returns false (and stays empty) if that fails.
    bool Init(int nSize, int nGrowBy);
    /// Appends one sample, growing by m_nGrowBy when full; false if it cannot grow.
    bool Add(double value) {
        if (m_nCount >= m_nSize && !Grow())
            return false;
        m_pData[m_nCount++] = value;
        return true;
    }
    /// True when one more Add would succeed without a failing allocation (used to keep rows whole).
    bool Reserve1() { return m_nCount < m_nSize || Grow(); }
    /// Raises the capacity to at least nTotal samples at once, so that a writer that knows how
    /// many samples follow can place them without growing; false (capacity unchanged) if refused.
    bool ReserveTotal(int32_t nTotal) { return nTotal <= m_nSize || SetCapacity(nTotal); }

    double* m_pData = nullptr;
    int32_t m_nSize = 0;
    int32_t m_nGrowBy = 1024;
    int32_t m_nCount = 0;

    /// Most bytes one array may hold; a larger capacity fails like a failed allocation.
    /// Tests lower it to exercise the failure paths.
    size_t m_nMaxBytes = SIZE_MAX;

private:
    /// Raises the capacity by m_nGrowBy (capped at the 32-bit count limit); false if refused.
    bool Grow();
    /// Makes the capacity exactly nNewSize elements, keeping the samples held; false on failure.
    bool SetCapacity(int32_t nNewSize);
    void ReleaseBlock();

    size_t m_nReservedBytes = 0;  ///< address space reserved at m_pData
    size_t m_nCommittedBytes = 0; ///< leading part of it that is readable and writable
};
