#pragma once

#include "display/canvas.h"
#include "display/column_raster.h"
#include "display/pixel_fill.h"
#include "display/text_cache.h"

#include <QFont>
#include <QLine>
#include <QPoint>
#include <QRect>
#include <QTransform>
#include <vector>

class QPainter;

/// Canvas over a QPainter on any paint device (the view's off-screen image, image files, a
/// printer), with the pixel rules of the graph's drawing model: no antialiasing, a line's end point
/// left out, width-1 pens exactly one pixel, wider solid pens with round ends and joins. The
/// painter stays owned by the caller and must outlive the canvas. Window thread only.
class CPainterCanvas : public CCanvas {
public:
    /// cxPage, cyPage: what GetPageSize reports (the physical page on a printer).
    CPainterCanvas(QPainter* pPainter, int cxPage, int cyPage);
    /// Takes fonts and laid-out texts from pCache (owned by the caller, kept between paints)
    /// instead of mapping and laying them out again; the same pixels. Set before drawing.
    void SetTextCache(CTextCache* pCache);

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

private:
    void ApplyPen();
    void DrawWideSegments(const SPoint* pts, int nCount);
    /// A dashed horizontal or vertical line on an image: each dash drawn like a solid line from
    /// its start to its end (end point left out), dashes starting at a; false (nothing drawn)
    /// for other lines.
    bool DrawDashedAxisLine(SPoint a, SPoint b);
    /// Fills m_Spans with the colour, straight into the image's pixels where that gives what the
    /// painter would (FindPixelTarget), through the painter otherwise.
    void FillSpans(COLORREF cr);

    struct SState {
        SPen m_Pen;
        SBrush m_Brush;
        SFont m_Font;
        COLORREF m_crText = 0;
        ETextAlign m_nAlign = TA_TopLeft;
        SPoint m_ptCur;
    };

    QPainter* m_pPainter;
    SSize m_sizePage;
    QTransform m_BaseTransform;
    SState m_State;
    std::vector<SState> m_SavedStates;
    QFont m_QFont;
    /// Sets m_QFont (and the painter's font) for m_State.m_Font.
    void ApplyFont();
    CTextCache* m_pTextCache = nullptr;
    /// The cache's entry of m_State.m_Font while a cache is set.
    const CTextCache::SFontEntry* m_pFontEntry = nullptr;
    /// Pixel device: solid lines are filled column runs rather than stroked (same pixels).
    bool m_bRaster;
    std::vector<QPoint> m_PointBuf;
    std::vector<SColumnSpan> m_Spans;
    std::vector<QLine> m_Lines;
    std::vector<QPoint> m_Dots;

    /// m_Target and m_bTargetOk hold for the painter's current clip and origin; false after a
    /// change of either until worked out again.
    bool m_bTargetKnown = false;
    /// Opaque fills may bypass the painter and go straight into m_Target's pixels.
    bool m_bTargetOk = false;
    SPixelTarget m_Target;
};
