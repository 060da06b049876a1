#include "display/canvas.h"

void CCanvas::Polyline(const SPoint* pts, int nCount) {
    if (nCount <= 0)
        return;
    MoveTo(pts[0].x, pts[0].y);
    for (int i = 1; i < nCount; ++i)
        LineTo(pts[i].x, pts[i].y);
}
