// The lock-key panes on an X11 desktop: the state comes from the X server's XKB indicators, and a
// real Caps Lock key event on a private Xvfb server changes what is read.
#include "app/lock_states.h"
#include "app/xkb_locks.h"

#include "xvfb.h"

#include <gtest/gtest.h>

#include <QFile>

#ifdef KEST_HAVE_XKB
#include <xcb/xcb.h>
#endif

namespace {

#ifdef KEST_HAVE_XKB

/// The test's own Xvfb with an XCB connection to it.
struct SXkbServer {
    SXkbServer() {
        if (m_Server.IsRunning()) {
            xcb_connection_t* p = xcb_connect(qPrintable(m_Server.m_strDisplay), nullptr);
            if (!xcb_connection_has_error(p))
                m_pConnection = p;
            else
                xcb_disconnect(p);
        }
    }
    ~SXkbServer() {
        if (m_pConnection)
            xcb_disconnect(m_pConnection);
    }
    bool PressKey(const char* pszKey) const { return m_Server.PressKey(pszKey); }

    CXvfb m_Server;
    xcb_connection_t* m_pConnection = nullptr;
};

TEST(XkbLocks, RealKeyEventsToggleTheStateRead) {
    if (!CXvfb::Available())
        GTEST_SKIP() << "Xvfb and xdotool are needed (scripts/setup.sh installs them)";
    SXkbServer server;
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
