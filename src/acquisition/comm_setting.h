#pragma once

#include <cstdint>

/// Serial line settings in the numeric codes that the profile and settings files store; held by
/// the view as m_Comm.
struct SCommSetting {
    /// The COM numbers the program offers and reads from the profile: COM1..COM32.
    static constexpr int kMinPort = 1;
    static constexpr int kMaxPort = 32;

    int32_t m_nPort = 1;         ///< COM port number, 1-based
    uint32_t m_nBaudRate = 9600; ///< bit/s
    uint8_t m_nByteSize = 8;     ///< data bits
    uint8_t m_nParity = 0;       ///< 0 none, 1 odd, 2 even
    uint8_t m_nStopBits = 0;     ///< 0 one, 1 one and a half, 2 two
};
