#include "dialogs/set_comm_dlg.h"

#include "acquisition/comm_setting.h"
#include "dialogs/dialog_text.h"
#include "dialogs/dialog_units.h"
#include "dialogs/string_table.h"

#include <QComboBox>

#include <algorithm>

namespace {

constexpr int g_nBaudRates[] = {300,   600,   1200,  2400,   4800,  9600,
                                19200, 38400, 57600, 115200, 128000};
constexpr int g_nByteSizes[] = {6, 7, 8};

struct SCodeItem {
    int m_nStringId;
    int m_nCode;
};
// The lists' order is not their codes' order: the value always comes from these tables.
constexpr SCodeItem g_ParityItems[] = {
    {IDS_PARITY_NONE, 0}, {IDS_PARITY_EVEN, 2}, {IDS_PARITY_ODD, 1}};
constexpr SCodeItem g_StopBitItems[] = {
    {IDS_STOPBITS_1, 0}, {IDS_STOPBITS_15, 1}, {IDS_STOPBITS_2, 2}};

constexpr int kMinBaudRate = 300;
constexpr int kMaxBaudRate = 3200000;
constexpr int kClosedHeight = 13; // dialog units of a combo box without its list

QComboBox* AddCombo(QDialog* pDlg, const CDialogUnits& du, const char* pszId, int x, int y, int cx,
                    int cyWithList) {
    auto* pCombo = new QComboBox(pDlg);
    pCombo->setObjectName(QString::fromLatin1(pszId));
    PlaceControl(du, pCombo, x, y, cx, kClosedHeight);
    // The template's height includes the drop-down list; about 8 units per item.
    pCombo->setMaxVisibleItems(std::max(1, (cyWithList - kClosedHeight) / 8));
    return pCombo;
}

int FindData(const QComboBox* pCombo, int nValue) {
    return pCombo->findData(nValue);
}

int SelectedData(const QComboBox* pCombo, int nFallback) {
    const QVariant v = pCombo->currentData();
    return v.isValid() ? v.toInt() : nFallback;
}

} // namespace

CSetCommDlg::CSetCommDlg(QWidget* pParent)
    : CSettingsDlg(pParent, "IDD_SET_COMM", QStringLiteral("COMポートの設定"), 160, 101) {
    const CDialogUnits& du = m_Du;

    m_pComboPort = AddCombo(this, du, "IDC_COMBO_PORT", 12, 6, 78, 88);
    m_pComboBaud = AddCombo(this, du, "IDC_COMBO_BAUD", 12, 24, 78, 70);
    m_pComboBaud->setEditable(true);
    // Typed text is taken as it stands: no completion, and Enter never adds an item.
    m_pComboBaud->setInsertPolicy(QComboBox::NoInsert);
    m_pComboBaud->setCompleter(nullptr);
    m_pComboByteSize = AddCombo(this, du, "IDC_COMBO_BYTESIZE", 12, 42, 78, 59);
    m_pComboParity = AddCombo(this, du, "IDC_COMBO_PARITY", 12, 60, 78, 48);
    m_pComboStopBits = AddCombo(this, du, "IDC_COMBO_STOPBITS", 12, 78, 78, 48);

    AddOkCancel(102, 6, 24);

    SetTemplateTabOrder(this);
}

void CSetCommDlg::OnInitDialog() {
    m_pComboPort->clear();
    for (int nPort = SCommSetting::kMinPort; nPort <= SCommSetting::kMaxPort; ++nPort) {
        m_pComboPort->addItem(QStringLiteral("COM%1").arg(nPort), nPort);
        if (m_fnDeviceForPort)
            m_pComboPort->setItemData(m_pComboPort->count() - 1, m_fnDeviceForPort(nPort),
                                      Qt::ToolTipRole);
    }
    const bool bKnown = m_nPort >= SCommSetting::kMinPort && m_nPort <= SCommSetting::kMaxPort;
    m_pComboPort->setCurrentIndex(bKnown ? m_nPort - SCommSetting::kMinPort : 0);

    m_pComboBaud->clear();
    for (int nRate : g_nBaudRates)
        m_pComboBaud->addItem(QStringLiteral("%1bps").arg(nRate), nRate);
    const int nBaudIndex = FindData(m_pComboBaud, m_nBaudRate);
    m_pComboBaud->setCurrentIndex(nBaudIndex);
    if (nBaudIndex < 0)
        m_pComboBaud->setEditText(QStringLiteral("%1bps").arg(m_nBaudRate));

    m_pComboByteSize->clear();
    for (int nSize : g_nByteSizes)
        m_pComboByteSize->addItem(QStringLiteral("%1bit").arg(nSize), nSize);
    m_pComboByteSize->setCurrentIndex(std::max(0, FindData(m_pComboByteSize, m_nByteSize)));

    m_pComboParity->clear();
    for (const SCodeItem& item : g_ParityItems)
        m_pComboParity->addItem(LoadKestString(item.m_nStringId), item.m_nCode);
    const int nParityIndex = FindData(m_pComboParity, m_nParity);
    m_pComboParity->setCurrentIndex(nParityIndex >= 0 ? nParityIndex : 2);

    m_pComboStopBits->clear();
    for (const SCodeItem& item : g_StopBitItems)
        m_pComboStopBits->addItem(LoadKestString(item.m_nStringId), item.m_nCode);
    const int nStopIndex = FindData(m_pComboStopBits, m_nStopBits);
    m_pComboStopBits->setCurrentIndex(nStopIndex >= 0 ? nStopIndex : 2);

    m_pComboPort->setFocus();
}

void CSetCommDlg::OnOK() {
    m_nPort = std::max(0, m_pComboPort->currentIndex()) + 1;
    m_nBaudRate = std::clamp(TextToInt(m_pComboBaud->currentText()), kMinBaudRate, kMaxBaudRate);
    m_nByteSize = SelectedData(m_pComboByteSize, g_nByteSizes[0]);
    m_nParity = SelectedData(m_pComboParity, g_ParityItems[2].m_nCode);
    m_nStopBits = SelectedData(m_pComboStopBits, g_StopBitItems[2].m_nCode);
    accept();
}
