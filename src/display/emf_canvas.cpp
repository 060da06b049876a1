#include "display/emf_canvas.h"

#include "display/font_map.h"
#include "settings/complete_save.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Record types.
constexpr uint32_t EMR_HEADER = 1;
constexpr uint32_t EMR_POLYGON = 3;
constexpr uint32_t EMR_POLYLINE = 4;
constexpr uint32_t EMR_SETVIEWPORTORGEX = 12;
constexpr uint32_t EMR_EOF = 14;
constexpr uint32_t EMR_SETMAPMODE = 17;
constexpr uint32_t EMR_SETBKMODE = 18;
constexpr uint32_t EMR_SETTEXTALIGN = 22;
constexpr uint32_t EMR_SETTEXTCOLOR = 24;
constexpr uint32_t EMR_MOVETOEX = 27;
constexpr uint32_t EMR_INTERSECTCLIPRECT = 30;
constexpr uint32_t EMR_SAVEDC = 33;
constexpr uint32_t EMR_RESTOREDC = 34;
constexpr uint32_t EMR_SELECTOBJECT = 37;
constexpr uint32_t EMR_CREATEBRUSHINDIRECT = 39;
constexpr uint32_t EMR_DELETEOBJECT = 40;
constexpr uint32_t EMR_RECTANGLE = 43;
constexpr uint32_t EMR_LINETO = 54;
constexpr uint32_t EMR_EXTCREATEFONTINDIRECTW = 82;
constexpr uint32_t EMR_EXTTEXTOUTW = 84;
constexpr uint32_t EMR_POLYGON16 = 86;
constexpr uint32_t EMR_POLYLINE16 = 87;
constexpr uint32_t EMR_EXTCREATEPEN = 95;

// Stock objects are addressed by their index with the high bit set.
constexpr uint32_t kStock = 0x80000000u;
constexpr uint32_t WHITE_BRUSH = kStock | 0;
constexpr uint32_t BLACK_BRUSH = kStock | 4;
constexpr uint32_t NULL_BRUSH = kStock | 5;
constexpr uint32_t WHITE_PEN = kStock | 6;
constexpr uint32_t BLACK_PEN = kStock | 7;
constexpr uint32_t NULL_PEN = kStock | 8;

constexpr uint32_t PS_GEOMETRIC = 0x00010000; // with PS_ENDCAP_ROUND and PS_JOIN_ROUND (both 0)
constexpr uint32_t PS_USERSTYLE = 7;
constexpr uint32_t BS_SOLID = 0;
constexpr uint32_t MM_TEXT = 1;
constexpr uint32_t TRANSPARENT = 1;
constexpr uint32_t TA_CENTER = 6; // TA_TOP is 0, TA_LEFT is 0
constexpr uint32_t GM_COMPATIBLE = 1;
constexpr uint8_t DEFAULT_CHARSET = 1;
constexpr uint8_t OUT_TT_ONLY_PRECIS = 7;

/// Size of the LogFontPanose that follows the handle in EMR_EXTCREATEFONTINDIRECTW.
constexpr int kLogFontPanoseSize = 320;

int32_t Clamp32(int64_t n) {
    return static_cast<int32_t>(std::clamp<int64_t>(n, INT32_MIN, INT32_MAX));
}

/// The smallest box around pts[0..nCount-1], nCount > 0, in 64 bits so that the pen's reach can
/// be added without overflow.
struct SExtent {
    int64_t l, t, r, b;
};
SExtent PointsExtent(const SPoint* pts, int nCount) {
    SExtent e{pts[0].x, pts[0].y, pts[0].x, pts[0].y};
    for (int i = 1; i < nCount; ++i) {
        e.l = std::min<int64_t>(e.l, pts[i].x);
        e.r = std::max<int64_t>(e.r, pts[i].x);
        e.t = std::min<int64_t>(e.t, pts[i].y);
        e.b = std::max<int64_t>(e.b, pts[i].y);
    }
    return e;
}

bool FitsInt16(const SPoint* pts, int nCount) {
    for (int i = 0; i < nCount; ++i)
        if (pts[i].x < INT16_MIN || pts[i].x > INT16_MAX || pts[i].y < INT16_MIN ||
            pts[i].y > INT16_MAX)
            return false;
    return true;
}

} // namespace

CEmfCanvas::CEmfCanvas(int cxRef, int cyRef, double dDpiX, double dDpiY)
    : m_sizeRef{std::max(cxRef, 1), std::max(cyRef, 1)}, m_dDpiX(dDpiX > 0 ? dDpiX : 96.0),
      m_dDpiY(dDpiY > 0 ? dDpiY : 96.0), m_HandleUsed(1, true) {
    // The player's defaults are the stock black pen and white brush, which are exactly the
    // canvas's default descriptions; its default font is not, so the font is made when first
    // used.
    m_State.m_hPen = BLACK_PEN;
    m_State.m_hBrush = WHITE_BRUSH;
    m_QFont = MapFont(m_State.m_Font);

    BeginRecord(EMR_SETMAPMODE);
    PutU32(MM_TEXT);
    EndRecord();
    // Text never fills its background on this canvas, whatever a routine asks.
    BeginRecord(EMR_SETBKMODE);
    PutU32(TRANSPARENT);
    EndRecord();
    // Players disagree on the brush a picture starts with (LibreOffice starts with none), so
    // the white one the drawing assumes is selected explicitly.
    BeginRecord(EMR_SELECTOBJECT);
    PutU32(WHITE_BRUSH);
    EndRecord();
}

// --- record writing ---

void CEmfCanvas::BeginRecord(uint32_t nType) {
    m_nRecordStart = static_cast<int>(m_Records.size());
    PutU32(nType);
    PutU32(0); // size, patched by EndRecord
}

void CEmfCanvas::EndRecord() {
    while (m_Records.size() % 4 != 0)
        m_Records.append('\0');
    const uint32_t nSize = static_cast<uint32_t>(m_Records.size() - m_nRecordStart);
    for (int i = 0; i < 4; ++i)
        m_Records[m_nRecordStart + 4 + i] = static_cast<char>((nSize >> (8 * i)) & 0xFF);
    ++m_nRecords;
}

void CEmfCanvas::PutU32(uint32_t n) {
    const char b[4] = {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                       static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
    m_Records.append(b, 4);
}

void CEmfCanvas::PutI32(int32_t n) {
    PutU32(static_cast<uint32_t>(n));
}

void CEmfCanvas::PutRect(int32_t l, int32_t t, int32_t r, int32_t b) {
    PutI32(l);
    PutI32(t);
    PutI32(r);
    PutI32(b);
}

// --- objects ---

uint32_t CEmfCanvas::AllocHandle() {
    uint32_t h = 1;
    while (h < m_HandleUsed.size() && m_HandleUsed[h])
        ++h;
    if (h == m_HandleUsed.size())
        m_HandleUsed.push_back(true);
    else
        m_HandleUsed[h] = true;
    m_nHandleMax = std::max(m_nHandleMax, h);
    return h;
}

uint32_t CEmfCanvas::CreatePen(const SPen& pen) {
    if (pen.m_nStyle == SPen::Null)
        return NULL_PEN;
    const bool bWide = pen.m_nWidth > 1;
    if (pen.m_nStyle == SPen::Solid && !bWide && pen.m_crColor == 0x000000)
        return BLACK_PEN;
    if (pen.m_nStyle == SPen::Solid && !bWide && pen.m_crColor == 0xFFFFFF)
        return WHITE_PEN;
    const uint32_t h = AllocHandle();
    const bool bDashed = pen.m_nStyle == SPen::Dashed;
    BeginRecord(EMR_EXTCREATEPEN);
    PutU32(h);
    PutU32(0); // offBmi, cbBmi, offBits, cbBits: no pattern bitmap
    PutU32(0);
    PutU32(0);
    PutU32(0);
    // A one-pixel solid pen is cosmetic (PS_COSMETIC | PS_SOLID, both 0); wider and dashed pens
    // are geometric with round ends and joins, dashes as a two-entry user style.
    PutU32(bWide || bDashed ? PS_GEOMETRIC | (bDashed ? PS_USERSTYLE : 0) : 0);
    PutU32(static_cast<uint32_t>(std::max(pen.m_nWidth, 1)));
    PutU32(BS_SOLID);
    PutU32(pen.m_crColor & 0xFFFFFF);
    PutU32(0); // hatch
    if (bDashed) {
        PutU32(2);
        PutU32(static_cast<uint32_t>(std::max(pen.m_nDash, 1)));
        PutU32(static_cast<uint32_t>(std::max(pen.m_nGap, 1)));
    } else {
        PutU32(0);
    }
    EndRecord();
    return h;
}

uint32_t CEmfCanvas::CreateBrush(const SBrush& brush) {
    if (brush.m_bNull)
        return NULL_BRUSH;
    if (brush.m_crColor == 0xFFFFFF)
        return WHITE_BRUSH;
    if (brush.m_crColor == 0x000000)
        return BLACK_BRUSH;
    const uint32_t h = AllocHandle();
    BeginRecord(EMR_CREATEBRUSHINDIRECT);
    PutU32(h);
    PutU32(BS_SOLID);
    PutU32(brush.m_crColor & 0xFFFFFF);
    PutU32(0);
    EndRecord();
    return h;
}

uint32_t CEmfCanvas::CreateFont(const SFont& font) {
    const uint32_t h = AllocHandle();
    BeginRecord(EMR_EXTCREATEFONTINDIRECTW);
    PutU32(h);
    // LogFontPanose: the LogFont part, the rest (full name, style, panose) left empty.
    QByteArray lf(kLogFontPanoseSize, '\0');
    auto put32 = [&lf](int nOffset, int32_t n) {
        for (int i = 0; i < 4; ++i)
            lf[nOffset + i] = static_cast<char>((static_cast<uint32_t>(n) >> (8 * i)) & 0xFF);
    };
    put32(0, font.m_nHeight); // negative: character height without internal leading
    // width, escapement, orientation and weight 0: left to the font
    lf[23] = static_cast<char>(DEFAULT_CHARSET);
    lf[24] = static_cast<char>(OUT_TT_ONLY_PRECIS);
    // The face the text was measured with (the named one where it is installed), so that a
    // reader on this machine sets the glyphs the spacing was worked out for.
    const QString strFace = QFontInfo(MapFont(font)).family().left(31);
    for (int i = 0; i < strFace.size(); ++i) {
        const char16_t c = strFace[i].unicode();
        lf[28 + 2 * i] = static_cast<char>(c & 0xFF);
        lf[28 + 2 * i + 1] = static_cast<char>(c >> 8);
    }
    m_Records.append(lf);
    EndRecord();
    return h;
}

void CEmfCanvas::EmitSelect(uint32_t h) {
    BeginRecord(EMR_SELECTOBJECT);
    PutU32(h);
    EndRecord();
}

void CEmfCanvas::ReleaseIfUnused(uint32_t h) {
    if (h == 0 || (h & kStock) != 0)
        return;
    auto holds = [h](const SState& s) {
        return s.m_hPen == h || s.m_hBrush == h || s.m_hFont == h;
    };
    if (holds(m_State) || std::any_of(m_SavedStates.begin(), m_SavedStates.end(), holds))
        return;
    BeginRecord(EMR_DELETEOBJECT);
    PutU32(h);
    EndRecord();
    m_HandleUsed[h] = false;
}

template <typename T>
T CEmfCanvas::SelectDescribed(T& current, uint32_t& hCurrent, const T& desc,
                              uint32_t (CEmfCanvas::*pfnCreate)(const T&)) {
    const T old = current;
    if (desc == old)
        return old;
    const uint32_t hOld = hCurrent;
    const uint32_t h = (this->*pfnCreate)(desc);
    if (h != hOld)
        EmitSelect(h);
    current = desc;
    hCurrent = h;
    ReleaseIfUnused(hOld);
    return old;
}

SPen CEmfCanvas::SelectPen(const SPen& pen) {
    return SelectDescribed(m_State.m_Pen, m_State.m_hPen, pen, &CEmfCanvas::CreatePen);
}

SBrush CEmfCanvas::SelectBrush(const SBrush& brush) {
    return SelectDescribed(m_State.m_Brush, m_State.m_hBrush, brush, &CEmfCanvas::CreateBrush);
}

SFont CEmfCanvas::SelectFont(const SFont& font) {
    const SFont old = m_State.m_Font;
    if (font == old)
        return old;
    const uint32_t hOld = m_State.m_hFont;
    m_State.m_Font = font;
    m_QFont = MapFont(font);
    if (hOld == 0)
        return old; // still the player's default font: made when text needs it
    m_State.m_hFont = CreateFont(font);
    EmitSelect(m_State.m_hFont);
    ReleaseIfUnused(hOld);
    return old;
}

void CEmfCanvas::EnsureFont() {
    if (m_State.m_hFont != 0)
        return;
    m_State.m_hFont = CreateFont(m_State.m_Font);
    EmitSelect(m_State.m_hFont);
}

// --- bounds ---

int CEmfCanvas::PenReach() const {
    const SPen& pen = m_State.m_Pen;
    if (pen.m_nStyle == SPen::Null || (pen.m_nWidth <= 1 && pen.m_nStyle == SPen::Solid))
        return 0;
    return (std::max(pen.m_nWidth, 1) + 1) / 2;
}

void CEmfCanvas::AddBounds(int64_t l, int64_t t, int64_t r, int64_t b) {
    l += m_State.m_ptOrg.x;
    r += m_State.m_ptOrg.x;
    t += m_State.m_ptOrg.y;
    b += m_State.m_ptOrg.y;
    if (m_State.m_bClip) {
        l = std::max<int64_t>(l, m_State.m_rcClip.left);
        t = std::max<int64_t>(t, m_State.m_rcClip.top);
        r = std::min<int64_t>(r, int64_t{m_State.m_rcClip.right} - 1);
        b = std::min<int64_t>(b, int64_t{m_State.m_rcClip.bottom} - 1);
    }
    if (r < l || b < t)
        return;
    if (!m_bHasBounds) {
        m_nBoundsL = l;
        m_nBoundsT = t;
        m_nBoundsR = r;
        m_nBoundsB = b;
        m_bHasBounds = true;
        return;
    }
    m_nBoundsL = std::min(m_nBoundsL, l);
    m_nBoundsT = std::min(m_nBoundsT, t);
    m_nBoundsR = std::max(m_nBoundsR, r);
    m_nBoundsB = std::max(m_nBoundsB, b);
}

void CEmfCanvas::AddPointsBounds(const SPoint* pts, int nCount, int nReach) {
    if (nCount <= 0)
        return;
    const SExtent e = PointsExtent(pts, nCount);
    AddBounds(e.l - nReach, e.t - nReach, e.r + nReach, e.b + nReach);
}

// --- drawing ---

void CEmfCanvas::FillRect(int x, int y, int cx, int cy, COLORREF cr) {
    if (cx <= 0 || cy <= 0)
        return;
    const SBrush oldBrush = SelectBrush(SBrush{false, cr});
    const SPen oldPen = SelectPen(SPen{SPen::Null, 1, 0, 0, 0});
    // Without an outline the player fills one pixel less to the right and below.
    Rectangle(x, y, x + cx + 1, y + cy + 1);
    SelectPen(oldPen);
    SelectBrush(oldBrush);
}

void CEmfCanvas::MoveTo(int x, int y) {
    m_State.m_ptCur = {x, y};
}

void CEmfCanvas::EnsurePlayerAt(SPoint pt) {
    if (m_bPlayerKnown && m_State.m_ptPlayer == pt)
        return;
    BeginRecord(EMR_MOVETOEX);
    PutI32(pt.x);
    PutI32(pt.y);
    EndRecord();
    m_State.m_ptPlayer = pt;
    m_bPlayerKnown = true;
}

void CEmfCanvas::LineTo(int x, int y) {
    const SPoint a = m_State.m_ptCur;
    m_State.m_ptCur = {x, y};
    if (m_State.m_Pen.m_nStyle == SPen::Null)
        return;
    EnsurePlayerAt(a);
    BeginRecord(EMR_LINETO);
    PutI32(x);
    PutI32(y);
    EndRecord();
    m_State.m_ptPlayer = {x, y};
    const SPoint pts[2] = {a, {x, y}};
    AddPointsBounds(pts, 2, PenReach());
}

void CEmfCanvas::PointsRecord(uint32_t nType16, uint32_t nType32, const SPoint* pts, int nCount,
                              int nReach) {
    const bool b16 = FitsInt16(pts, nCount);
    BeginRecord(b16 ? nType16 : nType32);
    const SExtent e = PointsExtent(pts, nCount);
    const SPoint& org = m_State.m_ptOrg;
    PutRect(Clamp32(e.l - nReach + org.x), Clamp32(e.t - nReach + org.y),
            Clamp32(e.r + nReach + org.x), Clamp32(e.b + nReach + org.y));
    PutU32(static_cast<uint32_t>(nCount));
    for (int i = 0; i < nCount; ++i) {
        if (b16) {
            const uint32_t x = static_cast<uint16_t>(static_cast<int16_t>(pts[i].x));
            const uint32_t y = static_cast<uint16_t>(static_cast<int16_t>(pts[i].y));
            PutU32(x | (y << 16));
        } else {
            PutI32(pts[i].x);
            PutI32(pts[i].y);
        }
    }
    EndRecord();
    AddBounds(e.l - nReach, e.t - nReach, e.r + nReach, e.b + nReach);
}

void CEmfCanvas::Polyline(const SPoint* pts, int nCount) {
    if (nCount <= 0)
        return;
    m_State.m_ptCur = pts[nCount - 1];
    if (nCount == 1 || m_State.m_Pen.m_nStyle == SPen::Null)
        return;
    const int nReach = PenReach();
    PointsRecord(EMR_POLYLINE16, EMR_POLYLINE, pts, nCount, nReach);
}

void CEmfCanvas::Rectangle(int left, int top, int right, int bottom) {
    if (right <= left || bottom <= top)
        return;
    const bool bPen = m_State.m_Pen.m_nStyle != SPen::Null;
    if (!bPen && m_State.m_Brush.m_bNull)
        return;
    BeginRecord(EMR_RECTANGLE);
    PutRect(left, top, right, bottom);
    EndRecord();
    if (bPen) {
        const int nReach = PenReach();
        AddBounds(int64_t{left} - nReach, int64_t{top} - nReach, int64_t{right} - 1 + nReach,
                  int64_t{bottom} - 1 + nReach);
    } else {
        AddBounds(left, top, int64_t{right} - 2, int64_t{bottom} - 2);
    }
}

void CEmfCanvas::Polygon(const SPoint* pts, int nCount) {
    if (nCount < 2)
        return;
    const int nReach = PenReach();
    PointsRecord(EMR_POLYGON16, EMR_POLYGON, pts, nCount, nReach);
}

// --- text ---

void CEmfCanvas::SetTextColor(COLORREF cr) {
    cr &= 0xFFFFFF;
    if (cr == m_State.m_crText)
        return;
    m_State.m_crText = cr;
    BeginRecord(EMR_SETTEXTCOLOR);
    PutU32(cr);
    EndRecord();
}

void CEmfCanvas::SetBkTransparent() {
    // Set once at the start of the file and never changed.
}

ETextAlign CEmfCanvas::SetTextAlign(ETextAlign align) {
    const ETextAlign old = m_State.m_nAlign;
    if (align == old)
        return old;
    m_State.m_nAlign = align;
    BeginRecord(EMR_SETTEXTALIGN);
    PutU32(align == TA_TopCenter ? TA_CENTER : 0);
    EndRecord();
    return old;
}

std::vector<int32_t> CEmfCanvas::Advances(const QString& str) const {
    const QFontMetrics fm(m_QFont);
    std::vector<int32_t> dx(static_cast<size_t>(str.size()), 0);
    // Each character's advance as the difference of prefix widths, so that the sum is exactly
    // the width the screen measures and kerning stays where it was measured.
    int nPrev = 0;
    for (qsizetype i = 0; i < str.size(); ++i) {
        if (str[i].isHighSurrogate() && i + 1 < str.size() && str[i + 1].isLowSurrogate())
            continue; // the pair's advance goes to its first unit below
        const int nEnd = fm.horizontalAdvance(str, static_cast<int>(i + 1));
        const qsizetype nFirst =
            (i > 0 && str[i].isLowSurrogate() && str[i - 1].isHighSurrogate()) ? i - 1 : i;
        dx[static_cast<size_t>(nFirst)] = nEnd - nPrev;
        nPrev = nEnd;
    }
    return dx;
}

void CEmfCanvas::TextRecord(int x, int y, const QString& str, const std::vector<int32_t>& dx) {
    const QFontMetrics fm(m_QFont);
    int nWidth = 0;
    for (int32_t d : dx)
        nWidth += d;
    const int nLeft = m_State.m_nAlign == TA_TopCenter ? x - nWidth / 2 : x;
    const int nHeight = fm.ascent() + fm.descent();
    const SPoint& org = m_State.m_ptOrg;

    const uint32_t nChars = static_cast<uint32_t>(str.size());
    const uint32_t nOffString = 76;
    const uint32_t nOffDx = nOffString + (nChars * 2 + 3) / 4 * 4;
    BeginRecord(EMR_EXTTEXTOUTW);
    PutRect(Clamp32(int64_t{nLeft} + org.x), Clamp32(int64_t{y} + org.y),
            Clamp32(int64_t{nLeft} + nWidth - 1 + org.x),
            Clamp32(int64_t{y} + nHeight - 1 + org.y));
    PutU32(GM_COMPATIBLE);
    // Page units to 0.01 mm.
    const float exScale = static_cast<float>(2540.0 / m_dDpiX);
    const float eyScale = static_cast<float>(2540.0 / m_dDpiY);
    uint32_t nBits;
    std::memcpy(&nBits, &exScale, 4);
    PutU32(nBits);
    std::memcpy(&nBits, &eyScale, 4);
    PutU32(nBits);
    PutI32(x);
    PutI32(y);
    PutU32(nChars);
    PutU32(nOffString);
    PutU32(0); // options: no clipping or opaque rectangle
    PutRect(0, 0, -1, -1);
    PutU32(nOffDx);
    for (qsizetype i = 0; i < str.size(); ++i) {
        const char16_t c = str[i].unicode();
        const char b[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        m_Records.append(b, 2);
    }
    while ((m_Records.size() - m_nRecordStart) % 4 != 0)
        m_Records.append('\0');
    for (int32_t d : dx)
        PutI32(d);
    EndRecord();
    AddBounds(nLeft, y, int64_t{nLeft} + nWidth - 1, int64_t{y} + nHeight - 1);
}

void CEmfCanvas::TextOut(int x, int y, const QByteArray& text) {
    const QString str = QString::fromUtf8(text);
    if (str.isEmpty())
        return;
    EnsureFont();
    TextRecord(x, y, str, Advances(str));
}

void CEmfCanvas::DrawTextCentered(const SRect& rc, const QByteArray& text) {
    const QString str = QString::fromUtf8(text);
    if (str.isEmpty())
        return;
    const SSize ext = GetTextExtent(text);
    const int x = static_cast<int>((int64_t{rc.left} + rc.right - ext.cx) / 2);
    const int y = static_cast<int>((int64_t{rc.top} + rc.bottom - ext.cy) / 2);
    EnsureFont();
    const ETextAlign oldAlign = SetTextAlign(TA_TopLeft);
    TextRecord(x, y, str, Advances(str));
    SetTextAlign(oldAlign);
}

SSize CEmfCanvas::GetTextExtent(const QByteArray& text) {
    const QFontMetrics fm(m_QFont);
    return {fm.horizontalAdvance(QString::fromUtf8(text)), fm.ascent() + fm.descent()};
}

// --- state ---

void CEmfCanvas::SaveState() {
    BeginRecord(EMR_SAVEDC);
    EndRecord();
    m_SavedStates.push_back(m_State);
}

void CEmfCanvas::RestoreState() {
    if (m_SavedStates.empty())
        return; // nothing saved: a RestoreDC would fail in the player too
    BeginRecord(EMR_RESTOREDC);
    PutI32(-1);
    EndRecord();
    const SState was = m_State;
    m_State = m_SavedStates.back();
    m_SavedStates.pop_back();
    // Players differ in whether the current position comes back with the state: the next line
    // sets it again.
    m_bPlayerKnown = false;
    if (!(was.m_Font == m_State.m_Font))
        m_QFont = MapFont(m_State.m_Font);
    // Objects selected only in the state just left are free now.
    ReleaseIfUnused(was.m_hPen);
    ReleaseIfUnused(was.m_hBrush);
    ReleaseIfUnused(was.m_hFont);
}

void CEmfCanvas::IntersectClip(const SRect& rc) {
    BeginRecord(EMR_INTERSECTCLIPRECT);
    PutRect(rc.left, rc.top, rc.right, rc.bottom);
    EndRecord();
    const SPoint& org = m_State.m_ptOrg;
    const SRect dev{Clamp32(int64_t{rc.left} + org.x), Clamp32(int64_t{rc.top} + org.y),
                    Clamp32(int64_t{rc.right} + org.x), Clamp32(int64_t{rc.bottom} + org.y)};
    if (!m_State.m_bClip) {
        m_State.m_rcClip = dev;
        m_State.m_bClip = true;
    } else {
        SRect& c = m_State.m_rcClip;
        c = SRect{std::max(c.left, dev.left), std::max(c.top, dev.top),
                  std::min(c.right, dev.right), std::min(c.bottom, dev.bottom)};
    }
}

void CEmfCanvas::SetViewportOrg(int x, int y) {
    if (m_State.m_ptOrg == SPoint{x, y})
        return;
    BeginRecord(EMR_SETVIEWPORTORGEX);
    PutI32(x);
    PutI32(y);
    EndRecord();
    m_State.m_ptOrg = {x, y};
}

SSize CEmfCanvas::GetPageSize() {
    return m_sizeRef;
}

// --- file ---

QByteArray CEmfCanvas::Finish() {
    constexpr uint32_t nHeaderSize = 108;
    constexpr uint32_t nEofSize = 20;
    QByteArray out;
    out.reserve(static_cast<qsizetype>(nHeaderSize + m_Records.size() + nEofSize));
    auto put = [&out](uint32_t n) {
        const char b[4] = {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                           static_cast<char>((n >> 16) & 0xFF),
                           static_cast<char>((n >> 24) & 0xFF)};
        out.append(b, 4);
    };
    auto puti = [&put](int64_t n) { put(static_cast<uint32_t>(Clamp32(n))); };

    // Inclusive bounds in device units; an empty picture has the empty rectangle (0, 0, -1, -1).
    const int64_t l = m_bHasBounds ? m_nBoundsL : 0;
    const int64_t t = m_bHasBounds ? m_nBoundsT : 0;
    const int64_t r = m_bHasBounds ? m_nBoundsR : -1;
    const int64_t b = m_bHasBounds ? m_nBoundsB : -1;
    // The frame covers the same pixels in 0.01 mm, also inclusive.
    const double kx = 2540.0 / m_dDpiX;
    const double ky = 2540.0 / m_dDpiY;
    auto frame = [](int64_t n, double k) { return static_cast<int64_t>(std::llround(n * k)); };

    put(EMR_HEADER);
    put(nHeaderSize);
    puti(l);
    puti(t);
    puti(r);
    puti(b);
    if (m_bHasBounds) {
        puti(frame(l, kx));
        puti(frame(t, ky));
        puti(frame(r + 1, kx) - 1);
        puti(frame(b + 1, ky) - 1);
    } else {
        puti(0);
        puti(0);
        puti(-1);
        puti(-1);
    }
    put(0x464D4520); // " EMF"
    put(0x00010000);
    put(static_cast<uint32_t>(nHeaderSize + m_Records.size() + nEofSize));
    put(m_nRecords + 2);
    put(m_nHandleMax + 1); // handles (16 bits) and the reserved 16 bits
    put(0);                // no description
    put(0);
    put(0); // no palette
    put(static_cast<uint32_t>(m_sizeRef.cx));
    put(static_cast<uint32_t>(m_sizeRef.cy));
    put(static_cast<uint32_t>(std::lround(m_sizeRef.cx * 25.4 / m_dDpiX)));
    put(static_cast<uint32_t>(std::lround(m_sizeRef.cy * 25.4 / m_dDpiY)));
    put(0); // no pixel format
    put(0);
    put(0); // not OpenGL
    put(static_cast<uint32_t>(std::lround(m_sizeRef.cx * 25400.0 / m_dDpiX)));
    put(static_cast<uint32_t>(std::lround(m_sizeRef.cy * 25400.0 / m_dDpiY)));

    out.append(m_Records);

    put(EMR_EOF);
    put(nEofSize);
    put(0);  // no palette entries
    put(16); // offPalEntries
    put(nEofSize);
    return out;
}

bool CEmfCanvas::Save(const QString& strPath, QString* pstrError) {
    return SaveFileComplete(strPath, Finish(), pstrError);
}
