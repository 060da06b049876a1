#pragma once

#include "app/printer_selection.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <memory>

class CStopSignals;

class CkestDoc;
class CkestView;
class CMainFrame;
class CPortMap;
class CProfile;

/// The application: profile and help paths, Qt's own translations, and the one document, frame
/// and view of the run. Created in main after the QApplication; window thread only.
class CkestApp : public QObject {
    Q_OBJECT
public:
    /// strExePath is the executable's full path (QCoreApplication::applicationFilePath()).
    explicit CkestApp(const QString& strExePath);
    ~CkestApp() override;

    /// Creates the document, frame and view, opens a CSV named in args (the arguments after the
    /// program name) and shows the main window. False when start-up cannot go on.
    bool InitInstance(const QStringList& args, bool bFollow = false);
    void OnAppAbout();
    void OnFilePrintSetup();
    /// Creates the printer selection if there is none and, only then, applies the remembered
    /// orientation and paper size when the profile names this printer.
    void RestorePrinterSetup();
    /// Writes the printer selection to the profile (nothing without one).
    void SavePrinterSetup();

    QString m_strExePath;
    QString m_strIniPath;  ///< the profile every setting is read from and written to
    QString m_strHelpPath; ///< the executable's path with ".CHM"
    std::unique_ptr<CProfile> m_pProfile;
    std::unique_ptr<CPortMap> m_pPortMap;
    std::unique_ptr<CkestDoc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    CkestView* m_pView = nullptr; ///< owned by the frame's widget tree
    /// SIGTERM, SIGINT and SIGHUP end the window as closing it does: the log drained and closed.
    std::unique_ptr<CStopSignals> m_pStopSignals;
    /// The one printer selection the setup dialog, printing and preview share.
    CPrinterSelection m_PrinterSel;

private:
    QTranslator m_QtTranslator;
};
