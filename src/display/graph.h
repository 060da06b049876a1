#pragma once

#include "acquisition/latest_row.h"
#include "display/canvas.h"
#include "display/plot_layout.h"
#include "settings/kest_doc.h"

#include <vector>

/// Pointer shapes the view shows over the graph.
enum EPointer { PTR_Arrow, PTR_SizeWE, PTR_SizeNS };

/// Mouse buttons held down during a move, as the view passes them to the graph.
enum EMouseFlags { MK_None = 0, MK_LButton = 1, MK_RButton = 2 };

/// What the widget must do after a mouse event: the graph decides, the widget carries it out.
struct SMouseAction {
    bool m_bInvalidate = false;       ///< repaint the whole view
    bool m_bCapture = false;          ///< grab the mouse
    bool m_bReleaseCapture = false;   ///< release the grab
    bool m_bSaveChannelAttrs = false; ///< write the eight channel sections to the profile
    bool m_bSetPointer = false;       ///< m_nPointer is to be shown
    EPointer m_nPointer = PTR_Arrow;
    /// Channels for which to run the channel attributes command, in order (legend double-click);
    /// before each run the view sets m_nSelChannel to that channel.
    std::vector<int> m_OpenAttrDialogFor;
};

/// The graph's display state, geometry, drawing and mouse decisions: the window-independent half
/// of the view. Owned by CkestView (or by the renderer); window thread only.
class CGraph {
public:
    explicit CGraph(CkestDoc* pDoc);

    // --- geometry and the displayed window ---
    SPlotLayout CalcLayout(int cx, int cy) const;
    void UpdateDisplayWindow();
    SPoint DataToPoint(int k, int pos, const SPlotLayout& layout) const;
    /// (k, pos) of a device point; (0, 0) when the plot has no width or height.
    SPoint PointToData(SPoint pt, const SPlotLayout& layout) const;
    /// Position of a display value, saturated far outside 0..1000 when it does not fit.
    int ValueToPos(int nChannel, double dValue) const;
    double PosToValue(int nChannel, int nPos) const;

    // --- drawing ---
    /// The whole draw sequence: grid, tags, traces, legend, scroll bar, cursors.
    void DrawSequence(CCanvas& canvas, const SPlotLayout& layout, bool bPrint);
    /// Screen paint into an off-screen surface of m_cxClient x m_cyClient: white fill, layout
    /// stored in m_Layout, draw sequence with bPrint false.
    void DrawScreen(CCanvas& canvas);
    /// One printed page: the graph box of CalcPrintFrame on the canvas's physical page, white
    /// background, a layout of its own and the draw sequence for paper. m_Layout and the hit
    /// rectangles stay as the last screen paint left them.
    void DrawPrintPage(CCanvas& canvas);
    /// The metafile picture: size (normally 1600 x 1000) with a layout of its own, no
    /// background fill.
    void DrawMetafile(CCanvas& canvas, SSize size);
    void DrawGrid(CCanvas& canvas, const SPlotLayout& layout);
    void DrawMarkers(CCanvas& canvas, const SPlotLayout& layout, bool bPrint);
    void DrawTraces(CCanvas& canvas, const SPlotLayout& layout);
    void DrawLegend(CCanvas& canvas, const SPlotLayout& layout, bool bPrint);
    void DrawScrollBar(CCanvas& canvas, const SPlotLayout& layout, bool bPrint);
    void DrawCursors(CCanvas& canvas, const SPlotLayout& layout, bool bPrint);
    /// Dashes with the selected solid pen (printer, metafile); bDown and nCarry continue one
    /// dash pattern across consecutive lines.
    void DrawDashedLine(CCanvas& canvas, int x1, int y1, int x2, int y2, int nDash, bool& bDown,
                        int& nCarry);

    // --- the displayed window (recomputed from the store by UpdateDisplayWindow) ---
    /// Samples present as far as the display knows: the store's count, frozen while held.
    int DisplayCount() const { return m_nDispCount; }
    /// Samples across the plot: 15 divisions.
    int ScreenSamples() const { return m_nScreenSamples; }
    /// How many samples the right edge of the plot lies before the newest shown.
    int ScrollBack() const { return m_nScrollBack; }
    /// Index of the sample at the left edge of the plot.
    int DisplayStart() const { return m_nDispStart; }
    bool IsHeld() const { return m_bHold; }
    void SetHold(bool bHold) { m_bHold = bHold; }
    /// Shows nCount samples scrolled back by nScrollBack without asking the store, with the
    /// limits UpdateDisplayWindow applies (tests draw windows of any length this way).
    void SetDisplayWindow(int nCount, int nScrollBack);

    // --- commands ---
    void OnViewHold() { m_bHold = !m_bHold; }
    void OnViewCursor() { m_bCursor = !m_bCursor; }
    void OnSize(int cx, int cy);

    // --- drags (the mouse handlers decide when each step runs and set the press point) ---
    void BeginThumbDrag();
    /// Scroll-back from the drag distance (64-bit product); does nothing on a zero-width bar.
    void MoveThumbDrag(int x);
    void EndThumbDrag();
    void BeginMarkerDrag(int nChannel);
    /// New position of the dragged tag, limited to 0..1000; nothing on a zero plot height.
    void MoveMarkerDrag(int y);

    // --- mouse (points in client coordinates) ---
    SMouseAction OnLButtonDown(int nFlags, SPoint pt);
    SMouseAction OnMouseMove(int nFlags, SPoint pt);
    SMouseAction OnLButtonUp(int nFlags, SPoint pt);
    SMouseAction OnLButtonDblClk(int nFlags, SPoint pt);
    SMouseAction OnRButtonDown(int nFlags, SPoint pt);

    // --- hit rectangles and drags (set by painting and by the mouse handlers) ---
    const SRect& ThumbRect() const { return m_rcThumb; }
    const SRect& MarkerRect(int nChannel) const { return m_rcMarker[nChannel]; }
    const SRect& LegendRect(int nChannel) const { return m_rcLegend[nChannel]; }
    bool IsThumbDrag() const { return m_bThumbDrag; }
    /// The channel whose tag is being dragged, -1 when none.
    int DragChannel() const { return m_nDragChannel; }
    int DragPos() const { return m_nDragPos; }
    /// Where the last left-button press was.
    SPoint DownPoint() const { return m_ptDown; }
    // Tests place the hit rectangles and the press point without painting or pressing.
    void SetThumbRect(const SRect& rc) { m_rcThumb = rc; }
    void SetMarkerRect(int nChannel, const SRect& rc) { m_rcMarker[nChannel] = rc; }
    void SetLegendRect(int nChannel, const SRect& rc) { m_rcLegend[nChannel] = rc; }
    void SetDownPoint(SPoint pt) { m_ptDown = pt; }

    // --- state ---
    CkestDoc* m_pDoc;
    int m_nSamplesPerDiv = 100;
    SLatestRow m_dLatest;
    bool m_bCursor = true;

    SPlotLayout m_Layout;
    COLORREF m_crScrollThumb = 0x96B4F0;
    COLORREF m_crScrollTrack = 0x000000;
    COLORREF m_crGrid = 0xA0A0A0;
    COLORREF m_crReadoutText = 0x000000;
    SFont m_logFont;

    int m_nSelChannel = 0;

    SPoint m_ptCursor[2]; ///< Cur1, Cur2 as (k, pos)

private:
    bool m_bHold = false;
    int m_nDispCount = 0;
    int m_nScreenSamples = 0;
    int m_nScrollBack = 0;
    int m_nDispStart = 0;
    int m_cxClient = 0;
    int m_cyClient = 0;

    SRect m_rcThumb;
    bool m_bThumbDrag = false;
    int m_nThumbDragBack = 0;
    SRect m_rcMarker[8];
    SRect m_rcLegend[8];
    int m_nDragChannel = -1;
    int m_nDragPos = 0;
    SPoint m_ptDown;

    /// Screen samples, scroll-back and start for the held or taken m_nDispCount.
    void FitDisplayWindow();
    /// The document's channel count limited to 1..8: the channels drawn and hit-tested (the
    /// rectangles of the others are stale).
    int ActiveChannels() const;
    static SPen SolidPen(int nWidth, COLORREF cr);
    /// The view font at the layout's text height.
    SFont GraphFont(const SPlotLayout& layout) const;
    /// The two cursors' cross-hairs in the selected channel's colour (dashed by hand on paper);
    /// a cursor beyond the window moves to its right edge.
    void DrawCursorLines(CCanvas& canvas, const SPlotLayout& layout, bool bPrint);
    /// The readout table: level and sample index of Cur1, Cur2 and their difference.
    void DrawReadout(CCanvas& canvas, const SPlotLayout& layout);
    /// One channel's trace within the window, points beyond the rows nBandTop..nBandBottom cut
    /// back to them.
    void DrawChannelTrace(CCanvas& canvas, const SPlotLayout& layout, int nChannel, int nBandTop,
                          int nBandBottom);
};
