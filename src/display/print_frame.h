#pragma once

/// Where the printed graph sits on a page: a 1.6 : 1 box filling 80 % of the page in its
/// limiting direction, centred. All values in the page's device units.
struct SPrintFrame {
    int m_x = 0;
    int m_y = 0;
    int m_cx = 0;
    int m_cy = 0;
    bool operator==(const SPrintFrame&) const = default;
};

/// The graph's box on a physical page of cxPage x cyPage device units, in integers: 80 % of each
/// side truncated, then the longer side cut to 1.6 times the shorter, centred on the page.
SPrintFrame CalcPrintFrame(int cxPage, int cyPage);
