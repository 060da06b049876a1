#pragma once

#include "display/canvas.h"

/// Margins, font height, pen widths and the three rectangles of one drawing size; computed by
/// CGraph::CalcLayout for every paint, page and export.
struct SPlotLayout {
    int m_cx = 0;
    int m_cy = 0;
    int m_nLeftMargin = 0;
    int m_nTopMargin = 0;
    int m_nRightMargin = 0;
    int m_nBottomMargin = 0;
    int m_nBaseLeft = 0;
    int m_nRowHeight = 0;
    int m_nFontHeight = 0;
    int m_nPenWidth = 0;
    int m_nTracePenWidth = 0;
    SRect m_rcPlot;
    SRect m_rcScroll;
    SRect m_rcReadout;
    bool operator==(const SPlotLayout&) const = default;
};
