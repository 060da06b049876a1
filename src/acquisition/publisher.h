#pragma once

#include "acquisition/publish_queue.h"
#include "acquisition/publish_settings.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// A channel as the json and influx payloads name and scale it.
struct SPublishChannel {
    QByteArray m_strName; ///< empty: chN
    QByteArray m_strUnit;
    double m_dMultiplier = 1.0; ///< display value = sample * m_dMultiplier + m_dAddend
    double m_dAddend = 0.0;
};

/// Everything one publishing run needs: the settings and what the payloads say about the source.
struct SPublisherConfig {
    static constexpr int kMaxChannels = 8;

    SPublishSettings m_Settings;
    QString m_strHost; ///< this machine's name: the default topic, client id and influx tag
    int m_nPort = 1;   ///< COM number of the logged port
    int m_nChannels = 1;
    std::array<SPublishChannel, kMaxChannels> m_Channels;

    /// The topic the lines go to: the settings' one, or DefaultTopic.
    QString Topic() const;
    /// The client id: the settings' one, or kest-<host>-<pid>.
    QString ClientId() const;
};

/// What the broker connection is doing.
enum class EBrokerState {
    Connecting,   ///< first attempt under way
    Connected,    ///< lines are being sent
    Retrying,     ///< the connection failed or was lost; waiting for the next attempt
    LoginRefused, ///< the broker refused the user name or password; retried with backoff
    TlsFailed,    ///< the TLS handshake or the certificate check failed; retried with backoff
    BadSettings,  ///< the settings cannot work (see m_eProblem); nothing is sent
    Stopped,
};

/// A snapshot of the publisher for status lines; copied under the publisher's lock.
struct SPublishStatus {
    EBrokerState m_eState = EBrokerState::Connecting;
    EPublishProblem m_eProblem = EPublishProblem::None; ///< BadSettings: why
    int64_t m_nOffered = 0;                             ///< lines handed to the publisher
    int64_t m_nSent = 0;    ///< acknowledged by the broker (QoS 1) or written to it (QoS 0)
    int64_t m_nQueued = 0;  ///< waiting or in flight
    int64_t m_nDropped = 0; ///< pushed out of the full queue, oldest first
    int64_t m_nSkipped = 0; ///< influx lines without one finite value (nothing to send)
    int m_nConnects = 0;    ///< connections the broker accepted
    QString m_strError;     ///< the last failure, worded by the library or the system
};

/// Short English state word (connected, retrying, ...), for the command line.
const char* BrokerStateName(EBrokerState eState);

/// The outcome of TestBrokerConnection.
struct SBrokerTestResult {
    bool m_bOk = false;
    EBrokerState m_eState = EBrokerState::Retrying; ///< the failure's kind when not m_bOk
    EPublishProblem m_eProblem = EPublishProblem::None;
    QString m_strError;
};

/// Connects once with config, waits at most nTimeoutMs for the broker's answer and disconnects.
/// Blocks the calling thread meanwhile.
SBrokerTestResult TestBrokerConnection(const SPublisherConfig& config, int nTimeoutMs);

/// The payload of one line in config's format; false when there is nothing to send (an influx
/// line without a finite value).
bool BuildPayload(const SPublisherConfig& config, const SPublishLine& line, QByteArray& payload);
/// The retained message on <topic>/meta that names the json values: port, host, channels with
/// name, unit, multiplier and addend.
QByteArray BuildMetadata(const SPublisherConfig& config);

/// Sends the lines of one logging run to an MQTT broker through libmosquitto; owned by the
/// logging session. Add and Commit run on the intake's thread and never wait for the network:
/// they only append to a bounded queue that the publisher's own thread empties. When the queue
/// is full the oldest line is dropped and counted. While the broker cannot be reached the thread
/// tries again with a growing delay; lines sent but not acknowledged when a connection is lost
/// go back to the front of the queue, so QoS 1 delivers every line that was not dropped at least
/// once, in order of first arrival.
class CPublisher {
public:
    explicit CPublisher(const SPublisherConfig& config);
    /// Stops without waiting for the queue.
    ~CPublisher();
    CPublisher(const CPublisher&) = delete;
    CPublisher& operator=(const CPublisher&) = delete;

    /// Starts the thread; the settings are checked there and a problem shows in Status.
    void Start();
    /// Notes one line (intake thread); it reaches the queue on Commit. A time not later than
    /// the previous line's becomes that one plus a nanosecond.
    void Add(const char* pszLine, int64_t nTimeNs);
    /// The same for a line whose length is known: the nLength bytes at pLine.
    void Add(const char* pLine, size_t nLength, int64_t nTimeNs);
    /// Hands the lines noted since the last Commit to the thread.
    void Commit();
    /// Ends the thread: while connected it first keeps sending for at most nDrainMs until the
    /// queue is empty. What is still queued then counts as dropped.
    void Stop(int nDrainMs);

    SPublishStatus Status() const;
    /// True once for each failure kind (login refused, TLS, lost connection, bad settings) until
    /// a connection succeeds again; status gets the state and its wording.
    bool TakeProblemToReport(SPublishStatus& status);
    const SPublisherConfig& Config() const { return m_Config; }

    /// How many lines are handed to the library without acknowledgement at most.
    static constexpr int kWindow = 256;

private:
    void Run();
    /// One connection from connect to loss or stop; returns true when the broker accepted it.
    bool RunConnection();
    void Wake();
    /// Waits up to nMs or until stop; false when stopping.
    bool WaitBackoff(int nMs);

    SPublisherConfig m_Config;
    QByteArray m_strTopic;
    CPublishQueue::SBatch m_Batch; ///< intake thread only: the lines since the last Commit

    mutable std::mutex m_Mutex;
    std::condition_variable m_Cond;
    CPublishQueue m_Queue;       ///< under m_Mutex
    SPublishStatus m_Status;     ///< under m_Mutex; m_nQueued computed in Status
    int64_t m_nInFlight = 0;     ///< under m_Mutex
    int64_t m_nSeq = 0;          ///< intake thread only
    int64_t m_nLastTimeNs = 0;   ///< intake thread only: the time given to the last line
    int m_nReportedMask = 0;     ///< under m_Mutex: failure kinds already told
    bool m_bStop = false;        ///< under m_Mutex
    bool m_bWantLines = false;   ///< under m_Mutex: the thread waits for lines to be committed
    int64_t m_nDrainUntilNs = 0; ///< under m_Mutex: steady-clock end of the final drain
    int m_fdWake = -1;           ///< eventfd that wakes the thread's poll
    std::thread m_Thread;
};
