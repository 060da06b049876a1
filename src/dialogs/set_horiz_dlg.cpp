#include "dialogs/set_horiz_dlg.h"

#include "dialogs/dialog_text.h"
#include "dialogs/dialog_units.h"
#include "dialogs/kest_message_box.h"
#include "dialogs/string_table.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

CSetHorizDlg::CSetHorizDlg(QWidget* pParent)
    : CSettingsDlg(pParent, "IDD_SET_HORIZ", QStringLiteral("横軸の設定"), 186, 47) {
    const CDialogUnits& du = m_Du;
    AddOkCancel(129, 7, 24);

    m_pEditHoriz = new QLineEdit(this);
    m_pEditHoriz->setObjectName(QStringLiteral("IDC_EDIT_HORIZ"));
    m_pEditHoriz->setValidator(NewDigitsValidator());
    PlaceControl(du, m_pEditHoriz, 12, 12, 42, 12);

    auto* pUnit = new QLabel(QStringLiteral("サンプル/div"), this);
    pUnit->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    PlaceControl(du, pUnit, 60, 12, 54, 12);

    auto* pRange = new QLabel(QStringLiteral("(1..10000)"), this);
    pRange->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PlaceControl(du, pRange, 60, 24, 54, 8);

    SetTemplateTabOrder(this);
}

void CSetHorizDlg::OnInitDialog() {
    m_pEditHoriz->setText(QString::number(std::clamp(m_nSamplesPerDiv, 1, 10000)));
    m_pOkButton->setFocus();
}

void CSetHorizDlg::OnOK() {
    const uint32_t v = TextToUnsigned(m_pEditHoriz->text());
    if (v < 1 || v > 10000) {
        KestMessageBox(this, IDS_ERR_RANGE);
        return;
    }
    m_nSamplesPerDiv = static_cast<int>(v);
    accept();
}
