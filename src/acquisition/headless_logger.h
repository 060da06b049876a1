#pragma once

#include "acquisition/comm_reader.h"
#include "acquisition/comm_setting.h"
#include "acquisition/line_intake.h"
#include "acquisition/log_file.h"
#include "acquisition/log_store.h"
#include "acquisition/port_map.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>

/// Process exit codes of `kest --log`: each failure has its own, so scripts can tell them apart.
enum EHeadlessExit : int {
    kExitLogged = 0,    ///< logged until stopped; every received line is in the file
    kExitUsage = 2,     ///< wrong command line
    kExitLogFile = 3,   ///< the log file exists (no --force), cannot be created, or a write failed
    kExitPortFailed = 4 ///< the COM port cannot be opened
};

/// What one headless logging run needs: the file, the port and the line settings.
struct SHeadlessOptions {
    QString m_strLogPath;
    bool m_bForce = false; ///< truncate an existing file instead of refusing it
    SCommSetting m_Comm;   ///< port number and line settings
    CPortMap m_PortMap;    ///< how the port number becomes a device
    int m_nChannels = 2;   ///< channels each line is split into (only the values; the log is raw)
    int64_t m_nDurationMs = 0; ///< stop after this long; 0 runs until Stop or RequestStop
};

/// Logging without a window: the same serial reader, line intake and log file as the view's
/// logging, driven by the Qt Core event loop. Owned by the caller; main thread only.
///
/// Stopping keeps the file complete: the reader gets a short grace to take in what the port
/// already holds, then it is closed and whatever it stored meanwhile is drained once more before
/// the log is closed.
class CHeadlessLogger : public QObject {
public:
    /// Longest wait at a stop for a stream that never pauses.
    static constexpr int kStopGraceMs = 1000;
    /// A stop proceeds once no new line has come for this long.
    static constexpr int kStopQuietMs = 60;

    CHeadlessLogger();
    ~CHeadlessLogger() override;

    /// Opens the port and then the log file and starts logging. kExitLogged on success; otherwise
    /// the exit code, strError says why and nothing is left open (no file is created when the
    /// port fails).
    int Start(const SHeadlessOptions& options, QString& strError);
    /// Begins a clean stop (a signal): waits up to the grace for lines the port already holds,
    /// then finishes. A second request finishes at once. The end of the duration finishes at once.
    void RequestStop();
    /// Finishes at once: drains, closes the reader, drains what it stored while closing, closes
    /// the log. Calls the finish callback once.
    void Stop();

    bool IsRunning() const { return m_bRunning; }
    int64_t Lines() const { return m_nLines; }
    /// Bytes written to the log so far (records and their line ends).
    int64_t Bytes() const;
    /// kExitLogged, or kExitLogFile when a write to the log failed during the run.
    int Result() const { return m_nResult; }
    /// "1234 lines, 98.7 lines/s, 45678 bytes" for the status line; the rate is that of the last
    /// status interval.
    QString StatusText() const;

    /// Called once when the run has finished (after the log is closed).
    std::function<void()> m_fnFinished;
    /// Called about once per second while logging (for the status line).
    std::function<void()> m_fnStatus;

protected:
    bool event(QEvent* pEvent) override;

private:
    void Drain();
    void OnStopTick();

    CCommReader m_Reader;
    CLineIntake m_Intake;
    CLogFile m_LogFile;
    CLogStore m_Store;
    double m_dLatest[CLogStore::kMaxChannels] = {};
    QString m_strLogPath;
    QTimer m_StatusTimer;
    QTimer m_DurationTimer;
    QTimer m_StopTimer;
    QElapsedTimer m_Clock;
    QElapsedTimer m_StopClock;
    QElapsedTimer m_QuietClock;
    int64_t m_nLines = 0;
    int64_t m_nBytesAtStop = 0;
    int64_t m_nStatusLines = 0; ///< m_nLines at the last status tick
    int64_t m_nStatusMs = 0;    ///< time of the last status tick
    double m_dRate = 0.0;
    int m_nResult = kExitLogged;
    bool m_bRunning = false;
    bool m_bStopping = false;
};
