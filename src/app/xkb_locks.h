#pragma once

struct SLockStates;
struct xcb_connection_t;

/// Reads Caps, Num and Scroll Lock from the X server's keyboard indicators (XKB), where a
/// desktop keeps the lock state that the kernel's keyboard LEDs do not show. False when the
/// connection is null, the server lacks XKB or no indicator of those names exists; out is then
/// unchanged. Window thread (or any one thread per connection).
bool ReadXkbLockStates(xcb_connection_t* pConnection, SLockStates& out);

/// The lock states from the display server when the application runs on X11, otherwise from the
/// kernel's keyboard LEDs.
SLockStates ReadDisplayLockStates();
