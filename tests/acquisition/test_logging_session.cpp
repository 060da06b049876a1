// The logging session against a real pseudo-terminal: the stop rule (every complete line
// received before the reader closed is in the log and the store) and the start failures.
#include "acquisition/logging_session.h"

#include "acquisition/log_store.h"
#include "pty_pair.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

constexpr int kPort = 3;

std::string ReadAll(const QString& strPath) {
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll().toStdString();
}

/// Hands the reader's notifications to the session, as the view and the headless logger do.
class CSessionHost : public QObject {
public:
    bool event(QEvent* pEvent) override {
        if (pEvent->type() == CCommDataEvent::WM_COMMDATA) {
            m_pSession->OnCommData(false, m_dLatest);
            return true;
        }
        return QObject::event(pEvent);
    }
    CLoggingSession* m_pSession = nullptr;
    double m_dLatest[CLogStore::kMaxChannels] = {};
};

class LoggingSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Pty.IsValid());
        ASSERT_TRUE(m_Dir.isValid());
        m_Host.m_pSession = &m_Session;
        m_Options.m_strLogPath = m_Dir.filePath(QStringLiteral("run.csv"));
        m_Options.m_Comm.m_nPort = kPort;
        m_Options.m_PortMap = MapOne(kPort, m_Pty.SlavePath());
    }

    CPtyPair m_Pty;
    QTemporaryDir m_Dir;
    CLogStore m_Store;
    CSessionHost m_Host;
    CLoggingSession m_Session{m_Store, &m_Host};
    SLoggingOptions m_Options;
};

std::string FastLine(int i) {
    return std::to_string(i) + ",1.25,-3.5,7,0.001,12345.6,-0.5,2e3";
}

// Each case sends its bytes and stops: either at once, with nothing drained yet, or after a fast
// stream that the event loop drained while it came. Only a stop that closes the reader and then
// drains until nothing is left keeps every complete line.
TEST_F(LoggingSessionTest, StopKeepsEveryCompleteLineReceivedBeforeIt) {
    std::string strFast;
    std::string strFastLog;
    for (int i = 0; i < 6000; ++i) {
        strFast += FastLine(i) + "\r\n";
        strFastLog += FastLine(i) + "\r\n";
    }
    const struct {
        const char* pszName;
        std::string strSent;
        std::string strExpected;
        int nRows;
        bool bStream; // sent at about 8000 lines/s while the loop drains
    } cases[] = {
        {"CR LF records", "1,2\r\n3.5,-4\r\n", "1,2\r\n3.5,-4\r\n", 2, false},
        {"CR alone, empty line, LF dropped", "a\r\r\nb\nc\r", "a\r\n\r\nbc\r\n", 3, false},
        {"unfinished last line left out", "7,8\r\n9,1", "7,8\r\n", 1, false},
        {"bytes beyond the channels kept", "1,2,3,4,5,6,7,8,9,x\r", "1,2,3,4,5,6,7,8,9,x\r\n", 1,
         false},
        {"fast stream, then an unfinished line", strFast + "424242,1", strFastLog, 6000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_Store.InitLogData(8, 1024, 1024);
        const SLogStartResult start = m_Session.Start(m_Options);
        ASSERT_TRUE(start.Ok()) << static_cast<int>(start.m_eFailure);
        ASSERT_TRUE(m_Session.IsRunning());
        if (c.bStream) {
            std::atomic<bool> bSent{false};
            std::thread writer([&] {
                constexpr size_t kBurst = 8 * 48; // about 8 lines a millisecond
                auto next = std::chrono::steady_clock::now();
                for (size_t i = 0; i < c.strSent.size(); i += kBurst) {
                    m_Pty.Write(std::string_view(c.strSent).substr(i, kBurst));
                    next += std::chrono::milliseconds(1);
                    std::this_thread::sleep_until(next);
                }
                bSent = true;
            });
            const bool bDone = WaitUntil([&] { return bSent.load(); }, 20000);
            writer.join();
            ASSERT_TRUE(bDone);
        } else {
            ASSERT_TRUE(m_Pty.Write(c.strSent));
        }
        m_Session.Stop(false, m_Host.m_dLatest);
        EXPECT_FALSE(m_Session.IsRunning());
        // A notification still on its way must change nothing.
        Settle(30);
        EXPECT_EQ(ReadAll(m_Options.m_strLogPath), c.strExpected);
        EXPECT_EQ(m_Session.Lines(), c.nRows);
        EXPECT_EQ(m_Store.m_LogData[0].m_nCount, c.nRows);
        EXPECT_EQ(m_Store.m_LogData[7].m_nCount, c.nRows);
        EXPECT_FALSE(m_Session.HasLogFailed());
        // The unfinished line of one case must not leak into the next run.
        Settle(20);
    }
}

TEST_F(LoggingSessionTest, StartFailuresNameTheirCauseAndLeaveNothingOpen) {
    const QString strExisting = m_Dir.filePath(QStringLiteral("old.csv"));
    {
        QFile file(strExisting);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("earlier run\r\n");
    }
    const QString strDangling = m_Dir.filePath(QStringLiteral("link.csv"));
    ASSERT_TRUE(QFile::link(m_Dir.filePath(QStringLiteral("gone.csv")), strDangling));
    const QString strMissingDevice = m_Dir.filePath(QStringLiteral("ttyUSB9"));

    enum EFile { kNoFile, kEmptyFile, kUnchanged };
    const struct {
        const char* pszName;
        QString strLog;
        bool bReplace;
        EPortFailureLog ePortFailureLog;
        int nPort; // 0: a COM number whose device is missing
        ELogStartFailure eExpected;
        QString strWhere;
        EFile eFileAfter;
    } cases[] = {
        {"port maps to nothing, new file removed", QStringLiteral("a.csv"), false,
         EPortFailureLog::RemoveNewFile, kPort + 1, ELogStartFailure::PortNotMapped, QString(),
         kNoFile},
        {"device missing, new file removed", QStringLiteral("b.csv"), true,
         EPortFailureLog::RemoveNewFile, 0, ELogStartFailure::PortCannotOpen, strMissingDevice,
         kNoFile},
        {"device missing, empty file kept", QStringLiteral("c.csv"), true,
         EPortFailureLog::KeepEmptyFile, 0, ELogStartFailure::PortCannotOpen, strMissingDevice,
         kEmptyFile},
        {"directory missing", QStringLiteral("no/such/dir/d.csv"), true,
         EPortFailureLog::KeepEmptyFile, kPort, ELogStartFailure::LogCannotCreate,
         m_Dir.filePath(QStringLiteral("no/such/dir/d.csv")), kNoFile},
        {"path is a directory", QStringLiteral("."), true, EPortFailureLog::KeepEmptyFile, kPort,
         ELogStartFailure::LogIsDirectory, m_Dir.filePath(QStringLiteral(".")), kUnchanged},
        {"existing file not to be replaced", QStringLiteral("old.csv"), false,
         EPortFailureLog::RemoveNewFile, kPort, ELogStartFailure::LogExists, strExisting,
         kUnchanged},
        {"dangling link counts as existing", QStringLiteral("link.csv"), false,
         EPortFailureLog::RemoveNewFile, kPort, ELogStartFailure::LogExists, strDangling,
         kUnchanged},
        {"no path", QString(), true, EPortFailureLog::KeepEmptyFile, kPort,
         ELogStartFailure::NoLogPath, QString(), kUnchanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        SLoggingOptions options = m_Options;
        options.m_strLogPath = c.strLog.isEmpty() ? QString() : m_Dir.filePath(c.strLog);
        options.m_bReplace = c.bReplace;
        options.m_ePortFailureLog = c.ePortFailureLog;
        if (c.nPort == 0) {
            options.m_Comm.m_nPort = 9;
            options.m_PortMap = MapOne(9, strMissingDevice);
        } else {
            options.m_Comm.m_nPort = c.nPort;
        }
        const SLogStartResult result = m_Session.Start(options);
        EXPECT_EQ(result.m_eFailure, c.eExpected);
        EXPECT_EQ(result.m_strWhere, c.strWhere);
        EXPECT_FALSE(m_Session.IsRunning());
        if (c.eFileAfter == kNoFile) {
            EXPECT_FALSE(QFile::exists(options.m_strLogPath));
        }
        if (c.eFileAfter == kEmptyFile) {
            EXPECT_EQ(ReadAll(options.m_strLogPath), "");
        }
    }
    EXPECT_EQ(ReadAll(strExisting), "earlier run\r\n");
    EXPECT_FALSE(QFile::exists(m_Dir.filePath(QStringLiteral("gone.csv"))));

    // The session let go of the port after each failure: it can be opened again.
    CCommReader other;
    other.SetPortMap(MapOne(kPort, m_Pty.SlavePath()));
    EXPECT_TRUE(other.Open(kPort, nullptr, nullptr));
    other.Close();

    // A second start while running is refused and leaves the run going.
    ASSERT_TRUE(m_Session.Start(m_Options).Ok());
    EXPECT_EQ(m_Session.Start(m_Options).m_eFailure, ELogStartFailure::AlreadyLogging);
    EXPECT_TRUE(m_Session.IsRunning());
    m_Session.Stop(false, nullptr);
}

} // namespace
