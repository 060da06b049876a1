#include "app/xkb_locks.h"

#include "app/lock_states.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <cstring>

#ifdef KEST_HAVE_XKB
#include <xcb/xcb.h>
// The C header names a member "explicit"; Qt's own X11 code includes it the same way.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit
#endif

bool ReadXkbLockStates(xcb_connection_t* pConnection, SLockStates& out) {
#ifdef KEST_HAVE_XKB
    if (pConnection == nullptr || xcb_connection_has_error(pConnection))
        return false;
    // All requests of a step go out before the first reply is awaited: two round trips to the
    // X server per reading instead of seven, since the window reads the states several times a
    // second and each wait for a reply wakes the program.
    const char* const pszNames[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
    const xcb_xkb_use_extension_cookie_t useCookie =
        xcb_xkb_use_extension(pConnection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION);
    xcb_intern_atom_cookie_t atomCookies[3];
    for (int i = 0; i < 3; ++i)
        atomCookies[i] = xcb_intern_atom(
            pConnection, 1, static_cast<uint16_t>(std::strlen(pszNames[i])), pszNames[i]);
    xcb_xkb_use_extension_reply_t* pUse =
        xcb_xkb_use_extension_reply(pConnection, useCookie, nullptr);
    const bool bXkb = pUse != nullptr && pUse->supported;
    std::free(pUse);
    xcb_atom_t atoms[3];
    for (int i = 0; i < 3; ++i) {
        xcb_intern_atom_reply_t* pReply =
            xcb_intern_atom_reply(pConnection, atomCookies[i], nullptr);
        atoms[i] = pReply ? pReply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(pReply);
    }
    if (!bXkb)
        return false;
    // Indicators are found by their standard names, whatever LED index the keymap gives them.
    bool* const pTargets[3] = {&out.m_bCaps, &out.m_bNum, &out.m_bScroll};
    bool bOn[3] = {};
    bool bAny = false;
    xcb_xkb_get_named_indicator_cookie_t ledCookies[3];
    for (int i = 0; i < 3; ++i)
        if (atoms[i] != xcb_atom_t(XCB_ATOM_NONE))
            ledCookies[i] = xcb_xkb_get_named_indicator(pConnection, XCB_XKB_ID_USE_CORE_KBD,
                                                        XCB_XKB_LED_CLASS_DFLT_XI_CLASS,
                                                        XCB_XKB_ID_DFLT_XI_ID, atoms[i]);
    for (int i = 0; i < 3; ++i) {
        if (atoms[i] == xcb_atom_t(XCB_ATOM_NONE))
            continue;
        xcb_xkb_get_named_indicator_reply_t* pReply =
            xcb_xkb_get_named_indicator_reply(pConnection, ledCookies[i], nullptr);
        if (pReply != nullptr && pReply->found) {
            bOn[i] = pReply->on != 0;
            bAny = true;
        }
        std::free(pReply);
    }
    if (!bAny)
        return false;
    for (int i = 0; i < 3; ++i)
        *pTargets[i] = bOn[i];
    return true;
#else
    (void)pConnection;
    (void)out;
    return false;
#endif
}

SLockStates ReadDisplayLockStates() {
    SLockStates s;
#ifdef KEST_HAVE_XKB
    if (auto* pX11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (ReadXkbLockStates(pX11->connection(), s))
            return s;
    }
#endif
    return ReadLockStates();
}
