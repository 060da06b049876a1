#pragma once

#include <cstdint>

class CGraph;

/// The samples the statistics window covers, first to last inclusive (empty when last < first).
struct SStatsRange {
    int64_t m_nFirst = 0;
    int64_t m_nLast = -1;
    bool m_bCursors = false; ///< between the cursors, not the displayed window
};

/// From the lower to the higher cursor while the cursors are shown, otherwise the samples the
/// plot shows (its left edge to its right edge); either way no further than the displayed count.
SStatsRange StatsRange(const CGraph& graph);
