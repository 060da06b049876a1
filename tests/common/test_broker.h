#pragma once
// A mosquitto broker of the test's own on 127.0.0.1 and a free port, with its own configuration
// file, and a subscriber through libmosquitto that keeps every message it receives.

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <mosquitto.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// A port on 127.0.0.1 that nothing listened on a moment ago.
inline int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof addr;
    int nPort = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &nLen) == 0)
        nPort = ntohs(addr.sin_port);
    ::close(fd);
    return nPort;
}

inline bool PortAccepts(int nPort) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(nPort));
    const bool bOk = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return bOk;
}

/// The broker program; empty when it is not installed.
inline QString MosquittoBinary() {
    for (const char* psz :
         {"/usr/sbin/mosquitto", "/usr/bin/mosquitto", "/usr/local/sbin/mosquitto"}) {
        if (::access(psz, X_OK) == 0)
            return QString::fromLatin1(psz);
    }
    return {};
}

#define KEST_SKIP_WITHOUT_MOSQUITTO()                                                              \
    do {                                                                                           \
        if (MosquittoBinary().isEmpty())                                                           \
            GTEST_SKIP() << "mosquitto is not installed (scripts/setup.sh installs it)";           \
    } while (0)

/// One mosquitto process with a configuration file in strDir; stopped by the destructor.
class CTestBroker {
public:
    explicit CTestBroker(const QString& strDir) : m_strDir(strDir), m_nPort(FreeLoopbackPort()) {}
    ~CTestBroker() { Stop(); }
    CTestBroker(const CTestBroker&) = delete;
    CTestBroker& operator=(const CTestBroker&) = delete;

    int Port() const { return m_nPort; }
    /// Lines added to the configuration after the plain listener (more listeners, TLS, logins).
    QString m_strExtra;
    /// Anonymous clients allowed (false once a password file is configured).
    bool m_bAnonymous = true;

    /// Writes the configuration and starts the broker (again, after Stop, on the same port and
    /// with the sessions it saved); true once it accepts connections.
    bool Start() {
        const QString strConf = m_strDir + QStringLiteral("/mosquitto.conf");
        QFile file(strConf);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        QString str = QStringLiteral("listener %1 127.0.0.1\n").arg(m_nPort);
        str += m_strExtra;
        str += QStringLiteral("allow_anonymous %1\n").arg(m_bAnonymous ? "true" : "false");
        // Persistence keeps the subscriber's session and its queued messages over a restart;
        // no limit on that queue, so the broker itself drops nothing.
        str += QStringLiteral("persistence true\npersistence_location %1/\n").arg(m_strDir);
        str += QStringLiteral("max_queued_messages 0\nmax_inflight_messages 100\n");
        str += QStringLiteral("log_dest file %1/broker.log\n").arg(m_strDir);
        // Run as root, the broker would change to the user mosquitto and lose the test's files.
        if (::geteuid() == 0)
            str += QStringLiteral("user root\n");
        file.write(str.toUtf8());
        file.close();
        const QByteArray strBin = MosquittoBinary().toLocal8Bit();
        const QByteArray strConfBytes = strConf.toLocal8Bit();
        m_pid = ::fork();
        if (m_pid == 0) {
            // Its own log file has everything; the terminal would only get the root warning.
            const int fdNull = ::open("/dev/null", O_WRONLY);
            ::dup2(fdNull, 1);
            ::dup2(fdNull, 2);
            ::execl(strBin.constData(), strBin.constData(), "-c", strConfBytes.constData(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 500; ++i) {
            if (PortAccepts(m_nPort))
                return true;
            int nStatus = 0;
            if (::waitpid(m_pid, &nStatus, WNOHANG) == m_pid) {
                m_pid = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    /// SIGTERM, as a service stop would; the broker saves its sessions and exits.
    void Stop() {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        int nStatus = 0;
        ::waitpid(m_pid, &nStatus, 0);
        m_pid = -1;
    }
    QString Log() const {
        QFile file(m_strDir + QStringLiteral("/broker.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    QString m_strDir;
    int m_nPort = 0;
    pid_t m_pid = -1;
};

/// A QoS 1 subscriber with its own libmosquitto thread; a persistent one keeps its session on
/// the broker over a disconnection and reconnects by itself.
class CTestSubscriber {
public:
    struct SMessage {
        std::string m_strTopic;
        std::string m_strPayload;
        bool m_bRetained = false;
    };

    CTestSubscriber(int nPort, const std::string& strTopic, bool bPersistent = false)
        : m_strTopic(strTopic) {
        mosquitto_lib_init();
        m_pMosq = mosquitto_new(bPersistent ? "kest-test-subscriber" : nullptr, !bPersistent, this);
        mosquitto_reconnect_delay_set(m_pMosq, 1, 1, false);
        mosquitto_connect_callback_set(m_pMosq, [](mosquitto* m, void* p, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr,
                                    static_cast<CTestSubscriber*>(p)->m_strTopic.c_str(), 1);
        });
        mosquitto_subscribe_callback_set(m_pMosq, [](mosquitto*, void* p, int, int, const int*) {
            static_cast<CTestSubscriber*>(p)->m_bSubscribed = true;
        });
        mosquitto_message_callback_set(
            m_pMosq, [](mosquitto*, void* p, const mosquitto_message* pMsg) {
                auto* pSelf = static_cast<CTestSubscriber*>(p);
                const std::lock_guard lock(pSelf->m_Mutex);
                pSelf->m_vecMessages.push_back({pMsg->topic,
                                                std::string(static_cast<const char*>(pMsg->payload),
                                                            static_cast<size_t>(pMsg->payloadlen)),
                                                pMsg->retain});
            });
        mosquitto_connect(m_pMosq, "127.0.0.1", nPort, 30);
        mosquitto_loop_start(m_pMosq);
    }
    ~CTestSubscriber() {
        mosquitto_disconnect(m_pMosq);
        mosquitto_loop_stop(m_pMosq, true);
        mosquitto_destroy(m_pMosq);
    }
    CTestSubscriber(const CTestSubscriber&) = delete;
    CTestSubscriber& operator=(const CTestSubscriber&) = delete;

    bool WaitSubscribed(int nMs = 5000) {
        return WaitFor([this] { return m_bSubscribed.load(); }, nMs);
    }
    /// Waits until at least n messages have arrived.
    bool WaitCount(size_t n, int nMs) {
        return WaitFor([&] { return Messages().size() >= n; }, nMs);
    }
    /// Waits until no message arrived for nQuietMs (at most nMs in all).
    void WaitQuiet(int nQuietMs, int nMs) {
        size_t nLast = Messages().size();
        auto tLast = std::chrono::steady_clock::now();
        const auto tEnd = tLast + std::chrono::milliseconds(nMs);
        while (std::chrono::steady_clock::now() < tEnd) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const size_t n = Messages().size();
            if (n != nLast) {
                nLast = n;
                tLast = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - tLast >
                       std::chrono::milliseconds(nQuietMs)) {
                return;
            }
        }
    }
    std::vector<SMessage> Messages() const {
        const std::lock_guard lock(m_Mutex);
        return m_vecMessages;
    }
    /// The payloads of the messages on topic, in arrival order.
    std::vector<std::string> Payloads(const std::string& strTopic) const {
        std::vector<std::string> vec;
        for (const SMessage& msg : Messages()) {
            if (msg.m_strTopic == strTopic)
                vec.push_back(msg.m_strPayload);
        }
        return vec;
    }

private:
    template <class Pred> static bool WaitFor(Pred pred, int nMs) {
        const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
        while (!pred()) {
            if (std::chrono::steady_clock::now() > tEnd)
                return pred();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::string m_strTopic;
    mosquitto* m_pMosq = nullptr;
    std::atomic<bool> m_bSubscribed{false};
    mutable std::mutex m_Mutex;
    std::vector<SMessage> m_vecMessages;
};
