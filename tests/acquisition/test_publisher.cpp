// The publisher against a real mosquitto of the test's own, fed through a real pseudo-terminal
// and the logging session: delivery at QoS 1, a broker stopped mid-run, a full queue, TLS and
// logins, and the payloads read back by parsers that do not share the publisher's code.
#include "acquisition/publisher.h"

#include "acquisition/log_store.h"
#include "acquisition/logging_session.h"
#include "pty_pair.h"
#include "session_host.h"
#include "test_broker.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <thread>

namespace {

constexpr int kPort = 3;
const std::string kTopic = "kest/test/COM3";

std::vector<std::string> LogLines(const QString& strPath) {
    QFile file(strPath);
    std::vector<std::string> vec;
    if (!file.open(QIODevice::ReadOnly))
        return vec;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            vec.push_back(line.endsWith('\r') ? line.chopped(1).toStdString() : line.toStdString());
    }
    return vec;
}

class PublisherTest : public ::testing::Test {
protected:
    void SetUp() override {
        KEST_SKIP_WITHOUT_MOSQUITTO();
        ASSERT_TRUE(m_Pty.IsValid());
        ASSERT_TRUE(m_Dir.isValid());
        m_Host.m_pSession = &m_Session;
        m_Options.m_strLogPath = m_Dir.filePath(QStringLiteral("run.csv"));
        m_Options.m_Comm.m_nPort = kPort;
        m_Options.m_PortMap = MapOne(kPort, m_Pty.SlavePath());
        m_Store.InitLogData(3, 1024, 1024);
    }
    SPublisherConfig Config(int nBrokerPort) const {
        SPublisherConfig config;
        config.m_Settings.m_bEnabled = true;
        config.m_Settings.m_strUrl = QStringLiteral("mqtt://127.0.0.1:%1").arg(nBrokerPort);
        config.m_Settings.m_strTopic = QString::fromStdString(kTopic);
        config.m_strHost = QStringLiteral("bench-pc");
        config.m_nChannels = 3;
        return config;
    }
    /// Writes the lines from a thread at about nPerSecond (0: as fast as the terminal takes
    /// them) while the event loop drains, until the session has them all.
    void Feed(const std::vector<std::string>& vecLines, int nPerSecond,
              const std::function<void(size_t)>& onLine = {}) {
        std::thread writer([&] {
            auto next = std::chrono::steady_clock::now();
            std::string strChunk;
            for (size_t i = 0; i < vecLines.size(); ++i) {
                strChunk += vecLines[i] + "\r\n";
                if (onLine)
                    onLine(i);
                if (nPerSecond == 0 && strChunk.size() < 4096 && i + 1 < vecLines.size())
                    continue;
                m_Pty.Write(strChunk);
                strChunk.clear();
                if (nPerSecond > 0) {
                    next += std::chrono::microseconds(1000000 / nPerSecond);
                    std::this_thread::sleep_until(next);
                }
            }
        });
        const int64_t n = static_cast<int64_t>(vecLines.size());
        const bool bAll = WaitUntil([&] { return m_Session.Lines() >= n; }, 120000);
        writer.join();
        EXPECT_TRUE(bAll) << m_Session.Lines() << " of " << n << " lines drained";
    }

    QTemporaryDir m_Dir;
    CPtyPair m_Pty;
    CLogStore m_Store;
    CSessionHost m_Host;
    CLoggingSession m_Session{m_Store, &m_Host};
    SLoggingOptions m_Options;
};

std::vector<std::string> NumberedLines(int n) {
    std::vector<std::string> vec;
    for (int i = 1; i <= n; ++i)
        vec.push_back(std::to_string(i) + ",1.25,-3.5");
    return vec;
}

TEST_F(PublisherTest, EveryLineArrivesOnceInOrderEqualToTheLog) {
    CTestBroker broker(m_Dir.path());
    ASSERT_TRUE(broker.Start()) << broker.Log().toStdString();
    CTestSubscriber sub(broker.Port(), kTopic);
    ASSERT_TRUE(sub.WaitSubscribed());
    // A burst at terminal speed outruns any broker connection: the queue holds the whole run.
    SPublisherConfig config = Config(broker.Port());
    config.m_Settings.m_nQueueLines = 100000;
    m_Options.m_Publish = config;
    m_Options.m_nPublishDrainMs = 30000;
    ASSERT_TRUE(m_Session.Start(m_Options).Ok());
    const std::vector<std::string> vecLines = NumberedLines(100000);
    const auto t0 = std::chrono::steady_clock::now();
    Feed(vecLines, 0);
    const auto t1 = std::chrono::steady_clock::now();
    m_Session.Stop(false, nullptr);
    const auto t2 = std::chrono::steady_clock::now();
    std::printf("intake %.3f s, publishing done %.3f s after the first line\n",
                std::chrono::duration<double>(t1 - t0).count(),
                std::chrono::duration<double>(t2 - t0).count());
    const SPublishStatus status = m_Session.Publisher()->Status();
    EXPECT_EQ(status.m_nDropped, 0);
    EXPECT_EQ(status.m_nSent, 100000);
    EXPECT_EQ(status.m_nConnects, 1);
    ASSERT_TRUE(sub.WaitCount(100000, 30000)) << sub.Messages().size();
    sub.WaitQuiet(300, 2000);
    const std::vector<std::string> vecLog = LogLines(m_Options.m_strLogPath);
    EXPECT_EQ(vecLog, vecLines);
    const std::vector<std::string> vecGot = sub.Payloads(kTopic);
    EXPECT_EQ(vecGot.size(), vecLog.size());
    EXPECT_TRUE(vecGot == vecLog);
}

// Five seconds without a broker at 2000 lines/s with room for 1000: the queued lines arrive
// after the restart, the ones pushed out are a run of the oldest, and every missing line is
// counted. QoS 1 may repeat a line that was in flight at the stop; never one out of order.
TEST_F(PublisherTest, BrokerStoppedForFiveSecondsReconnectsAndCountsEveryLineItDropped) {
    CTestBroker broker(m_Dir.path());
    ASSERT_TRUE(broker.Start());
    CTestSubscriber sub(broker.Port(), kTopic, true);
    ASSERT_TRUE(sub.WaitSubscribed());
    SPublisherConfig config = Config(broker.Port());
    config.m_Settings.m_nQueueLines = 1000;
    m_Options.m_Publish = config;
    m_Options.m_nPublishDrainMs = 20000;
    ASSERT_TRUE(m_Session.Start(m_Options).Ok());
    const std::vector<std::string> vecLines = NumberedLines(20000);
    std::atomic<int64_t> nRestartNs{0};
    std::thread outage;
    Feed(vecLines, 2000, [&](size_t i) {
        if (i == 4000) {
            outage = std::thread([&] {
                broker.Stop();
                std::this_thread::sleep_for(std::chrono::seconds(5));
                broker.Start();
                nRestartNs = std::chrono::steady_clock::now().time_since_epoch().count();
            });
        }
    });
    outage.join();
    const bool bBack =
        WaitUntil([&] { return m_Session.Publisher()->Status().m_nConnects >= 2; }, 20000);
    const int64_t nReconnectMs =
        (std::chrono::steady_clock::now().time_since_epoch().count() - nRestartNs) / 1000000;
    ASSERT_TRUE(bBack);
    m_Session.Stop(false, nullptr);
    const SPublishStatus status = m_Session.Publisher()->Status();
    RecordProperty("reconnect_after_restart_ms_at_most", static_cast<int>(nReconnectMs));
    std::printf("reconnected within %lld ms of the restart; dropped %lld, sent %lld\n",
                static_cast<long long>(nReconnectMs), static_cast<long long>(status.m_nDropped),
                static_cast<long long>(status.m_nSent));
    EXPECT_EQ(LogLines(m_Options.m_strLogPath), vecLines);
    EXPECT_EQ(status.m_nQueued, 0);
    // The broker hands the subscriber what it kept over the restart only once the subscriber is
    // back (it retries each second): a loaded machine needs a longer quiet spell than one second.
    sub.WaitQuiet(3000, 30000);
    // The first arrival of each line, in arrival order.
    std::vector<int> vecFirst;
    std::set<int> setSeen;
    for (const std::string& str : sub.Payloads(kTopic)) {
        const int n = std::stoi(str);
        if (setSeen.insert(n).second)
            vecFirst.push_back(n);
    }
    EXPECT_TRUE(std::is_sorted(vecFirst.begin(), vecFirst.end()));
    // Every line counted as dropped is missing, except those the broker had taken when it went
    // away without acknowledging them (at most a window in flight): the publisher cannot know
    // those arrived. Every missing line is counted.
    const int64_t nMissing = static_cast<int64_t>(vecLines.size() - setSeen.size());
    EXPECT_LE(nMissing, status.m_nDropped);
    EXPECT_LE(status.m_nDropped, nMissing + CPublisher::kWindow);
    EXPECT_GT(status.m_nDropped, 5000); // the outage really overflowed the queue
    // The outage pushed the oldest out as one block: while the broker was away the queue only
    // lost its oldest line for each new one, so the longest run of missing lines spans most of
    // the outage. (A loaded machine may also overflow the queue for a moment while the broker
    // is up, and the lines in flight at the stop may have reached it: shorter runs beside it.)
    int nLongestRun = 0;
    for (int i = 1, nRun = 0; i <= static_cast<int>(vecLines.size()); ++i) {
        nRun = setSeen.count(i) ? 0 : nRun + 1;
        nLongestRun = std::max(nLongestRun, nRun);
    }
    EXPECT_GT(nLongestRun, 5000);
    EXPECT_EQ(status.m_nSent + status.m_nDropped >= static_cast<int64_t>(vecLines.size()), true);
}

// Nothing listens at first: the queue holds its newest 1000 of 5000 lines, the counter says 4000,
// the failure is told once; when a broker appears, exactly lines 4001..5000 arrive, in order.
TEST_F(PublisherTest, FullQueueWithTheBrokerDownKeepsTheNewestAndCountsTheRest) {
    CTestBroker broker(m_Dir.path());
    SPublisherConfig config = Config(broker.Port());
    config.m_Settings.m_nQueueLines = 1000;
    CPublisher publisher(config);
    publisher.Start();
    int64_t nMaxQueued = 0;
    for (int i = 1; i <= 5000; ++i) {
        publisher.Add(std::to_string(i).c_str(), i);
        if (i % 100 == 0) {
            publisher.Commit();
            nMaxQueued = std::max(nMaxQueued, publisher.Status().m_nQueued);
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return publisher.Status().m_eState == EBrokerState::Retrying; }));
    SPublishStatus told;
    EXPECT_TRUE(publisher.TakeProblemToReport(told));
    EXPECT_FALSE(told.m_strError.isEmpty());
    EXPECT_FALSE(publisher.TakeProblemToReport(told));
    EXPECT_LE(nMaxQueued, 1000);
    EXPECT_EQ(publisher.Status().m_nQueued, 1000);
    EXPECT_EQ(publisher.Status().m_nDropped, 4000);

    ASSERT_TRUE(broker.Start());
    CTestSubscriber sub(broker.Port(), kTopic);
    ASSERT_TRUE(sub.WaitSubscribed());
    // The subscriber must be there before the publisher's next attempt delivers anything.
    ASSERT_TRUE(sub.WaitCount(1000, 20000)) << sub.Messages().size();
    sub.WaitQuiet(300, 2000);
    std::vector<std::string> vecExpected;
    for (int i = 4001; i <= 5000; ++i)
        vecExpected.push_back(std::to_string(i));
    EXPECT_EQ(sub.Payloads(kTopic), vecExpected);
    publisher.Stop(1000);
    EXPECT_EQ(publisher.Status().m_nSent, 1000);
    EXPECT_EQ(publisher.Status().m_nDropped, 4000);
}

bool RunScript(const QString& strScript, const QString& strDir) {
    QProcess proc;
    proc.setWorkingDirectory(strDir);
    proc.setProcessChannelMode(QProcess::MergedChannels);
    proc.start(QStringLiteral("bash"), {QStringLiteral("-ec"), strScript});
    const bool bOk = proc.waitForFinished(60000) && proc.exitCode() == 0;
    if (!bOk)
        std::fprintf(stderr, "%s\n", proc.readAll().constData());
    return bOk;
}

// One broker with a plain and a TLS listener that both want user kest with password s3cret; the
// CA that signed the server's certificate, and another one.
TEST_F(PublisherTest, LoginsAndCertificatesAreCheckedAndFailuresNamed) {
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd")).isEmpty())
        GTEST_SKIP() << "openssl or mosquitto_passwd is not installed";
    const QString strDir = m_Dir.path();
    ASSERT_TRUE(RunScript(
        QStringLiteral("openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt "
                       "  -days 2 -subj /CN=kest-test-ca 2>/dev/null\n"
                       "openssl req -x509 -newkey rsa:2048 -nodes -keyout other.key -out other.crt "
                       "  -days 2 -subj /CN=kest-other-ca 2>/dev/null\n"
                       "openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr "
                       "  -subj /CN=127.0.0.1 2>/dev/null\n"
                       "printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\\n' > san.ext\n"
                       "openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial "
                       "  -out server.crt -days 2 -extfile san.ext 2>/dev/null\n"
                       "mosquitto_passwd -b -c passwd kest s3cret\n"
                       "printf 's3cret\\n' > good.pw; printf 'wrong\\n' > bad.pw\n"
                       "chmod 600 good.pw bad.pw passwd; cp good.pw open.pw; chmod 644 open.pw\n"),
        strDir));
    CTestBroker broker(strDir);
    const int nTlsPort = FreeLoopbackPort();
    broker.m_bAnonymous = false;
    broker.m_strExtra = QStringLiteral("password_file %1/passwd\nlistener %2 127.0.0.1\n"
                                       "cafile %1/ca.crt\ncertfile %1/server.crt\n"
                                       "keyfile %1/server.key\n")
                            .arg(strDir)
                            .arg(nTlsPort);
    ASSERT_TRUE(broker.Start()) << broker.Log().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return PortAccepts(nTlsPort); }));

    const struct {
        const char* pszName;
        bool bTls;
        const char* pszCa;
        const char* pszUser;
        const char* pszPasswordFile; // nullptr: from the environment
        const char* pszEnv;
        EBrokerState eExpected; // Connected: success
        EPublishProblem eProblem;
        const char* pszInError;
    } cases[] = {
        {"plain, password from file", false, "", "kest", "good.pw", "", EBrokerState::Connected,
         EPublishProblem::None, ""},
        {"plain, password from environment", false, "", "kest", nullptr, "s3cret",
         EBrokerState::Connected, EPublishProblem::None, ""},
        {"wrong password", false, "", "kest", "bad.pw", "", EBrokerState::LoginRefused,
         EPublishProblem::None, "refused"},
        {"no login", false, "", "", nullptr, "", EBrokerState::LoginRefused, EPublishProblem::None,
         "refused"},
        {"password file others may read", false, "", "kest", "open.pw", "",
         EBrokerState::BadSettings, EPublishProblem::PasswordFileOpen, "chmod 600"},
        {"TLS, the right CA", true, "ca.crt", "kest", "good.pw", "", EBrokerState::Connected,
         EPublishProblem::None, ""},
        {"TLS, another CA", true, "other.crt", "kest", "good.pw", "", EBrokerState::TlsFailed,
         EPublishProblem::None, "certificate verify failed"},
        {"TLS, a CA file that is not there", true, "missing.crt", "kest", "good.pw", "",
         EBrokerState::BadSettings, EPublishProblem::CaFileMissing, "CA file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        SPublisherConfig config = Config(c.bTls ? nTlsPort : broker.Port());
        if (c.bTls)
            config.m_Settings.m_strUrl = QStringLiteral("mqtts://127.0.0.1:%1").arg(nTlsPort);
        if (*c.pszCa)
            config.m_Settings.m_strCaFile = strDir + u'/' + QLatin1String(c.pszCa);
        config.m_Settings.m_strUser = QLatin1String(c.pszUser);
        if (c.pszPasswordFile)
            config.m_Settings.m_strPasswordFile = strDir + u'/' + QLatin1String(c.pszPasswordFile);
        qputenv(kPasswordEnv, c.pszEnv);
        const SBrokerTestResult result = TestBrokerConnection(config, 5000);
        EXPECT_EQ(result.m_bOk, c.eExpected == EBrokerState::Connected)
            << result.m_strError.toStdString();
        EXPECT_EQ(result.m_eState, c.eExpected) << result.m_strError.toStdString();
        EXPECT_EQ(result.m_eProblem, c.eProblem);
        EXPECT_TRUE(result.m_strError.contains(QLatin1String(c.pszInError)))
            << result.m_strError.toStdString();
    }
    qunsetenv(kPasswordEnv);

    // A running publisher with the wrong password tells it once and keeps trying.
    SPublisherConfig config = Config(broker.Port());
    config.m_Settings.m_strUser = QStringLiteral("kest");
    config.m_Settings.m_strPasswordFile = strDir + QStringLiteral("/bad.pw");
    CPublisher publisher(config);
    publisher.Start();
    publisher.Add("1,2,3", 1);
    publisher.Commit();
    SPublishStatus told;
    ASSERT_TRUE(WaitUntil([&] { return publisher.TakeProblemToReport(told); }, 5000));
    EXPECT_EQ(told.m_eState, EBrokerState::LoginRefused);
    const int nAttemptsBefore = broker.Log().count(QLatin1String("New connection from"));
    Settle(2500);
    EXPECT_GT(broker.Log().count(QLatin1String("New connection from")), nAttemptsBefore);
    EXPECT_FALSE(publisher.TakeProblemToReport(told));
    EXPECT_EQ(publisher.Status().m_nQueued, 1);
    EXPECT_EQ(publisher.Status().m_nConnects, 0);
}

/// One InfluxDB line-protocol point, split by the rules of its documentation: a backslash
/// escapes the next character; unescaped commas separate the measurement and tags, the first
/// unescaped space starts the fields, the next one the timestamp.
struct SPoint {
    std::string m_strMeasurement;
    std::map<std::string, std::string> m_Tags;
    std::map<std::string, double> m_Fields;
    long long m_nTime = 0;
    bool m_bOk = false;
};

/// Splits at each sep that no backslash escapes; the pieces keep their escapes.
std::vector<std::string> SplitUnescaped(const std::string& str, char sep, size_t nMax = 0) {
    std::vector<std::string> vec(1);
    for (size_t i = 0; i < str.size(); ++i) {
        if (str[i] == '\\' && i + 1 < str.size()) {
            vec.back() += str.substr(i, 2);
            ++i;
        } else if (str[i] == sep && (nMax == 0 || vec.size() < nMax)) {
            vec.emplace_back();
        } else {
            vec.back() += str[i];
        }
    }
    return vec;
}

std::string Unescape(const std::string& str) {
    std::string out;
    for (size_t i = 0; i < str.size(); ++i) {
        if (str[i] == '\\' && i + 1 < str.size())
            ++i;
        out += str[i];
    }
    return out;
}

SPoint ParseLineProtocol(const std::string& str) {
    SPoint point;
    const std::vector<std::string> sections = SplitUnescaped(str, ' ');
    if (sections.size() != 3)
        return point;
    const std::vector<std::string> head = SplitUnescaped(sections[0], ',');
    point.m_strMeasurement = Unescape(head[0]);
    for (size_t i = 1; i < head.size(); ++i) {
        const std::vector<std::string> kv = SplitUnescaped(head[i], '=', 2);
        if (kv.size() != 2 || kv[0].empty() || kv[1].empty())
            return point;
        point.m_Tags[Unescape(kv[0])] = Unescape(kv[1]);
    }
    for (const std::string& strField : SplitUnescaped(sections[1], ',')) {
        const std::vector<std::string> kv = SplitUnescaped(strField, '=', 2);
        if (kv.size() != 2 || kv[0].empty() || kv[1].empty())
            return point;
        char* pEnd = nullptr;
        const double d = std::strtod(kv[1].c_str(), &pEnd);
        if (*pEnd != '\0' || !std::isfinite(d))
            return point;
        point.m_Fields[Unescape(kv[0])] = d;
    }
    point.m_nTime = std::stoll(sections[2]);
    point.m_bOk = !point.m_Fields.empty();
    return point;
}

// Channels with a name the formats must escape, one without a name, multiplier and addend, a
// value that overflows to infinity: json read by Python's json module (NaN and Infinity
// refused), influx (sent at QoS 0) by the parser above.
TEST_F(PublisherTest, JsonAndInfluxPayloadsReadBackWithIndependentParsers) {
    if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    CTestBroker broker(m_Dir.path());
    ASSERT_TRUE(broker.Start());
    const std::vector<std::string> vecLines = {"1,2,3", "1e999,-2.5,0.125", "7,x,",
                                               "-4e-3,5e300,9"};
    const double kMul[3] = {2, 1, 1e10};
    const double kAdd[3] = {1, 0, 0};
    for (const EPublishFormat eFormat : {EPublishFormat::Json, EPublishFormat::Influx}) {
        SCOPED_TRACE(PublishFormatName(eFormat));
        CTestSubscriber sub(broker.Port(), kTopic + "/#");
        ASSERT_TRUE(sub.WaitSubscribed());
        SPublisherConfig config = Config(broker.Port());
        config.m_Settings.m_eFormat = eFormat;
        // QoS 0 once too: written to the library counts as sent.
        config.m_Settings.m_nQos = eFormat == EPublishFormat::Influx ? 0 : 1;
        config.m_Channels[0] = {"温度 a,b=c", "°C", kMul[0], kAdd[0]};
        config.m_Channels[1] = {"", "V", kMul[1], kAdd[1]};
        config.m_Channels[2] = {"p\"q\\", "", kMul[2], kAdd[2]};
        m_Options.m_Publish = config;
        ASSERT_TRUE(m_Session.Start(m_Options).Ok());
        const long long nT0 = std::chrono::system_clock::now().time_since_epoch().count();
        Feed(vecLines, 0);
        m_Session.Stop(false, nullptr);
        EXPECT_EQ(m_Session.Publisher()->Status().m_nSent, static_cast<int64_t>(vecLines.size()));
        const long long nT1 = std::chrono::system_clock::now().time_since_epoch().count();
        const size_t nExpected = vecLines.size() + (eFormat == EPublishFormat::Json ? 1 : 0);
        ASSERT_TRUE(sub.WaitCount(nExpected, 10000));
        const std::vector<std::string> vecPay = sub.Payloads(kTopic);
        ASSERT_EQ(vecPay.size(), vecLines.size());
        // The expected display values; NaN stands for "not sent".
        std::vector<std::array<double, 3>> expected;
        for (const std::string& strLine : vecLines) {
            std::array<double, 3> row{};
            size_t nPos = 0;
            for (int i = 0; i < 3; ++i) {
                const size_t nComma = strLine.find(',', nPos);
                const std::string strField = strLine.substr(nPos, nComma - nPos);
                nPos = nComma == std::string::npos ? strLine.size() : nComma + 1;
                const double d = (strField.empty() || strField == "x")
                                     ? 0.0
                                     : std::strtod(strField.c_str(), nullptr);
                const double v = d * kMul[i] + kAdd[i];
                row[static_cast<size_t>(i)] = std::isfinite(v) ? v : NAN;
            }
            expected.push_back(row);
        }
        if (eFormat == EPublishFormat::Json) {
            QFile file(m_Dir.filePath(QStringLiteral("payloads.txt")));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            for (const std::string& str : vecPay)
                file.write(QByteArray::fromStdString(str + "\n"));
            const std::vector<std::string> vecMeta = sub.Payloads(kTopic + "/meta");
            ASSERT_EQ(vecMeta.size(), 1u);
            file.write(QByteArray::fromStdString(vecMeta[0] + "\n"));
            file.close();
            QProcess py;
            py.start(
                QStringLiteral("python3"),
                {QStringLiteral("-c"),
                 QStringLiteral("import json,sys\n"
                                "def no(c): raise ValueError(c)\n"
                                "lines = open(sys.argv[1], encoding='utf-8').read().splitlines()\n"
                                "for l in lines[:-1]:\n"
                                "    o = json.loads(l, parse_constant=no)\n"
                                "    print(o['t'], o['seq'], ' '.join('null' if v is None else "
                                "repr(float(v)) for v in o['values']))\n"
                                "m = json.loads(lines[-1], parse_constant=no)\n"
                                "print(m['port'], m['host'], '|'.join(c['name'] + '/' + c['unit'] "
                                "for c in m['channels']))\n"),
                 file.fileName()});
            ASSERT_TRUE(py.waitForFinished(20000));
            ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
            const QStringList out =
                QString::fromUtf8(py.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
            ASSERT_EQ(out.size(), static_cast<int>(vecLines.size()) + 1);
            for (size_t i = 0; i < vecLines.size(); ++i) {
                const QStringList fields = out[static_cast<int>(i)].split(u' ');
                ASSERT_EQ(fields.size(), 5) << out[static_cast<int>(i)].toStdString();
                EXPECT_GE(fields[0].toLongLong(), nT0);
                EXPECT_LE(fields[0].toLongLong(), nT1);
                // No two lines share a time, even those taken in one go.
                if (i > 0) {
                    EXPECT_GT(fields[0].toLongLong(),
                              out[static_cast<int>(i - 1)].split(u' ')[0].toLongLong());
                }
                EXPECT_EQ(fields[1].toLongLong(), static_cast<long long>(i + 1));
                for (int k = 0; k < 3; ++k) {
                    const double d = expected[i][static_cast<size_t>(k)];
                    if (std::isnan(d))
                        EXPECT_EQ(fields[2 + k], QStringLiteral("null"));
                    else
                        EXPECT_EQ(fields[2 + k].toDouble(), d) << fields[2 + k].toStdString();
                }
            }
            EXPECT_EQ(out.last(), QStringLiteral("COM3 bench-pc 温度 a,b=c/°C|/V|p\"q\\/"));
        } else {
            for (size_t i = 0; i < vecPay.size(); ++i) {
                SCOPED_TRACE(vecPay[i]);
                const SPoint point = ParseLineProtocol(vecPay[i]);
                ASSERT_TRUE(point.m_bOk);
                EXPECT_EQ(point.m_strMeasurement, "kest");
                EXPECT_EQ(point.m_Tags, (std::map<std::string, std::string>{{"host", "bench-pc"},
                                                                            {"port", "COM3"}}));
                EXPECT_GE(point.m_nTime, nT0);
                EXPECT_LE(point.m_nTime, nT1);
                // InfluxDB keeps one point per series and time: every line needs its own.
                if (i > 0) {
                    EXPECT_GT(point.m_nTime, ParseLineProtocol(vecPay[i - 1]).m_nTime);
                }
                std::map<std::string, double> fields;
                const char* keys[3] = {"温度 a,b=c", "ch2", "p\"q\\"};
                for (int k = 0; k < 3; ++k) {
                    if (!std::isnan(expected[i][static_cast<size_t>(k)]))
                        fields[keys[k]] = expected[i][static_cast<size_t>(k)];
                }
                EXPECT_EQ(point.m_Fields, fields);
            }
        }
    }
}

} // namespace

// Checks that need no broker: what the URL and topic fields refuse when entered.
TEST(PublishSettingsTest, UrlsAndTopicsAreRefusedWithTheirReason) {
    const struct {
        const char* pszUrl;
        EPublishProblem eProblem;
        bool bTls;
        const char* pszHost;
        int nPort;
    } urls[] = {
        {"mqtt://broker.lab", EPublishProblem::None, false, "broker.lab", 1883},
        {"mqtts://10.0.0.5:9883/", EPublishProblem::None, true, "10.0.0.5", 9883},
        {"MQTT://[::1]:1884", EPublishProblem::None, false, "::1", 1884},
        {"  mqtt://h:1  ", EPublishProblem::None, false, "h", 1},
        {"", EPublishProblem::UrlEmpty, false, "", 0},
        {"tcp://h:1883", EPublishProblem::UrlScheme, false, "", 0},
        {"broker.lab:1883", EPublishProblem::UrlScheme, false, "", 0},
        {"mqtt://", EPublishProblem::UrlHost, false, "", 0},
        {"mqtt://bad host", EPublishProblem::UrlHost, false, "", 0},
        {"mqtt://h:0", EPublishProblem::UrlPort, false, "", 0},
        {"mqtt://h:65536", EPublishProblem::UrlPort, false, "", 0},
        {"mqtt://h:+1", EPublishProblem::UrlPort, false, "", 0},
        {"mqtt://h:", EPublishProblem::UrlPort, false, "", 0},
        {"mqtt://h/topic", EPublishProblem::UrlExtra, false, "", 0},
        {"mqtt://user:pw@h", EPublishProblem::UrlExtra, false, "", 0},
    };
    for (const auto& c : urls) {
        SCOPED_TRACE(c.pszUrl);
        SBrokerUrl url;
        ASSERT_EQ(ParseBrokerUrl(QString::fromUtf8(c.pszUrl), url), c.eProblem);
        if (c.eProblem == EPublishProblem::None) {
            EXPECT_EQ(url.m_bTls, c.bTls);
            EXPECT_EQ(url.m_strHost, QLatin1String(c.pszHost));
            EXPECT_EQ(url.m_nPort, c.nPort);
        }
    }
    const struct {
        QString strTopic;
        EPublishProblem eProblem;
    } topics[] = {
        {QStringLiteral("kest/lab/COM1"), EPublishProblem::None},
        {QStringLiteral("a/#"), EPublishProblem::TopicWildcard},
        {QStringLiteral("a/+/b"), EPublishProblem::TopicWildcard},
        {QStringLiteral("a") + QChar(0) + QStringLiteral("b"), EPublishProblem::TopicNul},
        {QString(), EPublishProblem::TopicEmpty},
        {QString(65536, u'a'), EPublishProblem::TopicTooLong},
    };
    for (const auto& c : topics)
        EXPECT_EQ(CheckTopic(c.strTopic), c.eProblem) << c.strTopic.left(20).toStdString();
    EXPECT_EQ(DefaultTopic(QStringLiteral("lab+1/#"), 4), QStringLiteral("kest/lab_1__/COM4"));
    SPublishSettings settings;
    settings.m_strUrl = QStringLiteral("mqtt://h");
    settings.m_strCaFile = QStringLiteral("/etc/hostname");
    EXPECT_EQ(CheckPublishSettings(settings), EPublishProblem::CaWithoutTls);
    settings.m_strCaFile.clear();
    // A password in the environment is no reason to refuse an anonymous broker.
    qputenv(kPasswordEnv, "pw");
    EXPECT_EQ(CheckPublishSettings(settings), EPublishProblem::None);
    qunsetenv(kPasswordEnv);
    settings.m_strPasswordFile = QStringLiteral("/nonexistent/pw");
    EXPECT_EQ(CheckPublishSettings(settings), EPublishProblem::PasswordFileUnreadable);
}
