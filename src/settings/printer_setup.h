#pragma once

#include <QByteArray>
#include <cstdint>

class CProfile;

/// Orientation codes the profile stores: fixed numbers, not the print system's, so a profile
/// moves between machines.
enum EPrintOrientation : int16_t { DMORIENT_PORTRAIT = 1, DMORIENT_LANDSCAPE = 2 };

/// A printer selection as the profile section "PrinterSetup" remembers it: the print system's
/// name, the queue name, the queue's device URI, and 16-bit orientation and paper codes (0: not
/// known). Plain record, used on the window thread.
struct SPrinterSetup {
    QByteArray m_strDriver;
    QByteArray m_strDevice;
    QByteArray m_strOutput;
    int16_t m_nOrientation = 0;
    int16_t m_nPaperSize = 0;
    bool operator==(const SPrinterSetup&) const = default;
};

/// Writes Driver, Device, Output, Orientation and PaperSize in that order; false when the
/// profile could not be written.
bool SavePrinterSetup(CProfile& profile, const SPrinterSetup& setup);
/// The remembered selection (empty names and zero codes where keys are missing); each code
/// keeps the low 16 bits of what is stored.
SPrinterSetup LoadPrinterSetup(const CProfile& profile);
/// Applies the remembered orientation and paper size to sel when its three names equal the
/// remembered ones byte for byte; a remembered 0 leaves that field alone. True when the names
/// matched.
bool ApplyRememberedSetup(const SPrinterSetup& saved, SPrinterSetup& sel);
