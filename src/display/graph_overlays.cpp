// Channel tags, legend and measurement cursors (placeholder bodies until the overlay layer lands).
#include "graph.h"

void CGraph::DrawMarkers(CCanvas&, const SPlotLayout&, bool) {}
void CGraph::DrawLegend(CCanvas&, const SPlotLayout&, bool) {}
void CGraph::DrawCursors(CCanvas&, const SPlotLayout&, bool) {}
void CGraph::DrawDashedLine(CCanvas&, int, int, int, int, int, bool&, int&) {}
