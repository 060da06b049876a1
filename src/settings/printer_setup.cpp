#include "settings/printer_setup.h"

#include "settings/profile.h"

namespace {
const char kPrinterSetup[] = "PrinterSetup";
} // namespace

bool SavePrinterSetup(CProfile& profile, const SPrinterSetup& setup) {
    bool bOk = profile.WriteProfileString(kPrinterSetup, "Driver", setup.m_strDriver);
    bOk = profile.WriteProfileString(kPrinterSetup, "Device", setup.m_strDevice) && bOk;
    bOk = profile.WriteProfileString(kPrinterSetup, "Output", setup.m_strOutput) && bOk;
    bOk = profile.WriteProfileInt(kPrinterSetup, "Orientation", setup.m_nOrientation) && bOk;
    bOk = profile.WriteProfileInt(kPrinterSetup, "PaperSize", setup.m_nPaperSize) && bOk;
    return bOk;
}

SPrinterSetup LoadPrinterSetup(const CProfile& profile) {
    SPrinterSetup setup;
    setup.m_strDriver = profile.GetProfileString(kPrinterSetup, "Driver", {});
    setup.m_strDevice = profile.GetProfileString(kPrinterSetup, "Device", {});
    setup.m_strOutput = profile.GetProfileString(kPrinterSetup, "Output", {});
    setup.m_nOrientation =
        static_cast<int16_t>(profile.GetProfileInt(kPrinterSetup, "Orientation", 0));
    setup.m_nPaperSize = static_cast<int16_t>(profile.GetProfileInt(kPrinterSetup, "PaperSize", 0));
    return setup;
}

bool ApplyRememberedSetup(const SPrinterSetup& saved, SPrinterSetup& sel) {
    if (saved.m_strDriver != sel.m_strDriver || saved.m_strDevice != sel.m_strDevice ||
        saved.m_strOutput != sel.m_strOutput)
        return false;
    if (saved.m_nOrientation != 0)
        sel.m_nOrientation = saved.m_nOrientation;
    if (saved.m_nPaperSize != 0)
        sel.m_nPaperSize = saved.m_nPaperSize;
    return true;
}
