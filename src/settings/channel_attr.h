#pragma once

#include <QByteArray>
#include <cstdint>

/// Colour value 0x00BBGGRR (red in the low byte).
using COLORREF = uint32_t;

/// Display attributes of one channel; value type, eight of them held by the document.
struct SChannelAttr {
    QByteArray m_strName;       ///< bytes as typed (UTF-8 here, any code page from files)
    COLORREF m_crColor = 0;     ///< trace colour
    int32_t m_nPos = 0;         ///< 0..1000: height at which m_dOffset is drawn
    double m_dVRes = 10.0;      ///< value per vertical division, > 0
    double m_dOffset = 0.0;     ///< display value drawn at m_nPos
    double m_dMultiplier = 1.0; ///< display value = sample * m_dMultiplier + m_dAddend
    double m_dAddend = 0.0;
    QByteArray m_strUnit; ///< unit text shown after values

    bool operator==(const SChannelAttr&) const = default;
};

/// Default trace colours of CH1..CH8.
extern const COLORREF g_crDefaultColor[8];

/// Samples per horizontal division limited to 1..10000.
int ClampSamplesPerDiv(int nSamplesPerDiv);
