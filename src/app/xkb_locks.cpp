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

#ifdef KEST_HAVE_XKB
namespace {

xcb_atom_t InternAtom(xcb_connection_t* pConnection, const char* pszName) {
    xcb_intern_atom_reply_t* pReply = xcb_intern_atom_reply(
        pConnection,
        xcb_intern_atom(pConnection, 1, static_cast<uint16_t>(std::strlen(pszName)), pszName),
        nullptr);
    const xcb_atom_t atom = pReply ? pReply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(pReply);
    return atom;
}

} // namespace
#endif

bool ReadXkbLockStates(xcb_connection_t* pConnection, SLockStates& out) {
#ifdef KEST_HAVE_XKB
    if (pConnection == nullptr || xcb_connection_has_error(pConnection))
        return false;
    xcb_xkb_use_extension_reply_t* pUse = xcb_xkb_use_extension_reply(
        pConnection,
        xcb_xkb_use_extension(pConnection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr);
    const bool bXkb = pUse != nullptr && pUse->supported;
    std::free(pUse);
    if (!bXkb)
        return false;
    // Indicators are found by their standard names, whatever LED index the keymap gives them.
    const char* const pszNames[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
    bool* const pTargets[3] = {&out.m_bCaps, &out.m_bNum, &out.m_bScroll};
    bool bOn[3] = {};
    bool bAny = false;
    for (int i = 0; i < 3; ++i) {
        const xcb_atom_t atom = InternAtom(pConnection, pszNames[i]);
        if (atom == xcb_atom_t(XCB_ATOM_NONE))
            continue;
        xcb_xkb_get_named_indicator_reply_t* pReply = xcb_xkb_get_named_indicator_reply(
            pConnection,
            xcb_xkb_get_named_indicator(pConnection, XCB_XKB_ID_USE_CORE_KBD,
                                        XCB_XKB_LED_CLASS_DFLT_XI_CLASS, XCB_XKB_ID_DFLT_XI_ID,
                                        atom),
            nullptr);
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
