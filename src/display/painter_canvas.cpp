#include "display/painter_canvas.h"

#include "display/column_raster.h"

#include <QColor>
#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
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

} // namespace

CPainterCanvas::CPainterCanvas(QPainter* pPainter, int cxPage, int cyPage)
    : m_pPainter(pPainter), m_sizePage{cxPage, cyPage}, m_baseTransform(pPainter->transform()),
      m_bRaster(pPainter->device() != nullptr &&
                pPainter->device()->devType() == QInternal::Image) {
    // Pixels must not depend on the rasteriser's smoothing: same input, same image.
    m_pPainter->setRenderHint(QPainter::Antialiasing, false);
    m_pPainter->setRenderHint(QPainter::TextAntialiasing, false);
    m_pPainter->setBackgroundMode(Qt::TransparentMode);
    m_qfont = MakeFont(m_state.m_font);
    m_pPainter->setFont(m_qfont);
    m_pPainter->setBrush(QBrush(ToQColor(m_state.m_brush.m_crColor)));
    ApplyPen();
}

QFont CPainterCanvas::MakeFont(const SFont& font) {
    QFont qfont;
    // The named face first; where it is missing, a sans-serif face that also has Japanese glyphs,
    // since names and units may be Japanese.
    qfont.setFamilies({QString::fromUtf8(font.m_strFace), QStringLiteral("Noto Sans CJK JP"),
                       QStringLiteral("DejaVu Sans")});
    qfont.setStyleHint(QFont::SansSerif, QFont::NoAntialias);
    qfont.setStyleStrategy(QFont::NoAntialias);
    if (font.m_nHeight < 0) {
        // Character height without internal leading: the em size.
        qfont.setPixelSize(-font.m_nHeight);
    } else if (font.m_nHeight > 0) {
        // Cell height: scale the em so that ascent + descent comes out at the requested height.
        QFont probe = qfont;
        probe.setPixelSize(1000);
        const QFontMetricsF fm(probe);
        const double dCell = fm.ascent() + fm.descent();
        const int nPixel = dCell > 0 ? static_cast<int>(font.m_nHeight * 1000.0 / dCell) : 0;
        qfont.setPixelSize(std::max(nPixel, 1));
    } else {
        qfont.setPixelSize(12); // "default height"
    }
    return qfont;
}

void CPainterCanvas::ApplyPen() {
    const SPen& pen = m_state.m_pen;
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
    const SPen old = m_state.m_pen;
    m_state.m_pen = pen;
    ApplyPen();
    return old;
}

SBrush CPainterCanvas::SelectBrush(const SBrush& brush) {
    const SBrush old = m_state.m_brush;
    m_state.m_brush = brush;
    if (brush.m_bNull)
        m_pPainter->setBrush(Qt::NoBrush);
    else
        m_pPainter->setBrush(QBrush(ToQColor(brush.m_crColor)));
    return old;
}

SFont CPainterCanvas::SelectFont(const SFont& font) {
    const SFont old = m_state.m_font;
    if (!(font == m_state.m_font)) {
        m_state.m_font = font;
        m_qfont = MakeFont(font);
        m_pPainter->setFont(m_qfont);
    }
    return old;
}

void CPainterCanvas::MoveTo(int x, int y) {
    m_state.m_ptCur = {x, y};
}

void CPainterCanvas::LineTo(int x, int y) {
    const SPoint pts[2] = {m_state.m_ptCur, {x, y}};
    Polyline(pts, 2);
}

void CPainterCanvas::Polyline(const SPoint* pts, int nCount) {
    if (nCount <= 0)
        return;
    m_state.m_ptCur = pts[nCount - 1];
    if (nCount == 1 || m_state.m_pen.m_nStyle == SPen::Null)
        return;
    if (m_state.m_pen.m_nStyle == SPen::Solid && m_bRaster) {
        // Images: traces and straight lines become at most one filled run per pixel column,
        // which costs the same for 1500 or 150000 points and is far cheaper than stroking.
        m_spans.clear();
        if (RasterizeMonotonicPolyline(pts, nCount, m_state.m_pen.m_nWidth, m_spans)) {
            FillSpans(m_state.m_pen.m_crColor);
            return;
        }
    }
    if (m_state.m_pen.m_nStyle == SPen::Solid && m_state.m_pen.m_nWidth > 1) {
        DrawWideSegments(pts, nCount);
        return;
    }
    if (m_state.m_pen.m_nStyle == SPen::Dashed && m_bRaster && nCount == 2 &&
        DrawDashedAxisLine(pts[0], pts[1]))
        return;
    if (m_state.m_pen.m_nStyle == SPen::Dashed) {
        m_buf.resize(static_cast<size_t>(nCount));
        for (int i = 0; i < nCount; ++i)
            m_buf[i] = QPoint(pts[i].x, pts[i].y);
        m_pPainter->drawPolyline(m_buf.data(), nCount);
        return;
    }
    // One-pixel pen: every segment without its last pixel, as separate inclusive lines.
    m_lines.clear();
    m_points.clear();
    for (int i = 1; i < nCount; ++i) {
        const SPoint a = pts[i - 1];
        const SPoint b = pts[i];
        const int64_t dx = int64_t{b.x} - a.x;
        const int64_t dy = int64_t{b.y} - a.y;
        const int64_t n = std::max(std::abs(dx), std::abs(dy)); // pixels along the major axis
        if (n == 0)
            continue;
        if (n == 1) {
            m_points.push_back(QPoint(a.x, a.y));
            continue;
        }
        // The pixel one step before b on the line: rounded position at step n - 1.
        const auto along = [n](int64_t d) {
            const int64_t num = d * (n - 1);
            return static_cast<int>((num >= 0 ? num + n / 2 : num - n / 2) / n);
        };
        m_lines.push_back(QLine(a.x, a.y, a.x + along(dx), a.y + along(dy)));
    }
    if (!m_lines.empty())
        m_pPainter->drawLines(m_lines.data(), static_cast<int>(m_lines.size()));
    if (!m_points.empty())
        m_pPainter->drawPoints(m_points.data(), static_cast<int>(m_points.size()));
}

void CPainterCanvas::UpdateDirect() {
    m_direct = SDirect{};
    m_direct.m_bKnown = true;
    if (!m_bRaster)
        return;
    QImage* pImage = static_cast<QImage*>(m_pPainter->device());
    const QImage::Format fmt = pImage->format();
    if (fmt != QImage::Format_RGB32 && fmt != QImage::Format_ARGB32 &&
        fmt != QImage::Format_ARGB32_Premultiplied)
        return;
    if (m_pPainter->opacity() != 1.0 ||
        m_pPainter->compositionMode() != QPainter::CompositionMode_SourceOver)
        return;
    const QTransform tf = m_pPainter->combinedTransform();
    if (tf.type() > QTransform::TxTranslate || tf.dx() != std::trunc(tf.dx()) ||
        tf.dy() != std::trunc(tf.dy()) || std::abs(tf.dx()) > 1e6 || std::abs(tf.dy()) > 1e6)
        return;
    const int dx = static_cast<int>(tf.dx());
    const int dy = static_cast<int>(tf.dy());
    QRect rcClip = pImage->rect();
    if (m_pPainter->hasClipping()) {
        const QRegion region = m_pPainter->clipRegion();
        if (region.rectCount() > 1)
            return;
        rcClip &= region.boundingRect().translated(dx, dy);
    }
    m_direct.m_bOk = true;
    // bits() is the buffer the painter draws into: beginning to paint has already detached it.
    m_direct.m_pBits = pImage->bits();
    m_direct.m_nStride = pImage->bytesPerLine();
    m_direct.m_dx = dx;
    m_direct.m_dy = dy;
    m_direct.m_rcClip = rcClip;
}

namespace {

/// The image a direct fill writes to: its pixels, the device position of logical (0, 0) and the
/// clip in device pixels (right and bottom exclusive).
struct SPixelTarget {
    uchar* m_pBits;
    qsizetype m_nStride;
    int64_t m_dx, m_dy;
    int64_t m_nLeft, m_nRight, m_nTop, m_nBottom;
};

/// Fills nCount neighbouring one-pixel column spans row by row. Column by column every pixel
/// lies on another image row, i.e. another cache line and page; row by row over a block of
/// columns, the block's pixels of a row share one.
void FillColumnBlock(const SPixelTarget& t, const SColumnSpan* pSpans, size_t nCount, uint32_t px) {
    constexpr size_t kMaxBlock = 16;
    int64_t y0s[kMaxBlock], y1s[kMaxBlock], xs[kMaxBlock];
    size_t nCols = 0;
    int64_t yTop = t.m_nBottom, yEnd = t.m_nTop;
    for (size_t j = 0; j < nCount && j < kMaxBlock; ++j) {
        const SColumnSpan& c = pSpans[j];
        const int64_t x = int64_t{c.x} + t.m_dx;
        const int64_t y0 = std::max<int64_t>(int64_t{c.y0} + t.m_dy, t.m_nTop);
        const int64_t y1 = std::min<int64_t>(int64_t{c.y1} + 1 + t.m_dy, t.m_nBottom);
        if (x < t.m_nLeft || x >= t.m_nRight || y0 >= y1)
            continue;
        xs[nCols] = x;
        y0s[nCols] = y0;
        y1s[nCols] = y1;
        ++nCols;
        yTop = std::min(yTop, y0);
        yEnd = std::max(yEnd, y1);
    }
    for (int64_t y = yTop; y < yEnd; ++y) {
        uint32_t* pRow = reinterpret_cast<uint32_t*>(t.m_pBits + y * t.m_nStride);
        for (size_t j = 0; j < nCols; ++j) {
            if (y >= y0s[j] && y < y1s[j])
                pRow[xs[j]] = px;
        }
    }
}

/// Fills the part of one span within the clip.
void FillSpan(const SPixelTarget& t, const SColumnSpan& sp, uint32_t px) {
    const int64_t x0 = std::max<int64_t>(int64_t{sp.x} + t.m_dx, t.m_nLeft);
    const int64_t x1 = std::min<int64_t>(int64_t{sp.x} + sp.cx + t.m_dx, t.m_nRight);
    const int64_t y0 = std::max<int64_t>(int64_t{sp.y0} + t.m_dy, t.m_nTop);
    const int64_t y1 = std::min<int64_t>(int64_t{sp.y1} + 1 + t.m_dy, t.m_nBottom);
    if (x0 >= x1 || y0 >= y1)
        return;
    const qsizetype nStride = t.m_nStride;
    uchar* pRow = t.m_pBits + y0 * nStride + x0 * 4;
    const int64_t n = x1 - x0;
    if (n == 1) {
        // Trace columns: four rows a step keeps the loop's own work below the stores'.
        int64_t y = y0;
        for (; y + 4 <= y1; y += 4, pRow += 4 * nStride) {
            *reinterpret_cast<uint32_t*>(pRow) = px;
            *reinterpret_cast<uint32_t*>(pRow + nStride) = px;
            *reinterpret_cast<uint32_t*>(pRow + 2 * nStride) = px;
            *reinterpret_cast<uint32_t*>(pRow + 3 * nStride) = px;
        }
        for (; y < y1; ++y, pRow += nStride)
            *reinterpret_cast<uint32_t*>(pRow) = px;
    } else {
        for (int64_t y = y0; y < y1; ++y, pRow += nStride)
            std::fill_n(reinterpret_cast<uint32_t*>(pRow), n, px);
    }
}

} // namespace

void CPainterCanvas::FillSpans(COLORREF cr) {
    if (!m_direct.m_bKnown)
        UpdateDirect();
    if (!m_direct.m_bOk) {
        const QColor color = ToQColor(cr);
        for (const SColumnSpan& sp : m_spans)
            m_pPainter->fillRect(QRect(sp.x, sp.y0, sp.cx, sp.y1 - sp.y0 + 1), color);
        return;
    }
    // Opaque colour: the pixel value is the same in all three formats.
    const uint32_t px = 0xFF000000u | ((cr & 0xFFu) << 16) | (cr & 0xFF00u) | ((cr >> 16) & 0xFFu);
    const QRect& C = m_direct.m_rcClip;
    const SPixelTarget target{
        m_direct.m_pBits, m_direct.m_nStride,     m_direct.m_dx, m_direct.m_dy,
        C.left(),         int64_t{C.right()} + 1, C.top(),       int64_t{C.bottom()} + 1};
    const size_t nSpans = m_spans.size();
    for (size_t i = 0; i < nSpans; ++i) {
        // A noisy trace gives runs of neighbouring one-pixel columns, each nearly as tall as the
        // plot: blocks of those are filled row by row.
        constexpr size_t kBlock = 16;
        constexpr int64_t kTall = 24; // average column height from which rows pay off
        size_t nBlock = 0;
        int64_t nHeight = 0;
        while (nBlock < kBlock && i + nBlock < nSpans) {
            const SColumnSpan& c = m_spans[i + nBlock];
            if (c.cx != 1 || c.x != m_spans[i].x + static_cast<int>(nBlock))
                break;
            nHeight += int64_t{c.y1} - c.y0 + 1;
            ++nBlock;
        }
        if (nBlock >= 4 && nHeight >= kTall * static_cast<int64_t>(nBlock)) {
            FillColumnBlock(target, &m_spans[i], nBlock, px);
            i += nBlock - 1;
            continue;
        }
        FillSpan(target, m_spans[i], px);
    }
}

bool CPainterCanvas::DrawDashedAxisLine(SPoint a, SPoint b) {
    if (a.x != b.x && a.y != b.y)
        return false;
    const int64_t nDash = std::max(m_state.m_pen.m_nDash, 1);
    const int64_t nPeriod = nDash + std::max(m_state.m_pen.m_nGap, 1);
    const int64_t dx = int64_t{b.x} - a.x;
    const int64_t dy = int64_t{b.y} - a.y;
    const int64_t nLength = std::abs(dx) + std::abs(dy);
    const int sx = (dx > 0) - (dx < 0);
    const int sy = (dy > 0) - (dy < 0);
    // A geometric pen's round cap reaches past the dash's end, so its end pixel is drawn, as the
    // painter strokes it; a one-pixel pen's dash is exactly nDash pixels.
    const int64_t nReach = m_state.m_pen.m_nWidth > 1 ? nDash + 1 : nDash;
    m_spans.clear();
    for (int64_t t0 = 0; t0 < nLength; t0 += nPeriod) {
        const int64_t t1 = std::min(t0 + nReach, nLength);
        const SPoint dash[2] = {{static_cast<int>(a.x + sx * t0), static_cast<int>(a.y + sy * t0)},
                                {static_cast<int>(a.x + sx * t1), static_cast<int>(a.y + sy * t1)}};
        if (!RasterizeMonotonicPolyline(dash, 2, m_state.m_pen.m_nWidth, m_spans))
            return false;
    }
    FillSpans(m_state.m_pen.m_crColor);
    return true;
}

void CPainterCanvas::DrawWideSegments(const SPoint* pts, int nCount) {
    m_buf.resize(static_cast<size_t>(nCount));
    for (int i = 0; i < nCount; ++i)
        m_buf[i] = QPoint(pts[i].x, pts[i].y);
    m_pPainter->drawPolyline(m_buf.data(), nCount);
}

void CPainterCanvas::Rectangle(int left, int top, int right, int bottom) {
    if (right <= left || bottom <= top)
        return;
    if (!m_state.m_brush.m_bNull)
        m_pPainter->fillRect(ToQRect(left, top, right, bottom),
                             ToQColor(m_state.m_brush.m_crColor));
    if (m_state.m_pen.m_nStyle == SPen::Null)
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
    m_buf.resize(static_cast<size_t>(nCount));
    for (int i = 0; i < nCount; ++i)
        m_buf[i] = QPoint(pts[i].x, pts[i].y);
    m_pPainter->drawPolygon(m_buf.data(), nCount, Qt::OddEvenFill);
}

void CPainterCanvas::SetTextColor(COLORREF cr) {
    m_state.m_crText = cr;
}

void CPainterCanvas::SetBkTransparent() {
    m_pPainter->setBackgroundMode(Qt::TransparentMode);
}

ETextAlign CPainterCanvas::SetTextAlign(ETextAlign align) {
    const ETextAlign old = m_state.m_nAlign;
    m_state.m_nAlign = align;
    return old;
}

void CPainterCanvas::TextOut(int x, int y, const QByteArray& text) {
    const QString str = QString::fromUtf8(text);
    const QFontMetrics fm = m_pPainter->fontMetrics();
    if (m_state.m_nAlign == TA_TopCenter)
        x -= fm.horizontalAdvance(str) / 2;
    m_pPainter->setPen(ToQColor(m_state.m_crText));
    m_pPainter->drawText(QPoint(x, y + fm.ascent()), str);
    ApplyPen();
}

void CPainterCanvas::DrawTextCentered(const SRect& rc, const QByteArray& text) {
    m_pPainter->setPen(ToQColor(m_state.m_crText));
    m_pPainter->drawText(QRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top),
                         Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip,
                         QString::fromUtf8(text));
    ApplyPen();
}

SSize CPainterCanvas::GetTextExtent(const QByteArray& text) {
    const QFontMetrics fm = m_pPainter->fontMetrics();
    return {fm.horizontalAdvance(QString::fromUtf8(text)), fm.ascent() + fm.descent()};
}

void CPainterCanvas::SaveState() {
    m_pPainter->save();
    m_saved.push_back(m_state);
}

void CPainterCanvas::RestoreState() {
    if (m_saved.empty())
        return; // unbalanced restore: keep the painter's own stack balanced too
    m_pPainter->restore();
    m_direct.m_bKnown = false;
    const SFont font = m_state.m_font;
    m_state = m_saved.back();
    m_saved.pop_back();
    if (!(font == m_state.m_font))
        m_qfont = MakeFont(m_state.m_font);
}

void CPainterCanvas::IntersectClip(const SRect& rc) {
    const QRect qrc = ToQRect(rc.left, rc.top, rc.right, rc.bottom);
    m_pPainter->setClipRect(qrc, m_pPainter->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    m_direct.m_bKnown = false;
}

void CPainterCanvas::SetViewportOrg(int x, int y) {
    m_pPainter->setTransform(QTransform::fromTranslate(x, y) * m_baseTransform);
    m_direct.m_bKnown = false;
}

SSize CPainterCanvas::GetPageSize() {
    return m_sizePage;
}
