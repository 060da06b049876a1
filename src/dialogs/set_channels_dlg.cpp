#include "dialogs/set_channels_dlg.h"

#include "acquisition/log_store.h"
#include "dialogs/dialog_text.h"
#include "dialogs/dialog_units.h"
#include "dialogs/up_down_ctrl.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CSetChannelsDlg::CSetChannelsDlg(QWidget* pParent)
    : CSettingsDlg(pParent, "IDD_SET_CHANNELS", QStringLiteral("チャンネル数の設定"), 186, 47) {
    const CDialogUnits& du = m_Du;
    AddOkCancel(128, 7, 24);

    m_pLabel = new QLabel(QStringLiteral("チャンネル数"), this);
    m_pLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    PlaceControl(du, m_pLabel, 12, 12, 54, 12);

    m_pEditChannels = new QLineEdit(this);
    m_pEditChannels->setObjectName(QStringLiteral("IDC_EDIT_CHANNELS"));
    m_pEditChannels->setReadOnly(true);
    m_pEditChannels->setValidator(NewDigitsValidator());
    PlaceControl(du, m_pEditChannels, 66, 12, 24, 12);

    m_pSpinChannels = new CUpDownCtrl(this);
    m_pSpinChannels->setObjectName(QStringLiteral("IDC_SPIN_CHANNELS"));
    m_pSpinChannels->SetBuddy(m_pEditChannels);
    PlaceControl(du, m_pSpinChannels, 90, 12, 11, 12);

    SetTemplateTabOrder(this);
}

void CSetChannelsDlg::OnInitDialog() {
    m_nChannels = CLogStore::ClampChannelCount(m_nChannels);
    m_pSpinChannels->SetRange(1, CLogStore::kMaxChannels);
    m_pEditChannels->setText(QString::number(m_nChannels));
    m_pOkButton->setFocus();
}

void CSetChannelsDlg::OnOK() {
    m_nChannels = TextToInt(m_pEditChannels->text());
    accept();
}
