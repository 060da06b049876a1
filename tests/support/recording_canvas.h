#pragma once

#include "display/canvas.h"

#include <vector>

/// Canvas that draws nothing and records every call with its exact arguments, so tests can check
/// the coordinates the graph produces. Text metrics are synthetic and deterministic: a character
/// is |height| / 2 units wide (at least 1) and the text is |height| units high, with one character
/// per byte (UTF-8 multi-byte characters count by bytes). Built only into the tests; any thread.
class CRecordingCanvas : public CCanvas {
public:
    enum EOp {
        OP_FillRect,
        OP_SelectPen,
        OP_SelectBrush,
        OP_SelectFont,
        OP_MoveTo,
        OP_LineTo,
        OP_Polyline,
        OP_Rectangle,
        OP_Polygon,
        OP_SetTextColor,
        OP_SetBkTransparent,
        OP_SetTextAlign,
        OP_TextOut,
        OP_DrawTextCentered,
        OP_GetTextExtent,
        OP_SaveState,
        OP_RestoreState,
        OP_IntersectClip,
        OP_SetViewportOrg,
        OP_GetPageSize,
    };

    /// One call: integer arguments in call order (points flattened x, y), text, and the pen,
    /// brush and font current when it was made (after it, for the Select* calls).
    struct SRecord {
        EOp m_nOp;
        std::vector<int> m_args;
        QByteArray m_strText;
        SPen m_pen;
        SBrush m_brush;
        SFont m_font;
        ETextAlign m_nAlign = TA_TopLeft;
        COLORREF m_crText = 0;
    };

    explicit CRecordingCanvas(int cxPage = 0, int cyPage = 0) : m_sizePage{cxPage, cyPage} {}

    void FillRect(int x, int y, int cx, int cy, COLORREF cr) override;
    SPen SelectPen(const SPen& pen) override;
    SBrush SelectBrush(const SBrush& brush) override;
    SFont SelectFont(const SFont& font) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Polyline(const SPoint* pts, int nCount) override;
    void Rectangle(int left, int top, int right, int bottom) override;
    void Polygon(const SPoint* pts, int nCount) override;
    void SetTextColor(COLORREF cr) override;
    void SetBkTransparent() override;
    ETextAlign SetTextAlign(ETextAlign align) override;
    void TextOut(int x, int y, const QByteArray& text) override;
    void DrawTextCentered(const SRect& rc, const QByteArray& text) override;
    SSize GetTextExtent(const QByteArray& text) override;
    void SaveState() override;
    void RestoreState() override;
    void IntersectClip(const SRect& rc) override;
    void SetViewportOrg(int x, int y) override;
    SSize GetPageSize() override;

    /// Records of one operation, in call order.
    std::vector<SRecord> Find(EOp nOp) const;
    /// The line segments drawn by MoveTo/LineTo and Polyline as (x1, y1, x2, y2), each with the
    /// pen it was drawn with.
    struct SSegment {
        int x1, y1, x2, y2;
        SPen m_pen;
        bool operator==(const SSegment&) const = default;
    };
    std::vector<SSegment> Segments() const;

    std::vector<SRecord> m_records;

private:
    void Record(EOp nOp, std::vector<int> args, QByteArray text = {});

    struct SState {
        SPen m_pen;
        SBrush m_brush;
        SFont m_font;
        ETextAlign m_nAlign = TA_TopLeft;
        COLORREF m_crText = 0;
    };
    SState m_state;
    std::vector<SState> m_saved;
    SSize m_sizePage;
};
