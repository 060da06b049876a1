#pragma once

#include <QString>

/// Lock-key states (Caps, Num, Scroll); an entry is false when the state is off or cannot be
/// known. ReadLockStates reads the keyboard LEDs the kernel exposes; on X11 the display server's
/// state comes first (xkb_locks.h).
struct SLockStates {
    bool m_bCaps = false;
    bool m_bNum = false;
    bool m_bScroll = false;
};
SLockStates ReadLockStates(const QString& strLedDir = QStringLiteral("/sys/class/leds"));
