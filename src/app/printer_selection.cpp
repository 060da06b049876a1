#include "app/printer_selection.h"

#include "settings/profile.h"

#include <QPageLayout>
#include <QPageSize>
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
