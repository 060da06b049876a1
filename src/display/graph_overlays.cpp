// Channel tags, legend lines and the two measurement cursors with their readout table.
#include "display/graph.h"

#include "settings/number_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

void CGraph::DrawMarkers(CCanvas& canvas, const SPlotLayout& layout, bool bPrint) {
    const int L = layout.m_nLeftMargin;
    const int h = layout.m_nRowHeight / 2;
    const SBrush oldBrush = canvas.SelectBrush(SBrush{false, 0xFFFFFF});
    const SFont oldFont = canvas.SelectFont(GraphFont(layout));
    canvas.SetBkTransparent();

    // Channel 0 is drawn last so its tag lies on top of the fan.
    for (int ch = ActiveChannels() - 1; ch >= 0; --ch) {
        const SChannelAttr& attr = m_pDoc->GetChannelAttr(ch);
        const int y = DataToPoint(0, attr.m_nPos, layout).y;
        const int xs = L - ch * 5 - layout.m_nBaseLeft;
        const SPoint pts[5] = {
            {xs, y - h}, {xs, y + h}, {L - h - 1, y + h}, {L - 1, y}, {L - h - 1, y - h}};
        const SPen oldPen = canvas.SelectPen(SolidPen(layout.m_nPenWidth, attr.m_crColor));
        canvas.Polygon(pts, 5);
        canvas.SelectPen(oldPen);

        const SRect body{xs, y - h, L - h - 1, y + h};
        canvas.SetTextColor(attr.m_crColor);
        canvas.DrawTextCentered(body, "CH" + QByteArray::number(ch + 1));
        if (!bPrint)
            m_rcMarker[ch] = body;
    }

    canvas.SelectFont(oldFont);
    canvas.SelectBrush(oldBrush);
}

void CGraph::DrawLegend(CCanvas& canvas, const SPlotLayout& layout, bool bPrint) {
    const int N = ActiveChannels();
    const SRect& P = layout.m_rcPlot;
    const SFont oldFont = canvas.SelectFont(GraphFont(layout));
    const ETextAlign oldAlign = canvas.SetTextAlign(TA_TopLeft);
    canvas.SetBkTransparent();

    const int nRowStep = layout.m_nBottomMargin / ((N + 1) / 2 + 1);
    for (int ch = 0; ch < N; ++ch) {
        const SChannelAttr& attr = m_pDoc->GetChannelAttr(ch);
        const char* unit = attr.m_strUnit.constData();
        const QByteArray offset = attr.m_dOffset == 0.0
                                      ? QByteArray()
                                      : "(offset:" + FormatG(attr.m_dOffset) + unit + ')';
        const double dRaw = m_nDispCount > 0 ? m_dLatest[ch] : 0.0;
        const double dValue = dRaw * attr.m_dMultiplier + attr.m_dAddend;
        const QByteArray text = "CH" + QByteArray::number(ch + 1) + ' ' + FormatG(attr.m_dVRes) +
                                unit + "/div" + offset + ' ' + attr.m_strName.constData() + ' ' +
                                FormatG(dValue) + unit;

        const int x = P.left + ((P.right - P.left) / 2) * (ch % 2);
        const int y = P.bottom + nRowStep * (ch / 2 + 1);
        const SSize ext = canvas.GetTextExtent(text);
        if (!bPrint)
            m_rcLegend[ch] = SRect{x, y, x + ext.cx, y + ext.cy};

        if (ch == m_nSelChannel) {
            // The box takes whatever brush is current (white), so no brush of our own.
            const SPen oldPen = canvas.SelectPen(SolidPen(layout.m_nPenWidth, attr.m_crColor));
            canvas.Rectangle(x - ext.cx / 10, y - ext.cy / 10, x + ext.cx + ext.cx / 10,
                             y + ext.cy + ext.cy / 10);
            canvas.SelectPen(oldPen);
        }
        canvas.SetTextColor(attr.m_crColor);
        canvas.TextOut(x, y, text);
    }

    canvas.SetTextAlign(oldAlign);
    canvas.SelectFont(oldFont);
}

void CGraph::DrawCursors(CCanvas& canvas, const SPlotLayout& layout, bool bPrint) {
    if (!m_bCursor)
        return;
    DrawCursorLines(canvas, layout, bPrint);
    DrawReadout(canvas, layout);
}

void CGraph::DrawCursorLines(CCanvas& canvas, const SPlotLayout& layout, bool bPrint) {
    const int S = m_nSamplesPerDiv * 15;
    const SRect& P = layout.m_rcPlot;
    const SChannelAttr& sel = m_pDoc->GetChannelAttr(m_nSelChannel);

    for (int n = 1; n <= 2; ++n) {
        SPoint& cur = m_ptCursor[n - 1];
        // A cursor left beyond a narrowed window moves to its right edge for good.
        cur.x = std::clamp(cur.x, 0, std::max(S, 0));
        SPoint pt = DataToPoint(cur.x, cur.y, layout);
        pt.x = std::clamp(pt.x, P.left, std::max(P.left, P.right));
        pt.y = std::clamp(pt.y, P.top, std::max(P.top, P.bottom));
        const int d = n * 3 * layout.m_nPenWidth;
        if (!bPrint) {
            SPen pen;
            pen.m_nStyle = SPen::Dashed;
            pen.m_nWidth = layout.m_nPenWidth;
            pen.m_crColor = sel.m_crColor;
            pen.m_nDash = d;
            pen.m_nGap = d;
            const SPen oldPen = canvas.SelectPen(pen);
            canvas.MoveTo(pt.x, P.top);
            canvas.LineTo(pt.x, P.bottom);
            canvas.MoveTo(P.left, pt.y);
            canvas.LineTo(P.right, pt.y);
            canvas.SelectPen(oldPen);
        } else {
            // Printers and metafiles get no geometric dashed pens: dash by hand, one pattern
            // running on from the vertical line into the horizontal one.
            const SPen oldPen = canvas.SelectPen(SolidPen(layout.m_nPenWidth, sel.m_crColor));
            bool bDown = true;
            int nCarry = 0;
            DrawDashedLine(canvas, pt.x, P.top, pt.x, P.bottom, d, bDown, nCarry);
            DrawDashedLine(canvas, P.left, pt.y, P.right, pt.y, d, bDown, nCarry);
            canvas.SelectPen(oldPen);
        }
    }
}

void CGraph::DrawReadout(CCanvas& canvas, const SPlotLayout& layout) {
    const SChannelAttr& sel = m_pDoc->GetChannelAttr(m_nSelChannel);
    const SRect& R = layout.m_rcReadout;
    const int c1 = R.left + (R.right - R.left) * 20 / 100;
    const int c2 = R.left + (R.right - R.left) * 60 / 100;
    const int r1 = R.top + (R.bottom - R.top) * 1 / 3;
    const int r2 = R.top + (R.bottom - R.top) * 2 / 3;
    const SPen oldPen = canvas.SelectPen(SolidPen(layout.m_nPenWidth, m_crGrid));
    canvas.MoveTo(R.left, R.top);
    canvas.LineTo(R.left, R.bottom);
    canvas.LineTo(R.right, R.bottom);
    canvas.LineTo(R.right, R.top);
    canvas.LineTo(R.left, R.top);
    for (int c : {c1, c2}) {
        canvas.MoveTo(c, R.top);
        canvas.LineTo(c, R.bottom);
    }
    for (int r : {r1, r2}) {
        canvas.MoveTo(R.left, r);
        canvas.LineTo(R.right, r);
    }
    canvas.SelectPen(oldPen);

    const SFont oldFont = canvas.SelectFont(GraphFont(layout));
    canvas.SetTextColor(m_crReadoutText);
    canvas.SetBkTransparent();

    const char* unit = sel.m_strUnit.constData();
    const double dLevel1 = PosToValue(m_nSelChannel, m_ptCursor[0].y);
    const double dLevel2 = PosToValue(m_nSelChannel, m_ptCursor[1].y);
    // 64-bit so that a window start near the top of the 32-bit range cannot overflow.
    const int64_t nIndex1 = int64_t{m_ptCursor[0].x} + m_nDispStart;
    const int64_t nIndex2 = int64_t{m_ptCursor[1].x} + m_nDispStart;
    const QByteArray cells[3][3] = {
        {"Cur1", FormatG(dLevel1) + unit, QByteArray::number(nIndex1)},
        {"Cur2", FormatG(dLevel2) + unit, QByteArray::number(nIndex2)},
        {"Diff", FormatG(std::fabs(dLevel1 - dLevel2)) + unit,
         QByteArray::number(std::llabs(nIndex1 - nIndex2))},
    };
    const int rows[4] = {R.top, r1, r2, R.bottom};
    const int cols[4] = {R.left, c1, c2, R.right};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            canvas.DrawTextCentered(SRect{cols[j], rows[i], cols[j + 1], rows[i + 1]}, cells[i][j]);

    canvas.SelectFont(oldFont);
}

void CGraph::DrawDashedLine(CCanvas& canvas, int x1, int y1, int x2, int y2, int nDash, bool& bDown,
                            int& nCarry) {
    if (nCarry > nDash || nCarry < 0)
        nCarry = 0;
    if (x1 == x2 && y1 == y2)
        return;
    canvas.MoveTo(x1, y1);
    if (nDash < 2) {
        // Too short to step along the line (the step would truncate to 0): draw it as the pen
        // state says and start the next line afresh.
        if (bDown)
            canvas.LineTo(x2, y2);
        else
            canvas.MoveTo(x2, y2);
        nCarry = 0;
        return;
    }

    const bool bAlongX = std::abs(int64_t{x1} - x2) > std::abs(int64_t{y1} - y2);
    const int64_t a1 = bAlongX ? x1 : y1;
    const int64_t a2 = bAlongX ? x2 : y2;
    const int64_t b1 = bAlongX ? y1 : x1;
    const int64_t b2 = bAlongX ? y2 : x2;
    const int64_t n = a1 >= a2 ? a1 - a2 : a2 - a1; // > 0: the points differ along the axis
    const double dSlope = static_cast<double>(b2 - b1) / static_cast<double>(n);
    const double dDash = nDash;
    // |slope| <= 1 here, so the step is at least nDash / sqrt(2) >= 1.
    const int64_t step = static_cast<int64_t>(std::sqrt(dDash * dDash / (dSlope * dSlope + 1.0)));

    int64_t t = nCarry != 0 ? int64_t{nCarry} * step / nDash : step;
    for (;;) {
        const int64_t a = a1 >= a2 ? a1 - t : a1 + t;
        int px = x2;
        int py = y2;
        if (t >= n) {
            nCarry = static_cast<int>(t - n);
        } else {
            const int64_t b = b1 + (t * (b2 - b1)) / n;
            px = static_cast<int>(bAlongX ? a : b);
            py = static_cast<int>(bAlongX ? b : a);
        }
        if (bDown)
            canvas.LineTo(px, py);
        else
            canvas.MoveTo(px, py);
        if (t > n)
            break; // the unfinished dash or gap continues on the next line
        bDown = !bDown;
        if (a == a2)
            break;
        t += step;
    }
    nCarry = static_cast<int>(int64_t{nCarry} * nDash / step);
}
