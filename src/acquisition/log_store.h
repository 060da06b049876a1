#pragma once

#include "acquisition/log_data.h"

#include <cstddef>

/// The sample store: eight channel arrays and the active channel count; owned by the document,
/// window thread only.
class CLogStore {
public:
    static constexpr int kMaxChannels = 8;
    static constexpr int kInitialSize = 65536;

    /// A channel count (or 1-based channel number) limited to 1..8.
    static int ClampChannelCount(int nChannels) {
        return nChannels < 1 ? 1 : (nChannels > kMaxChannels ? kMaxChannels : nChannels);
    }

    CLogStore() = default;
    /// A store whose arrays ask budget before they grow; budget must outlive the store.
    explicit CLogStore(const CSampleBudget& budget);

    /// Clamps nChannels to 1..8 and re-initialises channels 0..m_nChannels-1.
    /// Returns false if an allocation failed (those channels are left empty).
    bool InitLogData(int nChannels, int nSize, int nGrowBy);
    /// InitLogData(m_nChannels, kInitialSize, kInitialSize).
    bool ResetLogData();
    /// Appends row[i] to every active channel, or to none: false when the row was refused
    /// (memory exhausted or the 32-bit count at its limit).
    bool AddRow(const double* row) {
        // Make room on every channel first so that a refused row leaves the counts equal: the
        // display takes channel 0's count for all of them.
        for (int i = 0; i < m_nChannels; ++i) {
            if (!m_LogData[i].Reserve1())
                return false;
        }
        for (int i = 0; i < m_nChannels; ++i)
            m_LogData[i].m_pData[m_LogData[i].m_nCount++] = row[i];
        return true;
    }

    /// Makes room for nRows more rows on every active channel at once and points apColumn[i] at
    /// the first of them, for a writer that fills the rows itself; the counts stay as they are
    /// until CommitRows. False (nothing changed) when the store cannot hold them all.
    bool ReserveRows(size_t nRows, double** apColumn);
    /// Counts nRows more rows, written into the places ReserveRows gave, on every active channel
    /// alike; nRows must not exceed what was reserved.
    void CommitRows(size_t nRows);
    /// Empties every channel, keeping its memory (rows that only pass through the store).
    void ClearRows();
    /// Takes the last nRows rows (at most all of them) off every active channel alike.
    void DropLastRows(int32_t nRows);

    SLogData m_LogData[kMaxChannels];
    int m_nChannels = 2;
};
