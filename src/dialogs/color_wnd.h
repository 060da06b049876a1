#pragma once

#include "settings/channel_attr.h"

#include <QColor>
#include <QFrame>

/// QColor of a 0x00BBGGRR value.
QColor ColorFromColorref(COLORREF cr);
/// 0x00BBGGRR value of a QColor (alpha dropped).
COLORREF ColorrefFromColor(const QColor& color);

/// Colour swatch in the channel attributes dialog: a sunken frame filled with one colour.
class CColorWnd : public QFrame {
    Q_OBJECT
public:
    explicit CColorWnd(QWidget* pParent = nullptr);

    /// Stores the colour and repaints the whole swatch.
    void SetColor(COLORREF crColor);

    COLORREF m_crColor = 0;

protected:
    void paintEvent(QPaintEvent* pEvent) override;
};
