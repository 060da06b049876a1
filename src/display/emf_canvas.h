#pragma once

#include "display/canvas.h"

#include <QByteArray>
#include <QFont>
#include <QString>
#include <cstdint>
#include <vector>

/// Canvas that records drawing as an Enhanced Metafile (the published EMF record format, MM_TEXT
/// device units of a reference surface); text is measured with the same fonts as the screen
/// canvas. Finish gives the file's bytes, Save writes them. Owned by its user; window thread only.
class CEmfCanvas : public CCanvas {
public:
    /// The reference surface: its size in device pixels and its resolution in dots per inch
    /// (the header's device and millimetre sizes come from these; text is measured for it).
    CEmfCanvas(int cxRef, int cyRef, double dDpiX, double dDpiY);

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
    /// The reference surface's size.
    SSize GetPageSize() override;

    /// The complete file: header with bounds and frame taken from what was drawn, record and
    /// handle counts, EOF record last.
    QByteArray Finish();
    /// Writes the file through a temporary file beside strPath, renamed into place; false (the
    /// reason in pstrError when given) and nothing left behind when it cannot be created or fully
    /// written.
    bool Save(const QString& strPath, QString* pstrError = nullptr);

private:
    /// What a SaveDC keeps and a RestoreDC brings back, as the player's device context has it.
    struct SState {
        SPen m_Pen;
        uint32_t m_hPen = 0;
        SBrush m_Brush;
        uint32_t m_hBrush = 0;
        SFont m_Font;
        uint32_t m_hFont = 0; ///< 0: not created yet (the player still has its default font)
        COLORREF m_crText = 0;
        ETextAlign m_nAlign = TA_TopLeft;
        SPoint m_ptCur;    ///< the canvas's current point
        SPoint m_ptPlayer; ///< the player's current position (polylines leave it alone)
        SPoint m_ptOrg;    ///< viewport origin
        bool m_bClip = false;
        SRect m_rcClip; ///< device units, right and bottom exclusive
    };

    void BeginRecord(uint32_t nType);
    void EndRecord();
    void PutU32(uint32_t n);
    void PutI32(int32_t n);
    void PutRect(int32_t l, int32_t t, int32_t r, int32_t b);
    /// The pen, brush or font object for a description: a stock object where one fits, else a
    /// new one in the lowest free handle slot.
    uint32_t CreatePen(const SPen& pen);
    uint32_t CreateBrush(const SBrush& brush);
    uint32_t CreateFont(const SFont& font);
    uint32_t AllocHandle();
    void EmitSelect(uint32_t h);
    /// Deletes a created object that neither the current nor any saved state still holds.
    void ReleaseIfUnused(uint32_t h);
    /// A polyline or polygon record, 16-bit points where they fit, with its bounds widened by
    /// nReach and added to the picture's.
    void PointsRecord(uint32_t nType16, uint32_t nType32, const SPoint* pts, int nCount,
                      int nReach);
    /// Makes desc the current pen or brush: creates its object, selects it and lets the old
    /// one go when nothing holds it any more. Returns the previous description.
    template <typename T>
    T SelectDescribed(T& current, uint32_t& hCurrent, const T& desc,
                      uint32_t (CEmfCanvas::*pfnCreate)(const T&));
    void EnsureFont();
    void EnsurePlayerAt(SPoint pt);
    /// Half the outline's reach beyond its centre line (0 for one-pixel and null pens).
    int PenReach() const;
    /// Adds an inclusive logical rectangle to the drawn bounds, cut by the clip.
    void AddBounds(int64_t l, int64_t t, int64_t r, int64_t b);
    void AddPointsBounds(const SPoint* pts, int nCount, int nReach);
    void TextRecord(int x, int y, const QString& str, const std::vector<int32_t>& dx);
    /// Advance of each UTF-16 unit (the second unit of a pair gets 0); they sum to the width.
    std::vector<int32_t> Advances(const QString& str) const;

    SSize m_sizeRef;
    double m_dDpiX;
    double m_dDpiY;
    QByteArray m_Records;
    int m_nRecordStart = 0;
    uint32_t m_nRecords = 0;
    std::vector<bool> m_HandleUsed; ///< index 0 is the metafile itself
    uint32_t m_nHandleMax = 0;
    SState m_State;
    std::vector<SState> m_SavedStates;
    bool m_bPlayerKnown = true; ///< m_State.m_ptPlayer is certain (not after a restore)
    bool m_bHasBounds = false;
    int64_t m_nBoundsL = 0, m_nBoundsT = 0, m_nBoundsR = -1, m_nBoundsB = -1;
    QFont m_QFont;
};
