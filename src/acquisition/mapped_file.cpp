#include "acquisition/mapped_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <mutex>

namespace {

/// One live mapping as the signal handler sees it; m_nBegin is 0 while the slot is not
/// published.
struct SGuardSlot {
    std::atomic<bool> m_bUsed{false};
    std::atomic<uintptr_t> m_nBegin{0};
    std::atomic<uintptr_t> m_nEnd{0};
    std::atomic<uintptr_t> m_nLost{UINTPTR_MAX}; ///< lowest page start replaced by zeros
};

// Process-wide by nature: there is one SIGBUS disposition per process.
constexpr int kGuardSlots = 32;
SGuardSlot g_GuardSlots[kGuardSlots];
struct sigaction g_PreviousBusAction;
std::once_flag g_BusHandlerOnce;
const uintptr_t g_nPageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));

void OnBusError(int /*nSig*/, siginfo_t* pInfo, void* /*pContext*/) {
    const uintptr_t nAddr = reinterpret_cast<uintptr_t>(pInfo->si_addr);
    if (pInfo->si_code > 0) { // raised by a memory access, not sent by kill()
        for (SGuardSlot& slot : g_GuardSlots) {
            const uintptr_t nBegin = slot.m_nBegin.load(std::memory_order_acquire);
            if (nBegin == 0 || nAddr < nBegin || nAddr >= slot.m_nEnd.load())
                continue;
            const uintptr_t nPage = nAddr & ~(g_nPageSize - 1);
            // The access is retried when the handler returns, and then finds zeros.
            if (::mmap(reinterpret_cast<void*>(nPage), g_nPageSize, PROT_READ,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED)
                break;
            uintptr_t nLost = slot.m_nLost.load();
            while (nPage < nLost && !slot.m_nLost.compare_exchange_weak(nLost, nPage)) {
            }
            return;
        }
    }
    // Not a page of ours: the disposition from before takes over. A fault repeats on return
    // and meets it; a sent signal is raised again, delivered once this handler has returned.
    ::sigaction(SIGBUS, &g_PreviousBusAction, nullptr);
    if (pInfo->si_code <= 0)
        ::raise(SIGBUS);
}

void InstallBusHandler() {
    std::call_once(g_BusHandlerOnce, [] {
        struct sigaction action = {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_PreviousBusAction);
    });
}

} // namespace

CMappedFile::CMappedFile(int nFd, size_t nSize) : m_nSize(nSize) {
    if (nSize == 0)
        return;
    void* p = ::mmap(nullptr, nSize, PROT_READ, MAP_PRIVATE, nFd, 0);
    if (p == MAP_FAILED)
        return;
    InstallBusHandler();
    for (int i = 0; i < kGuardSlots; ++i) {
        bool bFree = false;
        if (g_GuardSlots[i].m_bUsed.compare_exchange_strong(bFree, true)) {
            m_nSlot = i;
            break;
        }
    }
    if (m_nSlot < 0) { // too many mappings at once: the caller reads the file another way
        ::munmap(p, nSize);
        return;
    }
    SGuardSlot& slot = g_GuardSlots[m_nSlot];
    const uintptr_t nBegin = reinterpret_cast<uintptr_t>(p);
    slot.m_nLost.store(UINTPTR_MAX);
    slot.m_nEnd.store((nBegin + nSize + g_nPageSize - 1) & ~(g_nPageSize - 1));
    slot.m_nBegin.store(nBegin, std::memory_order_release);
    m_pData = static_cast<const char*>(p);
    ::madvise(p, nSize, MADV_WILLNEED);
}

CMappedFile::~CMappedFile() {
    if (m_pData == nullptr)
        return;
    SGuardSlot& slot = g_GuardSlots[m_nSlot];
    slot.m_nBegin.store(0, std::memory_order_release);
    ::munmap(const_cast<char*>(m_pData), m_nSize);
    slot.m_bUsed.store(false);
}

size_t CMappedFile::LostOffset() const {
    if (m_pData == nullptr)
        return m_nSize;
    const uintptr_t nLost = g_GuardSlots[m_nSlot].m_nLost.load();
    if (nLost == UINTPTR_MAX)
        return m_nSize;
    return std::min(m_nSize, static_cast<size_t>(nLost - reinterpret_cast<uintptr_t>(m_pData)));
}
