#include "dialogs/set_input_data_dlg.h"

#include "dialogs/color_wnd.h"
#include "dialogs/dialog_text.h"
#include "dialogs/dialog_units.h"
#include "dialogs/kest_message_box.h"
#include "dialogs/string_table.h"
#include "dialogs/up_down_ctrl.h"

#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <iterator>
#include <cmath>

CSetInputDataDlg::CSetInputDataDlg(QWidget* pParent)
    : CSettingsDlg(pParent, "IDD_SET_INPUTDATA", QStringLiteral("チャンネルの属性"), 232, 125) {
    const CDialogUnits& du = m_Du;
    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;

    AddLabel(QStringLiteral("設定チャンネル"), 12, 6, 54, 12, left);
    m_pEditChannel = AddEdit("IDC_EDIT_CHANNEL", 66, 6, 24, 12);
    m_pEditChannel->setReadOnly(true);
    m_pEditChannel->setValidator(NewDigitsValidator());
    m_pSpinChannel = new CUpDownCtrl(this);
    m_pSpinChannel->setObjectName(QStringLiteral("IDC_SPIN_CHANNEL"));
    m_pSpinChannel->SetBuddy(m_pEditChannel);
    PlaceControl(du, m_pSpinChannel, 90, 6, 11, 12);

    AddLabel(QStringLiteral("名前"), 12, 24, 54, 12, left);
    m_pEditName = AddEdit("IDC_EDIT_NAME", 66, 24, 42, 12);
    AddLabel(QStringLiteral("縦軸値/div"), 126, 24, 54, 12, left);
    m_pEditVDiv = AddEdit("IDC_EDIT_VDIV", 180, 24, 42, 12);
    AddLabel(QStringLiteral("単位"), 12, 42, 54, 12, left);
    m_pEditUnit = AddEdit("IDC_EDIT_UNIT", 66, 42, 42, 12);
    AddLabel(QStringLiteral("オフセット"), 126, 42, 54, 12, left);
    m_pEditOffset = AddEdit("IDC_EDIT_OFFSET", 180, 42, 42, 12);
    AddLabel(QStringLiteral("グラフ表示値 = 入力値 x "), 6, 66, 96, 12,
             Qt::AlignRight | Qt::AlignVCenter);
    m_pEditMultiplier = AddEdit("IDC_EDIT_MULTIPLIER", 102, 66, 42, 12);
    AddLabel(QStringLiteral("+"), 144, 66, 12, 12, Qt::AlignHCenter | Qt::AlignVCenter);
    m_pEditAddend = AddEdit("IDC_EDIT_ADDEND", 156, 66, 42, 12);
    AddLabel(QStringLiteral("垂直表示位置(0..1000)"), 6, 90, 90, 12, left);
    m_pEditPos = AddEdit("IDC_EDIT_POS", 96, 90, 42, 12);
    m_pEditPos->setValidator(NewDigitsValidator());
    AddLabel(QStringLiteral("線色"), 6, 108, 30, 12, left);

    m_pColorWnd = new CColorWnd(this);
    m_pColorWnd->setObjectName(QStringLiteral("IDC_COLOR"));
    PlaceControl(du, m_pColorWnd, 60, 108, 41, 12);

    m_pColorButton = new QPushButton(QStringLiteral("色の選択..."), this);
    m_pColorButton->setObjectName(QStringLiteral("IDC_BUTTON_COLOR"));
    PlaceControl(du, m_pColorButton, 108, 108, 50, 14);

    AddOkCancel(180, 90, 108, 48);

    SetTemplateTabOrder(this);
    connect(m_pEditChannel, &QLineEdit::textChanged, this, &CSetInputDataDlg::OnChannelChange);
    connect(m_pColorButton, &QPushButton::clicked, this, &CSetInputDataDlg::OnColorButton);
}

QLabel* CSetInputDataDlg::AddLabel(const QString& text, int x, int y, int cx, int cy,
                                   Qt::Alignment align) {
    auto* pLabel = new QLabel(text, this);
    pLabel->setAlignment(align);
    PlaceControl(CDialogUnits(font()), pLabel, x, y, cx, cy);
    return pLabel;
}

QLineEdit* CSetInputDataDlg::AddEdit(const char* pszId, int x, int y, int cx, int cy) {
    auto* pEdit = new QLineEdit(this);
    pEdit->setObjectName(QString::fromLatin1(pszId));
    PlaceControl(CDialogUnits(font()), pEdit, x, y, cx, cy);
    return pEdit;
}

void CSetInputDataDlg::OnInitDialog() {
    std::copy(std::begin(m_Attr), std::end(m_Attr), std::begin(m_AttrHandedIn));
    m_nCurChannelHandedIn = m_nCurChannel;
    m_nChannels = std::clamp(m_nChannels, 1, 8);
    m_pSpinChannel->SetRange(1, m_nChannels);
    // Not clamped to the count: a channel beyond it can still be opened and edited.
    m_pEditChannel->setText(QString::number(static_cast<unsigned>(m_nCurChannel + 1)));
    ShowChannel();
    m_bInitDone = true;
    m_pEditChannel->setFocus();
}

void CSetInputDataDlg::ShowChannel() {
    const SChannelAttr& attr = m_Attr[std::clamp(m_nCurChannel, 0, 7)];
    m_pEditVDiv->setText(FormatGText(attr.m_dVRes));
    m_pEditOffset->setText(FormatGText(attr.m_dOffset));
    m_pEditMultiplier->setText(FormatGText(attr.m_dMultiplier));
    m_pEditAddend->setText(FormatGText(attr.m_dAddend));
    m_strShownName = QString::fromUtf8(attr.m_strName);
    m_pEditName->setText(m_strShownName);
    m_strShownUnit = QString::fromUtf8(attr.m_strUnit);
    m_pEditUnit->setText(m_strShownUnit);
    m_pEditPos->setText(QString::number(attr.m_nPos));
    // Setting a text leaves the cursor at its end, which scrolls a long name or unit out of
    // sight at the front; every field shows its beginning instead.
    for (QLineEdit* pEdit : {m_pEditVDiv, m_pEditOffset, m_pEditMultiplier, m_pEditAddend,
                             m_pEditName, m_pEditUnit, m_pEditPos})
        pEdit->setCursorPosition(0);
    m_pColorWnd->SetColor(attr.m_crColor);
}

bool CSetInputDataDlg::StoreChannel() {
    const double dVRes = TextToDouble(m_pEditVDiv->text());
    // An overflowing entry would make every trace vanish or turn into NaN; refuse it as well.
    if (!(dVRes > 0.0) || !std::isfinite(dVRes)) {
        KestMessageBox(this, IDS_ERR_VDIV);
        return false;
    }
    const double dMultiplier = TextToDouble(m_pEditMultiplier->text());
    if (dMultiplier == 0.0 || !std::isfinite(dMultiplier)) {
        KestMessageBox(this, IDS_ERR_MULTIPLIER);
        return false;
    }
    const uint32_t nPos = TextToUnsigned(m_pEditPos->text());
    if (nPos > 1000) {
        KestMessageBox(this, IDS_ERR_POS);
        return false;
    }
    SChannelAttr& attr = m_Attr[std::clamp(m_nCurChannel, 0, 7)];
    attr.m_dVRes = dVRes;
    attr.m_dMultiplier = dMultiplier;
    attr.m_nPos = static_cast<int32_t>(nPos);
    attr.m_dAddend = TextToDouble(m_pEditAddend->text());
    attr.m_dOffset = TextToDouble(m_pEditOffset->text());
    if (m_pEditUnit->text() != m_strShownUnit) {
        attr.m_strUnit = m_pEditUnit->text().toUtf8();
        m_strShownUnit = m_pEditUnit->text();
    }
    if (m_pEditName->text() != m_strShownName) {
        attr.m_strName = m_pEditName->text().toUtf8();
        m_strShownName = m_pEditName->text();
    }
    attr.m_crColor = m_pColorWnd->m_crColor;
    return true;
}

void CSetInputDataDlg::OnChannelChange() {
    if (!m_bInitDone)
        return;
    const int n = TextToInt(m_pEditChannel->text());
    if (n - 1 == m_nCurChannel)
        return;
    if (StoreChannel()) {
        m_nCurChannel = n - 1;
        ShowChannel();
    } else {
        m_pEditChannel->setText(QString::number(m_nCurChannel + 1));
    }
}

void CSetInputDataDlg::OnColorButton() {
    SCustomColors& custom = m_pCustomColors ? *m_pCustomColors : m_OwnCustomColors;
    // Qt keeps one process-wide set; load ours into it for this dialog and take it back after.
    for (int i = 0; i < 16; ++i)
        QColorDialog::setCustomColor(i, ColorFromColorref(custom.m_crColors[i]));
    QColorDialog dlg(ColorFromColorref(m_pColorWnd->m_crColor), this);
    dlg.setObjectName(QStringLiteral("ColorDialog"));
    dlg.setOption(QColorDialog::DontUseNativeDialog);
    const int nResult = dlg.exec();
    for (int i = 0; i < 16; ++i)
        custom.m_crColors[i] = ColorrefFromColor(QColorDialog::customColor(i));
    if (nResult == QDialog::Accepted)
        m_pColorWnd->SetColor(ColorrefFromColor(dlg.selectedColor()));
}

void CSetInputDataDlg::reject() {
    if (m_bInitCalled) {
        std::copy(std::begin(m_AttrHandedIn), std::end(m_AttrHandedIn), std::begin(m_Attr));
        m_nCurChannel = m_nCurChannelHandedIn;
    }
    QDialog::reject();
}

void CSetInputDataDlg::OnOK() {
    if (StoreChannel())
        accept();
    else
        m_pEditChannel->setText(QString::number(m_nCurChannel + 1));
}
