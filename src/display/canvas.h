#pragma once

#include <QByteArray>
#include <cstdint>

using COLORREF = uint32_t;

struct SPoint {
    int x = 0;
    int y = 0;
    bool operator==(const SPoint&) const = default;
};

struct SSize {
    int cx = 0;
    int cy = 0;
    bool operator==(const SSize&) const = default;
};

/// Rectangle with exclusive right and bottom edges.
struct SRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const SRect&) const = default;
    bool Contains(SPoint pt) const {
        return left <= pt.x && pt.x < right && top <= pt.y && pt.y < bottom;
    }
    bool IsEmpty() const { return right <= left || bottom <= top; }
};

/// Pen description: solid, or a round-ended dashed geometric pen (dash and gap in device units).
struct SPen {
    enum EStyle { Solid, Dashed, Null };
    EStyle m_nStyle = Solid;
    int m_nWidth = 1;
    COLORREF m_crColor = 0;
    int m_nDash = 0;
    int m_nGap = 0;
    bool operator==(const SPen&) const = default;
};

/// Brush description: a solid colour (the stock white brush is a solid 0xFFFFFF), or none.
struct SBrush {
    bool m_bNull = false;
    COLORREF m_crColor = 0xFFFFFF;
    bool operator==(const SBrush&) const = default;
};

/// Font description: negative height is the character height without internal leading.
struct SFont {
    int m_nHeight = -10;
    QByteArray m_strFace = "Tahoma";
    bool operator==(const SFont&) const = default;
};

/// Text alignment of TextOut's reference point.
enum ETextAlign { TA_TopLeft = 0, TA_TopCenter = 1 };

/// Drawing surface with a current pen, brush and font that every graph routine draws through
/// (window bitmap, image, printer, metafile, test recorder). Coordinates are integer device units,
/// y downwards. Objects are value descriptions: Select* makes one current and returns the previous
/// one, which the caller selects back. Used on the window thread only.
class CCanvas {
public:
    virtual ~CCanvas() = default;

    virtual void FillRect(int x, int y, int cx, int cy, COLORREF cr) = 0;
    virtual SPen SelectPen(const SPen& pen) = 0;
    virtual SBrush SelectBrush(const SBrush& brush) = 0;
    virtual SFont SelectFont(const SFont& font) = 0;
    /// Starts a line at (x, y) without drawing.
    virtual void MoveTo(int x, int y) = 0;
    /// Line from the current point with the current pen; the end point is not drawn and becomes
    /// the current point.
    virtual void LineTo(int x, int y) = 0;
    /// Same pixels as MoveTo(pts[0]) followed by LineTo of the others; implementations may draw
    /// faster than the single calls.
    virtual void Polyline(const SPoint* pts, int nCount);
    /// Outline with the current pen, interior with the current brush; right and bottom exclusive.
    virtual void Rectangle(int left, int top, int right, int bottom) = 0;
    /// Closed outline filled with the current brush.
    virtual void Polygon(const SPoint* pts, int nCount) = 0;
    virtual void SetTextColor(COLORREF cr) = 0;
    /// Glyphs only, background left unchanged (the only background mode the graph uses).
    virtual void SetBkTransparent() = 0;
    /// Returns the previous alignment.
    virtual ETextAlign SetTextAlign(ETextAlign align) = 0;
    /// One line of text (UTF-8 bytes) at the reference point.
    virtual void TextOut(int x, int y, const QByteArray& text) = 0;
    /// One line of text centred horizontally and vertically in the rectangle.
    virtual void DrawTextCentered(const SRect& rc, const QByteArray& text) = 0;
    virtual SSize GetTextExtent(const QByteArray& text) = 0;
    /// Save and restore include the clip region.
    virtual void SaveState() = 0;
    virtual void RestoreState() = 0;
    /// Limits later drawing to rc (right and bottom exclusive).
    virtual void IntersectClip(const SRect& rc) = 0;
    virtual void SetViewportOrg(int x, int y) = 0;
    /// Physical page size in device units (the surface size for non-printers).
    virtual SSize GetPageSize() = 0;
};
