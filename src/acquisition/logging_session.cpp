#include "acquisition/logging_session.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

CLoggingSession::CLoggingSession(CLogStore& store, QObject* pNotify)
    : m_Store(store), m_pNotify(pNotify) {}

CLoggingSession::~CLoggingSession() {
    Stop(false, nullptr);
}

SLogStartResult CLoggingSession::Start(const SLoggingOptions& options) {
    SLogStartResult result;
    result.m_nPort = options.m_Comm.m_nPort;
    auto fail = [&result](ELogStartFailure eFailure, const QString& strWhere) {
        result.m_eFailure = eFailure;
        result.m_strWhere = strWhere;
        return result;
    };
    const QString& strPath = options.m_strLogPath;
    if (m_bRunning)
        return fail(ELogStartFailure::AlreadyLogging, m_strLogPath);
    if (strPath.isEmpty())
        return fail(ELogStartFailure::NoLogPath, strPath);
    const QFileInfo info(strPath);
    if (info.isDir())
        return fail(ELogStartFailure::LogIsDirectory, strPath);
    // A dangling symbolic link counts as existing too: writing would create its target.
    const bool bExisted = info.exists() || info.isSymLink();
    if (!options.m_bReplace && bExisted)
        return fail(ELogStartFailure::LogExists, strPath);

    m_Intake.Reset();
    m_nLines = 0;
    m_nPort = options.m_Comm.m_nPort;
    if (!m_LogFile.Open(strPath))
        return fail(ELogStartFailure::LogCannotCreate, strPath);
    m_Reader.SetPortMap(options.m_PortMap);
    if (!m_Reader.Open(m_nPort, &options.m_Comm, m_pNotify)) {
        m_LogFile.Close();
        if (options.m_ePortFailureLog == EPortFailureLog::RemoveNewFile && !bExisted)
            QFile::remove(strPath);
        const QString strDevice = m_Reader.DevicePath();
        return fail(strDevice.isEmpty() ? ELogStartFailure::PortNotMapped
                                        : ELogStartFailure::PortCannotOpen,
                    strDevice);
    }
    m_strLogPath = strPath;
    m_bRunning = true;
    return result;
}

int CLoggingSession::Drain(bool bHold, double* pLatest) {
    const int n = m_Intake.OnCommData(m_Reader, m_Store, &m_LogFile, bHold, pLatest);
    m_nLines += n;
    return n;
}

int CLoggingSession::OnCommData(bool bHold, double* pLatest) {
    if (!m_bRunning)
        return 0;
    const int n = Drain(bHold, pLatest);
    // Stopped at its limit with lines still waiting: the rest comes after the events queued
    // meanwhile (a paint among them). The reader sends no notification for them by itself.
    if (m_Intake.m_bMoreWaiting && m_pNotify != nullptr)
        QCoreApplication::postEvent(m_pNotify, new CCommDataEvent(m_nPort));
    return n;
}

int CLoggingSession::Stop(bool bHold, double* pLatest) {
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
    m_bRunning = false;
    return nDrained;
}
