// The intake with and without publishing: N numbered lines written at full speed into a
// pseudo-terminal, read by the logging session into a log file and the store, and (with
// --broker PORT) published at QoS 1 to a broker on 127.0.0.1. Prints the intake's lines/s from
// the first line to the last one drained; the process ends without waiting for the broker, so
// its run time is the intake's. bench/publish.sh starts a broker and takes turns.
//
//   bench_publish [--broker PORT] [--lines N] [--queue LINES] [--log FILE]
#include "acquisition/log_store.h"
#include "acquisition/logging_session.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

class CHost : public QObject {
public:
    bool event(QEvent* pEvent) override {
        if (pEvent->type() == CCommDataEvent::WM_COMMDATA) {
            m_pSession->OnCommData(false, &m_Latest);
            if (m_pSession->Lines() >= m_nLines)
                QCoreApplication::exit(0);
            return true;
        }
        return QObject::event(pEvent);
    }
    CLoggingSession* m_pSession = nullptr;
    int64_t m_nLines = 0;
    SLatestRow m_Latest;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int nBrokerPort = 0;
    int64_t nLines = 200000;
    int nQueue = 0; // the default queue
    QString strLog = QDir::temp().filePath(QStringLiteral("kest-bench-publish.csv"));
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--broker") == 0)
            nBrokerPort = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--lines") == 0)
            nLines = std::atoll(argv[i + 1]);
        else if (std::strcmp(argv[i], "--queue") == 0)
            nQueue = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--log") == 0)
            strLog = QString::fromLocal8Bit(argv[i + 1]);
    }
    int fdMaster = -1;
    int fdSlave = -1;
    char szName[256] = {};
    if (::openpty(&fdMaster, &fdSlave, szName, nullptr, nullptr) != 0)
        return 1;
    termios tio{};
    ::tcgetattr(fdSlave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fdSlave, TCSANOW, &tio);

    CLogStore store;
    store.InitLogData(8, 65536, 65536);
    CHost host;
    CLoggingSession session(store, &host);
    host.m_pSession = &session;
    host.m_nLines = nLines;
    SLoggingOptions options;
    options.m_strLogPath = strLog;
    options.m_Comm.m_nPort = 1;
    CPortMap map(QStringLiteral("/nonexistent-dev-root"));
    map.SetOverrides({{1, QString::fromLocal8Bit(szName)}});
    options.m_PortMap = map;
    if (nBrokerPort > 0) {
        SPublisherConfig config;
        config.m_Settings.m_bEnabled = true;
        config.m_Settings.m_strUrl = QStringLiteral("mqtt://127.0.0.1:%1").arg(nBrokerPort);
        config.m_Settings.m_strTopic = QStringLiteral("kest/bench");
        if (nQueue > 0)
            config.m_Settings.m_nQueueLines = nQueue;
        config.m_strHost = QStringLiteral("bench");
        config.m_nChannels = 8;
        options.m_Publish = config;
        options.m_nPublishDrainMs = 0;
    }
    if (!session.Start(options).Ok())
        return 1;
    QElapsedTimer clock;
    std::thread writer([&] {
        std::string strChunk;
        for (int64_t i = 1; i <= nLines; ++i) {
            strChunk += std::to_string(i) + ",1.25,-3.5,7,0.001,12345.6,-0.5,2e3\r\n";
            if (strChunk.size() < 8192 && i < nLines)
                continue;
            size_t nDone = 0;
            while (nDone < strChunk.size()) {
                const ssize_t n =
                    ::write(fdMaster, strChunk.data() + nDone, strChunk.size() - nDone);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    return;
                nDone += static_cast<size_t>(n);
            }
            strChunk.clear();
        }
    });
    clock.start();
    QCoreApplication::exec();
    const double dSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    writer.join();
    int64_t nSent = 0;
    int64_t nDropped = 0;
    if (const CPublisher* pPublisher = session.Publisher()) {
        nSent = pPublisher->Status().m_nSent;
        nDropped = pPublisher->Status().m_nDropped;
    }
    session.Stop(false, nullptr);
    std::printf("%s %lld lines in %.3f s: %.0f lines/s (%lld acknowledged, %lld dropped by then)\n",
                nBrokerPort > 0 ? "publishing" : "not publishing",
                static_cast<long long>(session.Lines()), dSeconds,
                static_cast<double>(session.Lines()) / dSeconds, static_cast<long long>(nSent),
                static_cast<long long>(nDropped));
    ::close(fdMaster);
    ::close(fdSlave);
    QFile::remove(strLog);
    return 0;
}
