#include "acquisition/logging_session.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <optional>

CLoggingSession::CLoggingSession(CLogStore& store, QObject* pNotify)
    : m_Store(store), m_pNotify(pNotify) {}

CLoggingSession::~CLoggingSession() {
    Stop(false, nullptr);
}

ELogStartFailure CLoggingSession::OpenLog(const QString& strPath, ELogCreate eCreate,
                                          const SFileId* pExpected, SLogStartResult& result) {
    if (eCreate == ELogCreate::Truncate) {
        if (m_LogFile.Open(strPath))
            return ELogStartFailure::None;
        result.m_nErrno = errno;
        return ELogStartFailure::LogCannotCreate;
    }
    const ELogOpenMode eMode =
        eCreate == ELogCreate::CreateNew ? ELogOpenMode::CreateNew : ELogOpenMode::Replace;
    if (m_LogFile.Open(strPath, eMode, pExpected))
        return ELogStartFailure::None;
    const SLogOpenFailure& failure = m_LogFile.LastOpenFailure();
    result.m_nErrno = failure.m_nErrno;
    switch (failure.m_eKind) {
    case ELogOpenError::Exists:
        return ELogStartFailure::LogExists;
    case ELogOpenError::IsDirectory:
        return ELogStartFailure::LogIsDirectory;
    case ELogOpenError::IsLink:
        return ELogStartFailure::LogIsLink;
    case ELogOpenError::NotRegularFile:
        return ELogStartFailure::LogNotRegular;
    case ELogOpenError::NotTheCheckedFile:
        return ELogStartFailure::LogReplaced;
    case ELogOpenError::None:
    case ELogOpenError::Permission:
    case ELogOpenError::Other:
        break;
    }
    return ELogStartFailure::LogCannotCreate;
}

bool CLoggingSession::OpenPort(const SLoggingOptions& options, SLogStartResult& result) {
    m_Reader.SetPortMap(options.m_PortMap);
    if (m_Reader.Open(m_nPort, &options.m_Comm, m_pNotify))
        return true;
    const SCommOpenFailure& failure = m_Reader.LastOpenFailure();
    result.m_strWhere = failure.m_strDevice.isEmpty() ? m_Reader.DevicePath() : failure.m_strDevice;
    result.m_nErrno = failure.m_nErrno;
    result.m_nHolderPid = failure.m_nHolderPid;
    switch (failure.m_eKind) {
    case ECommOpenFailure::NoDevice:
        result.m_eFailure = m_Reader.DevicePath().isEmpty() ? ELogStartFailure::PortNotMapped
                                                            : ELogStartFailure::PortMissing;
        break;
    case ECommOpenFailure::Busy:
        result.m_eFailure = ELogStartFailure::PortBusy;
        break;
    case ECommOpenFailure::Permission:
        result.m_eFailure = ELogStartFailure::PortPermission;
        break;
    case ECommOpenFailure::None:
    case ECommOpenFailure::Other:
        result.m_eFailure = ELogStartFailure::PortCannotOpen;
        break;
    }
    return false;
}

SLogStartResult CLoggingSession::Start(const SLoggingOptions& options) {
    SLogStartResult result;
    result.m_nPort = options.m_Comm.m_nPort;
    const QString& strPath = options.m_strLogPath;
    auto fail = [&result](ELogStartFailure eFailure, const QString& strWhere) {
        result.m_eFailure = eFailure;
        result.m_strWhere = strWhere;
        return result;
    };
    if (m_bRunning)
        return fail(ELogStartFailure::AlreadyLogging, m_strLogPath);
    if (strPath.isEmpty())
        return fail(ELogStartFailure::NoLogPath, strPath);
    if (QFileInfo(strPath).isDir())
        return fail(ELogStartFailure::LogIsDirectory, strPath);

    m_Intake.Reset();
    m_nLines = 0;
    m_nPort = options.m_Comm.m_nPort;
    if (options.m_eCreate == ELogCreate::ReplaceChecked) {
        // The file is only looked at before the port: the port's failure must leave it whole.
        const std::optional<SFileId> id = CLogFile::IdentityOf(strPath);
        if (!OpenPort(options, result))
            return result;
        // Nothing was there when looked at: then only a new file may be made.
        const ELogStartFailure eLog =
            id ? OpenLog(strPath, ELogCreate::ReplaceChecked, &*id, result)
               : OpenLog(strPath, ELogCreate::CreateNew, nullptr, result);
        if (eLog != ELogStartFailure::None) {
            m_Reader.Close();
            return fail(eLog, strPath);
        }
    } else {
        const ELogStartFailure eLog = OpenLog(strPath, options.m_eCreate, nullptr, result);
        if (eLog != ELogStartFailure::None)
            return fail(eLog, strPath);
        if (!OpenPort(options, result)) {
            m_LogFile.Close();
            // Exclusive creation made this file: nobody else's is removed.
            if (options.m_eCreate == ELogCreate::CreateNew)
                QFile::remove(strPath);
            return result;
        }
    }
    m_strLogPath = strPath;
    m_pPublisher.reset();
    if (options.m_Publish) {
        SPublisherConfig config = *options.m_Publish;
        config.m_nPort = m_nPort;
        m_pPublisher = std::make_unique<CPublisher>(config);
        m_pPublisher->Start();
        m_nPublishDrainMs = options.m_nPublishDrainMs;
    }
    m_bRunning = true;
    return result;
}

int CLoggingSession::Drain(bool bHold, SLatestRow* pLatest) {
    const int n =
        m_Intake.OnCommData(m_Reader, m_Store, &m_LogFile, bHold, pLatest, m_pPublisher.get());
    m_nLines += n;
    return n;
}

int CLoggingSession::OnCommData(bool bHold, SLatestRow* pLatest) {
    if (!m_bRunning)
        return 0;
    const int n = Drain(bHold, pLatest);
    // Stopped at its limit with lines still waiting: the rest comes after the events queued
    // meanwhile (a paint among them). The reader sends no notification for them by itself.
    if (m_Intake.m_bMoreWaiting && m_pNotify != nullptr)
        QCoreApplication::postEvent(m_pNotify, new CCommDataEvent(m_nPort));
    return n;
}

int CLoggingSession::Stop(bool bHold, SLatestRow* pLatest) {
    if (!m_bRunning)
        return 0;
    // Close keeps every complete line the worker received, the ones the ring had no room for
    // and what the driver still held included; all of them belong in this log. A notification
    // still on its way afterwards finds the run over.
    m_Reader.Close();
    int nDrained = 0;
    do {
        nDrained += Drain(bHold, pLatest);
    } while (m_Intake.m_bMoreWaiting);
    m_LogFile.Close();
    // The log is complete first; the broker may then take its time, within the drain limit.
    if (m_pPublisher)
        m_pPublisher->Stop(m_nPublishDrainMs);
    m_bRunning = false;
    return nDrained;
}
