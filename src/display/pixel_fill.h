#pragma once

#include "display/column_raster.h"

#include <QtGlobal>
#include <cstdint>
#include <vector>

class QPainter;

/// The 32-bit image a direct fill writes to: its pixels, the device position of logical (0, 0)
/// and the clip in device pixels (right and bottom exclusive).
struct SPixelTarget {
    uchar* m_pBits = nullptr;
    qsizetype m_nStride = 0;
    int64_t m_dx = 0;
    int64_t m_dy = 0;
    int64_t m_nLeft = 0;
    int64_t m_nRight = 0;
    int64_t m_nTop = 0;
    int64_t m_nBottom = 0;
};

/// Where opaque fills may bypass the painter: a 32-bit image drawn with plain source-over at full
/// opacity, a whole-pixel translation and a clip that is one rectangle. False (target unchanged)
/// when the painter must draw them itself.
bool FindPixelTarget(const QPainter& painter, SPixelTarget& target);

/// Fills the spans with one opaque pixel value straight into the target's pixels, cut by its
/// clip: the same pixels the painter would fill for them.
void FillSpansDirect(const SPixelTarget& target, const std::vector<SColumnSpan>& spans,
                     uint32_t nPixel);
