#include "app/print_setup_dlg.h"

#include "app/printer_selection.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPageSize>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CPrintSetupDlg::CPrintSetupDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("プリンタの設定"));
    auto* pLayout = new QVBoxLayout(this);

    auto* pPrinterBox = new QGroupBox(QStringLiteral("プリンタ"), this);
    auto* pPrinterForm = new QFormLayout(pPrinterBox);
    m_pPrinterCombo = new QComboBox(pPrinterBox);
    m_pPrinterCombo->setMinimumContentsLength(24);
    pPrinterForm->addRow(QStringLiteral("プリンタ名(&N):"), m_pPrinterCombo);
    pLayout->addWidget(pPrinterBox);

    auto* pRow = new QHBoxLayout;
    auto* pPaperBox = new QGroupBox(QStringLiteral("用紙"), this);
    auto* pPaperForm = new QFormLayout(pPaperBox);
    m_pPaperCombo = new QComboBox(pPaperBox);
    pPaperForm->addRow(QStringLiteral("サイズ(&Z):"), m_pPaperCombo);
    pRow->addWidget(pPaperBox, 1);

    auto* pOrientBox = new QGroupBox(QStringLiteral("印刷の向き"), this);
    auto* pOrientLayout = new QVBoxLayout(pOrientBox);
    m_pPortrait = new QRadioButton(QStringLiteral("縦(&O)"), pOrientBox);
    m_pLandscape = new QRadioButton(QStringLiteral("横(&A)"), pOrientBox);
    pOrientLayout->addWidget(m_pPortrait);
    pOrientLayout->addWidget(m_pLandscape);
    pRow->addWidget(pOrientBox);
    pLayout->addLayout(pRow);

    auto* pButtons = new QDialogButtonBox(this);
    pButtons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    pButtons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pButtons);

    connect(m_pPrinterCombo, &QComboBox::currentIndexChanged, this,
            [this] { FillPaperSizes(m_pPaperCombo->currentData().toInt()); });
}

int CPrintSetupDlg::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void CPrintSetupDlg::OnInitDialog() {
    {
        const QSignalBlocker block(m_pPrinterCombo);
        m_pPrinterCombo->clear();
        m_pPrinterCombo->addItems(QPrinterInfo::availablePrinterNames());
        m_pPrinterCombo->setCurrentIndex(m_pPrinterCombo->findText(m_strPrinter));
    }
    FillPaperSizes(m_Setup.m_nPaperSize);
    (m_Setup.m_nOrientation == DMORIENT_LANDSCAPE ? m_pLandscape : m_pPortrait)->setChecked(true);
}

void CPrintSetupDlg::FillPaperSizes(int nPaper) {
    m_pPaperCombo->clear();
    const QPrinterInfo info = QPrinterInfo::printerInfo(m_pPrinterCombo->currentText());
    for (const QPageSize& size : info.supportedPageSizes()) {
        // Only sizes with a code can be remembered in the profile.
        if (size.windowsId() > 0 && m_pPaperCombo->findData(size.windowsId()) < 0)
            m_pPaperCombo->addItem(size.name(), size.windowsId());
    }
    int nIndex = m_pPaperCombo->findData(nPaper);
    if (nIndex < 0)
        nIndex = m_pPaperCombo->findData(info.defaultPageSize().windowsId());
    m_pPaperCombo->setCurrentIndex(std::max(nIndex, 0));
}

void CPrintSetupDlg::accept() {
    if (m_pPrinterCombo->currentIndex() >= 0) {
        m_strPrinter = m_pPrinterCombo->currentText();
        const SPrinterSetup names = CPrinterSelection::NamesForQueue(m_strPrinter);
        m_Setup.m_strDriver = names.m_strDriver;
        m_Setup.m_strDevice = names.m_strDevice;
        m_Setup.m_strOutput = names.m_strOutput;
    }
    if (m_pPaperCombo->currentIndex() >= 0)
        m_Setup.m_nPaperSize = static_cast<int16_t>(m_pPaperCombo->currentData().toInt());
    m_Setup.m_nOrientation = m_pLandscape->isChecked() ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    QDialog::accept();
}
