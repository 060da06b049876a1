// Geometry, displayed window, grid, traces and scroll bar of the graph, and the thumb drag.
#include "display/graph.h"

#include "display/print_frame.h"
#include "display/trace_reduce.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

/// Device coordinates are kept within this range so that later sums and differences of two of
/// them cannot overflow 32 bits.
constexpr int64_t kCoordLimit = int64_t{1} << 30;

int ToCoord(int64_t v) {
    return static_cast<int>(std::clamp(v, -kCoordLimit, kCoordLimit));
}

int ToInt(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

/// The vertical position of a display value on a scale with the given offset, volts per division
/// and zero position.
inline int PosOf(double dValue, double dOffset, double dVRes, int nPos) {
    const double t = ((dValue - dOffset) / dVRes) * (-100.0);
    // NaN has no position; the trace drawing skips such samples before asking, and any other
    // caller gets the channel's own position rather than undefined behaviour.
    if (std::isnan(t))
        return nPos;
    // Within int64 the conversion truncates as std::trunc does, without a library call.
    const double dTrunc =
        std::fabs(t) < 0x1p62 ? static_cast<double>(static_cast<int64_t>(t)) : std::trunc(t);
    // Saturate instead of converting an out-of-range double (undefined behaviour): huge and
    // infinite values land at the ends of the 32-bit range, far above or below the plot.
    const double dPos = static_cast<double>(nPos) - dTrunc;
    if (dPos >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (dPos <= static_cast<double>(-INT_MAX))
        return -INT_MAX;
    return static_cast<int>(dPos);
}

/// The vertical position of a display value on a channel's scale.
int PosOfValue(const SChannelAttr& attr, double dValue) {
    return PosOf(dValue, attr.m_dOffset, attr.m_dVRes, attr.m_nPos);
}

} // namespace

int CGraph::ActiveChannels() const {
    return CLogStore::ClampChannelCount(m_pDoc->m_nChannels);
}

SPen CGraph::SolidPen(int nWidth, COLORREF cr) {
    SPen pen;
    pen.m_nStyle = SPen::Solid;
    pen.m_nWidth = nWidth;
    pen.m_crColor = cr;
    return pen;
}

SFont CGraph::GraphFont(const SPlotLayout& layout) const {
    SFont font = m_logFont;
    font.m_nHeight = -layout.m_nFontHeight;
    return font;
}

CGraph::CGraph(CkestDoc* pDoc) : m_pDoc(pDoc) {}

SPlotLayout CGraph::CalcLayout(int cx, int cy) const {
    // 64-bit intermediates: a printer page times the numerators can exceed 32 bits.
    const int64_t W = cx;
    const int64_t H = cy;
    const int64_t N = ActiveChannels();
    const int64_t T = m_bCursor ? 52 : 30;
    SPlotLayout l;
    l.m_cx = cx;
    l.m_cy = cy;
    l.m_nBaseLeft = ToInt(W * 50 / 600);
    l.m_nLeftMargin = ToInt(W * 50 / 600 + N * 5);
    l.m_nTopMargin = ToInt(T * H / 400);
    l.m_nRightMargin = ToInt(W * 10 / 600);
    l.m_nBottomMargin = ToInt(((N + 1) / 2 + 2) * H * 14 / 400);
    l.m_nRowHeight = ToInt(H * 14 / 400);
    l.m_nFontHeight = ToInt(std::min(H * 10 / 300, W * 10 / 600));
    l.m_nPenWidth = std::max(ToInt(H / 400), 1);
    l.m_nTracePenWidth = std::max(ToInt(H / 300), 1);
    l.m_rcPlot = SRect{l.m_nLeftMargin, l.m_nTopMargin, ToInt(W - l.m_nRightMargin),
                       ToInt(H - l.m_nBottomMargin)};
    const int64_t nScrollBottom = l.m_nTopMargin - H * 10 / 400;
    l.m_rcScroll =
        SRect{l.m_nLeftMargin, ToInt(nScrollBottom - H * 16 / 400),
              ToInt(l.m_nLeftMargin + (int64_t{l.m_rcPlot.right} - l.m_nLeftMargin) * 6 / 10),
              ToInt(nScrollBottom)};
    l.m_rcReadout = SRect{ToInt(W + (l.m_rcScroll.right - W) * 8 / 10), ToInt(H * 2 / 400),
                          l.m_rcPlot.right, ToInt(l.m_nTopMargin - H * 5 / 400)};
    return l;
}

void CGraph::UpdateDisplayWindow() {
    if (!m_bHold)
        m_nDispCount = m_pDoc->m_LogData[0].m_nCount;
    FitDisplayWindow();
}

void CGraph::SetDisplayWindow(int nCount, int nScrollBack) {
    m_nDispCount = nCount;
    m_nScrollBack = nScrollBack;
    FitDisplayWindow();
}

void CGraph::FitDisplayWindow() {
    m_nScreenSamples = m_nSamplesPerDiv * 15;
    if (m_nDispCount > m_nScreenSamples) {
        if (m_nDispCount - m_nScrollBack < m_nScreenSamples)
            m_nScrollBack = m_nDispCount - m_nScreenSamples;
        m_nDispStart = m_nDispCount - m_nScrollBack - m_nScreenSamples;
    } else {
        m_nScrollBack = 0;
        m_nDispStart = 0;
    }
}

SPoint CGraph::DataToPoint(int k, int pos, const SPlotLayout& layout) const {
    const SRect& P = layout.m_rcPlot;
    const int64_t S = int64_t{m_nSamplesPerDiv} * 15;
    const int64_t Wp = int64_t{P.right} - P.left;
    const int64_t Hp = int64_t{P.bottom} - P.top;
    // Positions far outside 0..1000 (values beyond the plot) give points far outside it; they are
    // held within kCoordLimit, which only ever moves a point further outside, never into view.
    const int64_t x = S != 0 ? P.left + Wp * k / S : P.left;
    const int64_t y = P.bottom - Hp * pos / 1000;
    return {ToCoord(x), ToCoord(y)};
}

SPoint CGraph::PointToData(SPoint pt, const SPlotLayout& layout) const {
    const SRect& P = layout.m_rcPlot;
    const int64_t Wp = int64_t{P.right} - P.left;
    const int64_t Hp = int64_t{P.bottom} - P.top;
    if (Wp == 0 || Hp == 0)
        return {0, 0};
    const int64_t S = int64_t{m_nSamplesPerDiv} * 15;
    const int64_t k = (int64_t{pt.x} - P.left) * S / Wp;
    const int64_t pos = (int64_t{P.top} - pt.y) * 1000 / Hp + 1000;
    return {ToInt(k), ToInt(pos)};
}

int CGraph::ValueToPos(int nChannel, double dValue) const {
    return PosOfValue(m_pDoc->GetChannelAttr(nChannel), dValue);
}

double CGraph::PosToValue(int nChannel, int nPos) const {
    const SChannelAttr& attr = m_pDoc->GetChannelAttr(nChannel);
    return (nPos - attr.m_nPos) / 100.0 * attr.m_dVRes + attr.m_dOffset;
}

void CGraph::OnSize(int cx, int cy) {
    m_cxClient = cx;
    m_cyClient = cy;
}

void CGraph::DrawScreen(CCanvas& canvas) {
    canvas.FillRect(0, 0, m_cxClient, m_cyClient, 0xFFFFFF);
    m_Layout = CalcLayout(m_cxClient, m_cyClient);
    DrawSequence(canvas, m_Layout, false);
}

void CGraph::DrawPrintPage(CCanvas& canvas) {
    const SSize page = canvas.GetPageSize();
    const SPrintFrame frame = CalcPrintFrame(page.cx, page.cy);
    // The device origin is the printable area's corner; the paper margin is not added back.
    canvas.SetViewportOrg(frame.m_x, frame.m_y);
    canvas.FillRect(0, 0, page.cx, page.cy, 0xFFFFFF);
    UpdateDisplayWindow();
    DrawSequence(canvas, CalcLayout(frame.m_cx, frame.m_cy), true);
}

void CGraph::DrawMetafile(CCanvas& canvas, SSize size) {
    UpdateDisplayWindow();
    DrawSequence(canvas, CalcLayout(size.cx, size.cy), true);
}

void CGraph::DrawSequence(CCanvas& canvas, const SPlotLayout& layout, bool bPrint) {
    DrawGrid(canvas, layout);
    DrawMarkers(canvas, layout, bPrint);
    DrawTraces(canvas, layout);
    DrawLegend(canvas, layout, bPrint);
    DrawScrollBar(canvas, layout, bPrint);
    DrawCursors(canvas, layout, bPrint);
}

void CGraph::DrawGrid(CCanvas& canvas, const SPlotLayout& layout) {
    const int D = std::max(m_nSamplesPerDiv, 1); // a zero step would never end the loop
    const int S = D * 15;
    const SPen oldPen = canvas.SelectPen(SolidPen(layout.m_nPenWidth, m_crGrid));
    const SFont oldFont = canvas.SelectFont(GraphFont(layout));
    const ETextAlign oldAlign = canvas.SetTextAlign(TA_TopCenter);

    for (int pos = 0; pos <= 1000; pos += 100) {
        const SPoint a = DataToPoint(0, pos, layout);
        const SPoint b = DataToPoint(S, pos, layout);
        canvas.MoveTo(a.x, a.y);
        canvas.LineTo(b.x, b.y);
    }
    for (int k : {0, S}) {
        const SPoint a = DataToPoint(k, 0, layout);
        const SPoint b = DataToPoint(k, 1000, layout);
        canvas.MoveTo(a.x, a.y);
        canvas.LineTo(b.x, b.y - 1);
    }

    const int64_t nStart = std::max(m_nDispStart, 0);
    for (int64_t k = D - nStart % D; k < S; k += D) {
        const SPoint p = DataToPoint(static_cast<int>(k), 0, layout);
        const int64_t nIndex = nStart + k;
        if (nIndex % (int64_t{D} * 5) == 0) {
            char buf[32];
            const int n = std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(nIndex));
            canvas.SetTextColor(0x000000);
            canvas.SetBkTransparent();
            canvas.TextOut(p.x, p.y, QByteArray(buf, n));
        }
        const SPoint q = DataToPoint(static_cast<int>(k), 1000, layout);
        canvas.MoveTo(p.x, p.y);
        canvas.LineTo(q.x, q.y);
    }

    canvas.SetTextAlign(oldAlign);
    canvas.SelectFont(oldFont);
    canvas.SelectPen(oldPen);
}

namespace {

/// Draws one unbroken run of trace points; bOutside says that some point lies beyond the band
/// [nBandTop, nBandBottom], which the run is then cut back to.
void DrawTraceRun(CCanvas& canvas, const SPoint* pts, size_t nPts, bool bOutside, int nBandTop,
                  int nBandBottom) {
    if (nPts == 1) {
        // A lone sample (the only one, or one between NaNs) is drawn as a dot so it stays
        // visible: a line to one pixel right of it.
        if (!bOutside) {
            canvas.MoveTo(pts[0].x, pts[0].y);
            canvas.LineTo(pts[0].x + 1, pts[0].y);
        }
    } else if (nPts > 1) {
        if (!bOutside) {
            // Wholly within the band (the usual case): the clip would copy it unchanged.
            canvas.Polyline(pts, static_cast<int>(nPts));
        } else {
            // Scratch kept between paints (window thread only), so that a paint allocates
            // nothing here.
            thread_local std::vector<SPoint> clipped;
            clipped.clear();
            ClipPolylineToBand(pts, static_cast<int>(nPts), nBandTop, nBandBottom, clipped);
            canvas.Polyline(clipped.data(), static_cast<int>(clipped.size()));
        }
    }
}

} // namespace

void CGraph::DrawTraces(CCanvas& canvas, const SPlotLayout& layout) {
    if (m_nDispCount <= 0 || m_nSamplesPerDiv * 15 <= 0)
        return;
    const SRect& P = layout.m_rcPlot;
    canvas.SaveState();
    canvas.IntersectClip(SRect{P.left, P.top, P.right + 1, P.bottom + 1});

    // Points beyond this band are cut back to its edge before drawing: the band reaches well past
    // the clip (further than any pen's half width), so nothing visible changes, and the device
    // coordinates handed to the canvas stay within a few plot heights.
    const int nMargin = std::abs(P.bottom - P.top) + 4 * layout.m_nTracePenWidth + 64;
    const int nBandTop = std::min(P.top, P.bottom) - nMargin;
    const int nBandBottom = std::max(P.top, P.bottom) + nMargin;
    for (int ch = ActiveChannels() - 1; ch >= 0; --ch)
        DrawChannelTrace(canvas, layout, ch, nBandTop, nBandBottom);
    canvas.RestoreState();
}

void CGraph::DrawChannelTrace(CCanvas& canvas, const SPlotLayout& layout, int nChannel,
                              int nBandTop, int nBandBottom) {
    const SRect& P = layout.m_rcPlot;
    const int S = m_nSamplesPerDiv * 15;
    const SChannelAttr& attr = m_pDoc->GetChannelAttr(nChannel);
    const SLogData& data = m_pDoc->m_LogData[nChannel];
    // Never read past what this channel holds, even if the displayed count is stale (a store
    // reset while held): the window simply ends early.
    const int nAvail = std::min(m_nDispCount, data.m_nCount);
    const int nDraw = std::min(nAvail - m_nDispStart, S + 1);
    if (data.m_pData == nullptr || m_nDispStart < 0 || nDraw <= 0)
        return;
    const double* pWindow = data.m_pData + m_nDispStart;

    // Scratch kept between paints (window thread only), so that a paint allocates nothing here.
    thread_local std::vector<int> indices;
    thread_local std::vector<SPoint> run;
    const SPen oldPen = canvas.SelectPen(SolidPen(layout.m_nTracePenWidth, attr.m_crColor));
    indices.clear();
    thread_local std::vector<double> values;
    values.clear();
    ReduceTrace(pWindow, nDraw, attr.m_dMultiplier, attr.m_dAddend, P.right - P.left, S, indices,
                &values);
    // The samples come with the indices: read again here, long after the reduction passed them,
    // they would mostly miss the cache.
    const double* pValues = values.data();
    // The scale in locals: the point stores below could otherwise alias the channel's fields and
    // force reloads.
    const double dMul = attr.m_dMultiplier;
    const double dAdd = attr.m_dAddend;
    const double dOffset = attr.m_dOffset;
    const double dVRes = attr.m_dVRes;
    const int nPos = attr.m_nPos;
    const int nBottom = P.bottom;
    const int64_t Wp = int64_t{P.right} - P.left;
    const int64_t Hp = int64_t{P.bottom} - P.top;
    // DataToPoint for increasing k, with the column's x carried along instead of one 64-bit
    // division per point.
    int64_t nColK = -1;  // first k of the current column
    int64_t nNextK = -1; // first k of the next column
    int nColX = P.left;
    run.resize(indices.size());
    SPoint* const pRun = run.data();
    size_t nRun = 0;
    bool bOutside = false;
    for (size_t i = 0; i < indices.size(); ++i) {
        const int k = indices[i];
        if (k == kTraceBreak) {
            DrawTraceRun(canvas, pRun, nRun, bOutside, nBandTop, nBandBottom);
            nRun = 0;
            bOutside = false;
            continue;
        }
        if (Wp <= 0 || k < nColK || k >= nNextK) {
            const int64_t c = Wp * k / S;
            nColX = ToCoord(P.left + c);
            nColK = k;
            nNextK = Wp > 0 ? ((c + 1) * S + Wp - 1) / Wp : k + 1;
        }
        const int64_t pos = PosOf(pValues[i] * dMul + dAdd, dOffset, dVRes, nPos);
        const SPoint pt{nColX, ToCoord(nBottom - Hp * pos / 1000)};
        // Repeated points add nothing to the line; leaving them out here is what the band clip
        // does too, so both ways hand the canvas the same points.
        if (nRun > 0 && pRun[nRun - 1] == pt)
            continue;
        pRun[nRun++] = pt;
        bOutside |= (pt.y < nBandTop) | (pt.y > nBandBottom);
    }
    DrawTraceRun(canvas, pRun, nRun, bOutside, nBandTop, nBandBottom);
    canvas.SelectPen(oldPen);
}

void CGraph::DrawScrollBar(CCanvas& canvas, const SPlotLayout& layout, bool bPrint) {
    const SRect& B = layout.m_rcScroll;
    const int64_t Wb = int64_t{B.right} - B.left;
    const int yMid = ToInt((int64_t{B.top} + B.bottom) / 2);
    int64_t nRight = B.right;
    if (m_nDispCount > 0)
        nRight = B.right - Wb * m_nScrollBack / m_nDispCount;
    int64_t nWidth = Wb;
    if (m_nScreenSamples < m_nDispCount)
        nWidth = Wb * m_nScreenSamples / m_nDispCount;
    nWidth = std::max<int64_t>(nWidth, 3);
    const SRect rcThumb{ToInt(nRight - nWidth), B.top, ToInt(nRight + 1),
                        ToInt(int64_t{B.bottom} + 1)};
    if (!bPrint)
        m_rcThumb = rcThumb;

    const SBrush oldBrush = canvas.SelectBrush(SBrush{false, m_crScrollThumb});
    const SPen oldPen = canvas.SelectPen(SolidPen(layout.m_nPenWidth, m_crScrollThumb));
    canvas.Rectangle(rcThumb.left, rcThumb.top, rcThumb.right, rcThumb.bottom);
    canvas.SelectPen(SolidPen(layout.m_nPenWidth, m_crScrollTrack));
    canvas.MoveTo(B.left, B.top);
    canvas.LineTo(B.left, B.bottom);
    canvas.MoveTo(B.right, B.top);
    canvas.LineTo(B.right, B.bottom);
    canvas.MoveTo(B.left, yMid);
    canvas.LineTo(B.right, yMid);
    canvas.SelectPen(oldPen);
    canvas.SelectBrush(oldBrush);
}

void CGraph::BeginThumbDrag() {
    m_bThumbDrag = true;
    m_nThumbDragBack = m_nScrollBack;
}

void CGraph::MoveThumbDrag(int x) {
    const int64_t Wb = int64_t{m_Layout.m_rcScroll.right} - m_Layout.m_rcScroll.left;
    if (Wb == 0)
        return; // minimised: no bar to measure the drag against
    // Distance times sample count needs more than 32 bits for long recordings; the result is
    // limited to 0..INT_MAX here and to the stored samples by the next UpdateDisplayWindow.
    const int64_t nBack = m_nThumbDragBack + (int64_t{m_ptDown.x} - x) * m_nDispCount / Wb;
    m_nScrollBack = ToInt(std::max<int64_t>(nBack, 0));
}

void CGraph::EndThumbDrag() {
    m_bThumbDrag = false;
}
