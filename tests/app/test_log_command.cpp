// `kest --log` and `kest --list-ports` as a user runs them: the real program, on a real pty, with
// no display at all.
#include "app/command_line.h"
#include "app/log_command.h"

#include "pty_pair.h"
#include "test_broker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <string>
#include <thread>

namespace {

/// A second, unprivileged user of this machine for the tests that need one.
struct SUser {
    uid_t m_nUid;
    gid_t m_nGid;
};

/// The user "kest-race", made when missing; none unless the tests run as root.
std::optional<SUser> UnprivilegedUser() {
    if (::geteuid() != 0)
        return std::nullopt;
    const char* pszUser = "kest-race";
    if (!::getpwnam(pszUser)) {
        QProcess::execute(QStringLiteral("useradd"),
                          {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                           QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                           QString::fromLatin1(pszUser)});
    }
    const passwd* pUser = ::getpwnam(pszUser);
    if (!pUser)
        return std::nullopt;
    return SUser{pUser->pw_uid, pUser->pw_gid};
}

/// The program linked into a directory of its own, so that its profile (beside it) belongs to
/// the test alone.
class LogCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Pty.IsValid());
        m_pDir = std::make_unique<QTemporaryDir>(QStringLiteral(KEST_TEST_TMP "/kest-log-XXXXXX"));
        ASSERT_TRUE(m_pDir->isValid());
        m_strExe = m_pDir->filePath(QStringLiteral("kest"));
        if (::link(KEST_EXE, QFile::encodeName(m_strExe).constData()) != 0) {
            ASSERT_TRUE(QFile::copy(QStringLiteral(KEST_EXE), m_strExe));
        }
        m_strLog = m_pDir->filePath(QStringLiteral("run.csv"));
    }

    /// Environment without any display: no DISPLAY, no WAYLAND_DISPLAY, no QT_QPA_PLATFORM.
    QProcessEnvironment Environment(const QString& strCom1) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* pszName : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "KEST_COM2"})
            env.remove(QString::fromLatin1(pszName));
        env.insert(QStringLiteral("KEST_COM1"), strCom1);
        return env;
    }

    void StartKest(QProcess& process, const QStringList& args, const QString& strCom1) {
        process.setProcessEnvironment(Environment(strCom1));
        process.start(m_strExe, args);
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    /// Runs the program to its end; its exit code, or -1 when it crashed or hung.
    int RunKest(const QStringList& args, const QString& strCom1, QString* pStdErr = nullptr,
                QString* pStdOut = nullptr) {
        QProcess process;
        StartKest(process, args, strCom1);
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        if (pStdErr)
            *pStdErr = QString::fromLocal8Bit(process.readAllStandardError());
        if (pStdOut)
            *pStdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    std::string ReadLog() const {
        QFile file(m_strLog);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
    }

    CPtyPair m_Pty;
    std::unique_ptr<QTemporaryDir> m_pDir;
    QString m_strExe;
    QString m_strLog;
};

// Every line the device sent before SIGTERM is in the file, in order, nothing torn, and the
// program ends with success.
TEST_F(LogCommandTest, SigtermInTheMiddleOfAStreamKeepsEveryLineSentBeforeIt) {
    QProcess process;
    StartKest(process, {QStringLiteral("--log"), m_strLog}, m_Pty.SlavePath());
    // The port is purged when it opens: the stream starts once the program says it is logging.
    QByteArray strErrOut;
    process.setReadChannel(QProcess::StandardError);
    while (!strErrOut.contains("Ctrl+C stops") && process.waitForReadyRead(20000))
        strErrOut += process.readAllStandardError();
    ASSERT_TRUE(strErrOut.contains("Ctrl+C stops")) << strErrOut.toStdString();
    std::atomic<bool> bStop{false};
    std::atomic<int> nSent{0};
    std::string strSent;
    std::thread writer([&] {
        for (int i = 0; !bStop; ++i) {
            const std::string strLine = std::to_string(i) + "," + std::to_string(i % 50) + "\r\n";
            if (!m_Pty.Write(strLine))
                break;
            strSent += strLine;
            ++nSent;
            if (i % 20 == 19)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    // Once the file shows the program is logging, let the stream run on a little.
    QDeadlineTimer deadline(20000);
    while (QFileInfo(m_strLog).size() < 2000 && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    bStop = true;
    writer.join();
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), SIGTERM), 0);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    const std::string strLog = ReadLog();
    EXPECT_GT(nSent.load(), 100);
    EXPECT_EQ(strLog.size(), strSent.size());
    const size_t nSame = static_cast<size_t>(
        std::mismatch(strLog.begin(), strLog.end(), strSent.begin(), strSent.end()).first -
        strLog.begin());
    EXPECT_TRUE(strLog == strSent) << "the log departs from the stream sent before SIGTERM at byte "
                                   << nSame << " of " << strSent.size();
    const QString strErr = QString::fromLocal8Bit(strErrOut + process.readAllStandardError());
    EXPECT_TRUE(strErr.contains(
        QStringLiteral("%1 lines, %2 bytes written").arg(nSent.load()).arg(strSent.size())))
        << strErr.toStdString();
}

TEST_F(LogCommandTest, DurationEndsTheRunAndTheFileIsWhatWasSent) {
    QProcess process;
    StartKest(
        process,
        {QStringLiteral("--log"), m_strLog, QStringLiteral("--duration"), QStringLiteral("0.5")},
        m_Pty.SlavePath());
    QByteArray strErrOut;
    process.setReadChannel(QProcess::StandardError);
    while (!strErrOut.contains("Ctrl+C stops") && process.waitForReadyRead(20000))
        strErrOut += process.readAllStandardError();
    ASSERT_TRUE(m_Pty.Write("1.5,2\r\n\r\n-3,4e2\r\n"));
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(ReadLog(), "1.5,2\r\n\r\n-3,4e2\r\n");
}

TEST_F(LogCommandTest, FailuresGiveTheirExitCodeAndMessage) {
    {
        QFile existing(m_pDir->filePath(QStringLiteral("old.csv")));
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("kept\r\n");
    }
    const QString strLink = m_pDir->filePath(QStringLiteral("planted.csv"));
    ASSERT_TRUE(QFile::link(m_pDir->filePath(QStringLiteral("old.csv")), strLink));
    const QString strFifo = m_pDir->filePath(QStringLiteral("fifo.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
    // The device is held by a reader of this process, reached through another name.
    const QString strAlias = m_pDir->filePath(QStringLiteral("ttyAlias"));
    ASSERT_TRUE(QFile::link(m_Pty.SlavePath(), strAlias));
    CCommReader holder;
    holder.SetPortMap(MapOne(1, m_Pty.SlavePath()));
    const QString strBusy = QStringLiteral("busy, held by another program (PID %1")
                                .arg(QCoreApplication::applicationPid());
    const struct {
        const char* pszName;
        QString strLog;
        QString strCom1;
        bool bForce;
        bool bHold;
        int nExit;
        QString strMessage;
    } cases[] = {
        {"missing port", m_strLog, QStringLiteral("/dev/ttyUSB-none-such"), false, false, 4,
         QStringLiteral("cannot open COM1 (/dev/ttyUSB-none-such): no such device")},
        {"device held under another name", m_strLog, strAlias, false, true, 4, strBusy},
        {"unwritable file", m_pDir->filePath(QStringLiteral("no-dir/run.csv")), m_Pty.SlavePath(),
         false, false, 3, QStringLiteral("cannot create the log file")},
        {"existing file", m_pDir->filePath(QStringLiteral("old.csv")), m_Pty.SlavePath(), false,
         false, 3, QStringLiteral("give --force")},
        {"a directory", m_pDir->path(), m_Pty.SlavePath(), false, false, 3,
         QStringLiteral("is a directory")},
        {"a planted link, forced", strLink, m_Pty.SlavePath(), true, false, 3,
         QStringLiteral("is a symbolic link")},
        {"a FIFO, forced: no hang", strFifo, m_Pty.SlavePath(), true, false, 3,
         QStringLiteral("is not a regular file")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        if (c.bHold) {
            ASSERT_TRUE(holder.Open(1, nullptr, nullptr));
        }
        QStringList args = {QStringLiteral("--log"), c.strLog};
        if (c.bForce)
            args << QStringLiteral("--force");
        QString strErr;
        EXPECT_EQ(RunKest(args, c.strCom1, &strErr), c.nExit);
        EXPECT_TRUE(strErr.contains(c.strMessage)) << strErr.toStdString();
        holder.Close();
    }
    EXPECT_FALSE(QFile::exists(m_strLog)) << "a port failure leaves no file";
    QFile old(m_pDir->filePath(QStringLiteral("old.csv")));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("kept\r\n"));

    QString strErr;
    EXPECT_EQ(RunKest({QStringLiteral("--log"), m_strLog, QStringLiteral("--duration"),
                       QStringLiteral("soon")},
                      m_Pty.SlavePath(), &strErr),
              2);
    EXPECT_TRUE(strErr.contains(QStringLiteral("--duration must be")));
}

// The run is judged by its log: standard error closed early (`2>&1 | head -c 5`) is no failure,
// and line settings the port layer does not take are named.
TEST_F(LogCommandTest, ClosedStandardErrorAndRefusedLineSettings) {
    {
        QFile profile(m_pDir->filePath(QStringLiteral("kest.INI")));
        ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
        profile.write("[Comm]\r\nBaudRate=-1\r\nParity=99\r\n");
    }
    QProcess process;
    process.setProcessEnvironment(Environment(m_Pty.SlavePath()));
    const QString strCommand = QStringLiteral("'%1' --log '%2' --duration 0.3 2>&1 | head -c 5 "
                                              ">/dev/null; exit ${PIPESTATUS[0]}")
                                   .arg(m_strExe, m_strLog);
    process.start(QStringLiteral("bash"), {QStringLiteral("-c"), strCommand});
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(QFile::exists(m_strLog));

    QString strErr;
    EXPECT_EQ(RunKest({QStringLiteral("--log"), m_strLog, QStringLiteral("--force"),
                       QStringLiteral("--duration"), QStringLiteral("0.2")},
                      m_Pty.SlavePath(), &strErr),
              0);
    EXPECT_TRUE(strErr.contains(
        QStringLiteral("stored BaudRate=-1, Parity=99 not accepted, the port keeps its own")))
        << strErr.toStdString();
    EXPECT_FALSE(strErr.contains(QStringLiteral("4294967295")));
}

TEST_F(LogCommandTest, ListPortsNamesDeviceRuleAndAccessWithoutADisplay) {
    {
        QFile profile(m_pDir->filePath(QStringLiteral("kest.INI")));
        ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
        profile.write("[Comm]\nPort=2\n[Ports]\nCOM2=/dev/ttyUSB-none-such\n");
    }
    QString strOut;
    EXPECT_EQ(RunKest({QStringLiteral("--list-ports")}, m_Pty.SlavePath(), nullptr, &strOut), 0);
    EXPECT_TRUE(strOut.startsWith(
        QStringLiteral("COM1  %1  (environment KEST_COM1)\n").arg(m_Pty.SlavePath())))
        << strOut.toStdString();
    EXPECT_TRUE(strOut.contains(QStringLiteral("access: read and write permitted")));
    EXPECT_TRUE(strOut.contains(QStringLiteral("COM2  /dev/ttyUSB-none-such  (profile [Ports] "
                                               "COM2)  <- the profile's COM port\n      device: "
                                               "missing")));
    EXPECT_TRUE(strOut.contains(QStringLiteral("Profile: %1").arg(m_pDir->filePath("kest.INI"))));
}

// --publish sends what the log receives; the status line and the summary at exit say how the
// broker fared. A second run against a port where no broker listens still logs everything and
// tells the failure once.
TEST_F(LogCommandTest, PublishSendsEveryLoggedLineAndTheSummaryTellsTheBroker) {
    KEST_SKIP_WITHOUT_MOSQUITTO();
    CTestBroker broker(m_pDir->path());
    ASSERT_TRUE(broker.Start());
    for (const bool bBrokerUp : {true, false}) {
        SCOPED_TRACE(bBrokerUp ? "broker up" : "no broker");
        const int nPort = bBrokerUp ? broker.Port() : FreeLoopbackPort();
        CTestSubscriber sub(broker.Port(), "lab/bench");
        ASSERT_TRUE(sub.WaitSubscribed());
        QProcess process;
        StartKest(process,
                  {QStringLiteral("--log"), m_strLog, QStringLiteral("--force"),
                   QStringLiteral("--publish"), QStringLiteral("mqtt://127.0.0.1:%1").arg(nPort),
                   QStringLiteral("--topic"), QStringLiteral("lab/bench")},
                  m_Pty.SlavePath());
        QByteArray strErrOut;
        process.setReadChannel(QProcess::StandardError);
        while (!strErrOut.contains("Ctrl+C stops") && process.waitForReadyRead(20000))
            strErrOut += process.readAllStandardError();
        ASSERT_TRUE(strErrOut.contains("publishing to mqtt://127.0.0.1"))
            << strErrOut.toStdString();
        std::string strSent;
        std::vector<std::string> vecSent;
        for (int i = 0; i < 2000; ++i) {
            vecSent.push_back(std::to_string(i) + ",0.5");
            strSent += vecSent.back() + "\r\n";
        }
        ASSERT_TRUE(m_Pty.Write(strSent));
        QDeadlineTimer deadline(20000);
        while (QFileInfo(m_strLog).size() < static_cast<qint64>(strSent.size()) &&
               !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (bBrokerUp)
            EXPECT_TRUE(sub.WaitCount(2000, 20000));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), SIGTERM), 0);
        // Without a broker the stop keeps trying to send for its drain time.
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_EQ(ReadLog(), strSent);
        const QString strErr = QString::fromLocal8Bit(strErrOut + process.readAllStandardError());
        if (bBrokerUp) {
            EXPECT_EQ(sub.Payloads("lab/bench"), vecSent);
            EXPECT_TRUE(strErr.contains(QStringLiteral("2000 lines sent, 0 dropped")))
                << strErr.toStdString();
        } else {
            EXPECT_TRUE(sub.Payloads("lab/bench").empty());
            EXPECT_EQ(strErr.count(QStringLiteral("broker retrying: ")), 1) << strErr.toStdString();
            EXPECT_TRUE(strErr.contains(QStringLiteral("0 lines sent, 2000 dropped")))
                << strErr.toStdString();
        }
    }
}

// Root logging into a directory that another user can write: that user swaps the path between
// nothing, a link to a file of root's and a file of their own, as fast as they can, while root
// starts runs with and without --force. No run may write through the link.
TEST_F(LogCommandTest, LinksPlantedByAnotherUserDuringTheStartAreNeverFollowed) {
    const std::optional<SUser> user = UnprivilegedUser();
    if (!user)
        GTEST_SKIP() << "needs root, to make a second, unprivileged user";
    const uid_t nUid = user->m_nUid;
    const gid_t nGid = user->m_nGid;

    const QString strSecret = m_pDir->filePath(QStringLiteral("root-only.conf"));
    {
        QFile secret(strSecret);
        ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
        secret.write("secret\r\n");
    }
    // Writable by everyone and without the sticky bit, so the kernel's own link protection
    // for sticky directories does not apply: only the program stands between.
    const QString strShared = m_pDir->filePath(QStringLiteral("shared"));
    ASSERT_EQ(::chmod(QFile::encodeName(m_pDir->path()).constData(), 0755), 0);
    ASSERT_EQ(::mkdir(QFile::encodeName(strShared).constData(), 0777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(strShared).constData(), 0777), 0);
    const QByteArray strTarget = QFile::encodeName(strSecret);
    const QByteArray strPath = QFile::encodeName(strShared + QStringLiteral("/run.csv"));
    const QByteArray strOwn = QFile::encodeName(strShared + QStringLiteral("/own.tmp"));

    const pid_t nRacer = ::fork();
    ASSERT_GE(nRacer, 0);
    if (nRacer == 0) {
        // Only system calls from here on: the parent has threads.
        if (::setgroups(0, nullptr) != 0 || ::setgid(nGid) != 0 || ::setuid(nUid) != 0)
            ::_exit(2);
        const timespec pause{0, 100000};
        for (;;) {
            ::unlink(strPath.constData());
            ::nanosleep(&pause, nullptr);
            ::symlink(strTarget.constData(), strPath.constData());
            ::nanosleep(&pause, nullptr);
            const int fd = ::open(strOwn.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            if (fd >= 0)
                ::close(fd);
            ::rename(strOwn.constData(), strPath.constData());
            ::nanosleep(&pause, nullptr);
        }
    }
    int nRefused = 0;
    int nLogged = 0;
    for (int i = 0; i < 16; ++i) {
        QStringList args = {QStringLiteral("--log"), QFile::decodeName(strPath),
                            QStringLiteral("--duration"), QStringLiteral("0.05")};
        if (i % 2)
            args << QStringLiteral("--force");
        const int nExit = RunKest(args, m_Pty.SlavePath());
        EXPECT_TRUE(nExit == 0 || nExit == 3) << "run " << i << " ended with " << nExit;
        (nExit == 0 ? nLogged : nRefused) += 1;
    }
    ::kill(nRacer, SIGKILL);
    ::waitpid(nRacer, nullptr, 0);
    QFile secret(strSecret);
    ASSERT_TRUE(secret.open(QIODevice::ReadOnly));
    EXPECT_EQ(secret.readAll(), QByteArray("secret\r\n"));
    // The swapping did meet the runs: some found the path taken (or a link) and refused.
    EXPECT_GT(nRefused, 0) << nLogged << " runs logged, none refused";
}

// A port the user may not open: the message names the device's owner and the group to join.
TEST_F(LogCommandTest, APortTheUserMayNotOpenNamesTheGroupToJoin) {
    const std::optional<SUser> user = UnprivilegedUser();
    if (!user)
        GTEST_SKIP() << "needs root, to make a second, unprivileged user";
    ASSERT_EQ(::chmod(QFile::encodeName(m_pDir->path()).constData(), 0755), 0);
    const QString strShared = m_pDir->filePath(QStringLiteral("shared"));
    ASSERT_EQ(::mkdir(QFile::encodeName(strShared).constData(), 0777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(strShared).constData(), 0777), 0);
    // The device as a serial adapter's node is: root's, read and write for its group only.
    const QByteArray strDevice = QFile::encodeName(m_Pty.SlavePath());
    ASSERT_EQ(::chown(strDevice.constData(), 0, 0), 0);
    ASSERT_EQ(::chmod(strDevice.constData(), 0660), 0);

    QProcess process;
    QProcessEnvironment env = Environment(m_Pty.SlavePath());
    env.insert(QStringLiteral("HOME"), strShared);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), strShared);
    process.setProcessEnvironment(env);
    const SUser who = *user;
    process.setChildProcessModifier([who] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(who.m_nGid) != 0 || ::setuid(who.m_nUid) != 0)
            ::_exit(99);
    });
    const QString strLog = strShared + QStringLiteral("/run.csv");
    process.start(m_strExe, {QStringLiteral("--log"), strLog});
    ASSERT_TRUE(process.waitForFinished(30000));
    const QString strErr = QString::fromLocal8Bit(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 4) << strErr.toStdString();
    EXPECT_TRUE(strErr.contains(QStringLiteral("permission denied (owner root:root)")))
        << strErr.toStdString();
    EXPECT_TRUE(strErr.contains(QStringLiteral("`sudo adduser $USER root`")))
        << strErr.toStdString();
    EXPECT_FALSE(QFile::exists(strLog)) << "a port failure leaves no file";
}

TEST(LogCommandLine, OptionsAndTheirCombinations) {
    // The command chosen, and whether a refusal is followed by the whole --help text (not when
    // the message already says how the command is used).
    const struct {
        QStringList args;
        bool bOk;
        long long nDurationMs;
        ECommand nCommand;
        bool bWithHelp;
    } cases[] = {
        {{"--log", "a.csv"}, true, 0, ECommand::Log, true},
        {{"--log", "a.csv", "--duration", "2.5", "--force"}, true, 2500, ECommand::Log, true},
        {{"--log", "a.csv", "--duration", "0"}, false, 0, ECommand::Window, true},
        {{"--log", "a.csv", "--duration", "-1"}, false, 0, ECommand::Window, true},
        {{"--log", "a.csv", "--duration", "nan"}, false, 0, ECommand::Window, true},
        {{"--log", "a.csv", "--duration", "1e12"}, false, 0, ECommand::Window, true},
        {{"--duration", "5"}, false, 0, ECommand::Window, true},
        {{"--force"}, false, 0, ECommand::Window, true},
        {{"--log", "a.csv", "b.csv"}, false, 0, ECommand::Window, true},
        {{"--log", "a.csv", "--list-ports"}, false, 0, ECommand::Window, true},
        {{"--log", "a.csv", "--render", "x.png"}, false, 0, ECommand::Window, true},
        {{"--log", "a.csv", "--log", "b.csv"}, false, 0, ECommand::Window, true},
        {{"--list-ports"}, true, 0, ECommand::ListPorts, true},
        {{"--render", "x.png", "--size", "10x10", "a.csv"}, true, 0, ECommand::Render, true},
        {{"--render", "x.png", "a.csv"}, false, 0, ECommand::Render, false},
        {{"--help", "--render", "x.png"}, true, 0, ECommand::Help, true},
        {{"--help", "--force"}, false, 0, ECommand::Window, true},
        {{"--version"}, true, 0, ECommand::Version, true},
        {{"a.csv"}, true, 0, ECommand::Window, true},
        {{"a.csv", "b.csv"}, false, 0, ECommand::Window, false},
        {{"--bogus"}, false, 0, ECommand::Window, true},
        {{"--log", "a.csv", "--publish", "mqtt://h:1884", "--topic", "a/b", "--format", "json"},
         true,
         0,
         ECommand::Log,
         true},
        {{"--publish", "mqtt://h"}, false, 0, ECommand::Window, true},
        {{"--log", "a.csv", "--topic", "a/b"}, false, 0, ECommand::Window, true},
        {{"--log", "a.csv", "--publish", "http://h"}, false, 0, ECommand::Window, true},
        {{"--log", "a.csv", "--publish", "mqtt://h:99999"}, false, 0, ECommand::Window, true},
        {{"--log", "a.csv", "--publish", "mqtt://h", "--topic", "a/#"},
         false,
         0,
         ECommand::Window,
         true},
        {{"--log", "a.csv", "--publish", "mqtt://h", "--topic", "+/b"},
         false,
         0,
         ECommand::Window,
         true},
        {{"--log", "a.csv", "--publish", "mqtt://h", "--format", "csv"},
         false,
         0,
         ECommand::Window,
         true},
        {{"--stats", "a.csv", "--channels", "3", "--from", "2", "--to", "9"},
         true,
         0,
         ECommand::Stats,
         true},
        {{"--stats", "a.csv", "--from", "5", "--to", "3"}, false, 0, ECommand::Stats, false},
        {{"--stats", "a.csv", "--from", "-1"}, false, 0, ECommand::Stats, false},
        {{"--stats"}, false, 0, ECommand::Stats, false},
        {{"--from", "1", "a.csv"}, false, 0, ECommand::Window, true},
        {{"--stats", "a.csv", "--render", "x.png"}, false, 0, ECommand::Window, true},
        {{"--stats", "--follow", "a.csv"}, false, 0, ECommand::Window, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        SCommandLine cmd;
        SUsageError error;
        EXPECT_EQ(ParseCommandLine(c.args, cmd, error), c.bOk) << error.m_strText.toStdString();
        EXPECT_EQ(cmd.m_nCommand, c.nCommand);
        if (c.bOk) {
            EXPECT_EQ(cmd.m_Log.m_nDurationMs, c.nDurationMs);
        } else {
            EXPECT_FALSE(error.m_strText.isEmpty());
            EXPECT_EQ(error.m_bWithHelp, c.bWithHelp);
        }
    }
}

} // namespace
