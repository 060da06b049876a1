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

// A stop request (a signal) comes right after the device's bytes: the grace lets the reader take
// in what the port already holds, and the session's stop keeps every complete line.
TEST_F(HeadlessLoggerTest, StopRequestKeepsWhatThePortHolds) {
    ASSERT_TRUE(m_Logger.Start(m_Options).Ok());
    ASSERT_TRUE(m_Pty.Write("1,2\r\n3.5,-4\r\n9,1"));
    m_Logger.RequestStop();
    ASSERT_TRUE(WaitFinished(m_Logger));
    EXPECT_EQ(ReadAll(m_Options.m_strLogPath), "1,2\r\n3.5,-4\r\n");
    EXPECT_EQ(m_Logger.Lines(), 2);
    EXPECT_EQ(m_Logger.Bytes(), 13);
    EXPECT_FALSE(m_Logger.HasLogFailed());
    EXPECT_EQ(m_nFinished, 1);
}

TEST_F(HeadlessLoggerTest, LongStreamIsWrittenWholeAndInOrder) {
    std::string strSent;
    for (int i = 0; i < 20000; ++i)
        strSent += std::to_string(i) + "," + std::to_string(i % 97) + "\r\n";
    ASSERT_TRUE(m_Logger.Start(m_Options).Ok());
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
    ASSERT_TRUE(m_Logger.Start(m_Options).Ok());
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
    EXPECT_EQ(m_Logger.Start(m_Options).m_eFailure, ELogStartFailure::LogExists);
    EXPECT_FALSE(m_Logger.IsRunning());
    EXPECT_EQ(ReadAll(m_Options.m_strLogPath), "earlier run\r\n");

    // Without --force a file made for a port that cannot be opened is removed again.
    SHeadlessOptions noPort = m_Options;
    noPort.m_strLogPath = m_Dir.filePath(QStringLiteral("new.csv"));
    noPort.m_Comm.m_nPort = kPort + 1;
    EXPECT_EQ(m_Logger.Start(noPort).m_eFailure, ELogStartFailure::PortNotMapped);
    EXPECT_FALSE(QFile::exists(noPort.m_strLogPath));

    m_Options.m_bForce = true;
    ASSERT_TRUE(m_Logger.Start(m_Options).Ok());
    ASSERT_TRUE(m_Pty.Write("1\r"));
    m_Logger.RequestStop();
    ASSERT_TRUE(WaitFinished(m_Logger));
    EXPECT_EQ(ReadAll(m_Options.m_strLogPath), "1\r\n");
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
