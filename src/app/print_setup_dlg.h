#pragma once

#include "settings/printer_setup.h"

#include <QDialog>

class QButtonGroup;
class QComboBox;
class QRadioButton;

/// The print setup dialog: printer, paper size and orientation, ending with OK or Cancel. Works
/// on its own copies (m_strPrinter, m_Setup); the caller takes them back after OK. Window thread.
class CPrintSetupDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPrintSetupDlg(QWidget* pParent = nullptr);

    /// Fills the controls from m_strPrinter and m_Setup; called by exec().
    void OnInitDialog();
    int exec() override;
    void accept() override;

    QString m_strPrinter;  ///< queue name
    SPrinterSetup m_Setup; ///< names of m_strPrinter, orientation and paper codes

    QComboBox* m_pPrinterCombo = nullptr;
    QComboBox* m_pPaperCombo = nullptr;
    QRadioButton* m_pPortrait = nullptr;
    QRadioButton* m_pLandscape = nullptr;

private:
    /// Lists the paper sizes of the printer chosen in the combo box, keeping nPaper selected
    /// when the printer offers it.
    void FillPaperSizes(int nPaper);
};
