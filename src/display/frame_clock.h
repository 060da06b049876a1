#pragma once

#include <cstdint>

/// Decides when a repaint caused by arriving data may happen: at most one per frame interval,
/// and never later than one interval after the data came. Plain logic with the time passed in;
/// owned by the view, window thread only.
class CFrameClock {
public:
    /// nIntervalMs: the shortest time between two data-driven paints (at least 1).
    explicit CFrameClock(int nIntervalMs);

    /// Data changed at nNowMs. Returns 0 when the view should ask for a paint now, a positive
    /// delay in ms after which it should ask, or -1 when a paint is already on its way.
    int RequestFrame(int64_t nNowMs);
    /// A paint (of any cause) happened at nNowMs; it showed every change requested before it.
    void OnPainted(int64_t nNowMs);

private:
    int m_nIntervalMs;
    bool m_bPainted = false; ///< a paint has happened at all
    int64_t m_nLastPaintMs = 0;
    bool m_bPending = false;
    int64_t m_nRequestedMs = 0;
};
