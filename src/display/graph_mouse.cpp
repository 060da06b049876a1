// Mouse decisions of the graph: scroll-bar thumb first, then channel tags, legend lines and the
// plot with its cursors. The widget carries out what the returned SMouseAction asks for.
#include "display/graph.h"

#include <algorithm>
#include <cstdint>

namespace {

/// First channel from 0 upwards whose rectangle contains pt, or -1.
int FirstHit(const SRect* rects, int nChannels, SPoint pt) {
    for (int ch = 0; ch < nChannels; ++ch)
        if (rects[ch].Contains(pt))
            return ch;
    return -1;
}

} // namespace

void CGraph::BeginMarkerDrag(int nChannel) {
    m_nDragChannel = nChannel;
    m_nDragPos = m_pDoc->GetChannelAttr(nChannel).m_nPos;
}

void CGraph::MoveMarkerDrag(int y) {
    if (m_nDragChannel < 0)
        return;
    const int64_t nPlotHeight =
        int64_t{m_Layout.m_cy} - m_Layout.m_nBottomMargin - m_Layout.m_nTopMargin;
    if (nPlotHeight == 0)
        return; // minimised window: no scale to convert the distance with
    const int64_t nPos = m_nDragPos + (int64_t{m_ptDown.y} - y) * 1000 / nPlotHeight;
    // Straight into the record: the profile is written once, when the button is released.
    m_pDoc->GetChannelAttr(m_nDragChannel).m_nPos =
        static_cast<int32_t>(std::clamp<int64_t>(nPos, 0, 1000));
}

SMouseAction CGraph::OnLButtonDown(int, SPoint pt) {
    SMouseAction action;
    m_ptDown = pt;
    if (m_rcThumb.Contains(pt)) {
        BeginThumbDrag();
        action.m_bCapture = true;
        return action;
    }
    const int N = ActiveChannels();
    if (const int ch = FirstHit(m_rcMarker, N, pt); ch >= 0) {
        BeginMarkerDrag(ch);
        action.m_bCapture = true;
        return action;
    }
    if (const int ch = FirstHit(m_rcLegend, N, pt); ch >= 0) {
        m_nSelChannel = ch;
        action.m_bInvalidate = true;
        return action;
    }
    if (m_bCursor && m_Layout.m_rcPlot.Contains(pt)) {
        m_ptCursor[0] = PointToData(pt, m_Layout);
        action.m_bInvalidate = true;
    }
    return action;
}

SMouseAction CGraph::OnMouseMove(int nFlags, SPoint pt) {
    SMouseAction action;
    action.m_bSetPointer = true;
    if (m_bThumbDrag || m_rcThumb.Contains(pt)) {
        action.m_nPointer = PTR_SizeWE;
        if (m_bThumbDrag) {
            MoveThumbDrag(pt.x);
            action.m_bInvalidate = true;
        }
        return action;
    }
    if (m_nDragChannel >= 0 || FirstHit(m_rcMarker, ActiveChannels(), pt) >= 0) {
        action.m_nPointer = PTR_SizeNS;
        if (m_nDragChannel >= 0) {
            MoveMarkerDrag(pt.y);
            action.m_bInvalidate = true;
        }
        return action;
    }
    action.m_nPointer = PTR_Arrow;
    // No capture for cursors: one follows the pointer only while it stays inside the plot.
    if (m_bCursor && m_Layout.m_rcPlot.Contains(pt)) {
        if (nFlags & MK_LButton) {
            m_ptCursor[0] = PointToData(pt, m_Layout);
            action.m_bInvalidate = true;
        } else if (nFlags & MK_RButton) {
            m_ptCursor[1] = PointToData(pt, m_Layout);
            action.m_bInvalidate = true;
        }
    }
    return action;
}

SMouseAction CGraph::OnLButtonUp(int, SPoint) {
    SMouseAction action;
    if (m_bThumbDrag || m_nDragChannel >= 0) {
        action.m_bReleaseCapture = true;
        if (m_nDragChannel >= 0)
            action.m_bSaveChannelAttrs = true;
        if (m_bThumbDrag)
            EndThumbDrag();
    }
    m_nDragChannel = -1;
    m_bThumbDrag = false;
    return action;
}

SMouseAction CGraph::OnLButtonDblClk(int, SPoint pt) {
    SMouseAction action;
    // Overlapping lines (a long left-column text reaching into the right column) each open the
    // dialog in turn.
    const int N = ActiveChannels();
    for (int ch = 0; ch < N; ++ch)
        if (m_rcLegend[ch].Contains(pt))
            action.m_OpenAttrDialogFor.push_back(ch);
    return action;
}

SMouseAction CGraph::OnRButtonDown(int, SPoint pt) {
    SMouseAction action;
    if (m_bCursor && m_Layout.m_rcPlot.Contains(pt)) {
        m_ptCursor[1] = PointToData(pt, m_Layout);
        action.m_bInvalidate = true;
    }
    return action;
}
