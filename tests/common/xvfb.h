#pragma once
// A private X server for one test, and the X tools a test drives it with.

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <thread>

/// Xvfb on a display number it picks itself, ready once constructed (IsRunning()); stopped when
/// destroyed. The server chooses (-displayfd) because only it can tell a lock left by a killed
/// server from one in use: a test that guessed from the lock files ran out of numbers once
/// enough killed servers had left theirs.
class CXvfb {
public:
    CXvfb() {
        m_Server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"),
                        QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!m_Server.waitForStarted(5000))
            return;
        // The number comes on standard output, a line of its own, once the server listens.
        QDeadlineTimer deadline(10000);
        QByteArray number;
        while (!deadline.hasExpired() && m_Server.state() == QProcess::Running &&
               !number.endsWith('\n')) {
            m_Server.waitForReadyRead(100);
            number += m_Server.readAllStandardOutput();
        }
        if (!number.endsWith('\n')) {
            Stop();
            return;
        }
        m_strDisplay = QStringLiteral(":%1").arg(number.trimmed().toInt());
        while (!deadline.hasExpired() && m_Server.state() == QProcess::Running && !m_bReady) {
            m_bReady = Tool({QStringLiteral("getmouselocation")});
            if (!m_bReady)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!m_bReady)
            Stop();
    }
    ~CXvfb() { Stop(); }
    CXvfb(const CXvfb&) = delete;
    CXvfb& operator=(const CXvfb&) = delete;

    /// Whether the programs a test needs are installed.
    static bool Available() {
        return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() &&
               !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty();
    }
    bool IsRunning() const { return m_bReady && m_Server.state() == QProcess::Running; }

    /// Ends the server at once, as a crashed or unplugged display would.
    void Kill() {
        m_Server.kill();
        m_Server.waitForFinished(5000);
        m_bReady = false;
    }
    void Stop() {
        if (m_Server.state() != QProcess::NotRunning) {
            m_Server.terminate();
            if (!m_Server.waitForFinished(5000)) {
                m_Server.kill();
                m_Server.waitForFinished();
            }
        }
        m_bReady = false;
    }
    /// Runs xdotool with args on this display; true when it succeeded. pOut gets its output.
    bool Tool(const QStringList& args, QString* pOut = nullptr) const {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_strDisplay);
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), args);
        const bool bOk = tool.waitForFinished(10000) && tool.exitStatus() == QProcess::NormalExit &&
                         tool.exitCode() == 0;
        if (pOut)
            *pOut = QString::fromLocal8Bit(tool.readAllStandardOutput());
        return bOk;
    }
    /// Presses and releases a key as the keyboard would (XTEST, through xdotool).
    bool PressKey(const char* pszKey) const {
        return Tool({QStringLiteral("key"), QString::fromLatin1(pszKey)});
    }

    QString m_strDisplay;

private:
    QProcess m_Server;
    bool m_bReady = false;
};
