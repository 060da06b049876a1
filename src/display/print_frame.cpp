#include "display/print_frame.h"

#include <cstdint>

namespace {
constexpr double kAspect = 1.6;
} // namespace

SPrintFrame CalcPrintFrame(int cxPage, int cyPage) {
    SPrintFrame frame;
    int w = static_cast<int>(int64_t{cxPage} * 8 / 10);
    int h = static_cast<int>(int64_t{cyPage} * 8 / 10);
    if (w > 0 && h > 0) {
        const double r = static_cast<double>(w) / h;
        if (r > kAspect)
            w = static_cast<int>(h * kAspect);
        else if (r < kAspect)
            h = static_cast<int>(w / kAspect);
    }
    frame.m_cx = w;
    frame.m_cy = h;
    frame.m_x = (cxPage - w) / 2;
    frame.m_y = (cyPage - h) / 2;
    return frame;
}
