#include "app/kest_view.h"

#include "app/window_title.h"

#include "app/printer_selection.h"

#include "acquisition/csv_reader.h"
#include "acquisition/port_map.h"
#include "acquisition/port_report.h"
#include "dialogs/kest_message_box.h"
#include "dialogs/set_channels_dlg.h"
#include "dialogs/set_comm_dlg.h"
#include "dialogs/set_horiz_dlg.h"
#include "dialogs/set_input_data_dlg.h"
#include "dialogs/set_publish_dlg.h"
#include "dialogs/stats_dlg.h"
#include "dialogs/string_table.h"
#include "display/metafile_export.h"
#include "display/painter_canvas.h"
#include "display/print_page.h"
#include "display/stats_range.h"
#include "settings/kest_doc.h"
#include "settings/profile.h"
#include "settings/profile_store.h"
#include "settings/settings_file.h"

#include <QApplication>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProgressDialog>
#include <QScreen>
#include <QSysInfo>
#include <QTime>
#include <QTimer>
#include <cmath>
#include <cstring>

namespace {

SFileRequest CsvRequest(bool bSave, int nTitle) {
    return {bSave,
            LoadKestString(nTitle),
            QStringLiteral("CSV file(*.csv)"),
            QStringLiteral("csv"),
            {}};
}

SFileRequest CfgRequest(bool bSave, int nTitle) {
    return {bSave,
            LoadKestString(nTitle),
            QStringLiteral("CFG file(*.cfg)"),
            QStringLiteral("cfg"),
            {}};
}

/// What the system said when the COM port did not open, and what the user can do about it.
QString PortCauseText(const SLogStartResult& result) {
    const QString& strDevice = result.m_strWhere;
    switch (result.m_eFailure) {
    case ELogStartFailure::PortNotMapped:
        return LoadKestString(IDS_CAUSE_PORT_NOT_MAPPED).arg(result.m_nPort);
    case ELogStartFailure::PortMissing:
        return LoadKestString(IDS_CAUSE_PORT_MISSING).arg(strDevice);
    case ELogStartFailure::PortPermission:
        return LoadKestString(IDS_CAUSE_PORT_PERMISSION)
            .arg(strDevice, DeviceOwner(strDevice), DeviceGroup(strDevice));
    case ELogStartFailure::PortBusy: {
        if (result.m_nHolderPid <= 0)
            return LoadKestString(IDS_CAUSE_PORT_BUSY_UNKNOWN).arg(strDevice);
        const QString strName = ProcessName(result.m_nHolderPid);
        const QString strHolder =
            strName.isEmpty() ? QStringLiteral("PID %1").arg(result.m_nHolderPid)
                              : QStringLiteral("%1, PID %2").arg(strName).arg(result.m_nHolderPid);
        return LoadKestString(IDS_CAUSE_PORT_BUSY).arg(strDevice, strHolder);
    }
    default:
        return LoadKestString(IDS_CAUSE_PORT_OTHER)
            .arg(strDevice, result.m_nErrno != 0
                                ? QString::fromLocal8Bit(std::strerror(result.m_nErrno))
                                : QStringLiteral("?"));
    }
}

QString PortStatusText(const CCommStatusEvent& status) {
    const QString strTime = status.Time().toString(QStringLiteral("HH:mm:ss"));
    const int nId = status.Kind() == CCommStatusEvent::EKind::Vanished   ? IDS_STATUS_PORT_VANISHED
                    : status.Kind() == CCommStatusEvent::EKind::Reopened ? IDS_STATUS_PORT_REOPENED
                                                                         : IDS_STATUS_PORT_OTHER;
    return LoadKestString(nId).arg(strTime, status.Device());
}

int MouseFlags(const QMouseEvent* pEvent) {
    int nFlags = MK_None;
    if (pEvent->buttons() & Qt::LeftButton)
        nFlags |= MK_LButton;
    if (pEvent->buttons() & Qt::RightButton)
        nFlags |= MK_RButton;
    return nFlags;
}

} // namespace

CkestView::CkestView(CkestDoc* pDoc, CProfile* pProfile, const CPortMap* pPortMap, QWidget* pParent)
    : QWidget(pParent), m_pDoc(pDoc), m_pProfile(pProfile), m_pPortMap(pPortMap), m_Graph(pDoc) {
    // The view paints every pixel itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    LoadAllFromProfile(*m_pProfile, m_Comm, *m_pDoc, m_Graph.m_nSamplesPerDiv);
    m_Publish = LoadPublishSettings(*m_pProfile);
    m_BrokerTimer.setInterval(500);
    connect(&m_BrokerTimer, &QTimer::timeout, this, [this] { OnBrokerTimer(); });
    m_PaintClock.start();
    m_FrameTimer.setSingleShot(true);
    m_FrameTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_FrameTimer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    m_Follower.m_fnEvent = [this](CFileFollower::EEvent eEvent) { OnFollowEvent(eEvent); };
}

CkestView::~CkestView() {
    OnDestroy();
}

void CkestView::OnDestroy() {
    // Every line received until now must reach the disk however the program ends.
    m_Session.Stop(m_Graph.IsHeld(), &m_Graph.m_dLatest);
}

SCommandFlags CkestView::GetCommandFlags() const {
    SCommandFlags f;
    f.m_bLogging = IsLogging();
    f.m_bHold = m_Graph.IsHeld();
    f.m_bCursor = m_Graph.m_bCursor;
    f.m_bViewingCsv = m_bViewingCsv;
    f.m_bFollowing = IsFollowing();
    return f;
}

bool CkestView::RunCommand(int nId) {
    if (!IsEnabled(nId))
        return false;
    switch (nId) {
    case ID_FILE_OPEN:
        OnFileOpen();
        break;
    case ID_FILE_LOGGING:
        OnFileLogging();
        break;
    case ID_FILE_METAFILE:
        OnFileMetafile();
        break;
    case ID_FILE_PRINT:
        OnFilePrint();
        break;
    case ID_FILE_PRINT_DIRECT:
        OnFilePrintDirect();
        break;
    case ID_FILE_PRINT_PREVIEW:
        OnFilePrintPreview();
        break;
    case ID_SET_CHANNELS:
        OnSetChannels();
        break;
    case ID_SET_INPUTDATA:
        OnSetInputdata();
        break;
    case ID_SET_HORIZ:
        OnSetHoriz();
        break;
    case ID_SET_COMM:
        OnSetComm();
        break;
    case ID_SET_PUBLISH:
        OnSetPublish();
        break;
    case ID_SAVE_SETTING:
        OnSaveSetting();
        break;
    case ID_LOAD_SETTING:
        OnLoadSetting();
        break;
    case ID_VIEW_HOLD:
        OnViewHold();
        break;
    case ID_VIEW_CURSOR:
        OnViewCursor();
        break;
    case ID_VIEW_FOLLOW:
        OnViewFollow();
        break;
    case ID_VIEW_STATS:
        OnViewStats();
        break;
    default:
        return false;
    }
    return true;
}

void CkestView::UpdateTitle(const QString& strPath) {
    window()->setWindowTitle(MakeWindowTitle(strPath));
}

void CkestView::ShowMessage(int nStringId) {
    KestMessageBox(this, nStringId, EButtons::OK);
}

// --- logging ---

void CkestView::OnFileLogging() {
    if (IsLogging()) {
        StopLogging();
        return;
    }
    const QString strPath = m_fnPickFile(this, CsvRequest(true, IDS_LOGFILE_TITLE));
    if (strPath.isEmpty())
        return;
    StopFollowing();
    m_bViewingCsv = false;
    m_pDoc->ResetLogData();
    UpdateTitle(QString());
    m_strLogPath = strPath;
    SLoggingOptions options;
    options.m_strLogPath = strPath;
    // The file dialog asked before an existing file was chosen.
    options.m_eCreate = ELogCreate::Truncate;
    options.m_Comm = m_Comm;
    if (m_pPortMap)
        options.m_PortMap = *m_pPortMap;
    if (m_Publish.m_bEnabled)
        options.m_Publish = PublisherConfig(m_Publish);
    const SLogStartResult result = m_Session.Start(options);
    if (!result.Ok()) {
        if (result.IsPortFailure())
            KestMessageBox(this,
                           LoadKestString(IDS_ERR_COMM_OPEN) + QStringLiteral("\n\n") +
                               PortCauseText(result),
                           EButtons::OK);
        else
            ShowMessage(IDS_ERR_LOGFILE_OPEN);
        m_strLogPath.clear();
        update();
        return;
    }
    m_Graph.SetHold(false);
    UpdateTitle(m_strLogPath);
    update();
    if (m_Session.Publisher() != nullptr) {
        m_BrokerTimer.start();
        OnBrokerTimer();
    }
    emit CommandStateChanged();
}

void CkestView::StopLogging() {
    if (m_Session.Stop(m_Graph.IsHeld(), &m_Graph.m_dLatest) > 0)
        update();
    // The last buffered records are written at the stop; a failure now is the user's last
    // chance to learn that the file is incomplete.
    const bool bFailed = m_Session.TakeLogFailureToReport();
    if (m_BrokerTimer.isActive()) {
        m_BrokerTimer.stop();
        emit BrokerStatus(QString());
        const SPublishStatus status = m_Session.Publisher()->Status();
        emit StatusNotice(
            LoadKestString(IDS_STATUS_PUBLISH_SUMMARY).arg(status.m_nSent).arg(status.m_nDropped));
    }
    m_Graph.SetHold(false);
    emit CommandStateChanged();
    if (bFailed)
        KestMessageBox(this, IDS_ERR_LOG_WRITE, EButtons::OK);
}

bool CkestView::event(QEvent* pEvent) {
    if (pEvent->type() == CCommDataEvent::WM_COMMDATA) {
        OnCommData();
        return true;
    }
    if (pEvent->type() == CCommStatusEvent::WM_COMMSTATUS) {
        if (IsLogging())
            emit StatusNotice(PortStatusText(*static_cast<const CCommStatusEvent*>(pEvent)));
        return true;
    }
    return QWidget::event(pEvent);
}

void CkestView::OnCommData() {
    m_Session.OnCommData(m_Graph.IsHeld(), &m_Graph.m_dLatest);
    RequestDataFrame();
    ReportIntakeProblems();
}

void CkestView::RequestDataFrame() {
    const int nDelay = m_FrameClock.RequestFrame(m_PaintClock.elapsed());
    if (nDelay == 0)
        update();
    else if (nDelay > 0)
        m_FrameTimer.start(nDelay);
}

void CkestView::ReportIntakeProblems() {
    if (m_bIntakeMessagePending)
        return;
    QString strText;
    if (m_Session.TakeLogFailureToReport())
        strText = LoadKestString(IDS_ERR_LOG_WRITE);
    else if (m_Session.TakeStoreFullToReport())
        strText = LoadKestString(IDS_ERR_MEMORY_FULL);
    if (strText.isEmpty())
        return;
    // Shown after this event returns: a modal loop inside the intake would let the next
    // notification run while this batch is still being handled.
    m_bIntakeMessagePending = true;
    QTimer::singleShot(0, this, [this, strText] {
        KestMessageBox(this, strText, EButtons::OK);
        m_bIntakeMessagePending = false;
    });
}

// --- CSV viewing ---

void CkestView::OnFileOpen() {
    if (IsLogging())
        return;
    const QString strPath = m_fnPickFile(this, CsvRequest(false, IDS_CSV_OPEN_TITLE));
    if (strPath.isEmpty())
        return;
    OpenCsvFile(strPath);
}

bool CkestView::OpenCsvFile(const QString& strPath) {
    if (IsLogging())
        return false;
    StopFollowing();
    m_bViewingCsv = false;
    m_pDoc->ResetLogData();
    UpdateTitle(QString());

    // The dialog appears only when reading takes a while; cancelling keeps the rows read so far.
    QProgressDialog progress(QString(), QStringLiteral("キャンセル"), 0, 1000, this);
    progress.setWindowTitle(QString::fromLatin1(kAppTitle));
    progress.setLabelText(QFileInfo(strPath).fileName());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setValue(0);
    auto fnProgress = [&progress](qint64 nDone, qint64 nTotal) {
        if (nTotal > 0)
            progress.setValue(static_cast<int>(nDone * 1000 / nTotal));
        return !progress.wasCanceled();
    };
    CCsvReader reader;
    const CCsvReader::EResult nResult =
        reader.Read(strPath, *m_pDoc, m_Graph.m_dLatest, fnProgress);
    progress.close();
    if (nResult == CCsvReader::EResult::OpenFailed) {
        ShowMessage(IDS_ERR_CSV_OPEN);
        return false;
    }
    m_strLogPath = strPath;
    m_bViewingCsv = nResult == CCsvReader::EResult::Done;
    m_nCsvBytes = reader.m_nBytes;
    UpdateTitle(m_strLogPath);
    update();
    emit CommandStateChanged();
    if (nResult == CCsvReader::EResult::StoreFull)
        KestMessageBox(this, IDS_ERR_MEMORY_FULL, EButtons::OK);
    else if (nResult == CCsvReader::EResult::ReadError)
        KestMessageBox(this, IDS_ERR_CSV_READ, EButtons::OK);
    return true;
}

// --- settings commands ---

void CkestView::OnSetChannels() {
    if (IsLogging())
        return;
    if (KestMessageBox(this, IDS_CONFIRM_CHANNELS, EButtons::OKCancel) != IDOK)
        return;
    CSetChannelsDlg dlg(this);
    dlg.m_nChannels = m_pDoc->m_nChannels;
    if (dlg.exec() != QDialog::Accepted)
        return;
    StopFollowing();
    m_bViewingCsv = false;
    m_pDoc->InitLogData(dlg.m_nChannels, CkestDoc::kInitialSize, CkestDoc::kInitialSize);
    SaveChannelCount(*m_pProfile, *m_pDoc);
    if (m_Graph.m_nSelChannel >= dlg.m_nChannels)
        m_Graph.m_nSelChannel = std::max(0, dlg.m_nChannels - 1);
    update();
    m_strLogPath.clear();
    UpdateTitle(QString());
}

void CkestView::OnSetInputdata() {
    CSetInputDataDlg dlg(this);
    dlg.m_nChannels = m_pDoc->m_nChannels;
    dlg.m_nCurChannel = m_Graph.m_nSelChannel;
    dlg.m_pCustomColors = &m_CustomColors;
    for (int i = 0; i < CLogStore::kMaxChannels; ++i)
        dlg.m_Attr[i] = m_pDoc->GetChannelAttr(i);
    if (dlg.exec() != QDialog::Accepted)
        return;
    for (int i = 0; i < CLogStore::kMaxChannels; ++i)
        m_pDoc->SetChannelAttr(i, dlg.m_Attr[i]);
    m_Graph.m_nSelChannel = dlg.m_nCurChannel;
    SaveChannelAttrs(*m_pProfile, *m_pDoc);
    update();
}

void CkestView::OnSetHoriz() {
    CSetHorizDlg dlg(this);
    dlg.m_nSamplesPerDiv = m_Graph.m_nSamplesPerDiv;
    if (dlg.exec() != QDialog::Accepted)
        return;
    m_Graph.m_nSamplesPerDiv = dlg.m_nSamplesPerDiv;
    SaveHorizSetting(*m_pProfile, m_Graph.m_nSamplesPerDiv);
    update();
}

void CkestView::OnSetComm() {
    if (IsLogging())
        return;
    CSetCommDlg dlg(this);
    dlg.m_nPort = m_Comm.m_nPort;
    dlg.m_nBaudRate = static_cast<int>(m_Comm.m_nBaudRate);
    dlg.m_nByteSize = m_Comm.m_nByteSize;
    dlg.m_nParity = m_Comm.m_nParity;
    dlg.m_nStopBits = m_Comm.m_nStopBits;
    if (m_pPortMap)
        dlg.m_fnDeviceForPort = [this](int nPort) { return m_pPortMap->DevicePathFor(nPort); };
    if (dlg.exec() != QDialog::Accepted)
        return;
    m_Comm.m_nPort = dlg.m_nPort;
    m_Comm.m_nBaudRate = static_cast<uint32_t>(dlg.m_nBaudRate);
    m_Comm.m_nByteSize = static_cast<uint8_t>(dlg.m_nByteSize);
    m_Comm.m_nParity = static_cast<uint8_t>(dlg.m_nParity);
    m_Comm.m_nStopBits = static_cast<uint8_t>(dlg.m_nStopBits);
    SaveCommSetting(*m_pProfile, m_Comm);
}

namespace {

int BrokerStateStringId(EBrokerState eState) {
    switch (eState) {
    case EBrokerState::Connecting:
        break;
    case EBrokerState::Connected:
        return IDS_PUBLISH_STATE_CONNECTED;
    case EBrokerState::Retrying:
        return IDS_PUBLISH_STATE_RETRYING;
    case EBrokerState::LoginRefused:
        return IDS_PUBLISH_STATE_LOGIN;
    case EBrokerState::TlsFailed:
        return IDS_PUBLISH_STATE_TLS;
    case EBrokerState::BadSettings:
        return IDS_PUBLISH_STATE_SETTINGS;
    case EBrokerState::Stopped:
        return IDS_PUBLISH_STATE_STOPPED;
    }
    return IDS_PUBLISH_STATE_CONNECTING;
}

} // namespace

SPublisherConfig CkestView::PublisherConfig(const SPublishSettings& settings) const {
    SPublisherConfig config;
    config.m_Settings = settings;
    config.m_strHost = QSysInfo::machineHostName();
    config.m_nPort = m_Comm.m_nPort;
    config.m_nChannels = m_pDoc->m_nChannels;
    for (int i = 0; i < SPublisherConfig::kMaxChannels; ++i) {
        const SChannelAttr& attr = m_pDoc->GetChannelAttr(i);
        config.m_Channels[static_cast<size_t>(i)] = {attr.m_strName, attr.m_strUnit,
                                                     attr.m_dMultiplier, attr.m_dAddend};
    }
    return config;
}

void CkestView::OnBrokerTimer() {
    CPublisher* pPublisher = m_Session.Publisher();
    if (!IsLogging() || pPublisher == nullptr)
        return;
    SPublishStatus status;
    if (pPublisher->TakeProblemToReport(status)) {
        emit StatusNotice(LoadKestString(IDS_STATUS_PUBLISH_PROBLEM)
                              .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
                                   LoadKestString(BrokerStateStringId(status.m_eState)),
                                   status.m_strError));
    }
    status = pPublisher->Status();
    emit BrokerStatus(LoadKestString(IDS_PUBLISH_PANE)
                          .arg(LoadKestString(BrokerStateStringId(status.m_eState)))
                          .arg(status.m_nQueued)
                          .arg(status.m_nDropped));
}

void CkestView::OnSetPublish() {
    if (IsLogging())
        return;
    CSetPublishDlg dlg(this);
    dlg.m_Settings = m_Publish;
    dlg.m_strDefaultTopic = DefaultTopic(QSysInfo::machineHostName(), m_Comm.m_nPort);
    // The test runs on a thread of the dialog's: it gets what it needs of the view now, a copy
    // of its own, instead of reading the view from there.
    dlg.m_fnTest = [fnTest = m_fnTestBroker,
                    base = PublisherConfig(m_Publish)](const SPublishSettings& settings) {
        SPublisherConfig config = base;
        config.m_Settings = settings;
        return fnTest(config);
    };
    if (dlg.exec() != QDialog::Accepted)
        return;
    m_Publish = dlg.m_Settings;
    SavePublishSettings(*m_pProfile, m_Publish);
}

void CkestView::OnSaveSetting() {
    const QString strPath = m_fnPickFile(this, CfgRequest(true, IDS_SAVE_SETTING_TITLE));
    if (strPath.isEmpty())
        return;
    if (!WriteSettingsFile(strPath, m_Comm, *m_pDoc, m_Graph.m_nSamplesPerDiv))
        ShowMessage(IDS_ERR_SAVE_SETTING_OPEN);
}

void CkestView::OnLoadSetting() {
    if (IsLogging())
        return;
    if (KestMessageBox(this, IDS_CONFIRM_LOAD_SETTING, EButtons::OKCancel) != IDOK)
        return;
    const QString strPath = m_fnPickFile(this, CfgRequest(false, IDS_LOAD_SETTING_TITLE));
    if (strPath.isEmpty())
        return;
    if (!ReadSettingsFile(strPath, m_Comm, *m_pDoc, m_Graph.m_nSamplesPerDiv)) {
        ShowMessage(IDS_ERR_LOAD_SETTING_OPEN);
        return;
    }
    SaveAllToProfile(*m_pProfile, m_Comm, *m_pDoc, m_Graph.m_nSamplesPerDiv);
    m_strLogPath.clear();
    UpdateTitle(QString());
    update();
}

// --- view commands ---

void CkestView::OnViewHold() {
    if (!IsLogging() && !IsFollowing())
        return;
    // The next data batch repaints; holding itself changes nothing on screen.
    m_Graph.OnViewHold();
    emit CommandStateChanged();
}

void CkestView::OnViewCursor() {
    m_Graph.OnViewCursor();
    update();
    emit CommandStateChanged();
}

void CkestView::OnViewFollow() {
    if (IsFollowing()) {
        StopFollowing();
        return;
    }
    if (IsLogging() || !m_bViewingCsv)
        return;
    if (!m_Follower.Start(m_strLogPath, *m_pDoc, m_nCsvBytes)) {
        ShowMessage(IDS_ERR_CSV_OPEN);
        return;
    }
    m_Graph.SetHold(false);
    emit CommandStateChanged();
}

void CkestView::OnViewStats() {
    if (!m_pStatsDlg)
        m_pStatsDlg = new CStatsDlg(this);
    m_pStatsDlg->show();
    m_pStatsDlg->raise();
    m_pStatsDlg->activateWindow();
    // The figures cover what the next frame shows, even before the view painted at all.
    m_Graph.UpdateDisplayWindow();
    RefreshStats();
}

void CkestView::RefreshStats() {
    if (!m_pStatsDlg || !m_pStatsDlg->isVisible())
        return;
    const SStatsRange range = StatsRange(m_Graph);
    const bool bEmpty = range.m_nLast < range.m_nFirst;
    const QString strRange =
        LoadKestString(range.m_bCursors ? IDS_STATS_RANGE_CURSORS : IDS_STATS_RANGE_WINDOW)
            .arg(bEmpty ? QStringLiteral("-") : QString::number(range.m_nFirst),
                 bEmpty ? QStringLiteral("-") : QString::number(range.m_nLast));
    m_pStatsDlg->SetRows(ComputeStatsRows(*m_pDoc, range.m_nFirst, range.m_nLast), strRange);
}

void CkestView::StopFollowing() {
    if (!IsFollowing())
        return;
    m_Follower.Stop();
    m_Graph.SetHold(false);
    emit CommandStateChanged();
}

void CkestView::OnFollowEvent(CFileFollower::EEvent eEvent) {
    const int nCount = m_pDoc->m_LogData[0].m_nCount;
    // The legend shows the newest row, as while logging; a hold keeps what it showed.
    if (!m_Graph.IsHeld()) {
        for (int i = 0; i < m_pDoc->m_nChannels; ++i)
            m_Graph.m_dLatest[i] = nCount > 0 ? m_pDoc->m_LogData[i].m_pData[nCount - 1] : 0.0;
    }
    switch (eEvent) {
    case CFileFollower::EEvent::Rows:
        RequestDataFrame();
        return;
    case CFileFollower::EEvent::Restarted:
        emit StatusNotice(LoadKestString(IDS_STATUS_FOLLOW_RESTARTED)
                              .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
        update();
        return;
    case CFileFollower::EEvent::Vanished:
        m_bViewingCsv = false;
        m_Graph.SetHold(false);
        update();
        emit CommandStateChanged();
        KestMessageBox(this, IDS_ERR_FOLLOW_VANISHED, EButtons::OK);
        return;
    case CFileFollower::EEvent::StoreFull:
        m_Graph.SetHold(false);
        update();
        emit CommandStateChanged();
        KestMessageBox(this, IDS_ERR_MEMORY_FULL, EButtons::OK);
        return;
    }
}

// --- printing and metafile export ---

void CkestView::OnFilePrint() {
    if (!m_pPrinterSel) {
        KestMessageBox(this, IDS_ERR_NO_PRINTER, EButtons::OK);
        return;
    }
    m_pPrinterSel->RestorePrinterSetup(*m_pProfile);
    DoPrint(true);
    // Whatever the dialog ended with, its printer choice is the selection from now on.
    m_pPrinterSel->SavePrinterSetup(*m_pProfile);
}

void CkestView::OnFilePrintDirect() {
    DoPrint(false);
}

void CkestView::DoPrint(bool bDialog) {
    if (!OnPreparePrinting(bDialog))
        return;
    QPrinter* pPrinter = m_pPrinterSel->GetPrinter();
    OnBeginPrinting(pPrinter);
    OnPrint(pPrinter);
}

bool CkestView::OnPreparePrinting(bool bDialog) {
    if (!m_pPrinterSel || !m_pPrinterSel->UpdatePrinterSelection()) {
        KestMessageBox(this, IDS_ERR_NO_PRINTER, EButtons::OK);
        return false;
    }
    if (!bDialog)
        return true;
    QPrintDialog dlg(m_pPrinterSel->GetPrinter(), this);
    // One page, nothing to select: the dialog asks for the printer and copies only.
    dlg.setOptions(QAbstractPrintDialog::PrintShowPageSize);
    dlg.setMinMax(1, 1);
    KeepPaperInPrintDialog(dlg);
    return dlg.exec() == QDialog::Accepted;
}

void CkestView::OnBeginPrinting(QPrinter* pPrinter) {
    pPrinter->setFromTo(1, 1);
    pPrinter->setDocName(m_strLogPath.isEmpty() ? QString::fromLatin1(kAppTitle)
                                                : QFileInfo(m_strLogPath).fileName());
}

void CkestView::OnPrint(QPrinter* pPrinter) {
    if (!PrintGraphPage(*pPrinter, m_Graph))
        KestMessageBox(this, IDS_ERR_PRINT_START, EButtons::OK);
}

void CkestView::OnFilePrintPreview() {
    if (m_pPrinterSel)
        m_pPrinterSel->RestorePrinterSetup(*m_pProfile);
    QPrinter* pPrinter = m_pPrinterSel ? m_pPrinterSel->GetPrinter() : nullptr;
    if (!pPrinter) {
        KestMessageBox(this, IDS_ERR_NO_PRINTER, EButtons::OK);
        return;
    }
    OnBeginPrinting(pPrinter);
    QPrintPreviewDialog dlg(pPrinter, this);
    dlg.resize(900, 800);
    connect(&dlg, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* pPreviewPrinter) { OnPrint(pPreviewPrinter); });
    // The preview opens with one or two pages side by side as the user last had it.
    auto* pWidget = dlg.findChild<QPrintPreviewWidget*>();
    const QPrintPreviewWidget::ViewMode nStartMode = m_nPreviewPages == 2
                                                         ? QPrintPreviewWidget::FacingPagesView
                                                         : QPrintPreviewWidget::SinglePageView;
    if (pWidget)
        pWidget->setViewMode(nStartMode);
    // The preview's page setup changes the selection as the print setup command does, and is
    // remembered as that is; its print button prints, and a print remembers the selection.
    const CPreviewDialogWatch watch([this] { m_pPrinterSel->SavePrinterSetup(*m_pProfile); });
    if (dlg.exec() == QDialog::Accepted)
        m_pPrinterSel->SavePrinterSetup(*m_pProfile);
    if (pWidget && pWidget->viewMode() != nStartMode) {
        if (pWidget->viewMode() == QPrintPreviewWidget::FacingPagesView)
            m_nPreviewPages = 2;
        else if (pWidget->viewMode() == QPrintPreviewWidget::SinglePageView)
            m_nPreviewPages = 1;
    }
}

void CkestView::OnFileMetafile() {
    SFileRequest req{true,
                     LoadKestString(IDS_METAFILE_TITLE),
                     QStringLiteral("Meta file(*.emf)"),
                     QStringLiteral("emf"),
                     {}};
    if (!m_strLogPath.isEmpty())
        req.m_strFileName = QFileInfo(m_strLogPath).completeBaseName();
    const QString strPath = m_fnPickFile(this, req);
    if (strPath.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool bOk = ExportMetafile(strPath);
    QApplication::restoreOverrideCursor();
    if (!bOk)
        ShowMessage(IDS_ERR_METAFILE);
}

bool CkestView::ExportMetafile(const QString& strPath) {
    // The reference surface is the screen the view is on.
    SMetafileRef ref = kFallbackMetafileRef;
    if (const QScreen* pScreen = screen()) {
        const qreal dDpr = pScreen->devicePixelRatio();
        const QSize sizeRef = pScreen->geometry().size() * dDpr;
        ref.m_size = SSize{sizeRef.width(), sizeRef.height()};
        ref.m_dDpiX = pScreen->logicalDotsPerInchX() * dDpr;
        ref.m_dDpiY = pScreen->logicalDotsPerInchY() * dDpr;
    }
    return ExportGraphMetafile(m_Graph, ref, kMetafileSize, strPath);
}

// --- painting and mouse ---

void CkestView::resizeEvent(QResizeEvent* pEvent) {
    QWidget::resizeEvent(pEvent);
    update();
}

void CkestView::paintEvent(QPaintEvent*) {
    // Whatever caused this paint, it shows all data drained so far.
    m_FrameClock.OnPainted(m_PaintClock.elapsed());
    m_FrameTimer.stop();
    // The graph works in device pixels so lines and text stay sharp on high-DPI screens.
    const qreal dDpr = devicePixelRatioF();
    const QSize size(qRound(width() * dDpr), qRound(height() * dDpr));
    if (m_sizeGraph != size) {
        m_sizeGraph = size;
        m_Graph.OnSize(size.width(), size.height());
    }
    if (size.isEmpty())
        return;
    m_Graph.UpdateDisplayWindow();
    if (dDpr == 1.0) {
        // Straight into the window's backing store, which Qt already double-buffers: no second
        // full-size image and no copy of it per frame.
        m_image = QImage();
        QPainter painter(this);
        CPainterCanvas canvas(&painter, size.width(), size.height());
        canvas.SetTextCache(&m_TextCache);
        m_Graph.DrawScreen(canvas);
    } else {
        // Scaled screens: device pixels in an image of their own, shown at the screen's ratio.
        if (m_image.size() != size)
            m_image = QImage(size, QImage::Format_RGB32);
        {
            QPainter imagePainter(&m_image);
            CPainterCanvas canvas(&imagePainter, size.width(), size.height());
            canvas.SetTextCache(&m_TextCache);
            m_Graph.DrawScreen(canvas);
        }
        m_image.setDevicePixelRatio(dDpr);
        QPainter painter(this);
        painter.drawImage(0, 0, m_image);
    }
    m_TextCache.EndFrame();
    // The statistics follow what this frame shows, once per frame.
    RefreshStats();
}

SPoint CkestView::DevicePoint(const QMouseEvent* pEvent) const {
    const qreal dDpr = devicePixelRatioF();
    const QPointF pt = pEvent->position() * dDpr;
    return {static_cast<int>(std::floor(pt.x())), static_cast<int>(std::floor(pt.y()))};
}

void CkestView::mousePressEvent(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::LeftButton)
        ApplyMouseAction(m_Graph.OnLButtonDown(MouseFlags(pEvent), DevicePoint(pEvent)));
    else if (pEvent->button() == Qt::RightButton)
        ApplyMouseAction(m_Graph.OnRButtonDown(MouseFlags(pEvent), DevicePoint(pEvent)));
}

void CkestView::mouseMoveEvent(QMouseEvent* pEvent) {
    ApplyMouseAction(m_Graph.OnMouseMove(MouseFlags(pEvent), DevicePoint(pEvent)));
}

void CkestView::mouseReleaseEvent(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::LeftButton)
        ApplyMouseAction(m_Graph.OnLButtonUp(MouseFlags(pEvent), DevicePoint(pEvent)));
}

void CkestView::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    // The double-click takes the place of the second press: a right double-click is one press
    // of the right button, not two.
    if (pEvent->button() == Qt::LeftButton)
        ApplyMouseAction(m_Graph.OnLButtonDblClk(MouseFlags(pEvent), DevicePoint(pEvent)));
}

void CkestView::ApplyMouseAction(const SMouseAction& action) {
    if (action.m_bCapture && QWidget::mouseGrabber() != this)
        grabMouse();
    if (action.m_bReleaseCapture && QWidget::mouseGrabber() == this)
        releaseMouse();
    if (action.m_bSetPointer) {
        switch (action.m_nPointer) {
        case PTR_SizeWE:
            setCursor(Qt::SizeHorCursor);
            break;
        case PTR_SizeNS:
            setCursor(Qt::SizeVerCursor);
            break;
        case PTR_Arrow:
            setCursor(Qt::ArrowCursor);
            break;
        }
    }
    if (action.m_bSaveChannelAttrs)
        SaveChannelAttrs(*m_pProfile, *m_pDoc);
    if (action.m_bInvalidate)
        update();
    for (int nChannel : action.m_OpenAttrDialogFor) {
        m_Graph.m_nSelChannel = nChannel;
        OnSetInputdata();
    }
    // Cancelled dialogs repaint nothing, yet each one changed the selected channel.
    if (!action.m_OpenAttrDialogFor.empty())
        update();
}
