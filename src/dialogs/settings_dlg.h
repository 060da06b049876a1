#pragma once

#include "dialogs/dialog_units.h"

#include <QDialog>

class QPushButton;
class QValidator;

/// Base of the four settings dialogs: the template's caption and size in dialog units, OK and
/// Cancel placed from the template, OnInitDialog run once before the first showing, and the
/// digits-only edits. Created by the view's commands on the window thread.
class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    /// Runs once, when the dialog is first shown: puts the members into the controls.
    virtual void OnInitDialog() = 0;
    /// The OK button: takes the controls into the members and accepts, or stays open.
    virtual void OnOK() = 0;

    void setVisible(bool bVisible) override;

    QPushButton* m_pOkButton = nullptr;
    QPushButton* m_pCancelButton = nullptr;

protected:
    /// pszId names the template (the dialog's object name); cx x cy is its size in dialog units.
    CSettingsDlg(QWidget* pParent, const char* pszId, const QString& strCaption, int cx, int cy);

    /// Creates OK (the default button) at template column x, row yOk and Cancel below it at
    /// yCancel, both cx x 14 units, wired to OnOK and reject. Called where the template lists them,
    /// since the creation order is the tab order.
    void AddOkCancel(int x, int yOk, int yCancel, int cx = 50);
    /// A validator that lets only decimal digits into an edit (the template's number style).
    QValidator* NewDigitsValidator();

    const CDialogUnits m_Du; ///< the template's dialog units in this dialog's font
    bool m_bInitCalled = false;
};
