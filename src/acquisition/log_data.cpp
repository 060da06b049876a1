#include "log_data.h"

#include <climits>
#include <cstdlib>
#include <cstring>

SLogData::SLogData() = default;

SLogData::~SLogData() {
    Clear();
}

void SLogData::Clear() {
    std::free(m_pData);
    m_pData = nullptr;
    m_nSize = 0;
    m_nGrowBy = 1024;
    m_nCount = 0;
}

bool SLogData::Init(int nSize, int nGrowBy) {
    Clear();
    m_nGrowBy = nGrowBy < 1024 ? 1024 : nGrowBy;
    if (nSize <= 0)
        return true;
    m_pData = static_cast<double*>(std::malloc(static_cast<size_t>(nSize) * sizeof(double)));
    if (m_pData == nullptr)
        return false;
    m_nSize = nSize;
    return true;
}

bool SLogData::Reserve1() {
    if (m_nCount == INT32_MAX)
        return false;
    if (m_nCount < m_nSize)
        return true;
    int64_t nNew = static_cast<int64_t>(m_nSize) + m_nGrowBy;
    if (nNew > INT32_MAX)
        nNew = INT32_MAX;
    void* p = std::realloc(m_pData, static_cast<size_t>(nNew) * sizeof(double));
    if (p == nullptr)
        return false;
    m_pData = static_cast<double*>(p);
    m_nSize = static_cast<int32_t>(nNew);
    return true;
}

bool SLogData::Add(double value) {
    if (!Reserve1())
        return false;
    m_pData[m_nCount++] = value;
    return true;
}
