#include "recording_canvas.h"

#include <algorithm>
#include <cstdlib>

void CRecordingCanvas::Record(EOp nOp, std::vector<int> args, QByteArray text) {
    m_records.push_back(SRecord{nOp, std::move(args), std::move(text), m_state.m_pen,
                                m_state.m_brush, m_state.m_font, m_state.m_nAlign,
                                m_state.m_crText});
}

void CRecordingCanvas::FillRect(int x, int y, int cx, int cy, COLORREF cr) {
    Record(OP_FillRect, {x, y, cx, cy, static_cast<int>(cr)});
}

SPen CRecordingCanvas::SelectPen(const SPen& pen) {
    const SPen old = m_state.m_pen;
    m_state.m_pen = pen;
    Record(OP_SelectPen, {});
    return old;
}

SBrush CRecordingCanvas::SelectBrush(const SBrush& brush) {
    const SBrush old = m_state.m_brush;
    m_state.m_brush = brush;
    Record(OP_SelectBrush, {});
    return old;
}

SFont CRecordingCanvas::SelectFont(const SFont& font) {
    const SFont old = m_state.m_font;
    m_state.m_font = font;
    Record(OP_SelectFont, {});
    return old;
}

void CRecordingCanvas::MoveTo(int x, int y) {
    Record(OP_MoveTo, {x, y});
}

void CRecordingCanvas::LineTo(int x, int y) {
    Record(OP_LineTo, {x, y});
}

void CRecordingCanvas::Polyline(const SPoint* pts, int nCount) {
    std::vector<int> args;
    args.reserve(2 * static_cast<size_t>(std::max(nCount, 0)));
    for (int i = 0; i < nCount; ++i) {
        args.push_back(pts[i].x);
        args.push_back(pts[i].y);
    }
    Record(OP_Polyline, std::move(args));
}

void CRecordingCanvas::Rectangle(int left, int top, int right, int bottom) {
    Record(OP_Rectangle, {left, top, right, bottom});
}

void CRecordingCanvas::Polygon(const SPoint* pts, int nCount) {
    std::vector<int> args;
    for (int i = 0; i < nCount; ++i) {
        args.push_back(pts[i].x);
        args.push_back(pts[i].y);
    }
    Record(OP_Polygon, std::move(args));
}

void CRecordingCanvas::SetTextColor(COLORREF cr) {
    m_state.m_crText = cr;
    Record(OP_SetTextColor, {static_cast<int>(cr)});
}

void CRecordingCanvas::SetBkTransparent() {
    Record(OP_SetBkTransparent, {});
}

ETextAlign CRecordingCanvas::SetTextAlign(ETextAlign align) {
    const ETextAlign old = m_state.m_nAlign;
    m_state.m_nAlign = align;
    Record(OP_SetTextAlign, {static_cast<int>(align)});
    return old;
}

void CRecordingCanvas::TextOut(int x, int y, const QByteArray& text) {
    Record(OP_TextOut, {x, y}, text);
}

void CRecordingCanvas::DrawTextCentered(const SRect& rc, const QByteArray& text) {
    Record(OP_DrawTextCentered, {rc.left, rc.top, rc.right, rc.bottom}, text);
}

SSize CRecordingCanvas::GetTextExtent(const QByteArray& text) {
    Record(OP_GetTextExtent, {}, text);
    const int h = std::abs(m_state.m_font.m_nHeight);
    return {static_cast<int>(text.size()) * std::max(h / 2, 1), h};
}

void CRecordingCanvas::SaveState() {
    m_saved.push_back(m_state);
    Record(OP_SaveState, {});
}

void CRecordingCanvas::RestoreState() {
    if (!m_saved.empty()) {
        m_state = m_saved.back();
        m_saved.pop_back();
    }
    Record(OP_RestoreState, {});
}

void CRecordingCanvas::IntersectClip(const SRect& rc) {
    Record(OP_IntersectClip, {rc.left, rc.top, rc.right, rc.bottom});
}

void CRecordingCanvas::SetViewportOrg(int x, int y) {
    Record(OP_SetViewportOrg, {x, y});
}

SSize CRecordingCanvas::GetPageSize() {
    Record(OP_GetPageSize, {});
    return m_sizePage;
}

std::vector<CRecordingCanvas::SRecord> CRecordingCanvas::Find(EOp nOp) const {
    std::vector<SRecord> out;
    for (const SRecord& r : m_records)
        if (r.m_nOp == nOp)
            out.push_back(r);
    return out;
}

std::vector<CRecordingCanvas::SSegment> CRecordingCanvas::Segments() const {
    std::vector<SSegment> out;
    SPoint cur;
    for (const SRecord& r : m_records) {
        if (r.m_nOp == OP_MoveTo) {
            cur = {r.m_args[0], r.m_args[1]};
        } else if (r.m_nOp == OP_LineTo) {
            out.push_back({cur.x, cur.y, r.m_args[0], r.m_args[1], r.m_pen});
            cur = {r.m_args[0], r.m_args[1]};
        } else if (r.m_nOp == OP_Polyline && r.m_args.size() >= 2) {
            for (size_t i = 2; i + 1 < r.m_args.size(); i += 2)
                out.push_back(
                    {r.m_args[i - 2], r.m_args[i - 1], r.m_args[i], r.m_args[i + 1], r.m_pen});
            cur = {r.m_args[r.m_args.size() - 2], r.m_args.back()};
        }
    }
    return out;
}
