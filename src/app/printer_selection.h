#pragma once

#include "settings/printer_setup.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class CProfile;
class QPrintDialog;
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

/// Makes a print dialog on the selection start from the selection's paper and hand back what the
/// user leaves in it: Qt's own dialog puts the queue's default paper in its properties and prints
/// on that. A paper the user picks in the properties and accepts stays; otherwise the printer
/// keeps the selection's paper (where the printer chosen in the dialog has it).
void KeepPaperInPrintDialog(QPrintDialog& dlg);

/// While it lives, watches the dialogs that the print preview's own buttons open on the
/// selection: every print dialog gets KeepPaperInPrintDialog, and a page setup closed with OK
/// calls fnPageSetupAccepted. Made on the stack around the preview; window thread only.
class CPreviewDialogWatch : public QObject {
public:
    explicit CPreviewDialogWatch(std::function<void()> fnPageSetupAccepted);
    ~CPreviewDialogWatch() override;

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;

private:
    std::function<void()> m_fnPageSetupAccepted;
};
