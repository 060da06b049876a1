#pragma once

#include "dialogs/settings_dlg.h"

class QLabel;
class QLineEdit;
class CUpDownCtrl;

/// Modal dialog choosing the channel count 1..8; created by the view's command on the window
/// thread, which fills m_nChannels before exec() and reads it back after OK.
class CSetChannelsDlg : public CSettingsDlg {
    Q_OBJECT
public:
    explicit CSetChannelsDlg(QWidget* pParent = nullptr);

    /// Runs once, when the dialog is first shown: clamps m_nChannels and fills the edit.
    void OnInitDialog() override;
    /// Reads the edit into m_nChannels (no range check) and closes with OK.
    void OnOK() override;

    int m_nChannels = 8;

    QLabel* m_pLabel = nullptr;
    QLineEdit* m_pEditChannels = nullptr;   ///< IDC_EDIT_CHANNELS
    CUpDownCtrl* m_pSpinChannels = nullptr; ///< IDC_SPIN_CHANNELS
};
