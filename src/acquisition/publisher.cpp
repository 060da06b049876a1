#include "acquisition/publisher.h"

#include "acquisition/parse_csv.h"

#include <QCoreApplication>
#include <QFile>

#include <mosquitto.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kKeepAliveS = 30;
constexpr int kConnectTimeoutMs = 10000;
constexpr int kFirstBackoffMs = 500;
constexpr int kMaxBackoffMs = 8000;
constexpr int kPollMs = 200;
constexpr int kThreadNice = 19;

int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               SteadyClock::now().time_since_epoch())
        .count();
}

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

void AppendNumber(QByteArray& out, double d) {
    char sz[32];
    const auto res = std::to_chars(sz, sz + sizeof sz, d);
    out.append(sz, res.ptr - sz);
}

void AppendInt(QByteArray& out, int64_t n) {
    char sz[24];
    const auto res = std::to_chars(sz, sz + sizeof sz, n);
    out.append(sz, res.ptr - sz);
}

/// Bytes from a file or the profile as valid UTF-8 (bad sequences become U+FFFD).
QByteArray ValidUtf8(const QByteArray& str) {
    return QString::fromUtf8(str).toUtf8();
}

void AppendJsonString(QByteArray& out, const QByteArray& strUtf8) {
    out.append('"');
    for (char c : strUtf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.append('\\');
            out.append(c);
        } else if (u < 0x20) {
            char sz[8];
            std::snprintf(sz, sizeof sz, "\\u%04x", u);
            out.append(sz);
        } else {
            out.append(c);
        }
    }
    out.append('"');
}

void AppendJsonNumber(QByteArray& out, double d) {
    if (std::isfinite(d))
        AppendNumber(out, d);
    else
        out.append("null");
}

/// Line protocol escaping of a tag value or field key: comma, equals sign and space get a
/// backslash; line ends, which the protocol cannot carry, become blanks.
void AppendInfluxKey(QByteArray& out, const QByteArray& str) {
    for (char c : str) {
        if (c == '\r' || c == '\n')
            c = ' ';
        if (c == ',' || c == '=' || c == ' ' || c == '\\')
            out.append('\\');
        out.append(c);
    }
}

void DisplayValues(const SPublisherConfig& config, const std::string& strLine, double* pValues) {
    const int n = std::clamp(config.m_nChannels, 1, SPublisherConfig::kMaxChannels);
    ParseLineToRow(strLine.c_str(), n, pValues);
    for (int i = 0; i < n; ++i) {
        const SPublishChannel& ch = config.m_Channels[static_cast<size_t>(i)];
        pValues[i] = pValues[i] * ch.m_dMultiplier + ch.m_dAddend;
    }
}

} // namespace

QString SPublisherConfig::Topic() const {
    return m_Settings.m_strTopic.isEmpty() ? DefaultTopic(m_strHost, m_nPort)
                                           : m_Settings.m_strTopic;
}

QString SPublisherConfig::ClientId() const {
    if (!m_Settings.m_strClientId.isEmpty())
        return m_Settings.m_strClientId;
    return QStringLiteral("kest-%1-%2").arg(m_strHost).arg(QCoreApplication::applicationPid());
}

const char* BrokerStateName(EBrokerState eState) {
    switch (eState) {
    case EBrokerState::Connecting:
        return "connecting";
    case EBrokerState::Connected:
        return "connected";
    case EBrokerState::Retrying:
        return "retrying";
    case EBrokerState::LoginRefused:
        return "login refused";
    case EBrokerState::TlsFailed:
        return "TLS failed";
    case EBrokerState::BadSettings:
        return "bad settings";
    case EBrokerState::Stopped:
        return "stopped";
    }
    return "unknown";
}

bool BuildPayload(const SPublisherConfig& config, const SPublishLine& line, QByteArray& payload) {
    payload.clear();
    const EPublishFormat eFormat = config.m_Settings.m_eFormat;
    if (eFormat == EPublishFormat::Line) {
        payload.append(line.m_strLine.data(), static_cast<qsizetype>(line.m_strLine.size()));
        return true;
    }
    const int n = std::clamp(config.m_nChannels, 1, SPublisherConfig::kMaxChannels);
    double values[SPublisherConfig::kMaxChannels];
    DisplayValues(config, line.m_strLine, values);
    if (eFormat == EPublishFormat::Json) {
        // A value that is not finite stays in its place as null: leaving it out would shift
        // every later channel onto the wrong index.
        payload.append("{\"t\":");
        AppendInt(payload, line.m_nTimeNs);
        payload.append(",\"seq\":");
        AppendInt(payload, line.m_nSeq);
        payload.append(",\"values\":[");
        for (int i = 0; i < n; ++i) {
            if (i > 0)
                payload.append(',');
            AppendJsonNumber(payload, values[i]);
        }
        payload.append("]}");
        return true;
    }
    payload.append("kest,host=");
    AppendInfluxKey(payload, config.m_strHost.toUtf8());
    payload.append(",port=COM");
    AppendInt(payload, config.m_nPort);
    payload.append(' ');
    bool bAny = false;
    std::vector<QByteArray> keys;
    for (int i = 0; i < n; ++i) {
        // The channel's name is the field key; a channel without one, or one named like an
        // earlier field, keeps chN so that no two fields collide.
        QByteArray strKey = ValidUtf8(config.m_Channels[static_cast<size_t>(i)].m_strName);
        if (strKey.isEmpty() || std::find(keys.begin(), keys.end(), strKey) != keys.end())
            strKey = "ch" + QByteArray::number(i + 1);
        keys.push_back(strKey);
        if (!std::isfinite(values[i]))
            continue;
        if (bAny)
            payload.append(',');
        AppendInfluxKey(payload, strKey);
        payload.append('=');
        AppendNumber(payload, values[i]);
        bAny = true;
    }
    if (!bAny)
        return false;
    payload.append(' ');
    AppendInt(payload, line.m_nTimeNs);
    return true;
}

QByteArray BuildMetadata(const SPublisherConfig& config) {
    QByteArray out("{\"host\":");
    AppendJsonString(out, config.m_strHost.toUtf8());
    out.append(",\"port\":\"COM");
    AppendInt(out, config.m_nPort);
    out.append("\",\"channels\":[");
    const int n = std::clamp(config.m_nChannels, 1, SPublisherConfig::kMaxChannels);
    for (int i = 0; i < n; ++i) {
        const SPublishChannel& ch = config.m_Channels[static_cast<size_t>(i)];
        if (i > 0)
            out.append(',');
        out.append("{\"name\":");
        AppendJsonString(out, ValidUtf8(ch.m_strName));
        out.append(",\"unit\":");
        AppendJsonString(out, ValidUtf8(ch.m_strUnit));
        out.append(",\"multiplier\":");
        AppendJsonNumber(out, ch.m_dMultiplier);
        out.append(",\"addend\":");
        AppendJsonNumber(out, ch.m_dAddend);
        out.append('}');
    }
    out.append("]}");
    return out;
}

/// One libmosquitto client from connect to its end, driven by the caller's thread with Step;
/// owned by that thread.
class CBrokerConnection {
public:
    CBrokerConnection() { InitLibrary(); }
    ~CBrokerConnection() {
        if (m_pMosq != nullptr)
            mosquitto_destroy(m_pMosq);
    }
    CBrokerConnection(const CBrokerConnection&) = delete;
    CBrokerConnection& operator=(const CBrokerConnection&) = delete;

    /// Sets up the client and starts connecting; false with m_eFail and m_strError on failure.
    bool Begin(const SPublisherConfig& config) {
        SBrokerUrl url;
        EPublishProblem eProblem = CheckPublishSettings(config.m_Settings);
        if (eProblem == EPublishProblem::None)
            eProblem = CheckTopic(config.Topic());
        if (eProblem == EPublishProblem::None)
            eProblem = ParseBrokerUrl(config.m_Settings.m_strUrl, url);
        QByteArray strPassword;
        if (eProblem == EPublishProblem::None)
            eProblem = ReadPublishPassword(config.m_Settings, strPassword);
        if (eProblem != EPublishProblem::None) {
            m_eProblem = eProblem;
            return Fail(EBrokerState::BadSettings,
                        QString::fromLatin1(PublishProblemText(eProblem)));
        }
        m_pMosq = mosquitto_new(config.ClientId().toUtf8().constData(), true, this);
        if (m_pMosq == nullptr)
            return Fail(EBrokerState::Retrying, QString::fromLocal8Bit(std::strerror(errno)));
        mosquitto_int_option(m_pMosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_connect_callback_set(m_pMosq, &CBrokerConnection::OnConnect);
        mosquitto_disconnect_callback_set(m_pMosq, &CBrokerConnection::OnDisconnect);
        mosquitto_publish_callback_set(m_pMosq, &CBrokerConnection::OnPublish);
        mosquitto_log_callback_set(m_pMosq, &CBrokerConnection::OnLog);
        const QByteArray strUser = config.m_Settings.m_strUser.toUtf8();
        if (!strUser.isEmpty()) {
            mosquitto_username_pw_set(m_pMosq, strUser.constData(),
                                      strPassword.isEmpty() ? nullptr : strPassword.constData());
        }
        if (url.m_bTls) {
            const QByteArray strCa = QFile::encodeName(config.m_Settings.m_strCaFile);
            const int rc = strCa.isEmpty() ? mosquitto_tls_set(m_pMosq, nullptr, "/etc/ssl/certs",
                                                               nullptr, nullptr, nullptr)
                                           : mosquitto_tls_set(m_pMosq, strCa.constData(), nullptr,
                                                               nullptr, nullptr, nullptr);
            if (rc != MOSQ_ERR_SUCCESS)
                return Fail(EBrokerState::TlsFailed,
                            QStringLiteral("TLS setup failed: %1")
                                .arg(QString::fromUtf8(mosquitto_strerror(rc))));
            // The broker's certificate must name the host connected to; never switched off.
            mosquitto_tls_insecure_set(m_pMosq, false);
        }
        const int rc = mosquitto_connect_async(m_pMosq, url.m_strHost.toUtf8().constData(),
                                               url.m_nPort, kKeepAliveS);
        if (rc != MOSQ_ERR_SUCCESS)
            return FailRc(rc);
        m_nDeadlineNs = SteadyNowNs() + int64_t{kConnectTimeoutMs} * 1000000;
        return true;
    }

    /// Waits for the socket (or fdWake) at most nTimeoutMs and does the reading, writing and
    /// housekeeping due; false once the connection has ended, with m_eFail and m_strError.
    bool Step(int nTimeoutMs, int fdWake) {
        const int fd = mosquitto_socket(m_pMosq);
        if (fd < 0)
            return Fail(EBrokerState::Retrying, QStringLiteral("connection closed"));
        pollfd fds[2] = {
            {fd, static_cast<short>(POLLIN | (mosquitto_want_write(m_pMosq) ? POLLOUT : 0)), 0},
            {fdWake, POLLIN, 0}};
        const int nPolled = ::poll(fds, fdWake >= 0 ? 2 : 1, nTimeoutMs);
        if (nPolled < 0 && errno != EINTR)
            return Fail(EBrokerState::Retrying, QString::fromLocal8Bit(std::strerror(errno)));
        if (fdWake >= 0 && (fds[1].revents & POLLIN) != 0) {
            uint64_t n = 0;
            [[maybe_unused]] const ssize_t r = ::read(fdWake, &n, sizeof n);
        }
        if ((fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
            const int rc = mosquitto_loop_read(m_pMosq, 1);
            if (rc != MOSQ_ERR_SUCCESS)
                return FailRc(rc);
        }
        if ((fds[0].revents & POLLOUT) != 0 && mosquitto_want_write(m_pMosq)) {
            const int rc = mosquitto_loop_write(m_pMosq, 1);
            if (rc != MOSQ_ERR_SUCCESS)
                return FailRc(rc);
        }
        const int rc = mosquitto_loop_misc(m_pMosq);
        if (rc != MOSQ_ERR_SUCCESS)
            return FailRc(rc);
        if (m_bLost)
            return Fail(EBrokerState::Retrying, QStringLiteral("the broker closed the connection"));
        if (!m_bConnected && SteadyNowNs() > m_nDeadlineNs)
            return Fail(EBrokerState::Retrying,
                        QStringLiteral("no answer from the broker within %1 s")
                            .arg(kConnectTimeoutMs / 1000));
        return true;
    }

    /// Sends what is still buffered and says goodbye; errors no longer matter here.
    void Close() {
        if (m_pMosq == nullptr || !m_bConnected)
            return;
        mosquitto_disconnect(m_pMosq);
        for (int i = 0; i < 20 && mosquitto_want_write(m_pMosq); ++i) {
            if (mosquitto_loop_write(m_pMosq, 1) != MOSQ_ERR_SUCCESS)
                break;
        }
    }

    /// False with m_eFail set when the library refuses the message.
    bool Publish(const QByteArray& strTopic, const QByteArray& payload, int nQos, bool bRetain,
                 int* pMid) {
        const int rc =
            mosquitto_publish(m_pMosq, pMid, strTopic.constData(), static_cast<int>(payload.size()),
                              payload.constData(), nQos, bRetain);
        return rc == MOSQ_ERR_SUCCESS || FailRc(rc);
    }

    bool IsConnected() const { return m_bConnected && !m_bLost; }
    /// True while the library holds packets it has not written to the socket yet.
    bool WantWrite() const { return m_pMosq != nullptr && mosquitto_want_write(m_pMosq); }

    std::function<void(int)> m_OnPublish;
    EBrokerState m_eFail = EBrokerState::Retrying;
    EPublishProblem m_eProblem = EPublishProblem::None;
    QString m_strError;

private:
    bool Fail(EBrokerState eState, const QString& strError) {
        m_eFail = eState;
        m_strError = strError;
        return false;
    }
    bool FailRc(int rc) {
        if (m_nConnackRc == 4 || m_nConnackRc == 5)
            return Fail(EBrokerState::LoginRefused,
                        QStringLiteral("the broker refused the login: %1")
                            .arg(QString::fromUtf8(mosquitto_connack_string(m_nConnackRc))));
        if (m_nConnackRc > 0)
            return Fail(EBrokerState::Retrying,
                        QStringLiteral("the broker refused the connection: %1")
                            .arg(QString::fromUtf8(mosquitto_connack_string(m_nConnackRc))));
        if (rc == MOSQ_ERR_TLS || m_strLog.contains(QLatin1String("OpenSSL")))
            return Fail(EBrokerState::TlsFailed,
                        m_strLog.isEmpty() ? QStringLiteral("TLS handshake failed")
                                           : QStringLiteral("TLS failed: %1").arg(m_strLog));
        if (rc == MOSQ_ERR_ERRNO)
            return Fail(EBrokerState::Retrying, QString::fromLocal8Bit(std::strerror(errno)));
        if (rc == MOSQ_ERR_EAI)
            return Fail(EBrokerState::Retrying,
                        QStringLiteral("the broker's host name is unknown"));
        return Fail(EBrokerState::Retrying, QString::fromUtf8(mosquitto_strerror(rc)));
    }

    static CBrokerConnection* Self(void* p) { return static_cast<CBrokerConnection*>(p); }
    static void OnConnect(mosquitto*, void* p, int rc) {
        Self(p)->m_nConnackRc = rc;
        Self(p)->m_bConnected = rc == 0;
    }
    static void OnDisconnect(mosquitto*, void* p, int) { Self(p)->m_bLost = true; }
    static void OnPublish(mosquitto*, void* p, int nMid) {
        if (Self(p)->m_OnPublish)
            Self(p)->m_OnPublish(nMid);
    }
    static void OnLog(mosquitto*, void* p, int nLevel, const char* psz) {
        // The library words TLS failures only here (certificate verify failed, ...).
        if ((nLevel & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING)) != 0 && Self(p)->m_strLog.isEmpty())
            Self(p)->m_strLog = QString::fromUtf8(psz);
    }

    mosquitto* m_pMosq = nullptr;
    int64_t m_nDeadlineNs = 0;
    int m_nConnackRc = -1;
    bool m_bConnected = false;
    bool m_bLost = false;
    QString m_strLog;
};

SBrokerTestResult TestBrokerConnection(const SPublisherConfig& config, int nTimeoutMs) {
    SBrokerTestResult result;
    CBrokerConnection conn;
    const int64_t nEndNs = SteadyNowNs() + int64_t{nTimeoutMs} * 1000000;
    bool bOk = conn.Begin(config);
    while (bOk && !conn.IsConnected()) {
        if (SteadyNowNs() > nEndNs) {
            result.m_strError =
                QStringLiteral("no answer from the broker within %1 ms").arg(nTimeoutMs);
            return result;
        }
        bOk = conn.Step(50, -1);
    }
    if (!bOk) {
        result.m_eState = conn.m_eFail;
        result.m_eProblem = conn.m_eProblem;
        result.m_strError = conn.m_strError;
        return result;
    }
    conn.Close();
    result.m_bOk = true;
    result.m_eState = EBrokerState::Connected;
    return result;
}

CPublisher::CPublisher(const SPublisherConfig& config)
    : m_Config(config), m_strTopic(config.Topic().toUtf8()) {
    m_Config.m_Settings = ClampPublishSettings(m_Config.m_Settings);
    m_fdWake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CPublisher::~CPublisher() {
    Stop(0);
    if (m_fdWake >= 0)
        ::close(m_fdWake);
}

void CPublisher::Start() {
    if (!m_Thread.joinable())
        m_Thread = std::thread([this] { Run(); });
}

void CPublisher::Add(const char* pszLine, int64_t nTimeNs) {
    Add(pszLine, std::strlen(pszLine), nTimeNs);
}

void CPublisher::Add(const char* pLine, size_t nLength, int64_t nTimeNs) {
    // Each line a time of its own, later than the one before: lines taken in one go (or on a
    // clock that did not move) would otherwise share one, and InfluxDB keeps a single point per
    // series and time.
    if (nTimeNs <= m_nLastTimeNs)
        nTimeNs = m_nLastTimeNs + 1;
    m_nLastTimeNs = nTimeNs;
    m_Batch.Add(pLine, nLength, nTimeNs, ++m_nSeq);
}

void CPublisher::Commit() {
    const size_t n = m_Batch.Size();
    if (n == 0)
        return;
    bool bWake = false;
    {
        const std::lock_guard lock(m_Mutex);
        m_Status.m_nDropped += m_Queue.PushBack(
            std::move(m_Batch), static_cast<size_t>(m_Config.m_Settings.m_nQueueLines));
        m_Status.m_nOffered += static_cast<int64_t>(n);
        bWake = m_bWantLines;
        m_bWantLines = false;
    }
    m_Batch = CPublishQueue::SBatch();
    // Woken only when it waits for lines: while it is busy or its window is full it comes back
    // for them by itself, and a wake-up per batch would cost the intake a system call and both
    // threads a switch.
    if (bWake)
        Wake();
}

void CPublisher::Stop(int nDrainMs) {
    Commit();
    {
        const std::lock_guard lock(m_Mutex);
        if (!m_bStop) {
            m_bStop = true;
            m_nDrainUntilNs = SteadyNowNs() + int64_t{std::max(nDrainMs, 0)} * 1000000;
        }
    }
    m_Cond.notify_all();
    Wake();
    if (m_Thread.joinable())
        m_Thread.join();
}

SPublishStatus CPublisher::Status() const {
    const std::lock_guard lock(m_Mutex);
    SPublishStatus status = m_Status;
    status.m_nQueued = static_cast<int64_t>(m_Queue.Size()) + m_nInFlight;
    return status;
}

namespace {

int ProblemBit(EBrokerState eState) {
    switch (eState) {
    case EBrokerState::Retrying:
        return 1;
    case EBrokerState::LoginRefused:
        return 2;
    case EBrokerState::TlsFailed:
        return 4;
    case EBrokerState::BadSettings:
        return 8;
    case EBrokerState::Connecting:
    case EBrokerState::Connected:
    case EBrokerState::Stopped:
        break;
    }
    return 0;
}

} // namespace

bool CPublisher::TakeProblemToReport(SPublishStatus& status) {
    const std::lock_guard lock(m_Mutex);
    const int nBit = ProblemBit(m_Status.m_eState);
    if (nBit == 0 || (m_nReportedMask & nBit) != 0)
        return false;
    m_nReportedMask |= nBit;
    status = m_Status;
    status.m_nQueued = static_cast<int64_t>(m_Queue.Size()) + m_nInFlight;
    return true;
}

void CPublisher::Wake() {
    if (m_fdWake >= 0) {
        const uint64_t n = 1;
        [[maybe_unused]] const ssize_t r = ::write(m_fdWake, &n, sizeof n);
    }
}

namespace {

/// Under the publisher's lock: whether the thread is done (stop asked, and the queue empty or
/// the drain time over).
bool Ending(bool bStop, bool bEmpty, int64_t nDrainUntilNs) {
    return bStop && (bEmpty || SteadyNowNs() >= nDrainUntilNs);
}

} // namespace

bool CPublisher::WaitBackoff(int nMs) {
    std::unique_lock lock(m_Mutex);
    const auto until = SteadyClock::now() + std::chrono::milliseconds(nMs);
    auto ending = [this] {
        return Ending(m_bStop, m_Queue.Empty() && m_nInFlight == 0, m_nDrainUntilNs);
    };
    while (!ending()) {
        // Stop wakes the wait; a drain deadline that passes meanwhile must end it too.
        auto next = until;
        if (m_bStop)
            next =
                std::min(next, SteadyClock::time_point(std::chrono::nanoseconds(m_nDrainUntilNs)));
        if (m_Cond.wait_until(lock, next) == std::cv_status::timeout && SteadyClock::now() >= until)
            break;
    }
    return !ending();
}

void CPublisher::Run() {
    // Below the intake in priority: when the cores are busy, the log goes first (a Linux thread
    // has a nice value of its own). Still a share of the processor under any load, unlike
    // SCHED_IDLE, so that a busy machine slows publishing but does not stop it.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kThreadNice);
    int nBackoffMs = kFirstBackoffMs;
    for (;;) {
        const bool bAccepted = RunConnection();
        {
            const std::lock_guard lock(m_Mutex);
            if (Ending(m_bStop, m_Queue.Empty() && m_nInFlight == 0, m_nDrainUntilNs))
                break;
        }
        if (bAccepted)
            nBackoffMs = kFirstBackoffMs;
        if (!WaitBackoff(nBackoffMs))
            break;
        nBackoffMs = std::min(nBackoffMs * 2, kMaxBackoffMs);
    }
    const std::lock_guard lock(m_Mutex);
    // What the drain time left unsent is lost to the broker: counted like any other drop.
    m_Status.m_nDropped += static_cast<int64_t>(m_Queue.Size());
    m_Queue.Clear();
    if (m_Status.m_eState == EBrokerState::Connected)
        m_Status.m_eState = EBrokerState::Stopped;
}

bool CPublisher::RunConnection() {
    CBrokerConnection conn;
    std::map<int, SPublishLine> inFlight;
    const int nQos = m_Config.m_Settings.m_nQos;
    int64_t nAcked = 0; // acknowledged since the last count under the lock
    conn.m_OnPublish = [&](int nMid) {
        const auto it = inFlight.find(nMid);
        if (it == inFlight.end())
            return; // the metadata message
        inFlight.erase(it);
        ++nAcked;
    };
    bool bAccepted = false;
    bool bEnded = false; // stopped, not failed
    bool bOk = conn.Begin(m_Config);
    QByteArray payload;
    std::vector<SPublishLine> batch;
    while (bOk) {
        {
            const std::lock_guard lock(m_Mutex);
            if (Ending(m_bStop, m_Queue.Empty() && m_nInFlight == 0, m_nDrainUntilNs)) {
                bEnded = true;
                break;
            }
        }
        if (conn.IsConnected() && !bAccepted) {
            bAccepted = true;
            {
                const std::lock_guard lock(m_Mutex);
                m_Status.m_eState = EBrokerState::Connected;
                m_Status.m_strError.clear();
                ++m_Status.m_nConnects;
                m_nReportedMask = 0;
            }
            if (m_Config.m_Settings.m_eFormat == EPublishFormat::Json)
                bOk = conn.Publish(m_strTopic + "/meta", BuildMetadata(m_Config), 1, true, nullptr);
        }
        // Lines are taken a window at a time, so that the intake's Commit and this thread meet
        // at the lock once per window instead of once per line.
        // QoS 0 has no acknowledgement to wait for: the window is the library's unsent packets
        // instead, so that a slow broker cannot make them pile up without bound.
        // A window is refilled once half of it is acknowledged, not after every acknowledgement:
        // lines then go out in bursts that the broker reads, and answers, many at a time, where
        // one line per acknowledgement would cost both processes a wake-up per line.
        const bool bRefill = static_cast<int>(inFlight.size()) <= kWindow / 2;
        while (bRefill && bOk && bAccepted && static_cast<int>(inFlight.size()) < kWindow &&
               (nQos > 0 || !conn.WantWrite())) {
            batch.clear();
            {
                const std::lock_guard lock(m_Mutex);
                m_Queue.PopFront(static_cast<size_t>(kWindow) - inFlight.size(), batch);
                // Nothing waiting and room in the window: the next Commit wakes this thread.
                m_bWantLines = batch.empty();
                if (batch.empty())
                    break;
                m_nInFlight += static_cast<int64_t>(batch.size());
            }
            int64_t nSentNow = 0;
            int64_t nSkippedNow = 0;
            size_t i = 0;
            for (; i < batch.size(); ++i) {
                SPublishLine& line = batch[i];
                if (!BuildPayload(m_Config, line, payload)) {
                    ++nSkippedNow;
                    continue;
                }
                int nMid = 0;
                if (!conn.Publish(m_strTopic, payload, nQos, false, &nMid)) {
                    bOk = false;
                    break;
                }
                if (nQos > 0)
                    inFlight.emplace(nMid, std::move(line));
                else
                    ++nSentNow; // QoS 0 has no acknowledgement: written to the library is sent
            }
            // What the library refused goes back in front, in its order.
            std::vector<SPublishLine> refused(
                std::make_move_iterator(batch.begin() + static_cast<std::ptrdiff_t>(i)),
                std::make_move_iterator(batch.end()));
            const std::lock_guard lock(m_Mutex);
            m_nInFlight -= static_cast<int64_t>(refused.size()) + nSentNow + nSkippedNow;
            m_Status.m_nDropped +=
                m_Queue.PushFront(refused, static_cast<size_t>(m_Config.m_Settings.m_nQueueLines));
            m_Status.m_nSent += nSentNow;
            m_Status.m_nSkipped += nSkippedNow;
        }
        if (bOk)
            bOk = conn.Step(kPollMs, m_fdWake);
        // Acknowledgements arrive only inside Step, a failing one included.
        if (nAcked > 0) {
            const std::lock_guard lock(m_Mutex);
            m_Status.m_nSent += nAcked;
            m_nInFlight -= nAcked;
            nAcked = 0;
        }
    }
    if (bEnded)
        conn.Close();
    // Lines not acknowledged go back in front of the queue in their order, to be sent again on
    // the next connection; the queue's bound still holds, and what it pushes out is counted.
    std::vector<SPublishLine> back;
    back.reserve(inFlight.size());
    for (auto& [nMid, line] : inFlight)
        back.push_back(std::move(line));
    std::sort(back.begin(), back.end(),
              [](const SPublishLine& a, const SPublishLine& b) { return a.m_nSeq < b.m_nSeq; });
    const std::lock_guard lock(m_Mutex);
    m_nInFlight = 0;
    m_Status.m_nDropped +=
        m_Queue.PushFront(back, static_cast<size_t>(m_Config.m_Settings.m_nQueueLines));
    if (!bEnded) {
        m_Status.m_eState = conn.m_eFail;
        m_Status.m_eProblem = conn.m_eProblem;
        m_Status.m_strError = conn.m_strError;
    }
    return bAccepted;
}
