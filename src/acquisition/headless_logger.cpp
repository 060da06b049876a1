#include "acquisition/headless_logger.h"

#include "acquisition/comm_reader.h"

#include <QDateTime>

#include <algorithm>
#include <cstdint>

namespace {

constexpr int kStatusIntervalMs = 1000;
constexpr int kStopTickMs = 10;
// The store only carries the values through the intake here; nothing reads them back, so it is
// emptied after every batch and stays this small however long the run lasts.
constexpr int kStoreRows = 1024;

} // namespace

CHeadlessLogger::CHeadlessLogger() {
    m_StatusTimer.setInterval(kStatusIntervalMs);
    connect(&m_StatusTimer, &QTimer::timeout, this, [this] {
        const int64_t nMs = m_Clock.elapsed();
        const int64_t nLines = m_Session.Lines();
        if (nMs > m_nStatusMs)
            m_dRate = static_cast<double>(nLines - m_nStatusLines) * 1000.0 /
                      static_cast<double>(nMs - m_nStatusMs);
        m_nStatusMs = nMs;
        m_nStatusLines = nLines;
        CheckLogAtPath();
        TellBrokerState();
        if (m_fnStatus)
            m_fnStatus();
    });
    m_DurationTimer.setSingleShot(true);
    // The duration is the window the user asked for: no grace for lines still on their way.
    connect(&m_DurationTimer, &QTimer::timeout, this, [this] { Stop(); });
    m_StopTimer.setInterval(kStopTickMs);
    connect(&m_StopTimer, &QTimer::timeout, this, [this] { OnStopTick(); });
}

CHeadlessLogger::~CHeadlessLogger() {
    // The finish callback may refer to objects that are already gone.
    m_fnFinished = nullptr;
    Stop();
}

SLogStartResult CHeadlessLogger::Start(const SHeadlessOptions& options) {
    if (m_bRunning) {
        SLogStartResult busy;
        busy.m_eFailure = ELogStartFailure::AlreadyLogging;
        return busy;
    }
    m_Store.InitLogData(options.m_nChannels, kStoreRows, kStoreRows);
    SLoggingOptions session;
    session.m_strLogPath = options.m_strLogPath;
    // Neither way follows a link planted at the path, and a port that cannot be opened leaves
    // no new file behind and an old one untouched.
    session.m_eCreate = options.m_bForce ? ELogCreate::ReplaceChecked : ELogCreate::CreateNew;
    session.m_Comm = options.m_Comm;
    session.m_PortMap = options.m_PortMap;
    session.m_Publish = options.m_Publish;
    session.m_nPublishDrainMs = kPublishDrainMs;
    const SLogStartResult result = m_Session.Start(session);
    if (!result.Ok())
        return result;
    m_bLogMovedTold = false;
    m_nStatusLines = 0;
    m_nStatusMs = 0;
    m_dRate = 0.0;
    m_strLogPath = options.m_strLogPath;
    m_bRunning = true;
    m_bStopping = false;
    m_Clock.start();
    m_StatusTimer.start();
    if (options.m_nDurationMs > 0)
        m_DurationTimer.start(
            static_cast<int>(std::min<int64_t>(options.m_nDurationMs, INT32_MAX)));
    return result;
}

bool CHeadlessLogger::event(QEvent* pEvent) {
    if (pEvent->type() == CCommDataEvent::WM_COMMDATA) {
        if (m_bRunning)
            Drain();
        return true;
    }
    if (pEvent->type() == CCommStatusEvent::WM_COMMSTATUS) {
        const auto* pStatus = static_cast<const CCommStatusEvent*>(pEvent);
        SHeadlessNotice notice;
        notice.m_eKind = pStatus->Kind() == CCommStatusEvent::EKind::Vanished
                             ? SHeadlessNotice::EKind::PortVanished
                         : pStatus->Kind() == CCommStatusEvent::EKind::Reopened
                             ? SHeadlessNotice::EKind::PortReopened
                             : SHeadlessNotice::EKind::OtherDevice;
        notice.m_Time = pStatus->Time();
        notice.m_strWhere = pStatus->Device();
        if (m_bRunning && m_fnNotice)
            m_fnNotice(notice);
        return true;
    }
    return QObject::event(pEvent);
}

void CHeadlessLogger::Drain() {
    const int n = m_Session.OnCommData(false, nullptr);
    m_Store.ClearRows();
    if (n > 0)
        m_QuietClock.start();
    TellLogState();
}

void CHeadlessLogger::Notify(SHeadlessNotice::EKind eKind, const QString& strWhere, int nErrno,
                             int64_t nLinesLost) {
    if (!m_fnNotice)
        return;
    SHeadlessNotice notice;
    notice.m_eKind = eKind;
    notice.m_Time = QDateTime::currentDateTime();
    notice.m_strWhere = strWhere;
    notice.m_nErrno = nErrno;
    notice.m_nLinesLost = nLinesLost;
    m_fnNotice(notice);
}

void CHeadlessLogger::CheckLogAtPath() {
    // A log deleted or renamed away is still written, but nobody will find it under its name.
    if (!m_bLogMovedTold && !m_Session.LogFile().IsStillAtPath()) {
        m_bLogMovedTold = true;
        Notify(SHeadlessNotice::EKind::LogMoved, m_strLogPath);
    }
}

void CHeadlessLogger::TellLogState() {
    CLogFile& log = m_Session.LogFile();
    if (m_Session.TakeLogFailureToReport()) {
        const std::optional<SLogGap> gap = log.OpenGap();
        Notify(SHeadlessNotice::EKind::LogWriteFailed, m_strLogPath, gap ? gap->m_nErrno : 0);
    }
    for (const SLogGap& gap : log.TakeResumedGaps())
        Notify(SHeadlessNotice::EKind::LogWriteResumed, m_strLogPath, gap.m_nErrno,
               gap.m_nLinesLost);
}

void CHeadlessLogger::TellBrokerState() {
    CPublisher* pPublisher = m_Session.Publisher();
    SPublishStatus status;
    if (pPublisher != nullptr && pPublisher->TakeProblemToReport(status))
        Notify(SHeadlessNotice::EKind::BrokerProblem,
               QStringLiteral("%1: %2").arg(QLatin1String(BrokerStateName(status.m_eState)),
                                            status.m_strError));
}

void CHeadlessLogger::RequestStop() {
    if (!m_bRunning)
        return;
    if (m_bStopping) {
        Stop();
        return;
    }
    m_bStopping = true;
    m_DurationTimer.stop();
    m_StopClock.start();
    m_QuietClock.start();
    m_StopTimer.start();
}

void CHeadlessLogger::OnStopTick() {
    // The worker takes bytes from the port every few milliseconds; lines that were already in
    // the port's buffer when the stop came reach the ring within the quiet time.
    Drain();
    if (m_QuietClock.elapsed() >= kStopQuietMs || m_StopClock.elapsed() >= kStopGraceMs)
        Stop();
}

void CHeadlessLogger::Stop() {
    if (!m_bRunning)
        return;
    m_StopTimer.stop();
    m_StatusTimer.stop();
    m_DurationTimer.stop();
    CheckLogAtPath();
    m_Session.Stop(false, nullptr);
    m_Store.ClearRows();
    TellLogState();
    m_bRunning = false;
    m_bStopping = false;
    if (m_fnFinished)
        m_fnFinished();
}

int64_t CHeadlessLogger::Bytes() const {
    return m_Session.LogFile().BytesWritten();
}

QString CHeadlessLogger::StatusText() const {
    QString str = QStringLiteral("%1 lines, %2 lines/s, %3 bytes")
                      .arg(m_Session.Lines())
                      .arg(m_dRate, 0, 'f', 1)
                      .arg(Bytes());
    if (const CPublisher* pPublisher = m_Session.Publisher()) {
        const SPublishStatus status = pPublisher->Status();
        str += QStringLiteral("; broker %1, %2 queued, %3 dropped")
                   .arg(QLatin1String(BrokerStateName(status.m_eState)))
                   .arg(status.m_nQueued)
                   .arg(status.m_nDropped);
    }
    return str;
}
