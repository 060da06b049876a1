// The settings-file reader: the input is a settings file. Loading it, saving, and loading the
// saved file must give the same records (doubles as the six digits the file holds), and saving
// those must give the same file again.
#include "settings/number_text.h"
#include "settings/settings_file.h"

#include "fuzz_temp_dir.h"

#include <QFile>

#include <cstdint>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

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

/// Back to what a new state holds, keeping the store's blocks: a settings file that has no
/// section leaves that part as it was, so every input must start from the same state.
void Reset(SState& state) {
    state.m_Comm = SCommSetting{};
    state.m_nSamplesPerDiv = 100;
    state.m_Doc.m_nChannels = 2;
    for (SChannelAttr& attr : state.m_Doc.m_ChannelAttr)
        attr = SChannelAttr{};
}

std::string ReadAll(const QString& strPath) {
    const int nFd = ::open(QFile::encodeName(strPath).constData(), O_RDONLY | O_CLOEXEC);
    Check(nFd >= 0);
    std::string str;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(nFd, buf, sizeof buf)) > 0)
        str.append(buf, static_cast<size_t>(n));
    Check(n == 0);
    ::close(nFd);
    return str;
}

/// Whether the file would hold the same text for both numbers.
bool SameText(double a, double b) {
    char bufA[kFormatGSize];
    char bufB[kFormatGSize];
    const int nA = FormatGTo(a, bufA);
    return nA == FormatGTo(b, bufB) && std::memcmp(bufA, bufB, static_cast<size_t>(nA)) == 0;
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
        Check(SameText(x.m_dVRes, y.m_dVRes) && SameText(x.m_dOffset, y.m_dOffset) &&
              SameText(x.m_dMultiplier, y.m_dMultiplier) && SameText(x.m_dAddend, y.m_dAddend));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static CFuzzTempDir s_dir;
    static const QString s_strIn = s_dir.filePath(QStringLiteral("in.cfg"));
    static const QString s_strSaved1 = s_dir.filePath(QStringLiteral("saved1.cfg"));
    static const QString s_strSaved2 = s_dir.filePath(QStringLiteral("saved2.cfg"));
    static SState s_first;
    static SState s_second;
    {
        const int nFd = ::open(QFile::encodeName(s_strIn).constData(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        Check(nFd >= 0);
        Check(::write(nFd, pData, nSize) == static_cast<ssize_t>(nSize));
        ::close(nFd);
    }
    Reset(s_first);
    Check(ReadSettingsFile(s_strIn, s_first.m_Comm, s_first.m_Doc, s_first.m_nSamplesPerDiv));
    Check(WriteSettingsFile(s_strSaved1, s_first.m_Comm, s_first.m_Doc, s_first.m_nSamplesPerDiv));
    Reset(s_second);
    Check(
        ReadSettingsFile(s_strSaved1, s_second.m_Comm, s_second.m_Doc, s_second.m_nSamplesPerDiv));
    CheckSame(s_first, s_second);
    Check(
        WriteSettingsFile(s_strSaved2, s_second.m_Comm, s_second.m_Doc, s_second.m_nSamplesPerDiv));
    Check(ReadAll(s_strSaved1) == ReadAll(s_strSaved2));
    return 0;
}
