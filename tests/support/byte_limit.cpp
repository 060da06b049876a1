#include "byte_limit.h"

void CByteLimit::Set(const SLogData& data, size_t nMaxBytes) {
    for (SCap& cap : m_caps) {
        if (cap.m_pData == &data) {
            cap.m_nMaxBytes = nMaxBytes;
            return;
        }
    }
    m_caps.push_back({&data, nMaxBytes});
}

bool CByteLimit::Allows(const SLogData& data, size_t nBytes) const {
    for (const SCap& cap : m_caps) {
        if (cap.m_pData == &data)
            return nBytes <= cap.m_nMaxBytes;
    }
    return true;
}
