#include "acquisition/comm_reader.h"
#include "acquisition/serial_config.h"
#include "pty_pair.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kPort = 7;

/// Reads every waiting line the way the intake does (count once, then that many lines).
std::vector<std::string> Drain(CCommReader& reader, int nSize = 1023) {
    std::vector<std::string> lines;
    const int k = reader.GetLineCount();
    std::vector<char> buf(static_cast<size_t>(std::max(nSize, 1)));
    for (int i = 0; i < k; ++i) {
        const int n = reader.ReadLine(buf.data(), nSize);
        lines.emplace_back(buf.data(), static_cast<size_t>(n));
    }
    return lines;
}

class CommReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Pty.IsValid());
        m_Reader.SetPortMap(MapOne(kPort, m_Pty.SlavePath()));
        ASSERT_TRUE(m_Reader.Open(kPort, &m_Setting, &m_Counter));
    }
    void TearDown() override { m_Reader.Close(); }

    bool WaitLines(int n) {
        return WaitUntil([&] { return m_Reader.GetLineCount() >= n; });
    }

    CPtyPair m_Pty;
    SCommSetting m_Setting;
    CEventCounter m_Counter;
    CCommReader m_Reader;
};

struct SFramingCase {
    const char* pszName;
    std::string strSent; // written in one piece
    std::vector<std::string> expected;
};

TEST_F(CommReaderTest, FramingOfOneWrite) {
    const std::vector<SFramingCase> cases = {
        {"two lines, CR LF", "1,2\r\n3,4\r\n", {"1,2", "3,4"}},
        {"CR alone", "5,6\r", {"5,6"}},
        {"LF before CR", "\n7\n,8\r", {"7,8"}},
        {"CR CR gives an empty line", "a\r\rb\r", {"a", "", "b"}},
        {"NUL inside is kept", std::string("ab\0cd\r", 6), {std::string("ab\0cd", 5)}},
        {"high bytes as they are", "\xff\x80,\x01\r", {"\xff\x80,\x01"}},
    };
    for (const SFramingCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        ASSERT_TRUE(m_Pty.Write(c.strSent));
        ASSERT_TRUE(WaitLines(static_cast<int>(c.expected.size())));
        Settle(20);
        EXPECT_EQ(Drain(m_Reader), c.expected);
        EXPECT_EQ(m_Reader.GetLineCount(), 0);
    }
}

TEST_F(CommReaderTest, OneNotificationUntilCleared) {
    ASSERT_TRUE(m_Pty.Write("1,2\r\n3,4\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return m_Counter.m_nEvents == 1; }));
    EXPECT_EQ(m_Counter.m_nLastPort, kPort);

    // More lines while the first notification is outstanding raise the count only.
    ASSERT_TRUE(m_Pty.Write("5\r"));
    ASSERT_TRUE(WaitLines(3));
    ASSERT_TRUE(m_Pty.Write("6\r"));
    ASSERT_TRUE(WaitLines(4));
    Settle(50);
    EXPECT_EQ(m_Counter.m_nEvents, 1);

    EXPECT_EQ(Drain(m_Reader), (std::vector<std::string>{"1,2", "3,4", "5", "6"}));
    m_Reader.ClearNotified();
    ASSERT_TRUE(m_Pty.Write("7\r"));
    ASSERT_TRUE(WaitUntil([&] { return m_Counter.m_nEvents == 2; }));
}

TEST_F(CommReaderTest, LinesLeftWhenClearedAreAnnouncedAgain) {
    ASSERT_TRUE(m_Pty.Write("1\r2\r"));
    ASSERT_TRUE(
        WaitUntil([&] { return m_Counter.m_nEvents == 1 && m_Reader.GetLineCount() == 2; }));
    char buf[16];
    ASSERT_EQ(m_Reader.ReadLine(buf, sizeof buf), 1);
    m_Reader.ClearNotified(); // one line still waits and the device is silent now
    EXPECT_TRUE(WaitUntil([&] { return m_Counter.m_nEvents == 2; }));
}

TEST_F(CommReaderTest, LfAloneNeverCompletesALine) {
    ASSERT_TRUE(m_Pty.Write("1,2\n3,4\n"));
    Settle(100);
    EXPECT_EQ(m_Reader.GetLineCount(), 0);
    EXPECT_EQ(m_Counter.m_nEvents, 0);
    // The bytes were kept without the LFs: a CR now ends one line holding both.
    ASSERT_TRUE(m_Pty.Write("\r"));
    ASSERT_TRUE(WaitLines(1));
    EXPECT_EQ(Drain(m_Reader), std::vector<std::string>{"1,23,4"});
}

TEST_F(CommReaderTest, LineOverSeveralReadsCountedOnce) {
    for (const char* pszPiece : {"12", ",3", "4.5"}) {
        ASSERT_TRUE(m_Pty.Write(pszPiece));
        Settle(40); // longer than the 10 ms silence that ends a read
        EXPECT_EQ(m_Reader.GetLineCount(), 0);
    }
    ASSERT_TRUE(m_Pty.Write("\r\n"));
    ASSERT_TRUE(WaitLines(1));
    Settle(20);
    EXPECT_EQ(m_Reader.GetLineCount(), 1);
    EXPECT_EQ(Drain(m_Reader), std::vector<std::string>{"12,34.5"});
}

TEST_F(CommReaderTest, ReadLineBufferLimits) {
    struct SCase {
        int nSize;
        int nExpected;
        const char* pszExpected;
        int nLinesAfter; // lines left of the two sent
    };
    const SCase cases[] = {
        {16, 6, "abcdef", 1}, // fits
        {7, 6, "abcdef", 1},  // exactly size-1
        {4, 3, "abc", 1},     // cut: the rest of the line is discarded
        {1, 0, "", 1},        // room for the NUL only: the line is still taken
        {0, 0, nullptr, 2},   // no room at all: nothing is taken or written
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.nSize);
        ASSERT_TRUE(m_Pty.Write("abcdef\rxyz\r"));
        ASSERT_TRUE(WaitLines(2));
        char buf[32];
        std::fill(std::begin(buf), std::end(buf), '#');
        EXPECT_EQ(m_Reader.ReadLine(buf, c.nSize), c.nExpected);
        if (c.pszExpected)
            EXPECT_STREQ(buf, c.pszExpected);
        else
            EXPECT_EQ(buf[0], '#');
        EXPECT_EQ(m_Reader.GetLineCount(), c.nLinesAfter);
        // Whatever was cut, the next line comes out whole.
        if (c.nLinesAfter == 1) {
            EXPECT_EQ(Drain(m_Reader), std::vector<std::string>{"xyz"});
        } else {
            EXPECT_EQ(Drain(m_Reader), (std::vector<std::string>{"abcdef", "xyz"}));
        }
    }
}

TEST_F(CommReaderTest, LinesFollowTheRingAcrossItsEnd) {
    // Three passes over the 4096-byte ring with lines of changing length; one line in the first
    // round is placed to straddle index 4095/0.
    std::string strFirst(4090, 'x');
    ASSERT_TRUE(m_Pty.Write(strFirst.substr(0, 4089) + "\r"));
    ASSERT_TRUE(WaitLines(1));
    EXPECT_EQ(Drain(m_Reader, 4096), std::vector<std::string>{std::string(4089, 'x')});

    std::vector<std::string> sent;
    for (int i = 0; i < 600; ++i)
        sent.push_back(std::to_string(i * 7919) + std::string(static_cast<size_t>(i % 13), ','));
    std::vector<std::string> got;
    for (const std::string& s : sent) {
        ASSERT_TRUE(m_Pty.Write(s + "\r\n"));
        if (got.size() % 50 == 0)
            Settle(2);
        const auto more = Drain(m_Reader);
        got.insert(got.end(), more.begin(), more.end());
    }
    ASSERT_TRUE(WaitUntil([&] {
        const auto more = Drain(m_Reader);
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= sent.size();
    }));
    EXPECT_EQ(got, sent);
}

TEST_F(CommReaderTest, FullRingHoldsBackInsteadOfOverwriting) {
    // 12000 bytes of lines while nobody reads: the ring keeps what fits and the rest waits in
    // the terminal; reading then delivers everything in order.
    std::vector<std::string> sent;
    std::string strAll;
    for (int i = 0; i < 1000; ++i) {
        sent.push_back(std::to_string(100000000 + i));
        strAll += sent.back() + "\r\n";
    }
    std::thread writer([&] { m_Pty.Write(strAll); });
    Settle(300);
    const int nHeld = m_Reader.GetLineCount();
    EXPECT_GT(nHeld, 0);
    EXPECT_LE(nHeld, CCommReader::kRingSize / 10); // 10 ring bytes a line, LF not stored

    std::vector<std::string> got;
    EXPECT_TRUE(WaitUntil([&] {
        const auto more = Drain(m_Reader);
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= sent.size();
    }));
    writer.join();
    EXPECT_EQ(got, sent);
}

TEST_F(CommReaderTest, CloseKeepsEveryCompleteLineReceived) {
    // Four times the ring's size arrives while nobody reads; after Close the ring, the block the
    // worker could not store and what the terminal still held all come out in order, and the
    // unfinished last line does not.
    std::vector<std::string> sent;
    std::string strAll;
    for (int i = 0; i < 1500; ++i) {
        sent.push_back(std::to_string(100000000 + i));
        strAll += sent.back() + "\r\n";
    }
    ASSERT_TRUE(m_Pty.Write(strAll + "77,unfinished"));
    ASSERT_TRUE(WaitLines(1));
    Settle(50);
    ASSERT_TRUE(m_Reader.Close());
    std::vector<std::string> got;
    for (;;) {
        const auto more = Drain(m_Reader);
        if (more.empty())
            break;
        got.insert(got.end(), more.begin(), more.end());
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(m_Reader.GetLineCount(), 0);
}

TEST_F(CommReaderTest, LineLongerThanTheRingIsCutAndEnded) {
    // No CR within the ring's whole size: the line is cut, the CR still ends it, and the lines
    // after it are intact.
    std::string strLong;
    for (int i = 0; i < 6000; ++i)
        strLong += static_cast<char>('a' + i % 26);
    ASSERT_TRUE(m_Pty.Write(strLong + "\r\nok,1\r\n"));
    ASSERT_TRUE(WaitLines(1));
    char buf[1024];
    EXPECT_EQ(m_Reader.ReadLine(buf, 1023), 1022);
    EXPECT_EQ(std::string(buf), strLong.substr(0, 1022));
    ASSERT_TRUE(WaitLines(1));
    EXPECT_EQ(Drain(m_Reader), std::vector<std::string>{"ok,1"});
}

TEST_F(CommReaderTest, OpenTwiceKeepsTheRunningReader) {
    CPtyPair other;
    m_Reader.SetPortMap(MapOne(kPort + 1, other.SlavePath()));
    EXPECT_FALSE(m_Reader.Open(kPort + 1, &m_Setting, nullptr));
    EXPECT_TRUE(m_Reader.IsOpen());
    // Still reading the first device and still notifying the first receiver.
    ASSERT_TRUE(m_Pty.Write("still\r"));
    ASSERT_TRUE(WaitUntil([&] { return m_Counter.m_nEvents == 1; }));
    EXPECT_EQ(m_Counter.m_nLastPort, kPort);
    EXPECT_EQ(Drain(m_Reader), std::vector<std::string>{"still"});
}

TEST_F(CommReaderTest, ReopenDiscardsWaitingLines) {
    ASSERT_TRUE(m_Pty.Write("old1\rold2\r"));
    ASSERT_TRUE(WaitLines(2));
    EXPECT_TRUE(m_Reader.Close());
    EXPECT_FALSE(m_Reader.Close());
    EXPECT_FALSE(m_Reader.IsOpen());
    EXPECT_EQ(m_Reader.GetLineCount(), 2); // closing alone leaves the ring as it is

    ASSERT_TRUE(m_Reader.Open(kPort, &m_Setting, &m_Counter));
    EXPECT_EQ(m_Reader.GetLineCount(), 0);
    ASSERT_TRUE(m_Pty.Write("new\r"));
    ASSERT_TRUE(WaitLines(1));
    EXPECT_EQ(Drain(m_Reader), std::vector<std::string>{"new"});
}

TEST_F(CommReaderTest, SecondReaderCannotTakeTheSamePort) {
    CCommReader second;
    second.SetPortMap(MapOne(1, m_Pty.SlavePath()));
    EXPECT_FALSE(second.Open(1, &m_Setting, nullptr));
    EXPECT_FALSE(second.IsOpen());
}

TEST_F(CommReaderTest, VanishedDeviceDoesNotSpin) {
    m_Pty.CloseMaster();
    Settle(100);
    timespec t0{}, t1{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t1);
    const double dCpu = double(t1.tv_sec - t0.tv_sec) + double(t1.tv_nsec - t0.tv_nsec) * 1e-9;
    EXPECT_LT(dCpu, 0.3) << "the reader thread keeps a core busy after a read error";
    // The node stays (the test holds the slave end), so reopens succeed and hang up again:
    // that is one vanish, not a vanish and a return every half second.
    Settle(50);
    EXPECT_EQ(m_Counter.m_vecStatus,
              std::vector<CCommStatusEvent::EKind>{CCommStatusEvent::EKind::Vanished});
    EXPECT_TRUE(m_Reader.Close());
}

/// Voluntary context switches of all the test process's threads: each is one wait that ended.
long long ProcessWakeups() {
    long long n = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& strTask : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(strTask) + QStringLiteral("/status"));
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (line.startsWith("voluntary_ctxt_switches:"))
                    n += line.mid(24).trimmed().toLongLong();
    }
    return n;
}

TEST_F(CommReaderTest, AnIdleLineSleepsUntilDataOrClose) {
    // Nothing arrives: the reader sleeps on the port, waking about once a second for its read's
    // time limit, not every few milliseconds.
    Settle(200);
    const long long nBefore = ProcessWakeups();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_LE(ProcessWakeups() - nBefore, 8) << "wake-ups in 1.5 s of silence";
    // A line wakes it, and so does Close, without waiting out the read's second.
    m_Pty.Write("1,2\r\n");
    EXPECT_TRUE(WaitLines(1));
    EXPECT_EQ(Drain(m_Reader), std::vector<std::string>{"1,2"});
    Settle(200);
    timespec t0{}, t1{};
    ::clock_gettime(CLOCK_MONOTONIC, &t0);
    EXPECT_TRUE(m_Reader.Close());
    ::clock_gettime(CLOCK_MONOTONIC, &t1);
    const double dSeconds = double(t1.tv_sec - t0.tv_sec) + double(t1.tv_nsec - t0.tv_nsec) * 1e-9;
    EXPECT_LT(dSeconds, 0.5) << "Close waited for the reader's time limit";
}

/// A pseudo-terminal whose slave end only the reader holds, so that closing the master makes the
/// device vanish for good (its node goes away) and a new one can take the same number again.
class CBarePty {
public:
    CBarePty() {
        int fdSlave = -1;
        char name[256] = {};
        if (::openpty(&m_fdMaster, &fdSlave, name, nullptr, nullptr) != 0)
            return;
        termios tio{};
        ::tcgetattr(fdSlave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fdSlave, TCSANOW, &tio);
        ::close(fdSlave);
        m_strSlave = QString::fromLocal8Bit(name);
    }
    ~CBarePty() { Close(); }
    CBarePty(const CBarePty&) = delete;
    CBarePty& operator=(const CBarePty&) = delete;
    bool IsValid() const { return m_fdMaster >= 0; }
    const QString& SlavePath() const { return m_strSlave; }
    bool Write(std::string_view bytes) {
        return ::write(m_fdMaster, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }
    void Close() {
        if (m_fdMaster >= 0)
            ::close(m_fdMaster);
        m_fdMaster = -1;
    }

private:
    int m_fdMaster = -1;
    QString m_strSlave;
};

using EStatus = CCommStatusEvent::EKind;

/// Opens pseudo-terminals until one gets the node strPath again (numbers are taken lowest
/// first, so this is the next one unless another process was quicker); null if none does.
std::unique_ptr<CBarePty> PtyAt(const QString& strPath,
                                std::vector<std::unique_ptr<CBarePty>>& held) {
    for (int i = 0; i < 8; ++i) {
        auto p = std::make_unique<CBarePty>();
        if (!p->IsValid())
            return nullptr;
        if (p->SlavePath() == strPath)
            return p;
        held.push_back(std::move(p));
    }
    return nullptr;
}

TEST(CommReaderReplug, TheSameDeviceReturningKeepsWhatItSentBeforeTheReopen) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strLink = dir.filePath(QStringLiteral("adapter"));
    auto pFirst = std::make_unique<CBarePty>();
    ASSERT_TRUE(pFirst->IsValid());
    const QString strNode = pFirst->SlavePath();
    ASSERT_TRUE(QFile::link(strNode, strLink));

    CCommReader reader;
    reader.SetPortMap(MapOne(2, strLink));
    CEventCounter counter;
    SCommSetting setting;
    ASSERT_TRUE(reader.Open(2, &setting, &counter));
    ASSERT_TRUE(pFirst->Write("before\r"));
    ASSERT_TRUE(WaitUntil([&] { return reader.GetLineCount() == 1; }));

    // Unplugged: the reader notices, lets the node go and says when.
    const QDateTime timeUnplug = QDateTime::currentDateTime();
    pFirst.reset();
    ASSERT_TRUE(WaitUntil([&] { return !counter.m_vecStatus.empty(); }));
    const QDateTime timeTold = QDateTime::currentDateTime();
    EXPECT_EQ(counter.m_vecStatus[0], EStatus::Vanished);
    EXPECT_GE(counter.m_vecStatusTime[0], timeUnplug.addMSecs(-1));
    EXPECT_LE(counter.m_vecStatusTime[0], timeTold);
    EXPECT_EQ(counter.m_nLastPort, 2);
    ASSERT_TRUE(WaitUntil([&] { return !QFile::exists(strNode); }));

    // Plugged in again: the same device (the same node number) sends before the reader is back.
    std::vector<std::unique_ptr<CBarePty>> held;
    auto pAgain = PtyAt(strNode, held);
    if (!pAgain)
        GTEST_SKIP() << "another process took " << strNode.toStdString();
    ASSERT_TRUE(pAgain->Write("sent while away 1\rsent while away 2\r"));
    ASSERT_TRUE(WaitUntil([&] { return counter.m_vecStatus.size() >= 2; }));
    EXPECT_EQ(counter.m_vecStatus[1], EStatus::Reopened);
    EXPECT_GE(counter.m_vecStatusTime[1], timeTold.addMSecs(-1));
    ASSERT_TRUE(pAgain->Write("after\r"));
    ASSERT_TRUE(WaitUntil([&] { return reader.GetLineCount() >= 4; }));
    EXPECT_EQ(Drain(reader), (std::vector<std::string>{"before", "sent while away 1",
                                                       "sent while away 2", "after"}));
    EXPECT_TRUE(reader.Close());
    EXPECT_EQ(counter.m_vecStatus.size(), 2u);
}

TEST(CommReaderReplug, AnotherDeviceUnderTheNameIsToldOnceAndNotRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strLink = dir.filePath(QStringLiteral("adapter"));
    auto pFirst = std::make_unique<CBarePty>();
    CPtyPair other; // a different device, already there
    ASSERT_TRUE(pFirst->IsValid() && other.IsValid());
    ASSERT_TRUE(QFile::link(pFirst->SlavePath(), strLink));

    CCommReader reader;
    reader.SetPortMap(MapOne(2, strLink));
    CEventCounter counter;
    SCommSetting setting;
    ASSERT_TRUE(reader.Open(2, &setting, &counter));
    pFirst.reset();
    ASSERT_TRUE(WaitUntil([&] { return !counter.m_vecStatus.empty(); }));
    ASSERT_TRUE(QFile::remove(strLink));
    ASSERT_TRUE(QFile::link(other.SlavePath(), strLink));
    ASSERT_TRUE(WaitUntil([&] { return counter.m_vecStatus.size() >= 2; }));
    EXPECT_EQ(counter.m_vecStatus[1], EStatus::OtherDevice);
    ASSERT_TRUE(other.Write("not ours\r"));
    Settle(600); // several reopen attempts
    EXPECT_EQ(counter.m_vecStatus.size(), 2u) << "told once, never opened";
    EXPECT_EQ(reader.GetLineCount(), 0);
    EXPECT_TRUE(reader.Close());
}

TEST(CommReaderLock, OneDeviceOneReaderThroughAnyName) {
    CPtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    QTemporaryDir dir;
    const QString strLink = dir.filePath(QStringLiteral("by-id-link"));
    ASSERT_TRUE(QFile::link(pty.SlavePath(), strLink));
    const QString strLockName = QStringLiteral("LCK..") +
                                pty.SlavePath().mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));

    for (const bool bNodeFirst : {true, false}) {
        SCOPED_TRACE(bNodeFirst ? "node, then link" : "link, then node");
        const QString strFirst = bNodeFirst ? pty.SlavePath() : strLink;
        const QString strSecond = bNodeFirst ? strLink : pty.SlavePath();
        CCommReader first;
        first.SetPortMap(MapOne(1, strFirst));
        SCommSetting setting;
        ASSERT_TRUE(first.Open(1, &setting, nullptr));
        EXPECT_EQ(first.LastOpenFailure().m_eKind, ECommOpenFailure::None);

        CCommReader second;
        second.SetPortMap(MapOne(2, strSecond));
        EXPECT_FALSE(second.Open(2, &setting, nullptr));
        EXPECT_EQ(second.LastOpenFailure().m_eKind, ECommOpenFailure::Busy);
        EXPECT_EQ(second.LastOpenFailure().m_nHolderPid, qint64(::getpid()));
        EXPECT_EQ(second.LastOpenFailure().m_strDevice, pty.SlavePath());

        // The lock file other serial programs look for carries the real node's name.
        bool bLockFile = false;
        for (const char* pszDir : {"/var/lock", "/run/lock", "/tmp", "/var/tmp"})
            bLockFile = bLockFile || QFile::exists(QString::fromLatin1(pszDir) + "/" + strLockName);
        EXPECT_TRUE(bLockFile) << strLockName.toStdString();
        EXPECT_TRUE(first.Close());
        EXPECT_TRUE(second.Open(2, &setting, nullptr)) << "free again once the first is closed";
        EXPECT_TRUE(second.Close());
    }
}

TEST(CommReaderLock, AFlockOfAnotherProgramMakesTheDeviceBusy) {
    CPtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    const int fd = ::open(QFile::encodeName(pty.SlavePath()).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    CCommReader reader;
    reader.SetPortMap(MapOne(1, pty.SlavePath()));
    SCommSetting setting;
    EXPECT_FALSE(reader.Open(1, &setting, nullptr));
    EXPECT_EQ(reader.LastOpenFailure().m_eKind, ECommOpenFailure::Busy);
    EXPECT_EQ(reader.LastOpenFailure().m_nErrno, EWOULDBLOCK);
    EXPECT_EQ(reader.LastOpenFailure().m_nHolderPid, qint64(::getpid()));
    ::close(fd);
    EXPECT_TRUE(reader.Open(1, &setting, nullptr));
    EXPECT_TRUE(reader.Close());
}

TEST(CommReaderOpen, FailuresLeaveTheReaderClosed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strPlainFile = dir.filePath(QStringLiteral("not-a-tty"));
    QFile file(strPlainFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    struct SCase {
        const char* pszName;
        QString strPath; // what COM3 maps to; empty: nothing
        ECommOpenFailure eKind;
    };
    const SCase cases[] = {
        {"missing device", dir.filePath(QStringLiteral("ttyUSB9")), ECommOpenFailure::NoDevice},
        {"no mapping", QString(), ECommOpenFailure::NoDevice},
        {"not a terminal", strPlainFile, ECommOpenFailure::Other},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        CCommReader reader;
        CPortMap map(dir.path());
        if (!c.strPath.isEmpty())
            map.SetOverrides({{3, c.strPath}});
        reader.SetPortMap(map);
        CEventCounter counter;
        SCommSetting setting;
        EXPECT_FALSE(reader.Open(3, &setting, &counter));
        EXPECT_EQ(reader.LastOpenFailure().m_eKind, c.eKind);
        EXPECT_FALSE(reader.IsOpen());
        EXPECT_FALSE(reader.Close());
        EXPECT_EQ(reader.GetLineCount(), 0);
    }
}

TEST(CommReaderOpen, OddLineSettingsStillOpen) {
    // A pseudo-terminal refuses some of these; refusals are ignored and the port is used as is.
    const SCommSetting settings[] = {
        {1, 9600, 8, 0, 0},
        {1, 250000, 7, 2, 1},
        {1, 3200000, 5, 1, 2},
        {1, 0, 3, 9, 9},
    };
    for (const SCommSetting& s : settings) {
        SCOPED_TRACE(s.m_nBaudRate);
        CPtyPair pty;
        CCommReader reader;
        reader.SetPortMap(MapOne(1, pty.SlavePath()));
        CEventCounter counter;
        ASSERT_TRUE(reader.Open(1, &s, &counter));
        ASSERT_TRUE(pty.Write("9\r"));
        EXPECT_TRUE(WaitUntil([&] { return counter.m_nEvents == 1; }));
        EXPECT_EQ(Drain(reader), std::vector<std::string>{"9"});
        EXPECT_TRUE(reader.Close());
    }
}

TEST(SerialConfig, MapsStoredLineCodes) {
    struct SCase {
        SCommSetting setting;
        std::optional<qint32> nBaud;
        std::optional<QSerialPort::DataBits> dataBits;
        std::optional<QSerialPort::Parity> parity;
        std::optional<QSerialPort::StopBits> stopBits;
        bool bCheck;
    };
    using P = QSerialPort;
    const SCase cases[] = {
        {{1, 9600, 8, 0, 0}, 9600, P::Data8, P::NoParity, P::OneStop, false},
        {{1, 115200, 7, 1, 2}, 115200, P::Data7, P::OddParity, P::TwoStop, true},
        {{1, 3200000, 6, 2, 1}, 3200000, P::Data6, P::EvenParity, P::OneAndHalfStop, true},
        {{1, 250000, 5, 3, 0}, 250000, P::Data5, P::MarkParity, P::OneStop, true},
        {{1, 300, 8, 4, 0}, 300, P::Data8, P::SpaceParity, P::OneStop, true},
        // codes the port layer cannot express leave the port's own value
        {{1, 0, 4, 5, 3}, std::nullopt, std::nullopt, std::nullopt, std::nullopt, true},
        {{1, 0x80000000u, 9, 0, 7}, std::nullopt, std::nullopt, P::NoParity, std::nullopt, false},
        {{1, 0x7fffffffu, 0, 0, 0}, 0x7fffffff, std::nullopt, P::NoParity, P::OneStop, false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.setting.m_nBaudRate << " " << int(c.setting.m_nByteSize) << " "
                     << int(c.setting.m_nParity) << " " << int(c.setting.m_nStopBits));
        const SSerialConfig cfg = MapCommSetting(c.setting);
        EXPECT_EQ(cfg.m_nBaudRate, c.nBaud);
        EXPECT_EQ(cfg.m_DataBits, c.dataBits);
        EXPECT_EQ(cfg.m_Parity, c.parity);
        EXPECT_EQ(cfg.m_StopBits, c.stopBits);
        EXPECT_EQ(cfg.m_bParityCheck, c.bCheck);
    }
}

} // namespace
