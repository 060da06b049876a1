#pragma once

#include "settings/channel_attr.h"

#include "dialogs/settings_dlg.h"
#include <QString>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class CColorWnd;
class CUpDownCtrl;

/// The sixteen custom colours of the colour dialog, kept for one run of the program by its
/// owner (the view) and shared by every colour dialog it opens; they start out white.
struct SCustomColors {
    SCustomColors() { m_crColors.fill(0x00FFFFFF); }
    std::array<COLORREF, 16> m_crColors;
};

/// Modal dialog editing the display attributes of the eight channels, one channel at a time,
/// on working copies; created by the view's command on the window thread, which fills
/// m_nChannels, m_nCurChannel and m_Attr before exec() and reads them back after OK.
class CSetInputDataDlg : public CSettingsDlg {
    Q_OBJECT
public:
    explicit CSetInputDataDlg(QWidget* pParent = nullptr);

    /// Runs once, when the dialog is first shown.
    void OnInitDialog() override;
    /// Fills the controls from m_Attr[m_nCurChannel].
    void ShowChannel();
    /// Validates the fields and stores them into m_Attr[m_nCurChannel]; false (after a
    /// message) when a field is invalid, and then nothing is stored.
    bool StoreChannel();
    /// Switches to the channel the selector now shows, unless the shown one cannot be stored.
    void OnChannelChange();
    /// Lets the user pick the swatch colour in the colour dialog.
    void OnColorButton();
    /// Stores the shown channel and closes with OK, or stays open.
    void OnOK() override;

    int m_nChannels = 0;
    SChannelAttr m_Attr[8];
    int m_nCurChannel = 0;
    bool m_bInitDone = false;
    /// Custom colours to open the colour dialog with and to keep its changes in; the dialog's
    /// own white set when none is given.
    SCustomColors* m_pCustomColors = nullptr;

    CColorWnd* m_pColorWnd = nullptr; ///< m_wndColor, IDC_COLOR
    QLineEdit* m_pEditChannel = nullptr;
    CUpDownCtrl* m_pSpinChannel = nullptr;
    QLineEdit* m_pEditName = nullptr;
    QLineEdit* m_pEditVDiv = nullptr;
    QLineEdit* m_pEditUnit = nullptr;
    QLineEdit* m_pEditOffset = nullptr;
    QLineEdit* m_pEditMultiplier = nullptr;
    QLineEdit* m_pEditAddend = nullptr;
    QLineEdit* m_pEditPos = nullptr;
    QPushButton* m_pColorButton = nullptr;

    /// Cancel, Esc and the close box: the working copies go back to what was handed in.
    void reject() override;

private:
    QLabel* AddLabel(const QString& text, int x, int y, int cx, int cy, Qt::Alignment align);
    QLineEdit* AddEdit(const char* pszId, int x, int y, int cx, int cy);

    SChannelAttr m_AttrHandedIn[8];
    int m_nCurChannelHandedIn = 0;
    SCustomColors m_OwnCustomColors;
    // Texts ShowChannel put into the name and unit edits: a field the user left as it was keeps
    // its bytes, whatever code page they came in.
    QString m_strShownName;
    QString m_strShownUnit;
};
