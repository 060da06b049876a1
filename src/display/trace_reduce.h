#pragma once

#include "display/canvas.h"

#include <vector>

/// Marks a break between two polylines in the index list of ReduceTrace.
inline constexpr int kTraceBreak = -1;

/// Picks the samples of one trace worth drawing. Sample k lands in pixel column
/// (nPlotWidth * k) / nScreenSamples; within one column every sample has the same x, so a polyline
/// through the column's first, lowest, highest and last display value (kept in their original
/// order) covers exactly the pixels of the polyline through all of them. The display value is
/// pValues[k] * dMultiplier + dAddend; since the mapping to device y is monotonic, extremes of the
/// value are extremes of y. A sample whose display value is NaN has no position: it ends the
/// current polyline (kTraceBreak in the output). Appends window indices k (0..nCount-1) to out.
/// pOutValues (may be null) receives the sample of each index appended (0 for a break), read
/// while the column is still in the cache.
void ReduceTrace(const double* pValues, int nCount, double dMultiplier, double dAddend,
                 int nPlotWidth, int nScreenSamples, std::vector<int>& out,
                 std::vector<double>* pOutValues = nullptr);

/// Indices of the first lowest and first highest of p[0..n-1], n > 0; false when one of them is
/// NaN. ColumnExtremes is the plain reference; FastColumnExtremes the variant ReduceTrace uses,
/// four lanes wide where the processor has AVX2, otherwise the reference.
bool ColumnExtremes(const double* p, int n, int& iMin, int& iMax);
bool FastColumnExtremes(const double* p, int n, int& iMin, int& iMax);

/// Keeps a polyline within a horizontal band [nTop, nBottom] without changing what is drawn inside
/// it: a point outside the band is replaced by the points where its two segments cross the band's
/// edge, and parts of segments beyond the band are dropped. The band lies outside the clipped plot,
/// so the replaced parts are never visible, while device coordinates stay small. Appends the
/// resulting polyline (possibly empty) to out.
void ClipPolylineToBand(const SPoint* pts, int nCount, int nTop, int nBottom,
                        std::vector<SPoint>& out);
