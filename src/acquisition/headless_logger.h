#pragma once

#include "acquisition/comm_setting.h"
#include "acquisition/log_store.h"
#include "acquisition/logging_session.h"
#include "acquisition/port_map.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>

/// Something the user of a headless run hears of at once, as data; the command line words it.
struct SHeadlessNotice {
    enum class EKind {
        LogWriteFailed,  ///< a write to the log failed (m_nErrno): records are being dropped
        LogWriteResumed, ///< writing goes on after a gap of m_nLinesLost records
        LogMoved,        ///< the log was deleted or renamed away while it was written
        PortVanished,    ///< the device went away (m_strWhere); the reader waits for it
        PortReopened,    ///< the same device came back and is read again
        OtherDevice,     ///< another device appeared under the port's name; it is not opened
        BrokerProblem,   ///< publishing failed (m_strWhere: the state and the reason); retried
    };
    EKind m_eKind = EKind::LogWriteFailed;
    QDateTime m_Time;   ///< when it happened (wall clock)
    QString m_strWhere; ///< the log path or the device path
    int m_nErrno = 0;
    int64_t m_nLinesLost = 0;
};

/// What one headless logging run needs: the file, the port and the line settings.
struct SHeadlessOptions {
    QString m_strLogPath;
    bool m_bForce = false; ///< truncate an existing file instead of refusing it
    SCommSetting m_Comm;   ///< port number and line settings
    CPortMap m_PortMap;    ///< how the port number becomes a device
    int m_nChannels = 2;   ///< channels each line is split into (only the values; the log is raw)
    int64_t m_nDurationMs = 0; ///< stop after this long; 0 runs until Stop or RequestStop
    std::optional<SPublisherConfig> m_Publish; ///< set: every line also goes to this broker
};

/// Logging without a window: the window's logging session driven by the Qt Core event loop, with
/// a run time limit, a status line and a stop that waits for what the port already holds.
/// Owned by the caller; main thread only.
///
/// A stop request (a signal) gives the reader a short grace to take in what the port already
/// holds; then the session stops, which keeps every line received before the reader closed.
class CHeadlessLogger : public QObject {
public:
    /// Longest wait at a stop for a stream that never pauses.
    static constexpr int kStopGraceMs = 1000;
    /// A stop proceeds once no new line has come for this long.
    static constexpr int kStopQuietMs = 60;

    CHeadlessLogger();
    ~CHeadlessLogger() override;

    /// Starts the session: without m_bForce nothing may exist at the path, and a file created
    /// for a port that then cannot be opened is removed again. On failure nothing is left open.
    SLogStartResult Start(const SHeadlessOptions& options);
    /// Begins a clean stop (a signal): waits up to the grace for lines the port already holds,
    /// then finishes. A second request finishes at once. The end of the duration finishes at once.
    void RequestStop();
    /// Finishes at once (the session's stop) and calls the finish callback once.
    void Stop();

    bool IsRunning() const { return m_bRunning; }
    int64_t Lines() const { return m_Session.Lines(); }
    /// Bytes of whole records written to the log so far (records and their line ends).
    int64_t Bytes() const;
    /// Records lost to failed writes in this run.
    int64_t LinesLost() const { return m_Session.LogFile().LinesLost(); }
    /// The log was found deleted or renamed away during the run.
    bool LogMoved() const { return m_bLogMovedTold; }
    /// True when a write to the log failed during the run: the file is incomplete.
    bool HasLogFailed() const { return m_Session.HasLogFailed(); }
    /// "1234 lines, 98.7 lines/s, 45678 bytes" for the status line; the rate is that of the last
    /// status interval. While publishing, "; broker connected, 12 queued, 0 dropped" follows.
    QString StatusText() const;
    /// The publisher of the run (or the last one); null when it publishes nothing.
    const CPublisher* Publisher() const { return m_Session.Publisher(); }

    /// How long the stop keeps sending what is still queued for the broker.
    static constexpr int kPublishDrainMs = 10000;

    /// Called once when the run has finished (after the log is closed).
    std::function<void()> m_fnFinished;
    /// Called about once per second while logging (for the status line).
    std::function<void()> m_fnStatus;
    /// Called at once for each notice of the run.
    std::function<void(const SHeadlessNotice&)> m_fnNotice;

protected:
    bool event(QEvent* pEvent) override;

private:
    void Drain();
    void OnStopTick();
    void Notify(SHeadlessNotice::EKind eKind, const QString& strWhere, int nErrno = 0,
                int64_t nLinesLost = 0);
    /// Tells a first failed write and each gap after which writing resumed.
    void TellLogState();
    void CheckLogAtPath();
    /// Tells a broker failure once (the publisher says when it is new).
    void TellBrokerState();

    CLogStore m_Store;
    CLoggingSession m_Session{m_Store, this};
    QString m_strLogPath;
    QTimer m_StatusTimer;
    QTimer m_DurationTimer;
    QTimer m_StopTimer;
    QElapsedTimer m_Clock;
    QElapsedTimer m_StopClock;
    QElapsedTimer m_QuietClock;
    int64_t m_nStatusLines = 0; ///< m_nLines at the last status tick
    int64_t m_nStatusMs = 0;    ///< time of the last status tick
    double m_dRate = 0.0;
    bool m_bRunning = false;
    bool m_bLogMovedTold = false;
    bool m_bStopping = false;
};
