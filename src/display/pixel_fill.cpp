#include "display/pixel_fill.h"

#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdlib>
#include <cstring>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

bool FindPixelTarget(const QPainter& painter, SPixelTarget& target) {
    // The device the engine draws on: the image itself, or a widget's backing store image when
    // the painter was begun on a widget.
    QPaintEngine* pEngine = painter.paintEngine();
    QPaintDevice* pDevice = pEngine != nullptr ? pEngine->paintDevice() : nullptr;
    if (pDevice == nullptr || pDevice->devType() != QInternal::Image)
        return false;
    QImage* pImage = static_cast<QImage*>(pDevice);
    const QImage::Format fmt = pImage->format();
    if (fmt != QImage::Format_RGB32 && fmt != QImage::Format_ARGB32 &&
        fmt != QImage::Format_ARGB32_Premultiplied)
        return false;
    if (painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return false;
    // The device transform holds the widget's place in its window's backing store as well.
    const QTransform tf = painter.deviceTransform();
    if (tf.type() > QTransform::TxTranslate || tf.dx() != std::trunc(tf.dx()) ||
        tf.dy() != std::trunc(tf.dy()) || std::abs(tf.dx()) > 1e6 || std::abs(tf.dy()) > 1e6)
        return false;
    const int dx = static_cast<int>(tf.dx());
    const int dy = static_cast<int>(tf.dy());
    QRect rcClip = pImage->rect();
    // A widget's paint is limited to its region to repaint, in device pixels.
    const QRegion system = pEngine->systemClip();
    if (!system.isEmpty()) {
        if (system.rectCount() > 1)
            return false;
        rcClip &= system.boundingRect();
    }
    if (painter.hasClipping()) {
        const QRegion region = painter.clipRegion();
        if (region.rectCount() > 1)
            return false;
        rcClip &= region.boundingRect().translated(dx, dy);
    }
    // bits() is the buffer the painter draws into: beginning to paint has already detached it.
    target.m_pBits = pImage->bits();
    target.m_nStride = pImage->bytesPerLine();
    target.m_dx = dx;
    target.m_dy = dy;
    target.m_nLeft = rcClip.left();
    target.m_nRight = int64_t{rcClip.right()} + 1;
    target.m_nTop = rcClip.top();
    target.m_nBottom = int64_t{rcClip.bottom()} + 1;
    return true;
}

namespace {

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
    } else if (n <= 4) {
        // Two to four columns side by side, as a wide pen's steep strokes give them: whole rows
        // in one or two stores, where a general fill would pay its set-up on every row.
        const uint64_t px2 = (uint64_t{px} << 32) | px;
        for (int64_t y = y0; y < y1; ++y, pRow += nStride) {
            std::memcpy(pRow, &px2, 8);
            if (n == 3)
                std::memcpy(pRow + 8, &px, 4);
            else if (n == 4)
                std::memcpy(pRow + 8, &px2, 8);
        }
    } else {
        for (int64_t y = y0; y < y1; ++y, pRow += nStride)
            std::fill_n(reinterpret_cast<uint32_t*>(pRow), n, px);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
/// FillColumnBlock for up to 16 neighbouring one-pixel columns, a row of the block per step with
/// two eight-pixel stores: a pixel is changed exactly when its column's rows hold it, as in the
/// plain version.
__attribute__((target("avx2"))) void
FillColumnBlockAvx2(const SPixelTarget& t, const SColumnSpan* pSpans, size_t nCount, uint32_t px) {
    alignas(32) int32_t los[16];
    alignas(32) int32_t his[16];
    int64_t yTop = t.m_nBottom, yEnd = t.m_nTop;
    const int64_t x0 = int64_t{pSpans[0].x} + t.m_dx;
    for (size_t j = 0; j < 16; ++j) {
        los[j] = INT32_MAX;
        his[j] = INT32_MIN;
        if (j >= nCount)
            continue;
        const SColumnSpan& c = pSpans[j];
        const int64_t x = x0 + static_cast<int64_t>(j);
        const int64_t y0 = std::max<int64_t>(int64_t{c.y0} + t.m_dy, t.m_nTop);
        const int64_t y1 = std::min<int64_t>(int64_t{c.y1} + 1 + t.m_dy, t.m_nBottom);
        if (x < t.m_nLeft || x >= t.m_nRight || y0 >= y1)
            continue;
        // Within the clip, hence within the image and 32 bits.
        los[j] = static_cast<int32_t>(y0);
        his[j] = static_cast<int32_t>(y1 - 1);
        yTop = std::min(yTop, y0);
        yEnd = std::max(yEnd, y1);
    }
    const __m256i lo0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(los));
    const __m256i lo1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(los + 8));
    const __m256i hi0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(his));
    const __m256i hi1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(his + 8));
    const __m256i value = _mm256_set1_epi32(static_cast<int>(px));
    const __m256i ones = _mm256_set1_epi32(-1);
    // All sixteen pixels lie within the image's row (its padding included).
    const bool bInRow = x0 >= 0 && x0 + 16 <= t.m_nStride / 4;
    for (int64_t y = yTop; y < yEnd; ++y) {
        const __m256i vy = _mm256_set1_epi32(static_cast<int>(y));
        // Lanes with lo <= y <= hi.
        const __m256i m0 = _mm256_andnot_si256(
            _mm256_or_si256(_mm256_cmpgt_epi32(lo0, vy), _mm256_cmpgt_epi32(vy, hi0)), ones);
        const __m256i m1 = _mm256_andnot_si256(
            _mm256_or_si256(_mm256_cmpgt_epi32(lo1, vy), _mm256_cmpgt_epi32(vy, hi1)), ones);
        int* pRow = reinterpret_cast<int*>(t.m_pBits + y * t.m_nStride) + x0;
        if (bInRow) {
            // Masked stores are slow on some processors; a blend writes the other pixels back
            // unchanged, which nobody can tell from leaving them.
            __m256i* p0 = reinterpret_cast<__m256i*>(pRow);
            __m256i* p1 = reinterpret_cast<__m256i*>(pRow + 8);
            _mm256_storeu_si256(p0, _mm256_blendv_epi8(_mm256_loadu_si256(p0), value, m0));
            _mm256_storeu_si256(p1, _mm256_blendv_epi8(_mm256_loadu_si256(p1), value, m1));
        } else {
            _mm256_maskstore_epi32(pRow, m0, value);
            _mm256_maskstore_epi32(pRow + 8, m1, value);
        }
    }
}

bool HaveAvx2() {
    static const bool s_bAvx2 = __builtin_cpu_supports("avx2");
    return s_bAvx2;
}
#endif

} // namespace

void FillSpansDirect(const SPixelTarget& target, const std::vector<SColumnSpan>& spans,
                     uint32_t nPixel) {
    const size_t nSpans = spans.size();
#if defined(__x86_64__) && defined(__GNUC__)
    const bool bWide = HaveAvx2();
#endif
    for (size_t i = 0; i < nSpans; ++i) {
        // A noisy trace gives runs of neighbouring one-pixel columns, each nearly as tall as the
        // plot: blocks of those are filled row by row.
        constexpr size_t kBlock = 16;
        constexpr int64_t kTall = 24; // average column height from which plain rows pay off
        size_t nBlock = 0;
        int64_t nHeight = 0;
        int64_t yLo = spans[i].y0;
        int64_t yHi = spans[i].y1;
        while (nBlock < kBlock && i + nBlock < nSpans) {
            const SColumnSpan& c = spans[i + nBlock];
            if (c.cx != 1 || c.x != spans[i].x + static_cast<int>(nBlock))
                break;
            nHeight += int64_t{c.y1} - c.y0 + 1;
            yLo = std::min<int64_t>(yLo, c.y0);
            yHi = std::max<int64_t>(yHi, c.y1);
            ++nBlock;
        }
#if defined(__x86_64__) && defined(__GNUC__)
        // A row of sixteen costs about what one pixel of a column does: rows pay where the
        // block's rows together are not many more than its pixels.
        if (bWide && nBlock >= 4 && (yHi - yLo + 1) * 2 <= nHeight) {
            FillColumnBlockAvx2(target, &spans[i], nBlock, nPixel);
            i += nBlock - 1;
            continue;
        }
#endif
        if (nBlock >= 4 && nHeight >= kTall * static_cast<int64_t>(nBlock)) {
            FillColumnBlock(target, &spans[i], nBlock, nPixel);
            i += nBlock - 1;
            continue;
        }
        FillSpan(target, spans[i], nPixel);
    }
}
