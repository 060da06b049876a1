// The settings-file reader: the input is a settings file. Loading it, saving, and loading the
// saved file must give the same records (doubles as the six digits the file holds), and saving
// those must give the same file again.
#include "settings/number_text.h"
#include "settings/settings_file.h"

#include "fuzz_temp_dir.h"

#include <QFile>

#include <cstdint>

namespace {

void Check(bool b) {
    if (!b)
        __builtin_trap();
}

struct SState {
    SCommSetting m_Comm;
    CkestDoc m_Doc;
    int m_nSamplesPerDiv = 100;
};

QByteArray ReadAll(const QString& strPath) {
    QFile file(strPath);
    Check(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

void CheckSame(const SState& a, const SState& b) {
    Check(a.m_Comm.m_nPort == b.m_Comm.m_nPort && a.m_Comm.m_nBaudRate == b.m_Comm.m_nBaudRate &&
          a.m_Comm.m_nByteSize == b.m_Comm.m_nByteSize &&
          a.m_Comm.m_nParity == b.m_Comm.m_nParity && a.m_Comm.m_nStopBits == b.m_Comm.m_nStopBits);
    Check(a.m_Doc.m_nChannels == b.m_Doc.m_nChannels);
    Check(a.m_nSamplesPerDiv == b.m_nSamplesPerDiv);
    for (int i = 0; i < 8; ++i) {
        const SChannelAttr& x = a.m_Doc.GetChannelAttr(i);
        const SChannelAttr& y = b.m_Doc.GetChannelAttr(i);
        Check(x.m_strName == y.m_strName && x.m_strUnit == y.m_strUnit && x.m_nPos == y.m_nPos &&
              x.m_crColor == y.m_crColor);
        Check(FormatG(x.m_dVRes) == FormatG(y.m_dVRes) &&
              FormatG(x.m_dOffset) == FormatG(y.m_dOffset) &&
              FormatG(x.m_dMultiplier) == FormatG(y.m_dMultiplier) &&
              FormatG(x.m_dAddend) == FormatG(y.m_dAddend));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static CFuzzTempDir s_dir;
    const QString strIn = s_dir.filePath(QStringLiteral("in.cfg"));
    const QString strSaved1 = s_dir.filePath(QStringLiteral("saved1.cfg"));
    const QString strSaved2 = s_dir.filePath(QStringLiteral("saved2.cfg"));
    {
        QFile file(strIn);
        Check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Check(file.write(reinterpret_cast<const char*>(pData), static_cast<qint64>(nSize)) ==
              static_cast<qint64>(nSize));
    }
    SState first;
    Check(ReadSettingsFile(strIn, first.m_Comm, first.m_Doc, first.m_nSamplesPerDiv));
    Check(WriteSettingsFile(strSaved1, first.m_Comm, first.m_Doc, first.m_nSamplesPerDiv));
    SState second;
    Check(ReadSettingsFile(strSaved1, second.m_Comm, second.m_Doc, second.m_nSamplesPerDiv));
    CheckSame(first, second);
    Check(WriteSettingsFile(strSaved2, second.m_Comm, second.m_Doc, second.m_nSamplesPerDiv));
    Check(ReadAll(strSaved1) == ReadAll(strSaved2));
    return 0;
}
