#pragma once

#include <cstdint>

struct SLockStates;
struct xcb_connection_t;

/// What the lock reader learned of one X connection, so that later reads ask the server only
/// for the indicators: whether it has XKB and the atoms of the indicator names. Owned by whoever
/// reads repeatedly (the main frame); window thread only.
struct SXkbLockCache {
    const xcb_connection_t* m_pConnection = nullptr; ///< the connection this was learned of
    bool m_bXkb = false;
    uint32_t m_nAtoms[3] = {}; ///< Caps, Num, Scroll Lock; 0 where the server has no such name
};

/// Reads Caps, Num and Scroll Lock from the X server's keyboard indicators (XKB), where a
/// desktop keeps the lock state that the kernel's keyboard LEDs do not show. False when the
/// connection is null, the server lacks XKB or no indicator of those names exists; out is then
/// unchanged. With pCache, the extension check and the names are asked once per connection and
/// the three indicators in one round trip. Window thread (or any one thread per connection).
bool ReadXkbLockStates(xcb_connection_t* pConnection, SLockStates& out,
                       SXkbLockCache* pCache = nullptr);

/// The lock states from the display server when the application runs on X11, otherwise from the
/// kernel's keyboard LEDs.
SLockStates ReadDisplayLockStates(SXkbLockCache* pCache = nullptr);
