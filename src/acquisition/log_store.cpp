#include "acquisition/log_store.h"

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
