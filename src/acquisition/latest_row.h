#pragma once

/// The most recent value of each of the eight channels, as the legend shows it: filled by the
/// intake and the CSV reader, read by the display. A plain record owned by the display state;
/// window thread only.
struct SLatestRow {
    static constexpr int kChannels = 8;
    double m_dValue[kChannels] = {};

    double& operator[](int i) { return m_dValue[i]; }
    double operator[](int i) const { return m_dValue[i]; }
    double* begin() { return m_dValue; }
    double* end() { return m_dValue + kChannels; }
};
