#include "display/print_page.h"

#include "display/graph.h"
#include "display/painter_canvas.h"

#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QRect>

bool PrintGraphPage(QPagedPaintDevice& device, CGraph& graph) {
    // A page layout's margins move the painter's origin in from the printable area's corner;
    // the box is placed from that corner, so the margins are only what the device cannot print.
    const QPageLayout layout = device.pageLayout();
    device.setPageMargins(layout.minimumMargins(), layout.units());
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const QRect rcPaper = device.pageLayout().fullRectPixels(device.logicalDpiX());
    CPainterCanvas canvas(&painter, rcPaper.width(), rcPaper.height());
    graph.DrawPrintPage(canvas);
    return painter.end();
}
