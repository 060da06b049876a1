#pragma once

#include "acquisition/comm_reader.h"
#include "acquisition/comm_setting.h"
#include "acquisition/latest_row.h"
#include "acquisition/line_intake.h"
#include "acquisition/log_file.h"
#include "acquisition/port_map.h"
#include "acquisition/publisher.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

class CLogStore;
class QObject;

/// Why a logging run did not start. The session only names the cause; the window and the
/// command line each word it for their own user.
enum class ELogStartFailure {
    None,
    AlreadyLogging,
    NoLogPath,
    LogExists,       ///< something is at the path and replacing it was not asked for
    LogIsDirectory,  ///< the path names a directory
    LogIsLink,       ///< a symbolic link is at the path where none is followed
    LogNotRegular,   ///< a FIFO, socket or block device is at the path
    LogReplaced,     ///< the file at the path changed between the check and the open
    LogCannotCreate, ///< the file cannot be created or opened for writing (m_nErrno says why)
    PortNotMapped,   ///< the COM number maps to no device
    PortMissing,     ///< nothing is at the device path
    PortBusy,        ///< another program holds the device (m_nHolderPid when known)
    PortPermission,  ///< no read and write access to the device
    PortCannotOpen,  ///< any other reason (m_nErrno when known)
};

/// The outcome of CLoggingSession::Start: the cause, and the path or device it concerns.
struct SLogStartResult {
    ELogStartFailure m_eFailure = ELogStartFailure::None;
    QString m_strWhere; ///< the log path for the log failures, the device path for the port ones
    int m_nPort = 0;
    int m_nErrno = 0;        ///< the system's reason, 0 when it gave none
    qint64 m_nHolderPid = 0; ///< PortBusy: the process holding the device, 0 when unknown

    bool Ok() const { return m_eFailure == ELogStartFailure::None; }
    bool IsPortFailure() const { return m_eFailure >= ELogStartFailure::PortNotMapped; }
};

/// How Start creates the log file, and with it the order of the two opens.
enum class ELogCreate {
    /// Create or truncate whatever the path names, links followed; the file first, then the
    /// port, and a port failure leaves the empty file (the window's rule: the user chose it and
    /// the file dialog asked before an existing one was overwritten).
    Truncate,
    /// Only a new file, nothing followed (O_EXCL | O_NOFOLLOW): the file first, so no link can
    /// be planted between a check and the open; a port failure removes the new file again.
    CreateNew,
    /// An existing regular file (or a character device such as /dev/null) is replaced, a link is
    /// refused: the file at the path is noted first, then the port is opened, then that same
    /// file is opened and truncated, so a port failure leaves the old file untouched.
    ReplaceChecked,
};

/// What one logging run needs.
struct SLoggingOptions {
    QString m_strLogPath;
    ELogCreate m_eCreate = ELogCreate::Truncate;
    SCommSetting m_Comm; ///< port number and line settings
    CPortMap m_PortMap;  ///< how the port number becomes a device
    /// Set: every line the log receives is also published this way (m_nPort is taken from
    /// m_Comm).
    std::optional<SPublisherConfig> m_Publish;
    /// How long Stop keeps sending what is queued before it counts the rest as dropped.
    int m_nPublishDrainMs = 2000;
};

/// One logging run: the serial reader, the log file and the intake of its lines into a store.
/// Owned by the window's view or by the headless logger; runs on the thread of the notify object,
/// which the reader's worker reaches only through posted CCommDataEvents.
///
/// Start opens the log file and the port in the order ELogCreate gives, and a failure of either
/// leaves nothing open. Every notification drains
/// at most CLineIntake::kMaxLinesPerCall lines and then posts a notification of its own, so a
/// device as fast as the drain cannot shut out the rest of the event loop. Stop closes the reader
/// and then drains until nothing is left before it closes the log: every complete line received
/// before the reader closed is in the log.
class CLoggingSession {
public:
    /// store receives the rows; pNotify receives the reader's notifications, which its owner
    /// hands to OnCommData. Both must outlive the session.
    CLoggingSession(CLogStore& store, QObject* pNotify);
    /// Stops a run still going, so that no reader thread outlives its session.
    ~CLoggingSession();
    CLoggingSession(const CLoggingSession&) = delete;
    CLoggingSession& operator=(const CLoggingSession&) = delete;

    /// Opens the log and the port (ELogCreate gives the order) and starts the run. On failure
    /// nothing is left open.
    SLogStartResult Start(const SLoggingOptions& options);
    /// Handles one notification: drains the waiting lines into the log and the store, copying
    /// each row into pLatest (may be null) unless bHold. Returns the lines drained; nothing
    /// happens when no run is going.
    int OnCommData(bool bHold, SLatestRow* pLatest);
    /// Ends the run: closes the reader, drains every line it still holds, closes the log.
    /// Returns the lines drained meanwhile; does nothing when no run is going.
    int Stop(bool bHold, SLatestRow* pLatest);

    bool IsRunning() const { return m_bRunning; }
    /// Lines drained in this run (or the last one, once stopped).
    int64_t Lines() const { return m_nLines; }
    /// The log path of this run (or the last one).
    const QString& LogPath() const { return m_strLogPath; }
    /// The device path of the port this run opened or tried to open.
    QString DevicePath() const { return m_Reader.DevicePath(); }
    int Port() const { return m_nPort; }

    /// True once per run after a write to the log has failed.
    bool TakeLogFailureToReport() { return m_LogFile.TakeFailureToReport(); }
    bool HasLogFailed() const { return m_LogFile.HasFailed(); }
    /// The log file of this run (or the last one), for its byte counts and gaps.
    const CLogFile& LogFile() const { return m_LogFile; }
    CLogFile& LogFile() { return m_LogFile; }
    /// True once per run after the store first refused a row (the line is still logged).
    bool TakeStoreFullToReport() { return m_Intake.TakeStoreFullToReport(); }
    /// The publisher of this run (or the last one), null when the run publishes nothing.
    CPublisher* Publisher() { return m_pPublisher.get(); }
    const CPublisher* Publisher() const { return m_pPublisher.get(); }

private:
    int Drain(bool bHold, SLatestRow* pLatest);
    /// Opens the log as eCreate says; the failure kind, or None.
    ELogStartFailure OpenLog(const QString& strPath, ELogCreate eCreate, const SFileId* pExpected,
                             SLogStartResult& result);
    /// Opens the port; on failure fills result and returns false.
    bool OpenPort(const SLoggingOptions& options, SLogStartResult& result);

    CLogStore& m_Store;
    QObject* m_pNotify;
    CCommReader m_Reader;
    CLineIntake m_Intake;
    CLogFile m_LogFile;
    std::unique_ptr<CPublisher> m_pPublisher;
    int m_nPublishDrainMs = 0;
    QString m_strLogPath;
    int64_t m_nLines = 0;
    int m_nPort = 0;
    bool m_bRunning = false;
};
