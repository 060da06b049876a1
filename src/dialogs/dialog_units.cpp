#include "dialogs/dialog_units.h"

#include <QDialog>
#include <QFontMetrics>
#include <QList>
#include <QWidget>

QFont KestDialogFont() {
    QFont font;
    // Listed in order of preference; the first one present with Japanese glyphs wins.
    font.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                      QStringLiteral("IPAexGothic"), QStringLiteral("IPAGothic"),
                      QStringLiteral("VL PGothic"), QStringLiteral("TakaoPGothic")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(9);
    return font;
}

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int nWidth = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The average letter width rounded to a whole pixel: a template's x unit is a quarter of it.
    m_nBaseX = (nWidth / 26 + 1) / 2;
    m_nBaseY = fm.height();
    if (m_nBaseX < 1)
        m_nBaseX = 1;
    if (m_nBaseY < 1)
        m_nBaseY = 1;
}

CDialogUnits::CDialogUnits(int nBaseX, int nBaseY) : m_nBaseX(nBaseX), m_nBaseY(nBaseY) {}

QRect CDialogUnits::ToPixels(int x, int y, int cx, int cy) const {
    const int left = ToPixelX(x);
    const int top = ToPixelY(y);
    // Convert both edges, so adjacent controls in the template stay adjacent in pixels.
    return QRect(left, top, ToPixelX(x + cx) - left, ToPixelY(y + cy) - top);
}

CDialogUnits SetUpDialogTemplate(QDialog* pDlg, const QString& strCaption, int cx, int cy) {
    pDlg->setFont(KestDialogFont());
    pDlg->setWindowTitle(strCaption);
    pDlg->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    pDlg->setWindowModality(Qt::ApplicationModal);
    pDlg->setModal(true);
    const CDialogUnits du(pDlg->font());
    pDlg->setFixedSize(du.ToPixels(cx, cy));
    return du;
}

void PlaceControl(const CDialogUnits& du, QWidget* pWidget, int x, int y, int cx, int cy) {
    pWidget->setGeometry(du.ToPixels(x, y, cx, cy));
}

void SetTemplateTabOrder(QDialog* pDlg) {
    QWidget* pPrev = nullptr;
    const QList<QWidget*> children = pDlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* pChild : children) {
        if (!(pChild->focusPolicy() & Qt::TabFocus))
            continue;
        if (pPrev != nullptr)
            QWidget::setTabOrder(pPrev, pChild);
        pPrev = pChild;
    }
}
