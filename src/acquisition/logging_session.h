#pragma once

#include "acquisition/comm_reader.h"
#include "acquisition/comm_setting.h"
#include "acquisition/line_intake.h"
#include "acquisition/log_file.h"
#include "acquisition/port_map.h"

#include <QString>

#include <cstdint>

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
    LogCannotCreate, ///< the file cannot be created or opened for writing
    PortNotMapped,   ///< the COM number maps to no device
    PortCannotOpen,  ///< the device is missing, busy or not permitted
};

/// The outcome of CLoggingSession::Start: the cause, and the path or device it concerns.
struct SLogStartResult {
    ELogStartFailure m_eFailure = ELogStartFailure::None;
    QString m_strWhere; ///< the log path for the log failures, the device path for the port ones
    int m_nPort = 0;

    bool Ok() const { return m_eFailure == ELogStartFailure::None; }
};

/// What becomes of a log file created by Start when the port then cannot be opened.
enum class EPortFailureLog {
    KeepEmptyFile, ///< the empty file stays (the window's rule: the user chose that file)
    RemoveNewFile, ///< a file that did not exist before is removed again (the command line's)
};

/// What one logging run needs.
struct SLoggingOptions {
    QString m_strLogPath;
    bool m_bReplace = true; ///< truncate an existing file; false refuses anything at the path
    EPortFailureLog m_ePortFailureLog = EPortFailureLog::KeepEmptyFile;
    SCommSetting m_Comm; ///< port number and line settings
    CPortMap m_PortMap;  ///< how the port number becomes a device
};

/// One logging run: the serial reader, the log file and the intake of its lines into a store.
/// Owned by the window's view or by the headless logger; runs on the thread of the notify object,
/// which the reader's worker reaches only through posted CCommDataEvents.
///
/// Start opens the log file first and then the port, so the file that was checked is the file
/// written and a port failure leaves the file as EPortFailureLog says. Every notification drains
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

    /// Opens the log, then the port, and starts the run. On failure nothing is left open.
    SLogStartResult Start(const SLoggingOptions& options);
    /// Handles one notification: drains the waiting lines into the log and the store, copying
    /// each row into pLatest (may be null) unless bHold. Returns the lines drained; nothing
    /// happens when no run is going.
    int OnCommData(bool bHold, double* pLatest);
    /// Ends the run: closes the reader, drains every line it still holds, closes the log.
    /// Returns the lines drained meanwhile; does nothing when no run is going.
    int Stop(bool bHold, double* pLatest);

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
    /// True once per run after the store first refused a row (the line is still logged).
    bool TakeStoreFullToReport() { return m_Intake.TakeStoreFullToReport(); }

private:
    int Drain(bool bHold, double* pLatest);

    CLogStore& m_Store;
    QObject* m_pNotify;
    CCommReader m_Reader;
    CLineIntake m_Intake;
    CLogFile m_LogFile;
    QString m_strLogPath;
    int64_t m_nLines = 0;
    int m_nPort = 0;
    bool m_bRunning = false;
};
