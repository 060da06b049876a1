#include "display/frame_clock.h"

#include <algorithm>

CFrameClock::CFrameClock(int nIntervalMs) : m_nIntervalMs(std::max(1, nIntervalMs)) {}

int CFrameClock::RequestFrame(int64_t nNowMs) {
    // A paint asked for but never delivered (a hidden window paints nothing) must not block
    // the following frames for ever.
    if (m_bPending && nNowMs - m_nRequestedMs < 4 * static_cast<int64_t>(m_nIntervalMs))
        return -1;
    m_bPending = true;
    m_nRequestedMs = nNowMs;
    const int64_t nSince = nNowMs - m_nLastPaintMs;
    if (!m_bPainted || nSince >= m_nIntervalMs || nSince < 0)
        return 0;
    return static_cast<int>(m_nIntervalMs - nSince);
}

void CFrameClock::OnPainted(int64_t nNowMs) {
    m_bPainted = true;
    m_nLastPaintMs = nNowMs;
    m_bPending = false;
}
