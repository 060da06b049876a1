#include "acquisition/headless_logger.h"
#include "acquisition/port_report.h"
#include "pty_pair.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <string>

namespace {

constexpr int kPort = 3;

std::string ReadAll(const QString& strPath) {
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll().toStdString();
}

/// Runs the event loop until the logger has finished (or a generous limit passes).
bool WaitFinished(const CHeadlessLogger& logger, int nMilliseconds = 10000) {
    return WaitUntil([&] { return !logger.IsRunning(); }, nMilliseconds);
}

class HeadlessLoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Pty.IsValid());
        ASSERT_TRUE(m_Dir.isValid());
        m_Options.m_strLogPath = m_Dir.filePath(QStringLiteral("run.csv"));
        m_Options.m_Comm.m_nPort = kPort;
        m_Options.m_PortMap = MapOne(kPort, m_Pty.SlavePath());
        m_Logger.m_fnFinished = [this] { ++m_nFinished; };
    }

    CPtyPair m_Pty;
    QTemporaryDir m_Dir;
    SHeadlessOptions m_Options;
    CHeadlessLogger m_Logger;
    int m_nFinished = 0;
};

// The device's bytes go out right before the stop request; nothing has been drained by then, so
// the file is complete only if the stop waits for the port, closes the reader and drains again.
TEST_F(HeadlessLoggerTest, FileHoldsEveryCompleteLineSentBeforeTheStop) {
    const struct {
        const char* pszName;
        std::string strSent;
        std::string strExpected;
    } cases[] = {
        {"CR LF records", "1,2\r\n3.5,-4\r\n", "1,2\r\n3.5,-4\r\n"},
        {"CR alone, empty line, LF dropped", "a\r\r\nb\nc\r", "a\r\n\r\nbc\r\n"},
        {"unfinished last line left out", "7,8\r\n9,1", "7,8\r\n"},
        {"bytes beyond the channels kept", "1,2,3,4,5,6,7,8,9,x\r", "1,2,3,4,5,6,7,8,9,x\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_Options.m_bForce = true;
        QString strError;
        ASSERT_EQ(m_Logger.Start(m_Options, strError), kExitLogged) << strError.toStdString();
        ASSERT_TRUE(m_Pty.Write(c.strSent));
        m_Logger.RequestStop();
        ASSERT_TRUE(WaitFinished(m_Logger));
        EXPECT_EQ(ReadAll(m_Options.m_strLogPath), c.strExpected);
        EXPECT_EQ(m_Logger.Bytes(), static_cast<int64_t>(c.strExpected.size()));
        EXPECT_EQ(m_Logger.Result(), kExitLogged);
        // The unfinished line of one case must not leak into the next run.
        Settle(20);
    }
    EXPECT_EQ(m_nFinished, 4);
}

TEST_F(HeadlessLoggerTest, LongStreamIsWrittenWholeAndInOrder) {
    std::string strSent;
    for (int i = 0; i < 20000; ++i)
        strSent += std::to_string(i) + "," + std::to_string(i % 97) + "\r\n";
    QString strError;
    ASSERT_EQ(m_Logger.Start(m_Options, strError), kExitLogged) << strError.toStdString();
    // The pty's buffer is far smaller than the stream: the writer blocks until the logger reads.
    std::thread writer([&] { m_Pty.Write(strSent); });
    ASSERT_TRUE(WaitUntil([&] { return m_Logger.Lines() >= 20000; }, 60000));
    writer.join();
    m_Logger.RequestStop();
    ASSERT_TRUE(WaitFinished(m_Logger));
    EXPECT_EQ(m_Logger.Lines(), 20000);
    EXPECT_TRUE(ReadAll(m_Options.m_strLogPath) == strSent);
}

TEST_F(HeadlessLoggerTest, DurationEndsTheRunByItself) {
    m_Options.m_nDurationMs = 150;
    QString strError;
    ASSERT_EQ(m_Logger.Start(m_Options, strError), kExitLogged);
    ASSERT_TRUE(m_Pty.Write("5,6\r\n"));
    ASSERT_TRUE(WaitFinished(m_Logger));
    EXPECT_EQ(m_nFinished, 1);
    EXPECT_EQ(ReadAll(m_Options.m_strLogPath), "5,6\r\n");
}

TEST_F(HeadlessLoggerTest, ExistingFileIsKeptUnlessForced) {
    {
        QFile file(m_Options.m_strLogPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("earlier run\r\n");
    }
    QString strError;
    EXPECT_EQ(m_Logger.Start(m_Options, strError), kExitLogFile);
    EXPECT_TRUE(strError.contains(QStringLiteral("--force")));
    EXPECT_FALSE(m_Logger.IsRunning());
    EXPECT_EQ(ReadAll(m_Options.m_strLogPath), "earlier run\r\n");

    // A dangling link counts as existing: following it would create a file elsewhere.
    const QString strLink = m_Dir.filePath(QStringLiteral("link.csv"));
    ASSERT_TRUE(QFile::link(m_Dir.filePath(QStringLiteral("gone.csv")), strLink));
    SHeadlessOptions linkOptions = m_Options;
    linkOptions.m_strLogPath = strLink;
    EXPECT_EQ(m_Logger.Start(linkOptions, strError), kExitLogFile);
    EXPECT_FALSE(QFile::exists(m_Dir.filePath(QStringLiteral("gone.csv"))));

    m_Options.m_bForce = true;
    ASSERT_EQ(m_Logger.Start(m_Options, strError), kExitLogged);
    ASSERT_TRUE(m_Pty.Write("1\r"));
    m_Logger.RequestStop();
    ASSERT_TRUE(WaitFinished(m_Logger));
    EXPECT_EQ(ReadAll(m_Options.m_strLogPath), "1\r\n");
}

TEST_F(HeadlessLoggerTest, FailuresHaveTheirOwnCodeAndLeaveNothingOpen) {
    const struct {
        const char* pszName;
        QString strPath;
        int nPort;
        int nExpected;
        const char* pszMessage;
    } cases[] = {
        {"port maps to nothing", QStringLiteral("a.csv"), kPort + 1, kExitPortFailed,
         "maps to no device"},
        {"device missing", QStringLiteral("b.csv"), 0, kExitPortFailed, "cannot open COM"},
        {"directory missing", QStringLiteral("no/such/dir/c.csv"), kPort, kExitLogFile,
         "cannot create"},
        {"path is a directory", QStringLiteral("."), kPort, kExitLogFile, "exists"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        SHeadlessOptions options = m_Options;
        options.m_strLogPath = m_Dir.filePath(c.strPath);
        if (c.nPort == 0) {
            options.m_Comm.m_nPort = 9;
            options.m_PortMap = MapOne(9, m_Dir.filePath(QStringLiteral("ttyUSB9")));
        } else {
            options.m_Comm.m_nPort = c.nPort;
        }
        QString strError;
        EXPECT_EQ(m_Logger.Start(options, strError), c.nExpected);
        EXPECT_TRUE(strError.contains(QLatin1String(c.pszMessage))) << strError.toStdString();
        EXPECT_FALSE(m_Logger.IsRunning());
        if (c.nExpected == kExitPortFailed) {
            EXPECT_FALSE(QFile::exists(options.m_strLogPath)) << "no empty file on a port failure";
        }
    }
    // The reader let go of the port after the failed log file: it can be opened again.
    CCommReader other;
    other.SetPortMap(MapOne(kPort, m_Pty.SlavePath()));
    EXPECT_TRUE(other.Open(kPort, nullptr, nullptr));
    other.Close();
    EXPECT_EQ(m_nFinished, 0);
}

TEST(PortReport, ShowsRuleSystemInformationAndAccess) {
    CPtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CPortMap map(dir.path());
    map.SetOverrides({{2, pty.SlavePath()}, {4, dir.filePath(QStringLiteral("gone"))}});
    const QString strListing = PortListing(map, 2, 4);
    EXPECT_TRUE(strListing.contains(QStringLiteral("COM2  %1  (profile [Ports] COM2)  <- the "
                                                   "profile's COM port")
                                        .arg(pty.SlavePath())))
        << strListing.toStdString();
    EXPECT_TRUE(strListing.contains(QStringLiteral("access: read and write permitted")));
    EXPECT_TRUE(strListing.contains(QStringLiteral("COM4  %1  (profile [Ports] COM4)\n      "
                                                   "device: missing")
                                        .arg(dir.filePath(QStringLiteral("gone")))));
    EXPECT_FALSE(strListing.contains(QStringLiteral("COM1 ")));

    // Refused access names the group that would grant it.
    SPortDetails refused;
    refused.m_Entry = {1, QStringLiteral("/dev/ttyUSB0"), EPortSource::Automatic};
    refused.m_bExists = true;
    refused.m_strOwner = QStringLiteral("root:dialout");
    refused.m_nVendorId = 0x0403;
    refused.m_nProductId = 0x6001;
    refused.m_strSerialNumber = QStringLiteral("A50285BI");
    const QString strRefused = FormatPortDetails(refused, false);
    EXPECT_TRUE(strRefused.contains(QStringLiteral("(automatic order)")));
    EXPECT_TRUE(strRefused.contains(QStringLiteral("USB 0403:6001, serial number A50285BI")));
    EXPECT_TRUE(strRefused.contains(QStringLiteral("NOT permitted")));
    EXPECT_TRUE(strRefused.contains(QStringLiteral("adduser \"$USER\" dialout")));
}

} // namespace
