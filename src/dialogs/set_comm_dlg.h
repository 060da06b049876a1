#pragma once

#include "dialogs/settings_dlg.h"
#include <QString>

#include <functional>

class QComboBox;

/// Modal dialog editing the serial line settings; created by the view's command on the window
/// thread, which fills the five members before exec() and reads them back after OK.
class CSetCommDlg : public CSettingsDlg {
    Q_OBJECT
public:
    explicit CSetCommDlg(QWidget* pParent = nullptr);

    /// Runs once, when the dialog is first shown: fills the lists and selects the values.
    void OnInitDialog() override;
    /// Reads the five lists into the members and closes with OK; never refuses.
    void OnOK() override;

    int m_nPort = 1;     ///< 1 for COM1
    int m_nBaudRate = 0; ///< bit/s
    int m_nByteSize = 0; ///< data bits
    int m_nStopBits = 0; ///< 0 one, 1 one and a half, 2 two
    int m_nParity = 0;   ///< 0 none, 1 odd, 2 even

    /// Optional: names the device a COM number stands for; shown as the port item's tooltip.
    std::function<QString(int)> m_fnDeviceForPort;

    QComboBox* m_pComboPort = nullptr;     ///< IDC_COMBO_PORT
    QComboBox* m_pComboBaud = nullptr;     ///< IDC_COMBO_BAUD
    QComboBox* m_pComboByteSize = nullptr; ///< IDC_COMBO_BYTESIZE
    QComboBox* m_pComboParity = nullptr;   ///< IDC_COMBO_PARITY
    QComboBox* m_pComboStopBits = nullptr; ///< IDC_COMBO_STOPBITS
};
