#include "display/painter_canvas.h"

#include "display/column_raster.h"
#include "display/font_map.h"

#include <QColor>
#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPen>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

QColor ToQColor(COLORREF cr) {
    return QColor(static_cast<int>(cr & 0xFF), static_cast<int>((cr >> 8) & 0xFF),
                  static_cast<int>((cr >> 16) & 0xFF));
}

/// Rectangle with exclusive right and bottom as a Qt rectangle (empty when inverted).
QRect ToQRect(int left, int top, int right, int bottom) {
    return QRect(left, top, std::max(right - left, 0), std::max(bottom - top, 0));
}

/// The painter draws into an image: one of its own, or the backing store image of a widget.
bool IsImageDevice(QPainter& painter) {
    const QPaintEngine* pEngine = painter.paintEngine();
    const QPaintDevice* pDevice = pEngine != nullptr ? pEngine->paintDevice() : nullptr;
    return pDevice != nullptr && pDevice->devType() == QInternal::Image;
}

} // namespace

CPainterCanvas::CPainterCanvas(QPainter* pPainter, int cxPage, int cyPage)
    : m_pPainter(pPainter), m_sizePage{cxPage, cyPage}, m_BaseTransform(pPainter->transform()),
      m_bRaster(IsImageDevice(*pPainter)) {
    // Pixels must not depend on the rasteriser's smoothing: same input, same image.
    m_pPainter->setRenderHint(QPainter::Antialiasing, false);
    m_pPainter->setRenderHint(QPainter::TextAntialiasing, false);
    m_pPainter->setBackgroundMode(Qt::TransparentMode);
    m_QFont = MapFont(m_State.m_Font);
    m_pPainter->setFont(m_QFont);
    m_pPainter->setBrush(QBrush(ToQColor(m_State.m_Brush.m_crColor)));
    ApplyPen();
}

void CPainterCanvas::ApplyPen() {
    const SPen& pen = m_State.m_Pen;
    const QColor color = ToQColor(pen.m_crColor);
    if (pen.m_nStyle == SPen::Null) {
        m_pPainter->setPen(Qt::NoPen);
        return;
    }
    const int w = std::max(pen.m_nWidth, 1);
    // Width 1 is a cosmetic one-pixel pen that draws both end pixels; Polyline shortens each
    // segment by its last pixel itself, since Qt's flat cap drops whichever end lies further
    // right or down rather than the end point.
    QPen qpen(color, w > 1 ? w : 0, Qt::SolidLine, w > 1 ? Qt::RoundCap : Qt::SquareCap,
              w > 1 ? Qt::RoundJoin : Qt::MiterJoin);
    if (pen.m_nStyle == SPen::Dashed) {
        // Qt measures dashes in pen widths, the drawing model in device units.
        const double dUnit = w > 1 ? w : 1.0;
        qpen.setCapStyle(Qt::RoundCap);
        qpen.setDashPattern({std::max(pen.m_nDash, 1) / dUnit, std::max(pen.m_nGap, 1) / dUnit});
    }
    m_pPainter->setPen(qpen);
}

void CPainterCanvas::FillRect(int x, int y, int cx, int cy, COLORREF cr) {
    m_pPainter->fillRect(QRect(x, y, std::max(cx, 0), std::max(cy, 0)), ToQColor(cr));
}

SPen CPainterCanvas::SelectPen(const SPen& pen) {
    const SPen old = m_State.m_Pen;
    m_State.m_Pen = pen;
    ApplyPen();
    return old;
}

SBrush CPainterCanvas::SelectBrush(const SBrush& brush) {
    const SBrush old = m_State.m_Brush;
    m_State.m_Brush = brush;
    if (brush.m_bNull)
        m_pPainter->setBrush(Qt::NoBrush);
    else
        m_pPainter->setBrush(QBrush(ToQColor(brush.m_crColor)));
    return old;
}

SFont CPainterCanvas::SelectFont(const SFont& font) {
    const SFont old = m_State.m_Font;
    if (!(font == m_State.m_Font)) {
        m_State.m_Font = font;
        ApplyFont();
        m_pPainter->setFont(m_QFont);
    }
    return old;
}

void CPainterCanvas::ApplyFont() {
    if (m_pTextCache == nullptr) {
        m_QFont = MapFont(m_State.m_Font);
        return;
    }
    const CTextCache::SFontEntry& entry = m_pTextCache->Font(m_State.m_Font);
    m_pFontEntry = &entry;
    m_QFont = entry.m_QFont;
}

void CPainterCanvas::SetTextCache(CTextCache* pCache) {
    m_pTextCache = pCache;
    m_pFontEntry = nullptr;
    if (pCache != nullptr)
        ApplyFont();
}

void CPainterCanvas::MoveTo(int x, int y) {
    m_State.m_ptCur = {x, y};
}

void CPainterCanvas::LineTo(int x, int y) {
    const SPoint pts[2] = {m_State.m_ptCur, {x, y}};
    Polyline(pts, 2);
}

void CPainterCanvas::Polyline(const SPoint* pts, int nCount) {
    if (nCount <= 0)
        return;
    m_State.m_ptCur = pts[nCount - 1];
    if (nCount == 1 || m_State.m_Pen.m_nStyle == SPen::Null)
        return;
    if (m_State.m_Pen.m_nStyle == SPen::Solid && m_bRaster) {
        // Images: traces and straight lines become at most one filled run per pixel column,
        // which costs the same for 1500 or 150000 points and is far cheaper than stroking.
        m_Spans.clear();
        if (RasterizeMonotonicPolyline(pts, nCount, m_State.m_Pen.m_nWidth, m_Spans)) {
            FillSpans(m_State.m_Pen.m_crColor);
            return;
        }
    }
    if (m_State.m_Pen.m_nStyle == SPen::Solid && m_State.m_Pen.m_nWidth > 1) {
        DrawWideSegments(pts, nCount);
        return;
    }
    if (m_State.m_Pen.m_nStyle == SPen::Dashed && m_bRaster && nCount == 2 &&
        DrawDashedAxisLine(pts[0], pts[1]))
        return;
    if (m_State.m_Pen.m_nStyle == SPen::Dashed) {
        m_PointBuf.resize(static_cast<size_t>(nCount));
        for (int i = 0; i < nCount; ++i)
            m_PointBuf[i] = QPoint(pts[i].x, pts[i].y);
        m_pPainter->drawPolyline(m_PointBuf.data(), nCount);
        return;
    }
    // One-pixel pen: every segment without its last pixel, as separate inclusive lines.
    m_Lines.clear();
    m_Dots.clear();
    for (int i = 1; i < nCount; ++i) {
        const SPoint a = pts[i - 1];
        const SPoint b = pts[i];
        const int64_t dx = int64_t{b.x} - a.x;
        const int64_t dy = int64_t{b.y} - a.y;
        const int64_t n = std::max(std::abs(dx), std::abs(dy)); // pixels along the major axis
        if (n == 0)
            continue;
        if (n == 1) {
            m_Dots.push_back(QPoint(a.x, a.y));
            continue;
        }
        // The pixel one step before b on the line: rounded position at step n - 1.
        const auto along = [n](int64_t d) {
            const int64_t num = d * (n - 1);
            return static_cast<int>((num >= 0 ? num + n / 2 : num - n / 2) / n);
        };
        m_Lines.push_back(QLine(a.x, a.y, a.x + along(dx), a.y + along(dy)));
    }
    if (!m_Lines.empty())
        m_pPainter->drawLines(m_Lines.data(), static_cast<int>(m_Lines.size()));
    if (!m_Dots.empty())
        m_pPainter->drawPoints(m_Dots.data(), static_cast<int>(m_Dots.size()));
}

void CPainterCanvas::FillSpans(COLORREF cr) {
    if (!m_bTargetKnown) {
        m_bTargetOk = m_bRaster && FindPixelTarget(*m_pPainter, m_Target);
        m_bTargetKnown = true;
    }
    if (!m_bTargetOk) {
        const QColor color = ToQColor(cr);
        for (const SColumnSpan& sp : m_Spans)
            m_pPainter->fillRect(QRect(sp.x, sp.y0, sp.cx, sp.y1 - sp.y0 + 1), color);
        return;
    }
    // Opaque colour: the pixel value is the same in all three formats.
    const uint32_t px = 0xFF000000u | ((cr & 0xFFu) << 16) | (cr & 0xFF00u) | ((cr >> 16) & 0xFFu);
    FillSpansDirect(m_Target, m_Spans, px);
}

bool CPainterCanvas::DrawDashedAxisLine(SPoint a, SPoint b) {
    if (a.x != b.x && a.y != b.y)
        return false;
    const int64_t nDash = std::max(m_State.m_Pen.m_nDash, 1);
    const int64_t nPeriod = nDash + std::max(m_State.m_Pen.m_nGap, 1);
    const int64_t dx = int64_t{b.x} - a.x;
    const int64_t dy = int64_t{b.y} - a.y;
    const int64_t nLength = std::abs(dx) + std::abs(dy);
    const int sx = (dx > 0) - (dx < 0);
    const int sy = (dy > 0) - (dy < 0);
    // A geometric pen's round cap reaches past the dash's end, so its end pixel is drawn, as the
    // painter strokes it; a one-pixel pen's dash is exactly nDash pixels.
    const int64_t nReach = m_State.m_Pen.m_nWidth > 1 ? nDash + 1 : nDash;
    m_Spans.clear();
    for (int64_t t0 = 0; t0 < nLength; t0 += nPeriod) {
        const int64_t t1 = std::min(t0 + nReach, nLength);
        const SPoint dash[2] = {{static_cast<int>(a.x + sx * t0), static_cast<int>(a.y + sy * t0)},
                                {static_cast<int>(a.x + sx * t1), static_cast<int>(a.y + sy * t1)}};
        if (!RasterizeMonotonicPolyline(dash, 2, m_State.m_Pen.m_nWidth, m_Spans))
            return false;
    }
    FillSpans(m_State.m_Pen.m_crColor);
    return true;
}

void CPainterCanvas::DrawWideSegments(const SPoint* pts, int nCount) {
    m_PointBuf.resize(static_cast<size_t>(nCount));
    for (int i = 0; i < nCount; ++i)
        m_PointBuf[i] = QPoint(pts[i].x, pts[i].y);
    m_pPainter->drawPolyline(m_PointBuf.data(), nCount);
}

void CPainterCanvas::Rectangle(int left, int top, int right, int bottom) {
    if (right <= left || bottom <= top)
        return;
    if (!m_State.m_Brush.m_bNull)
        m_pPainter->fillRect(ToQRect(left, top, right, bottom),
                             ToQColor(m_State.m_Brush.m_crColor));
    if (m_State.m_Pen.m_nStyle == SPen::Null)
        return;
    // The outline runs through the outermost pixels: right - 1 and bottom - 1.
    const QBrush oldBrush = m_pPainter->brush();
    m_pPainter->setBrush(Qt::NoBrush);
    m_pPainter->drawRect(QRect(left, top, right - left - 1, bottom - top - 1));
    m_pPainter->setBrush(oldBrush);
}

void CPainterCanvas::Polygon(const SPoint* pts, int nCount) {
    if (nCount < 2)
        return;
    m_PointBuf.resize(static_cast<size_t>(nCount));
    for (int i = 0; i < nCount; ++i)
        m_PointBuf[i] = QPoint(pts[i].x, pts[i].y);
    m_pPainter->drawPolygon(m_PointBuf.data(), nCount, Qt::OddEvenFill);
}

void CPainterCanvas::SetTextColor(COLORREF cr) {
    m_State.m_crText = cr;
}

void CPainterCanvas::SetBkTransparent() {
    m_pPainter->setBackgroundMode(Qt::TransparentMode);
}

ETextAlign CPainterCanvas::SetTextAlign(ETextAlign align) {
    const ETextAlign old = m_State.m_nAlign;
    m_State.m_nAlign = align;
    return old;
}

void CPainterCanvas::TextOut(int x, int y, const QByteArray& text) {
    if (m_pTextCache != nullptr) {
        const auto& font = *m_pFontEntry;
        const CTextCache::SText& t = m_pTextCache->Text(font, text);
        if (m_State.m_nAlign == TA_TopCenter)
            x -= t.m_nAdvance / 2;
        m_pPainter->setPen(ToQColor(m_State.m_crText));
        // The static text's top is its baseline less the font's ascent, as with drawText below.
        m_pPainter->drawStaticText(QPoint(x, y), t.m_Text);
        ApplyPen();
        return;
    }
    const QString str = QString::fromUtf8(text);
    const QFontMetrics fm = m_pPainter->fontMetrics();
    if (m_State.m_nAlign == TA_TopCenter)
        x -= fm.horizontalAdvance(str) / 2;
    m_pPainter->setPen(ToQColor(m_State.m_crText));
    m_pPainter->drawText(QPoint(x, y + fm.ascent()), str);
    ApplyPen();
}

void CPainterCanvas::DrawTextCentered(const SRect& rc, const QByteArray& text) {
    m_pPainter->setPen(ToQColor(m_State.m_crText));
    if (m_pTextCache != nullptr) {
        // Where the centred layout puts the line: its fractional width and height centred in
        // the rectangle.
        const auto& font = *m_pFontEntry;
        const CTextCache::SText& t = m_pTextCache->Text(font, text);
        const double x = rc.left + (rc.right - rc.left - t.m_dAdvance) / 2.0;
        const double y = rc.top + (rc.bottom - rc.top - font.m_dHeight) / 2.0;
        m_pPainter->drawStaticText(QPointF(x, y), t.m_Text);
        ApplyPen();
        return;
    }
    m_pPainter->drawText(QRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top),
                         Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip,
                         QString::fromUtf8(text));
    ApplyPen();
}

SSize CPainterCanvas::GetTextExtent(const QByteArray& text) {
    if (m_pTextCache != nullptr) {
        const auto& font = *m_pFontEntry;
        return {m_pTextCache->Text(font, text).m_nAdvance, font.m_nAscent + font.m_nDescent};
    }
    const QFontMetrics fm = m_pPainter->fontMetrics();
    return {fm.horizontalAdvance(QString::fromUtf8(text)), fm.ascent() + fm.descent()};
}

void CPainterCanvas::SaveState() {
    m_pPainter->save();
    m_SavedStates.push_back(m_State);
}

void CPainterCanvas::RestoreState() {
    if (m_SavedStates.empty())
        return; // unbalanced restore: keep the painter's own stack balanced too
    m_pPainter->restore();
    m_bTargetKnown = false;
    const SFont font = m_State.m_Font;
    m_State = m_SavedStates.back();
    m_SavedStates.pop_back();
    if (!(font == m_State.m_Font))
        ApplyFont();
}

void CPainterCanvas::IntersectClip(const SRect& rc) {
    const QRect qrc = ToQRect(rc.left, rc.top, rc.right, rc.bottom);
    m_pPainter->setClipRect(qrc, m_pPainter->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    m_bTargetKnown = false;
}

void CPainterCanvas::SetViewportOrg(int x, int y) {
    m_pPainter->setTransform(QTransform::fromTranslate(x, y) * m_BaseTransform);
    m_bTargetKnown = false;
}

SSize CPainterCanvas::GetPageSize() {
    return m_sizePage;
}
