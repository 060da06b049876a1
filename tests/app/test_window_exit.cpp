// The window logging from a real pty on a private X server that goes away mid-stream: the
// program ends by itself, every line it took from the device is in the log (what it did not
// take is still in the terminal), and the device is let go.
#include "pty_pair.h"
#include "xvfb.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

/// Whether any serial lock file names the device (the port layer writes "LCK..pts_N").
bool LockFileExists(const QString& strDevice) {
    const QString strName = QFileInfo(strDevice).fileName();
    for (const char* pszDir : {"/var/lock", "/run/lock"}) {
        const QDir dir(QString::fromLatin1(pszDir));
        for (const QString& strFile : dir.entryList({QStringLiteral("LCK..*")}, QDir::Files)) {
            if (strFile.endsWith(strName))
                return true;
        }
    }
    return false;
}

TEST(WindowExit, LostDisplayKeepsEveryLineTakenAndLetsTheDeviceGo) {
    if (!CXvfb::Available())
        GTEST_SKIP() << "Xvfb and xdotool are needed (scripts/setup.sh installs them)";
    CXvfb server;
    ASSERT_TRUE(server.IsRunning()) << "Xvfb did not start";
    CPtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    QTemporaryDir dir(QStringLiteral(KEST_TEST_TMP "/kest-exit-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QString strExe = dir.filePath(QStringLiteral("kest"));
    if (::link(KEST_EXE, QFile::encodeName(strExe).constData()) != 0) {
        ASSERT_TRUE(QFile::copy(QStringLiteral(KEST_EXE), strExe));
    }
    {
        QFile profile(dir.filePath(QStringLiteral("kest.INI")));
        ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
        profile.write("[Setting]\r\nChannels=2\r\n");
    }
    const QString strLog = dir.filePath(QStringLiteral("run.csv"));

    QProcess kest;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("DISPLAY"), server.m_strDisplay);
    env.insert(QStringLiteral("KEST_COM1"), pty.SlavePath());
    kest.setProcessEnvironment(env);
    kest.start(strExe, {});
    ASSERT_TRUE(kest.waitForStarted(10000));

    // ファイル > ロギング, then the log's name in the file dialog, by the keyboard as a user would.
    QString strWindow;
    ASSERT_TRUE(server.Tool({"search", "--sync", "--onlyvisible", "--name", "KEST"}, &strWindow));
    ASSERT_TRUE(server.Tool({"windowfocus", "--sync", strWindow.section('\n', 0, 0)}));
    ASSERT_TRUE(server.PressKey("alt+f"));
    ASSERT_TRUE(server.Tool({"key", "--delay", "100", "Down", "Return"}));
    QString strDialog;
    ASSERT_TRUE(server.Tool(
        {"search", "--sync", "--onlyvisible", "--name", QStringLiteral("ロギングするファイル")},
        &strDialog));
    ASSERT_TRUE(server.Tool({"windowfocus", "--sync", strDialog.section('\n', 0, 0)}));
    ASSERT_TRUE(server.Tool({"type", "--delay", "2", strLog}));
    ASSERT_TRUE(server.PressKey("Return"));
    QDeadlineTimer opened(20000);
    while (!QFile::exists(strLog) && !opened.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(QFile::exists(strLog));
    // The port is opened (and emptied) right after the file is made.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(LockFileExists(pty.SlavePath()));

    std::atomic<bool> bStop{false};
    std::string strSent;
    std::thread writer([&] {
        for (int i = 0; !bStop; ++i) {
            const std::string strLine = std::to_string(i) + "," + std::to_string(i % 97) + "\r\n";
            if (!pty.Write(strLine))
                break;
            strSent += strLine;
            if (i % 10 == 9)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    while (QFileInfo(strLog).size() < 20000 && kest.state() == QProcess::Running)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    server.Kill();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    bStop = true;
    writer.join();
    ASSERT_TRUE(kest.waitForFinished(20000)) << "the window did not end with its display";

    QFile log(strLog);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const std::string strLogged = log.readAll().toStdString();
    const std::string strUnread = pty.TakeUnread();
    EXPECT_GT(strLogged.size(), 20000u);
    EXPECT_EQ(strLogged.size() + strUnread.size(), strSent.size())
        << "lines taken from the device are missing from the log";
    EXPECT_TRUE(strLogged + strUnread == strSent);
    EXPECT_FALSE(LockFileExists(pty.SlavePath())) << "the lock file was left behind";
}

} // namespace
