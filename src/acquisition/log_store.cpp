#include "acquisition/log_store.h"

#include <cstdint>

CLogStore::CLogStore(const CSampleBudget& budget) {
    for (SLogData& data : m_LogData)
        data.m_pBudget = &budget;
}

bool CLogStore::InitLogData(int nChannels, int nSize, int nGrowBy) {
    m_nChannels = ClampChannelCount(nChannels);
    bool bOk = true;
    for (int i = 0; i < m_nChannels; ++i)
        bOk = m_LogData[i].Init(nSize, nGrowBy) && bOk;
    return bOk;
}

bool CLogStore::ResetLogData() {
    return InitLogData(m_nChannels, kInitialSize, kInitialSize);
}

bool CLogStore::ReserveRows(size_t nRows, double** apColumn) {
    const int32_t nBase = m_LogData[0].m_nCount;
    if (nRows > static_cast<size_t>(INT32_MAX - nBase))
        return false;
    for (int i = 0; i < m_nChannels; ++i) {
        if (!m_LogData[i].ReserveTotal(nBase + static_cast<int32_t>(nRows)))
            return false;
    }
    for (int i = 0; i < m_nChannels; ++i)
        apColumn[i] = m_LogData[i].m_pData + nBase;
    return true;
}

void CLogStore::CommitRows(size_t nRows) {
    for (int i = 0; i < m_nChannels; ++i)
        m_LogData[i].m_nCount += static_cast<int32_t>(nRows);
}

void CLogStore::ClearRows() {
    for (int i = 0; i < m_nChannels; ++i)
        m_LogData[i].m_nCount = 0;
}

void CLogStore::DropLastRows(int32_t nRows) {
    const int32_t nDrop = nRows < m_LogData[0].m_nCount ? nRows : m_LogData[0].m_nCount;
    for (int i = 0; i < m_nChannels; ++i)
        m_LogData[i].m_nCount -= nDrop;
}
