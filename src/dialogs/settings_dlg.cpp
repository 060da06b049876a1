#include "dialogs/settings_dlg.h"

#include <QPushButton>
#include <QRegularExpressionValidator>

CSettingsDlg::CSettingsDlg(QWidget* pParent, const char* pszId, const QString& strCaption, int cx,
                           int cy)
    : QDialog(pParent), m_Du(SetUpDialogTemplate(this, strCaption, cx, cy)) {
    setObjectName(QString::fromLatin1(pszId));
}

void CSettingsDlg::setVisible(bool bVisible) {
    if (bVisible && !m_bInitCalled) {
        m_bInitCalled = true;
        OnInitDialog();
    }
    QDialog::setVisible(bVisible);
}

void CSettingsDlg::AddOkCancel(int x, int yOk, int yCancel, int cx) {
    m_pOkButton = new QPushButton(QStringLiteral("OK"), this);
    m_pOkButton->setObjectName(QStringLiteral("IDOK"));
    m_pOkButton->setDefault(true);
    PlaceControl(m_Du, m_pOkButton, x, yOk, cx, 14);

    m_pCancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    m_pCancelButton->setObjectName(QStringLiteral("IDCANCEL"));
    PlaceControl(m_Du, m_pCancelButton, x, yCancel, cx, 14);

    connect(m_pOkButton, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(m_pCancelButton, &QPushButton::clicked, this, [this] { reject(); });
}

QValidator* CSettingsDlg::NewDigitsValidator() {
    return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
}
