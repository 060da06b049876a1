#include "app/kest_app.h"

#include "app/about_dlg.h"
#include "app/command_ids.h"
#include "app/kest_view.h"
#include "app/main_frame.h"
#include "app/print_setup_dlg.h"

#include "acquisition/port_map.h"
#include "acquisition/stop_signals.h"
#include "dialogs/kest_message_box.h"
#include "dialogs/string_table.h"
#include "settings/kest_doc.h"
#include "settings/profile.h"
#include "settings/profile_store.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QPrinter>

CkestApp::CkestApp(const QString& strExePath) : m_strExePath(strExePath) {
    m_strIniPath = ProgramProfilePath(m_strExePath);
    m_strHelpPath = ExecutablePathWithExtension(m_strExePath, QStringLiteral(".CHM"));
    // Qt's own texts (file dialog, standard buttons) in the program's language.
    if (m_QtTranslator.load(QStringLiteral("qtbase_ja"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&m_QtTranslator);
}

CkestApp::~CkestApp() {
    // The one setting kept at exit rather than when it changes.
    if (m_pView && m_pView->m_nPreviewPages != 0 && m_pProfile)
        SavePreviewPages(*m_pProfile, m_pView->m_nPreviewPages);
    // The view closes the reader and the log before the document goes away.
    m_pMainFrame.reset();
    QCoreApplication::removeTranslator(&m_QtTranslator);
}

bool CkestApp::InitInstance(const QStringList& args, bool bFollow) {
    m_pProfile = std::make_unique<CProfile>(m_strIniPath);
    m_pPortMap = std::make_unique<CPortMap>();
    m_pPortMap->SetOverrides(LoadPortOverrides(*m_pProfile));
    m_pDoc = std::make_unique<CkestDoc>();
    if (!m_pDoc->OnNewDocument())
        return false;
    m_pMainFrame = std::make_unique<CMainFrame>();
    m_pMainFrame->m_strHelpPath = m_strHelpPath;
    m_pMainFrame->m_fnAbout = [this] { OnAppAbout(); };
    m_pMainFrame->m_fnPrintSetup = [this] { OnFilePrintSetup(); };
    m_pView = new CkestView(m_pDoc.get(), m_pProfile.get(), m_pPortMap.get());
    m_pView->m_pPrinterSel = &m_PrinterSel;
    m_pView->m_nPreviewPages = LoadPreviewPages(*m_pProfile);
    m_pMainFrame->SetView(m_pView);
    // However the event loop ends, the log is flushed and closed.
    connect(qApp, &QCoreApplication::aboutToQuit, m_pView, [this] {
        if (m_pView)
            m_pView->OnDestroy();
    });
    // A session ending or `kill` asks the window to quit; every line received by then goes into
    // the log before the process ends (modal loops included, which quit() leaves too).
    m_pStopSignals = std::make_unique<CStopSignals>([this](int) {
        if (m_pView)
            m_pView->OnDestroy();
        QCoreApplication::quit();
    });
    m_pMainFrame->show();
    m_pView->setFocus();
    if (!args.isEmpty() && m_pView->OpenCsvFile(QFileInfo(args.first()).absoluteFilePath()) &&
        bFollow)
        m_pView->RunCommand(ID_VIEW_FOLLOW);
    m_pMainFrame->UpdateCommandUI();
    return true;
}

void CkestApp::OnAppAbout() {
    CAboutDlg dlg(m_pMainFrame.get());
    dlg.exec();
}

void CkestApp::RestorePrinterSetup() {
    m_PrinterSel.RestorePrinterSetup(*m_pProfile);
}

void CkestApp::SavePrinterSetup() {
    m_PrinterSel.SavePrinterSetup(*m_pProfile);
}

void CkestApp::OnFilePrintSetup() {
    RestorePrinterSetup();
    if (!m_PrinterSel.GetPrinter()) {
        KestMessageBox(m_pMainFrame.get(), IDS_ERR_NO_PRINTER_SETUP, EButtons::OK);
        return;
    }
    CPrintSetupDlg dlg(m_pMainFrame.get());
    dlg.m_strPrinter = m_PrinterSel.GetPrinter()->printerName();
    dlg.m_Setup = m_PrinterSel.GetSetup();
    if (dlg.exec() == QDialog::Accepted)
        m_PrinterSel.SetSelection(dlg.m_strPrinter, dlg.m_Setup);
    SavePrinterSetup();
}
