#pragma once

#include "dialogs/settings_dlg.h"

class QLineEdit;

/// Modal dialog editing the samples per horizontal division (1..10000); created by the view's
/// command on the window thread, which fills m_nSamplesPerDiv before exec() and reads it after OK.
class CSetHorizDlg : public CSettingsDlg {
    Q_OBJECT
public:
    explicit CSetHorizDlg(QWidget* pParent = nullptr);

    /// Runs once, when the dialog is first shown: shows m_nSamplesPerDiv limited to 1..10000.
    void OnInitDialog() override;
    /// Accepts 1..10000 into m_nSamplesPerDiv; anything else is refused with a message.
    void OnOK() override;

    int m_nSamplesPerDiv = 100;

    QLineEdit* m_pEditHoriz = nullptr; ///< IDC_EDIT_HORIZ
};
