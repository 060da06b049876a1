#include "acquisition/log_data.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

size_t PageSize() {
    static const size_t s_nPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return s_nPage;
}

/// Rounds up to whole pages; false when that does not fit a size_t.
bool RoundToPages(size_t nBytes, size_t* pOut) {
    const size_t nPage = PageSize();
    size_t nSum = 0;
    if (__builtin_add_overflow(nBytes, nPage - 1, &nSum))
        return false;
    *pOut = nSum & ~(nPage - 1);
    return true;
}

/// Address space for the largest array a 32-bit count can index. Reserving it costs no memory;
/// pages are committed only as the capacity reaches them.
size_t FullReservation() {
    size_t nBytes = 0;
    RoundToPages(static_cast<size_t>(INT32_MAX) * sizeof(double), &nBytes);
    return nBytes;
}

void* ReserveBlock(size_t nBytes) {
    void* p = mmap(nullptr, nBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    // No huge-page advice: with the kernel's usual "defrag on advice" setting every fault of an
    // advised range may stop to compact memory, which made opening a 500 MB file slower and its
    // time vary by half (wall 0.89-1.32 s against 1.05-1.10 s without, system time 0.58 s against
    // 0.35 s), for no gain in the live view's reads of a window or two of samples.
    return p;
}

} // namespace

SLogData::SLogData(const CSampleBudget* pBudget) : m_pBudget(pBudget) {}

SLogData::~SLogData() {
    Clear();
}

void SLogData::ReleaseBlock() {
    if (m_pData != nullptr)
        munmap(m_pData, m_nReservedBytes);
    m_pData = nullptr;
    m_nReservedBytes = 0;
    m_nCommittedBytes = 0;
}

void SLogData::Clear() {
    ReleaseBlock();
    m_nSize = 0;
    m_nGrowBy = 1024;
    m_nCount = 0;
}

bool SLogData::Init(int nSize, int nGrowBy) {
    if (m_pData != nullptr && nSize > 0 && nSize == m_nSize) {
        // A store that never grew past this size keeps its block: loading settings or starting
        // a new document would otherwise give back and take again the very same pages.
        m_nGrowBy = nGrowBy < 1024 ? 1024 : nGrowBy;
        m_nCount = 0;
        return true;
    }
    Clear();
    m_nGrowBy = nGrowBy < 1024 ? 1024 : nGrowBy;
    if (nSize < 0)
        return false; // a negative element count has no byte size: fail like an allocation
    if (nSize == 0)
        return true;
    return SetCapacity(nSize);
}

bool SLogData::Grow() {
    if (m_nSize == INT32_MAX)
        return false; // the count could not go higher anyway
    const int64_t nStep = m_nGrowBy < 1024 ? 1024 : m_nGrowBy;
    const int64_t nNew = std::min<int64_t>(static_cast<int64_t>(m_nSize) + nStep, INT32_MAX);
    return SetCapacity(static_cast<int32_t>(nNew));
}

bool SLogData::SetCapacity(int32_t nNewSize) {
    size_t nBytes = 0;
    if (nNewSize < 0 ||
        __builtin_mul_overflow(static_cast<size_t>(nNewSize), sizeof(double), &nBytes) ||
        (m_pBudget != nullptr && !m_pBudget->Allows(*this, nBytes)))
        return false;
    size_t nCommit = 0;
    if (!RoundToPages(nBytes, &nCommit))
        return false;

    if (nCommit > m_nReservedBytes) {
        // No block yet, or a block cut short by an address-space limit: take a new one at least
        // twice as large (so moves stay rare) and move the samples over once.
        const size_t nFull = std::max(FullReservation(), nCommit);
        const size_t nFloor = std::max(nCommit, std::min(nFull, m_nReservedBytes * 2));
        void* pBlock = nullptr;
        size_t nBlock = nFull;
        for (; nBlock >= nFloor; nBlock /= 2) {
            if ((pBlock = ReserveBlock(nBlock)) != nullptr)
                break;
        }
        if (pBlock == nullptr && (pBlock = ReserveBlock(nCommit)) != nullptr)
            nBlock = nCommit;
        if (pBlock == nullptr)
            return false;
        if (mprotect(pBlock, nCommit, PROT_READ | PROT_WRITE) != 0) {
            munmap(pBlock, nBlock);
            return false;
        }
        if (m_nCount > 0)
            std::memcpy(pBlock, m_pData, static_cast<size_t>(m_nCount) * sizeof(double));
        ReleaseBlock();
        m_pData = static_cast<double*>(pBlock);
        m_nReservedBytes = nBlock;
        m_nCommittedBytes = nCommit;
    } else if (nCommit > m_nCommittedBytes) {
        char* pFrom = reinterpret_cast<char*>(m_pData) + m_nCommittedBytes;
        if (mprotect(pFrom, nCommit - m_nCommittedBytes, PROT_READ | PROT_WRITE) != 0)
            return false;
        m_nCommittedBytes = nCommit;
    }
    m_nSize = nNewSize;
    return true;
}
