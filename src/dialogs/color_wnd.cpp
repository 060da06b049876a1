#include "dialogs/color_wnd.h"

#include <QPainter>

QColor ColorFromColorref(COLORREF cr) {
    return QColor(static_cast<int>(cr & 0xFF), static_cast<int>((cr >> 8) & 0xFF),
                  static_cast<int>((cr >> 16) & 0xFF));
}

COLORREF ColorrefFromColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return static_cast<COLORREF>(rgb.red()) | (static_cast<COLORREF>(rgb.green()) << 8) |
           (static_cast<COLORREF>(rgb.blue()) << 16);
}

CColorWnd::CColorWnd(QWidget* pParent) : QFrame(pParent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
}

void CColorWnd::SetColor(COLORREF crColor) {
    m_crColor = crColor;
    update();
}

void CColorWnd::paintEvent(QPaintEvent* pEvent) {
    QFrame::paintEvent(pEvent); // the sunken edge
    QPainter painter(this);
    // Only the inside of the edge is the colour.
    painter.fillRect(contentsRect(), ColorFromColorref(m_crColor));
}
