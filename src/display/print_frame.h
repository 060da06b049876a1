#pragma once

#include "display/canvas.h"

/// Where the printed graph sits on a page: a 1.6 : 1 box filling 80 % of the page in its
/// limiting direction, centred. All values in the page's device units.
struct SPrintFrame {
    int m_x = 0;
    int m_y = 0;
    int m_cx = 0;
    int m_cy = 0;
    bool operator==(const SPrintFrame&) const = default;
};

/// The graph's box on a physical page of cxPage x cyPage device units (integer arithmetic as
/// the printout has always used: 80 % truncated, then the long side cut to 1.6 times the short).
SPrintFrame CalcPrintFrame(int cxPage, int cyPage);

/// Size of the picture a metafile export draws, in device units of the reference surface.
inline constexpr SSize kMetafileSize{1600, 1000};
