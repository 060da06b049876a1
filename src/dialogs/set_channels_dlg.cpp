#include "set_channels_dlg.h"

#include "dialog_text.h"
#include "dialog_units.h"
#include "up_down_ctrl.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <algorithm>

CSetChannelsDlg::CSetChannelsDlg(QWidget* pParent) : QDialog(pParent) {
    setObjectName(QStringLiteral("IDD_SET_CHANNELS"));
    const CDialogUnits du =
        SetUpDialogTemplate(this, QStringLiteral("チャンネル数の設定"), 186, 47);

    m_pOkButton = new QPushButton(QStringLiteral("OK"), this);
    m_pOkButton->setObjectName(QStringLiteral("IDOK"));
    m_pOkButton->setDefault(true);
    PlaceControl(du, m_pOkButton, 128, 7, 50, 14);

    m_pCancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    m_pCancelButton->setObjectName(QStringLiteral("IDCANCEL"));
    PlaceControl(du, m_pCancelButton, 128, 24, 50, 14);

    m_pLabel = new QLabel(QStringLiteral("チャンネル数"), this);
    m_pLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    PlaceControl(du, m_pLabel, 12, 12, 54, 12);

    m_pEditChannels = new QLineEdit(this);
    m_pEditChannels->setObjectName(QStringLiteral("IDC_EDIT_CHANNELS"));
    m_pEditChannels->setReadOnly(true);
    m_pEditChannels->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    PlaceControl(du, m_pEditChannels, 66, 12, 24, 12);

    m_pSpinChannels = new CUpDownCtrl(this);
    m_pSpinChannels->setObjectName(QStringLiteral("IDC_SPIN_CHANNELS"));
    m_pSpinChannels->SetBuddy(m_pEditChannels);
    PlaceControl(du, m_pSpinChannels, 90, 12, 11, 12);

    SetTemplateTabOrder(this);
    connect(m_pOkButton, &QPushButton::clicked, this, &CSetChannelsDlg::OnOK);
    connect(m_pCancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void CSetChannelsDlg::setVisible(bool bVisible) {
    if (bVisible && !m_bInitCalled) {
        m_bInitCalled = true;
        OnInitDialog();
    }
    QDialog::setVisible(bVisible);
}

void CSetChannelsDlg::OnInitDialog() {
    m_bInitCalled = true;
    m_nChannels = std::clamp(m_nChannels, 1, 8);
    m_pSpinChannels->SetRange(1, 8);
    m_pEditChannels->setText(QString::number(m_nChannels));
    m_pOkButton->setFocus();
}

void CSetChannelsDlg::OnOK() {
    m_nChannels = TextToInt(m_pEditChannels->text());
    accept();
}
