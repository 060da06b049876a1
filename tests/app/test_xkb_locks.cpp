// The lock-key panes on an X11 desktop: the state comes from the X server's XKB indicators, and a
// real Caps Lock key event on a private Xvfb server changes what is read.
#include "app/lock_states.h"
#include "app/xkb_locks.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#ifdef KEST_HAVE_XKB
#include <xcb/xcb.h>
#endif

#include <thread>

namespace {

#ifdef KEST_HAVE_XKB

/// A private X server for one test, on the first free display number from :90.
class CXvfb {
public:
    CXvfb() {
        for (int n = 90; n < 120 && m_pConnection == nullptr; ++n) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) ||
                QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            m_strDisplay = QStringLiteral(":%1").arg(n);
            m_Server.start(QStringLiteral("Xvfb"),
                           {m_strDisplay, QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            if (!m_Server.waitForStarted(5000))
                return;
            QDeadlineTimer deadline(10000);
            while (!deadline.hasExpired() && m_Server.state() == QProcess::Running) {
                xcb_connection_t* p = xcb_connect(qPrintable(m_strDisplay), nullptr);
                if (!xcb_connection_has_error(p)) {
                    m_pConnection = p;
                    break;
                }
                xcb_disconnect(p);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (m_pConnection == nullptr)
                Stop();
        }
    }
    ~CXvfb() {
        if (m_pConnection)
            xcb_disconnect(m_pConnection);
        Stop();
    }
    void Stop() {
        if (m_Server.state() != QProcess::NotRunning) {
            m_Server.terminate();
            if (!m_Server.waitForFinished(5000)) {
                m_Server.kill();
                m_Server.waitForFinished();
            }
        }
    }
    /// Presses and releases a key as the keyboard would (XTEST, through xdotool).
    bool PressKey(const char* pszKey) const {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_strDisplay);
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromLatin1(pszKey)});
        return tool.waitForFinished(10000) && tool.exitCode() == 0;
    }

    xcb_connection_t* m_pConnection = nullptr;
    QString m_strDisplay;
    QProcess m_Server;
};

TEST(XkbLocks, RealKeyEventsToggleTheStateRead) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "Xvfb and xdotool are needed (scripts/setup.sh installs them)";
    CXvfb server;
    ASSERT_NE(server.m_pConnection, nullptr) << "Xvfb did not start";

    SLockStates s;
    // The kept answers of the first read must not hide later changes: every read is made with the
    // cache the window keeps and without, and both must agree.
    SXkbLockCache cache;
    auto read = [&](SLockStates& out) {
        SLockStates fresh;
        const bool bFresh = ReadXkbLockStates(server.m_pConnection, fresh);
        const bool bCached = ReadXkbLockStates(server.m_pConnection, out, &cache);
        EXPECT_EQ(bFresh, bCached);
        EXPECT_EQ(fresh.m_bCaps, out.m_bCaps);
        EXPECT_EQ(fresh.m_bNum, out.m_bNum);
        EXPECT_EQ(fresh.m_bScroll, out.m_bScroll);
        return bCached;
    };
    ASSERT_TRUE(read(s));
    EXPECT_FALSE(s.m_bCaps);
    EXPECT_FALSE(s.m_bScroll);
    const bool bNumBefore = s.m_bNum;

    ASSERT_TRUE(server.PressKey("Caps_Lock"));
    ASSERT_TRUE(read(s));
    EXPECT_TRUE(s.m_bCaps);
    EXPECT_EQ(s.m_bNum, bNumBefore);

    ASSERT_TRUE(server.PressKey("Num_Lock"));
    ASSERT_TRUE(read(s));
    EXPECT_TRUE(s.m_bCaps);
    EXPECT_NE(s.m_bNum, bNumBefore);

    ASSERT_TRUE(server.PressKey("Caps_Lock"));
    ASSERT_TRUE(read(s));
    EXPECT_FALSE(s.m_bCaps);
}

#endif

TEST(XkbLocks, NoConnectionLeavesTheStatesAlone) {
    SLockStates s;
    s.m_bNum = true;
    EXPECT_FALSE(ReadXkbLockStates(nullptr, s));
    EXPECT_TRUE(s.m_bNum);
    EXPECT_FALSE(s.m_bCaps);
}

} // namespace
