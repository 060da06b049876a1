#pragma once

#include <QProxyStyle>

/// The program's widget style: Fusion with two corrections to look like the classic desktop
/// menus and lists. A checkable menu item shows a bare check mark when checked and nothing when
/// not (Fusion draws an empty box), and a drop-down list opens as a short scrolling list below
/// its box rather than over the screen. Installed once on the application; window thread.
class CKestStyle : public QProxyStyle {
    Q_OBJECT
public:
    CKestStyle();

    void drawPrimitive(PrimitiveElement pe, const QStyleOption* pOption, QPainter* pPainter,
                       const QWidget* pWidget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption* pOption = nullptr,
                  const QWidget* pWidget = nullptr,
                  QStyleHintReturn* pReturn = nullptr) const override;
};
