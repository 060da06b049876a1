#pragma once

#include <cstddef>
#include <cstdint>

class SLogData;

/// Decides whether a channel array may take the memory for the capacity it asks for. Given to the
/// store when it is built and outlives it; a store built without one lets every array take what
/// the system maps. Window thread only.
class CSampleBudget {
public:
    /// True when data may hold nBytes of samples; a refusal fails like a failed allocation.
    virtual bool Allows(const SLogData& data, size_t nBytes) const = 0;

protected:
    ~CSampleBudget() = default;
};

/// Growable array of one channel's samples; owned by CLogStore, window thread only.
///
/// The array lives in a block of address space reserved once and committed as the capacity
/// grows, so growing never moves or copies the samples already held and appending stays linear
/// however long logging runs.
class SLogData {
public:
    /// pBudget (may be null: no limit beyond the system's) is asked before every growth.
    explicit SLogData(const CSampleBudget* pBudget = nullptr);
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

private:
    friend class CLogStore; // hands its budget to the arrays it holds

    /// Raises the capacity by m_nGrowBy (capped at the 32-bit count limit); false if refused.
    bool Grow();
    /// Makes the capacity exactly nNewSize elements, keeping the samples held; false on failure.
    bool SetCapacity(int32_t nNewSize);
    void ReleaseBlock();

    const CSampleBudget* m_pBudget = nullptr;
    size_t m_nReservedBytes = 0;  ///< address space reserved at m_pData
    size_t m_nCommittedBytes = 0; ///< leading part of it that is readable and writable
};
