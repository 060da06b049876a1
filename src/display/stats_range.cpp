#include "display/stats_range.h"

#include "display/graph.h"

#include <algorithm>

SStatsRange StatsRange(const CGraph& graph) {
    SStatsRange range;
    const int64_t nStart = graph.DisplayStart();
    if (graph.m_bCursor) {
        const int64_t n1 = nStart + graph.m_ptCursor[0].x;
        const int64_t n2 = nStart + graph.m_ptCursor[1].x;
        range.m_nFirst = std::min(n1, n2);
        // Never past the displayed count: while held, samples arriving after it stay out.
        range.m_nLast = std::min<int64_t>(std::max(n1, n2), int64_t{graph.DisplayCount()} - 1);
        range.m_bCursors = true;
    } else {
        // The traces draw the samples at both edges of the plot.
        range.m_nFirst = nStart;
        range.m_nLast =
            std::min<int64_t>(nStart + graph.ScreenSamples(), int64_t{graph.DisplayCount()} - 1);
    }
    return range;
}
