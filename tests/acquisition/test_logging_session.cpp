// The logging session against a real pseudo-terminal: the stop rule (every complete line
// received before the reader closed is in the log and the store) and the start failures.
#include "acquisition/logging_session.h"

#include "acquisition/log_store.h"
#include "pty_pair.h"
#include "session_host.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <sys/stat.h>

namespace {

constexpr int kPort = 3;

std::string ReadAll(const QString& strPath) {
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll().toStdString();
}

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
        m_Session.Stop(false, &m_Host.m_dLatest);
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
    const QString strDangling = m_Dir.filePath(QStringLiteral("dangling.csv"));
    ASSERT_TRUE(QFile::link(m_Dir.filePath(QStringLiteral("gone.csv")), strDangling));
    const QString strLink = m_Dir.filePath(QStringLiteral("link.csv"));
    ASSERT_TRUE(QFile::link(strExisting, strLink));
    const QString strFifo = m_Dir.filePath(QStringLiteral("fifo.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
    const QString strMissingDevice = m_Dir.filePath(QStringLiteral("ttyUSB9"));
    // A second name of the pty that an open reader already holds.
    const QString strSecondName = m_Dir.filePath(QStringLiteral("ttyAlias"));
    ASSERT_TRUE(QFile::link(m_Pty.SlavePath(), strSecondName));
    CCommReader holder;
    holder.SetPortMap(MapOne(kPort, m_Pty.SlavePath()));

    enum EFile { kNoFile, kEmptyFile, kUnchanged };
    enum EPort { kMapped, kUnmapped, kMissing, kHeld };
    const struct {
        const char* pszName;
        QString strLog;
        ELogCreate eCreate;
        EPort ePort;
        ELogStartFailure eExpected;
        QString strWhere;
        EFile eFileAfter;
    } cases[] = {
        {"port maps to nothing: the new file goes", QStringLiteral("a.csv"), ELogCreate::CreateNew,
         kUnmapped, ELogStartFailure::PortNotMapped, QString(), kNoFile},
        {"device missing: the new file goes", QStringLiteral("b.csv"), ELogCreate::CreateNew,
         kMissing, ELogStartFailure::PortMissing, strMissingDevice, kNoFile},
        {"device missing: the window's empty file stays", QStringLiteral("c.csv"),
         ELogCreate::Truncate, kMissing, ELogStartFailure::PortMissing, strMissingDevice,
         kEmptyFile},
        {"device missing: a file to replace is left whole", QStringLiteral("old.csv"),
         ELogCreate::ReplaceChecked, kMissing, ELogStartFailure::PortMissing, strMissingDevice,
         kUnchanged},
        {"device held through another name", QStringLiteral("d.csv"), ELogCreate::CreateNew, kHeld,
         ELogStartFailure::PortBusy, QString(), kNoFile},
        {"directory missing", QStringLiteral("no/such/dir/e.csv"), ELogCreate::Truncate, kMapped,
         ELogStartFailure::LogCannotCreate, m_Dir.filePath(QStringLiteral("no/such/dir/e.csv")),
         kNoFile},
        {"path is a directory", QStringLiteral("."), ELogCreate::CreateNew, kMapped,
         ELogStartFailure::LogIsDirectory, m_Dir.filePath(QStringLiteral(".")), kUnchanged},
        {"existing file, only a new one wanted", QStringLiteral("old.csv"), ELogCreate::CreateNew,
         kMapped, ELogStartFailure::LogExists, strExisting, kUnchanged},
        {"dangling link counts as existing", QStringLiteral("dangling.csv"), ELogCreate::CreateNew,
         kMapped, ELogStartFailure::LogExists, strDangling, kUnchanged},
        {"a link is not written through", QStringLiteral("link.csv"), ELogCreate::ReplaceChecked,
         kMapped, ELogStartFailure::LogIsLink, strLink, kUnchanged},
        {"a FIFO is refused without blocking", QStringLiteral("fifo.csv"),
         ELogCreate::ReplaceChecked, kMapped, ELogStartFailure::LogNotRegular, strFifo, kUnchanged},
        {"no path", QString(), ELogCreate::Truncate, kMapped, ELogStartFailure::NoLogPath,
         QString(), kUnchanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        SLoggingOptions options = m_Options;
        options.m_strLogPath = c.strLog.isEmpty() ? QString() : m_Dir.filePath(c.strLog);
        options.m_eCreate = c.eCreate;
        if (c.ePort == kUnmapped)
            options.m_Comm.m_nPort = kPort + 1;
        if (c.ePort == kMissing) {
            options.m_Comm.m_nPort = 9;
            options.m_PortMap = MapOne(9, strMissingDevice);
        }
        if (c.ePort == kHeld) {
            ASSERT_TRUE(holder.Open(kPort, nullptr, nullptr));
            options.m_PortMap = MapOne(kPort, strSecondName);
        }
        const SLogStartResult result = m_Session.Start(options);
        holder.Close();
        EXPECT_EQ(result.m_eFailure, c.eExpected);
        if (c.ePort != kHeld) {
            EXPECT_EQ(result.m_strWhere, c.strWhere);
        }
        EXPECT_FALSE(m_Session.IsRunning());
        if (c.eFileAfter == kNoFile) {
            EXPECT_FALSE(QFileInfo::exists(options.m_strLogPath));
        }
        if (c.eFileAfter == kEmptyFile) {
            EXPECT_EQ(ReadAll(options.m_strLogPath), "");
        }
    }
    EXPECT_EQ(ReadAll(strExisting), "earlier run\r\n");
    EXPECT_FALSE(QFileInfo::exists(m_Dir.filePath(QStringLiteral("gone.csv"))));

    // The session let go of the port after each failure: it can be opened again.
    CCommReader other;
    other.SetPortMap(MapOne(kPort, m_Pty.SlavePath()));
    EXPECT_TRUE(other.Open(kPort, nullptr, nullptr));
    other.Close();

    // A second start while running is refused and leaves the run going; replacing the file
    // that was checked works.
    SLoggingOptions replace = m_Options;
    replace.m_strLogPath = strExisting;
    replace.m_eCreate = ELogCreate::ReplaceChecked;
    ASSERT_TRUE(m_Session.Start(replace).Ok());
    EXPECT_EQ(m_Session.Start(m_Options).m_eFailure, ELogStartFailure::AlreadyLogging);
    EXPECT_TRUE(m_Session.IsRunning());
    ASSERT_TRUE(m_Pty.Write("1,2\r\n"));
    m_Session.Stop(false, nullptr);
    EXPECT_EQ(ReadAll(strExisting), "1,2\r\n");
}

} // namespace
