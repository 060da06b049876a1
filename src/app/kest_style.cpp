#include "app/kest_style.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOption>

CKestStyle::CKestStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void CKestStyle::drawPrimitive(PrimitiveElement pe, const QStyleOption* pOption, QPainter* pPainter,
                               const QWidget* pWidget) const {
    // Fusion draws a menu item's check state as a check box; a menu shows only the mark.
    if (pe == PE_IndicatorCheckBox && qobject_cast<const QMenu*>(pWidget) != nullptr) {
        if (!(pOption->state & State_On))
            return;
        const QPalette::ColorGroup group =
            (pOption->state & State_Enabled) ? QPalette::Active : QPalette::Disabled;
        const QPalette::ColorRole role =
            (pOption->state & State_Selected) ? QPalette::HighlightedText : QPalette::Text;
        const QRectF rc = QRectF(pOption->rect).adjusted(1.5, 1.5, -1.5, -1.5);
        QPainterPath mark;
        mark.moveTo(rc.left(), rc.top() + rc.height() * 0.55);
        mark.lineTo(rc.left() + rc.width() * 0.38, rc.bottom() - rc.height() * 0.08);
        mark.lineTo(rc.right(), rc.top() + rc.height() * 0.12);
        pPainter->save();
        pPainter->setRenderHint(QPainter::Antialiasing, true);
        pPainter->setBrush(Qt::NoBrush);
        pPainter->setPen(QPen(pOption->palette.color(group, role), qMax(1.5, rc.width() / 7.0),
                              Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        pPainter->drawPath(mark);
        pPainter->restore();
        return;
    }
    QProxyStyle::drawPrimitive(pe, pOption, pPainter, pWidget);
}

int CKestStyle::styleHint(StyleHint hint, const QStyleOption* pOption, const QWidget* pWidget,
                          QStyleHintReturn* pReturn) const {
    // Off: the list drops down below the box and scrolls after its visible item count, as the
    // dialog templates size it.
    if (hint == SH_ComboBox_Popup)
        return 0;
    return QProxyStyle::styleHint(hint, pOption, pWidget, pReturn);
}
