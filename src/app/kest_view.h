#pragma once

#include "app/command_ids.h"
#include "app/file_pick.h"

#include "acquisition/comm_setting.h"
#include "acquisition/file_follower.h"
#include "acquisition/logging_session.h"
#include "dialogs/set_input_data_dlg.h"
#include "display/frame_clock.h"
#include "display/graph.h"
#include "display/text_cache.h"

#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

class CkestDoc;
class CPrinterSelection;
class CStatsDlg;
class CProfile;
class CPortMap;
class QPrinter;

/// The graph view: owns the display state (CGraph), the serial settings and the logging session,
/// and runs every view command. Window thread only; the reader's worker thread reaches it only
/// through posted CCommDataEvents.
class CkestView : public QWidget {
    Q_OBJECT
public:
    /// Loads the settings from pProfile in the order serial, channel count, attributes,
    /// horizontal. pPortMap (may be null) tells which device each COM number opens.
    CkestView(CkestDoc* pDoc, CProfile* pProfile, const CPortMap* pPortMap,
              QWidget* pParent = nullptr);
    ~CkestView() override;

    // --- commands (each re-checks its enablement rule, so no route runs a disabled one) ---
    void OnFileOpen();
    void OnFileLogging();
    void OnFileMetafile();
    void OnFilePrint();
    void OnFilePrintDirect();
    void OnFilePrintPreview();
    void OnSetChannels();
    void OnSetInputdata();
    void OnSetHoriz();
    void OnSetComm();
    /// The broker dialog: where the lines of the next logging runs are published.
    void OnSetPublish();
    void OnSaveSetting();
    void OnLoadSetting();
    void OnViewHold();
    void OnViewCursor();
    /// Starts or stops following the viewed CSV file as another program appends to it.
    void OnViewFollow();
    bool IsFollowing() const { return m_Follower.IsRunning(); }
    /// Shows the statistics window (made on first use) over the cursors' or the shown range.
    void OnViewStats();
    /// Refills the statistics window from the current range when it is shown; nothing otherwise.
    void RefreshStats();
    /// The statistics window, null until first shown; a child of the view.
    CStatsDlg* m_pStatsDlg = nullptr;
    /// Runs command nId if its rule allows it now; false when disabled or unknown to the view.
    bool RunCommand(int nId);

    /// The CSV viewing flow for a path chosen elsewhere (command line, drop): reset, read with
    /// progress, title, repaint. False when logging or when the file cannot be opened.
    bool OpenCsvFile(const QString& strPath);
    /// Writes the graph as an enhanced metafile (1600 x 1000 units of the screen); false when the
    /// file cannot be created or written (nothing is left behind then).
    bool ExportMetafile(const QString& strPath);
    /// Draws the one page of a printout or preview on pPrinter.
    void OnPrint(QPrinter* pPrinter);

    /// Stops the reader and closes the log if logging; safe to call more than once.
    void OnDestroy();
    /// Sets the main window caption from a file path (null or empty: the program title alone).
    void UpdateTitle(const QString& strPath);

    /// True while a logging run goes on (the session holds the reader and the log open).
    bool IsLogging() const { return m_Session.IsRunning(); }
    SCommandFlags GetCommandFlags() const;
    bool IsEnabled(int nId) const { return IsCommandEnabled(nId, GetCommandFlags()); }

    CkestDoc* m_pDoc;
    CProfile* m_pProfile;
    const CPortMap* m_pPortMap;
    CGraph m_Graph;
    SCommSetting m_Comm;
    /// The profile's publishing settings, used by every logging run that starts.
    SPublishSettings m_Publish;
    /// How the broker dialog's test button connects; tests replace it.
    std::function<SBrokerTestResult(const SPublisherConfig&)> m_fnTestBroker =
        [](const SPublisherConfig& config) { return TestBrokerConnection(config, 5000); };
    QString m_strLogPath;
    /// The colour dialog's custom colours, kept for the run.
    SCustomColors m_CustomColors;
    /// How commands pick files; tests replace it, the default shows QFileDialog.
    FnPickFile m_fnPickFile = PickFileWithDialog;
    /// The application's printer selection (null: printing tells the user there is no printer).
    CPrinterSelection* m_pPrinterSel = nullptr;
    /// Pages print preview shows side by side: 0 not chosen yet (one), 1 or 2 once the user
    /// switched; the application keeps it in the profile across runs.
    int m_nPreviewPages = 0;

signals:
    /// Logging, hold or cursor state changed: the frame refreshes its actions.
    void CommandStateChanged();
    /// A notice for the status bar (the device went away or came back while logging).
    void StatusNotice(const QString& strText);
    /// The broker pane's text while a run publishes ("ブローカー: 接続済み  待ち 0  破棄 0"),
    /// empty when the pane is to be hidden.
    void BrokerStatus(const QString& strText);

protected:
    bool event(QEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;

private:
    void OnCommData();
    void StopLogging();
    void ApplyMouseAction(const SMouseAction& action);
    SPoint DevicePoint(const QMouseEvent* pEvent) const;
    void ShowMessage(int nStringId);
    /// Makes sure a printer is selected and, when bDialog, lets the user confirm it in the
    /// print dialog; false (after telling the user why, where there is something to tell) when
    /// nothing is to be printed.
    bool OnPreparePrinting(bool bDialog);
    /// The print job of the current selection: exactly one page.
    void OnBeginPrinting(QPrinter* pPrinter);
    /// Prepares and prints one page on the current selection.
    void DoPrint(bool bDialog);
    /// Reports a log write failure or a full store once, after the current event returns.
    void ReportIntakeProblems();

    /// Asks for a paint showing new data: at once when the last frame is old enough, otherwise
    /// at the next frame. Commands, mouse actions and resizes call update() directly.
    void RequestDataFrame();

    CLoggingSession m_Session{*m_pDoc, this};
    CFileFollower m_Follower;
    bool m_bViewingCsv = false; ///< the store holds a CSV file read whole, m_strLogPath names it
    qint64 m_nCsvBytes = 0;     ///< bytes of that file its rows came from
    void OnFollowEvent(CFileFollower::EEvent eEvent);
    void StopFollowing();
    /// Device pixels of the last paint's graph size.
    QSize m_sizeGraph;
    /// Fonts and laid-out labels kept from frame to frame.
    CTextCache m_TextCache;
    /// The off-screen image of scaled (high-DPI) screens; empty at ratio 1.
    QImage m_image;
    bool m_bIntakeMessagePending = false;
    /// Data paints at most every kFrameIntervalMs: about 26 frames a second rather than the
    /// screen's 60, since each frame costs a whole paint (at 1000 lines/s the 60 Hz clock cost
    /// about 15 % more CPU in the program and the X server than 30 did) while 25 and more still
    /// scroll smoothly.
    static constexpr int kFrameIntervalMs = 38;
    CFrameClock m_FrameClock{kFrameIntervalMs};
    QTimer m_FrameTimer;
    QElapsedTimer m_PaintClock;
    /// Refreshes the broker pane and tells broker failures while a run publishes.
    QTimer m_BrokerTimer;
    void OnBrokerTimer();
    /// The publishing configuration of a run: the settings and the channels' names, units and
    /// scaling from the document.
    SPublisherConfig PublisherConfig(const SPublishSettings& settings) const;
};
