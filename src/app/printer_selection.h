#pragma once

#include "settings/printer_setup.h"

#include <QString>
#include <memory>

class CProfile;
class QPrinter;

/// The application's one printer selection, shared by the print setup dialog, printing and
/// print preview, and its remembered form in the profile. Owned by CkestApp; window thread only.
///
/// On Linux the selection's names are: Driver "CUPS" (the print system), Device the queue name,
/// Output the queue's device URI; orientation 1 portrait, 2 landscape; paper codes as
/// QPageSize::windowsId gives them.
class CPrinterSelection {
public:
    CPrinterSelection();
    ~CPrinterSelection();

    /// Makes sure a selection exists: without one, the default printer's; when the selection
    /// is the default printer and the default has changed since, the new default's. False when
    /// no printer is installed (then there is no selection).
    bool UpdatePrinterSelection();
    /// Creates the selection if there is none, and only then applies the profile's remembered
    /// orientation and paper size, when it names this very printer.
    void RestorePrinterSetup(const CProfile& profile);
    /// Writes the selection to the profile; nothing when there is none.
    void SavePrinterSetup(CProfile& profile) const;

    /// The selected printer, or null when there is none.
    QPrinter* GetPrinter() const { return m_pPrinter.get(); }
    /// Replaces the selection by a printer the user chose (setup dialog) and its page settings.
    void SetSelection(const QString& strPrinterName, const SPrinterSetup& setup);

    /// The selection in the profile's terms; empty record when there is none.
    SPrinterSetup GetSetup() const;

    /// The names a queue has in the profile's terms (driver, queue, device URI).
    static SPrinterSetup NamesForQueue(const QString& strQueue);

private:
    void SelectQueue(const QString& strQueue);
    void ApplyCodes(const SPrinterSetup& setup);

    std::unique_ptr<QPrinter> m_pPrinter;
    /// The default queue the selection was made from; while the selection is still that queue,
    /// a change of the default replaces it. Empty when the user chose the printer.
    QString m_strFromDefault;
};
