#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class QDialog;
class QWidget;

/// The font every settings dialog uses: a Japanese-capable sans-serif at the size that takes the
/// place of the 8-point shell dialog font.
QFont KestDialogFont();

/// Converts template coordinates (dialog units) to pixels through one font's metrics, so a
/// dialog keeps its template's proportions whatever the font and screen; plain value type.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);
    /// Base units given directly (width of an average character, height of the font).
    CDialogUnits(int nBaseX, int nBaseY);

    int ToPixelX(int x) const { return x * m_nBaseX / 4; }
    int ToPixelY(int y) const { return y * m_nBaseY / 8; }
    QRect ToPixels(int x, int y, int cx, int cy) const;
    QSize ToPixels(int cx, int cy) const { return QSize(ToPixelX(cx), ToPixelY(cy)); }

    int m_nBaseX = 0;
    int m_nBaseY = 0;
};

/// Prepares a dialog from its template: dialog font, caption, fixed client size in dialog
/// units, application-modal, title bar with only the close button. Returns the converter for
/// placing its controls.
CDialogUnits SetUpDialogTemplate(QDialog* pDlg, const QString& strCaption, int cx, int cy);

/// Places a child at a template rectangle.
void PlaceControl(const CDialogUnits& du, QWidget* pWidget, int x, int y, int cx, int cy);

/// Gives the dialog's focusable children the tab order in which they were created, which is the
/// template order.
void SetTemplateTabOrder(QDialog* pDlg);
