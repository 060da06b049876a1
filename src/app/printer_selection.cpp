#include "app/printer_selection.h"

#include "settings/profile.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <cups/cups.h>

namespace {
const char kDriverName[] = "CUPS";
} // namespace

CPrinterSelection::CPrinterSelection() = default;
CPrinterSelection::~CPrinterSelection() = default;

SPrinterSetup CPrinterSelection::NamesForQueue(const QString& strQueue) {
    SPrinterSetup names;
    names.m_strDriver = kDriverName;
    names.m_strDevice = strQueue.toUtf8();
    // The device URI tells two queues of the same name on different machines apart.
    if (cups_dest_t* pDest =
            cupsGetNamedDest(CUPS_HTTP_DEFAULT, names.m_strDevice.constData(), nullptr)) {
        if (const char* pszUri = cupsGetOption("device-uri", pDest->num_options, pDest->options))
            names.m_strOutput = pszUri;
        cupsFreeDests(1, pDest);
    }
    return names;
}

void CPrinterSelection::SelectQueue(const QString& strQueue) {
    m_pPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m_pPrinter->setPrinterName(strQueue);
}

bool CPrinterSelection::UpdatePrinterSelection() {
    const QString strDefault = QPrinterInfo::defaultPrinterName();
    if (!m_pPrinter) {
        if (strDefault.isEmpty())
            return false;
        SelectQueue(strDefault);
        m_strFromDefault = strDefault;
        return true;
    }
    if (!m_strFromDefault.isEmpty() && m_pPrinter->printerName() == m_strFromDefault &&
        !strDefault.isEmpty() && strDefault != m_strFromDefault) {
        SelectQueue(strDefault);
        m_strFromDefault = strDefault;
    }
    return true;
}

void CPrinterSelection::RestorePrinterSetup(const CProfile& profile) {
    const bool bHadSelection = m_pPrinter != nullptr;
    if (!UpdatePrinterSelection() || bHadSelection)
        return;
    SPrinterSetup sel = GetSetup();
    if (ApplyRememberedSetup(LoadPrinterSetup(profile), sel))
        ApplyCodes(sel);
}

void CPrinterSelection::SavePrinterSetup(CProfile& profile) const {
    if (!m_pPrinter)
        return;
    ::SavePrinterSetup(profile, GetSetup());
}

void CPrinterSelection::SetSelection(const QString& strPrinterName, const SPrinterSetup& setup) {
    if (!m_pPrinter || m_pPrinter->printerName() != strPrinterName) {
        SelectQueue(strPrinterName);
        m_strFromDefault.clear();
    }
    ApplyCodes(setup);
}

SPrinterSetup CPrinterSelection::GetSetup() const {
    if (!m_pPrinter)
        return {};
    SPrinterSetup setup = NamesForQueue(m_pPrinter->printerName());
    setup.m_nOrientation = m_pPrinter->pageLayout().orientation() == QPageLayout::Landscape
                               ? DMORIENT_LANDSCAPE
                               : DMORIENT_PORTRAIT;
    setup.m_nPaperSize = static_cast<int16_t>(m_pPrinter->pageLayout().pageSize().windowsId());
    return setup;
}

void CPrinterSelection::ApplyCodes(const SPrinterSetup& setup) {
    if (!m_pPrinter)
        return;
    if (setup.m_nOrientation == DMORIENT_LANDSCAPE)
        m_pPrinter->setPageOrientation(QPageLayout::Landscape);
    else if (setup.m_nOrientation == DMORIENT_PORTRAIT)
        m_pPrinter->setPageOrientation(QPageLayout::Portrait);
    if (setup.m_nPaperSize != 0) {
        const QPageSize::PageSizeId nId = QPageSize::id(setup.m_nPaperSize);
        if (nId != QPageSize::Custom)
            m_pPrinter->setPageSize(QPageSize(nId));
    }
}

namespace {

/// Qt's print dialog names its page-size list so (in its form file), and the dialog that holds
/// it has this class.
const char kPaperCombo[] = "pageSizeCombo";
const char kPropertiesDialog[] = "QPrintPropertiesDialog";

/// Keeps the paper of one print dialog's printer (see KeepPaperInPrintDialog). A child of the
/// dialog; window thread.
class CDialogPaper : public QObject {
public:
    explicit CDialogPaper(QPrintDialog& dlg)
        : QObject(&dlg), m_Dialog(dlg), m_Paper(dlg.printer()->pageLayout().pageSize()) {
        // The properties are made only when first shown (or when the dialog is accepted).
        qApp->installEventFilter(this);
        // Accepting applies the properties' paper to the printer first, then says so.
        connect(&dlg, &QDialog::accepted, this, &CDialogPaper::PutPaperBack);
    }
    ~CDialogPaper() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::Show &&
            qstrcmp(pObject->metaObject()->className(), kPropertiesDialog) == 0 &&
            m_Dialog.isAncestorOf(static_cast<QWidget*>(pObject)))
            OnPropertiesShown(static_cast<QDialog*>(pObject));
        return false;
    }

private:
    /// The properties open on the queue's default paper: show the settled one, and settle on
    /// what they are accepted with.
    void OnPropertiesShown(QDialog* pProps) {
        auto* pCombo = pProps->findChild<QComboBox*>(QLatin1String(kPaperCombo));
        if (!pCombo)
            return;
        for (int i = 0; i < pCombo->count(); ++i) {
            const QVariant data = pCombo->itemData(i);
            if (data.canConvert<QPageSize>() && data.value<QPageSize>().isEquivalentTo(m_Paper)) {
                pCombo->setCurrentIndex(i);
                break;
            }
        }
        if (pProps->property("kestPaperKept").toBool())
            return;
        pProps->setProperty("kestPaperKept", true);
        connect(pProps, &QDialog::accepted, this, [this, pCombo] {
            const QVariant data = pCombo->currentData();
            if (data.canConvert<QPageSize>() && data.value<QPageSize>().isValid())
                m_Paper = data.value<QPageSize>();
        });
    }

    /// The printer prints on the settled paper, where the chosen printer has it.
    void PutPaperBack() {
        QPrinter* pPrinter = m_Dialog.printer();
        if (!pPrinter || !m_Paper.isValid() ||
            pPrinter->pageLayout().pageSize().isEquivalentTo(m_Paper))
            return;
        for (const QPageSize& size : QPrinterInfo(*pPrinter).supportedPageSizes()) {
            if (size.isEquivalentTo(m_Paper)) {
                pPrinter->setPageSize(size);
                return;
            }
        }
    }

    QPrintDialog& m_Dialog;
    /// The paper the user has settled on so far: the selection's, then that of each accepted
    /// properties dialog.
    QPageSize m_Paper;
};

} // namespace

void KeepPaperInPrintDialog(QPrintDialog& dlg) {
    if (dlg.printer())
        new CDialogPaper(dlg); // owned by the dialog
}

CPreviewDialogWatch::CPreviewDialogWatch(std::function<void()> fnPageSetupAccepted)
    : m_fnPageSetupAccepted(std::move(fnPageSetupAccepted)) {
    qApp->installEventFilter(this);
}

CPreviewDialogWatch::~CPreviewDialogWatch() {
    qApp->removeEventFilter(this);
}

bool CPreviewDialogWatch::eventFilter(QObject* pObject, QEvent* pEvent) {
    if (pEvent->type() != QEvent::Show || pObject->property("kestWatched").toBool())
        return false;
    if (auto* pPrint = qobject_cast<QPrintDialog*>(pObject)) {
        pPrint->setProperty("kestWatched", true);
        KeepPaperInPrintDialog(*pPrint);
    } else if (auto* pSetup = qobject_cast<QPageSetupDialog*>(pObject)) {
        pSetup->setProperty("kestWatched", true);
        QObject::connect(pSetup, &QDialog::accepted, this, [this] {
            if (m_fnPageSetupAccepted)
                m_fnPageSetupAccepted();
        });
    }
    return false;
}
