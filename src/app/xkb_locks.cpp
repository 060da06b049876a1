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

/// Whether the server has XKB and the atoms of the three indicator names.
void LearnConnection(xcb_connection_t* pConnection, SXkbLockCache& cache) {
    cache = SXkbLockCache();
    cache.m_pConnection = pConnection;
    xcb_xkb_use_extension_reply_t* pUse = xcb_xkb_use_extension_reply(
        pConnection,
        xcb_xkb_use_extension(pConnection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr);
    cache.m_bXkb = pUse != nullptr && pUse->supported;
    std::free(pUse);
    if (!cache.m_bXkb)
        return;
    // Indicators are found by their standard names, whatever LED index the keymap gives them.
    const char* const pszNames[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
    xcb_intern_atom_cookie_t cookies[3];
    for (int i = 0; i < 3; ++i)
        cookies[i] = xcb_intern_atom(pConnection, 1,
                                     static_cast<uint16_t>(std::strlen(pszNames[i])), pszNames[i]);
    for (int i = 0; i < 3; ++i) {
        xcb_intern_atom_reply_t* pReply = xcb_intern_atom_reply(pConnection, cookies[i], nullptr);
        cache.m_nAtoms[i] = pReply ? pReply->atom : uint32_t{XCB_ATOM_NONE};
        std::free(pReply);
    }
}

} // namespace
#endif

bool ReadXkbLockStates(xcb_connection_t* pConnection, SLockStates& out, SXkbLockCache* pCache) {
#ifdef KEST_HAVE_XKB
    if (pConnection == nullptr || xcb_connection_has_error(pConnection))
        return false;
    SXkbLockCache local;
    SXkbLockCache& cache = pCache ? *pCache : local;
    if (cache.m_pConnection != pConnection)
        LearnConnection(pConnection, cache);
    if (!cache.m_bXkb)
        return false;
    bool* const pTargets[3] = {&out.m_bCaps, &out.m_bNum, &out.m_bScroll};
    bool bOn[3] = {};
    bool bAny = false;
    // All three questions go out before the first answer is awaited: one round trip.
    xcb_xkb_get_named_indicator_cookie_t cookies[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (cache.m_nAtoms[i] != XCB_ATOM_NONE)
            cookies[i] = xcb_xkb_get_named_indicator(pConnection, XCB_XKB_ID_USE_CORE_KBD,
                                                     XCB_XKB_LED_CLASS_DFLT_XI_CLASS,
                                                     XCB_XKB_ID_DFLT_XI_ID, cache.m_nAtoms[i]);
    }
    for (int i = 0; i < 3; ++i) {
        if (cache.m_nAtoms[i] == XCB_ATOM_NONE)
            continue;
        xcb_xkb_get_named_indicator_reply_t* pReply =
            xcb_xkb_get_named_indicator_reply(pConnection, cookies[i], nullptr);
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
    (void)pCache;
    return false;
#endif
}

SLockStates ReadDisplayLockStates(SXkbLockCache* pCache) {
    SLockStates s;
#ifdef KEST_HAVE_XKB
    if (auto* pX11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (ReadXkbLockStates(pX11->connection(), s, pCache))
            return s;
    }
#endif
    return ReadLockStates();
}
