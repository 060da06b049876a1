#include "acquisition/headless_logger.h"

#include <QFileInfo>

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
        if (nMs > m_nStatusMs)
            m_dRate = static_cast<double>(m_nLines - m_nStatusLines) * 1000.0 /
                      static_cast<double>(nMs - m_nStatusMs);
        m_nStatusMs = nMs;
        m_nStatusLines = m_nLines;
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

int CHeadlessLogger::Start(const SHeadlessOptions& options, QString& strError) {
    strError.clear();
    if (m_bRunning) {
        strError = QStringLiteral("already logging");
        return kExitUsage;
    }
    const QFileInfo info(options.m_strLogPath);
    if (options.m_strLogPath.isEmpty()) {
        strError = QStringLiteral("no log file given");
        return kExitUsage;
    }
    // A dangling symbolic link counts as existing too: writing would create its target.
    if (!options.m_bForce && (info.exists() || info.isSymLink())) {
        strError =
            QStringLiteral("%1 exists; give --force to overwrite it").arg(options.m_strLogPath);
        return kExitLogFile;
    }
    if (info.isDir()) {
        strError = QStringLiteral("%1 is a directory").arg(options.m_strLogPath);
        return kExitLogFile;
    }

    m_Store.InitLogData(options.m_nChannels, kStoreRows, kStoreRows);
    m_Intake.Reset();
    m_nLines = 0;
    m_nBytesAtStop = 0;
    m_nStatusLines = 0;
    m_nStatusMs = 0;
    m_dRate = 0.0;
    m_nResult = kExitLogged;

    // The port first: a port that cannot be opened leaves no empty file behind.
    m_Reader.SetPortMap(options.m_PortMap);
    if (!m_Reader.Open(options.m_Comm.m_nPort, &options.m_Comm, this)) {
        const QString strDevice = m_Reader.DevicePath();
        strError = strDevice.isEmpty()
                       ? QStringLiteral("COM%1 maps to no device (see kest --list-ports)")
                             .arg(options.m_Comm.m_nPort)
                       : QStringLiteral("cannot open COM%1 (%2): missing, busy or not permitted "
                                        "(see kest --list-ports)")
                             .arg(options.m_Comm.m_nPort)
                             .arg(strDevice);
        return kExitPortFailed;
    }
    if (!m_LogFile.Open(options.m_strLogPath)) {
        m_Reader.Close();
        strError = QStringLiteral("cannot create the log file %1").arg(options.m_strLogPath);
        return kExitLogFile;
    }
    m_strLogPath = options.m_strLogPath;
    m_bRunning = true;
    m_bStopping = false;
    m_Clock.start();
    m_StatusTimer.start();
    if (options.m_nDurationMs > 0)
        m_DurationTimer.start(
            static_cast<int>(std::min<int64_t>(options.m_nDurationMs, INT32_MAX)));
    return kExitLogged;
}

bool CHeadlessLogger::event(QEvent* pEvent) {
    if (pEvent->type() == CCommDataEvent::WM_COMMDATA) {
        if (m_bRunning)
            Drain();
        return true;
    }
    return QObject::event(pEvent);
}

void CHeadlessLogger::Drain() {
    const int n = m_Intake.OnCommData(m_Reader, m_Store, &m_LogFile, false, m_dLatest);
    m_nLines += n;
    for (int i = 0; i < m_Store.m_nChannels; ++i)
        m_Store.m_LogData[i].m_nCount = 0;
    if (n > 0)
        m_QuietClock.start();
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
    Drain();
    // Close lets the worker store what its current read already holds; those lines are complete
    // too and belong in the file, so the intake runs once more after it.
    m_Reader.Close();
    Drain();
    m_LogFile.Close();
    if (m_LogFile.HasFailed())
        m_nResult = kExitLogFile;
    m_nBytesAtStop = QFileInfo(m_strLogPath).size();
    m_bRunning = false;
    m_bStopping = false;
    if (m_fnFinished)
        m_fnFinished();
}

int64_t CHeadlessLogger::Bytes() const {
    if (!m_bRunning)
        return m_nBytesAtStop;
    // The intake flushes the log after every batch, so the file's size is what was written.
    QFileInfo info(m_strLogPath);
    info.setCaching(false);
    return info.size();
}

QString CHeadlessLogger::StatusText() const {
    return QStringLiteral("%1 lines, %2 lines/s, %3 bytes")
        .arg(m_nLines)
        .arg(m_dRate, 0, 'f', 1)
        .arg(Bytes());
}
