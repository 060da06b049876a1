#include "settings/settings_file.h"

#include "acquisition/parse_csv.h"
#include "acquisition/regular_file.h"
#include "settings/complete_save.h"
#include "settings/number_text.h"

#include <QFile>

#include <charconv>

#include <unistd.h>

#include <cstring>
#include <memory>

namespace {

constexpr int kBuf = CSettingsReader::kBufferSize;

/// Reads lines until the end of the file or until onLine returns false; onLine(key, parse) gets
/// each line's first field and the parser standing after it. The file's top level and each
/// section are read by this one loop.
template <typename FOnLine> void ForEachLine(CSettingsReader& file, FOnLine onLine) {
    char line[kBuf];
    char key[kBuf];
    while (file.ReadLine(line, kBuf)) {
        CParseCsv parse;
        parse.SetLine(line);
        parse.GetNextField(key, kBuf);
        if (!onLine(key, parse))
            return;
    }
}

/// Reads one section: calls onKey(key, value) for every "key,value" line until "#END".
template <typename FOnKey> void ReadSection(CSettingsReader& file, FOnKey onKey) {
    char value[kBuf];
    ForEachLine(file, [&](const char* pszKey, CParseCsv& parse) {
        if (std::strcmp(pszKey, "#END") == 0)
            return false;
        if (parse.GetRest(value, kBuf))
            onKey(pszKey, value);
        return true;
    });
}

/// Closes the stream of a settings file being read.
struct SFileCloser {
    void operator()(std::FILE* pFile) const { std::fclose(pFile); }
};

bool IsKey(const char* pszKey, const char* pszName) {
    return std::strcmp(pszKey, pszName) == 0;
}

/// Name and unit text as "%s" writes it, without line breaks that would split the line.
QByteArray TextValue(const QByteArray& str) {
    QByteArray strOut = str.left(str.indexOf('\0') < 0 ? str.size() : str.indexOf('\0'));
    strOut.replace('\r', ' ').replace('\n', ' ');
    return strOut;
}

/// One "key,value" line of the value's nLength bytes at pValue.
void AddLine(QByteArray& out, const char* pszKey, const char* pValue, qsizetype nLength) {
    out += pszKey;
    out += ',';
    out.append(pValue, nLength);
    out += "\r\n";
}

void AddLine(QByteArray& out, const char* pszKey, const QByteArray& strValue) {
    AddLine(out, pszKey, strValue.constData(), strValue.size());
}

void AddLine(QByteArray& out, const char* pszKey, int nValue) {
    char buf[16];
    const auto result = std::to_chars(buf, buf + sizeof buf, nValue);
    AddLine(out, pszKey, buf, static_cast<qsizetype>(result.ptr - buf));
}

void AddLine(QByteArray& out, const char* pszKey, double dValue) {
    char buf[kFormatGSize];
    AddLine(out, pszKey, buf, FormatGTo(dValue, buf));
}

void AddMarker(QByteArray& out, const char* pszMarker) {
    out += pszMarker;
    out += "\r\n";
}

} // namespace

bool CSettingsReader::ReadLine(char* buf, int size) {
    // The stream belongs to this reader alone: no lock per character.
    int n = 0;
    while (n < size - 1) {
        int c = getc_unlocked(m_pFile);
        if (c == EOF)
            break;
        if (c == '\r') {
            const int cNext = getc_unlocked(m_pFile);
            if (cNext == '\n')
                c = '\n';
            else if (cNext != EOF)
                std::ungetc(cNext, m_pFile);
        }
        buf[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    if (size > 0)
        buf[n] = '\0';
    return n > 0;
}

bool WriteSettingsFile(const QString& strPath, const SCommSetting& comm, const CkestDoc& doc,
                       int nSamplesPerDiv) {
    QByteArray out;
    out.reserve(2048);
    AddMarker(out, "#Comm");
    AddLine(out, "Port", comm.m_nPort);
    AddLine(out, "BaudRate", static_cast<int>(comm.m_nBaudRate));
    AddLine(out, "ByteSize", comm.m_nByteSize);
    AddLine(out, "Parity", comm.m_nParity);
    AddLine(out, "StopBits", comm.m_nStopBits);
    AddMarker(out, "#END");
    AddMarker(out, "#Setting");
    AddLine(out, "Channels", doc.m_nChannels);
    AddMarker(out, "#END");
    AddMarker(out, "#HSetting");
    AddLine(out, "Res", nSamplesPerDiv);
    AddMarker(out, "#END");
    for (int i = 0; i < CkestDoc::kMaxChannels; ++i) {
        const SChannelAttr& attr = doc.GetChannelAttr(i);
        AddLine(out, "#VSetting", i + 1);
        AddLine(out, "VRes", attr.m_dVRes);
        AddLine(out, "Unit", TextValue(attr.m_strUnit));
        AddLine(out, "Offset", attr.m_dOffset);
        AddLine(out, "Name", TextValue(attr.m_strName));
        AddLine(out, "Pos", attr.m_nPos);
        AddLine(out, "Multiplier", attr.m_dMultiplier);
        AddLine(out, "Addend", attr.m_dAddend);
        AddLine(out, "Color", static_cast<int>(attr.m_crColor));
        AddMarker(out, "#END");
    }
    // Always through a temporary beside the file: a failed save never leaves a cut file.
    return SaveFileComplete(strPath, out);
}

void ReadCommSection(CSettingsReader& file, SCommSetting& comm) {
    ReadSection(file, [&comm](const char* pszKey, const char* pszValue) {
        if (IsKey(pszKey, "Port"))
            comm.m_nPort = AtoiC(pszValue);
        else if (IsKey(pszKey, "BaudRate"))
            comm.m_nBaudRate = static_cast<uint32_t>(AtoiC(pszValue));
        else if (IsKey(pszKey, "ByteSize"))
            comm.m_nByteSize = static_cast<uint8_t>(AtoiC(pszValue));
        else if (IsKey(pszKey, "Parity"))
            comm.m_nParity = static_cast<uint8_t>(AtoiC(pszValue));
        else if (IsKey(pszKey, "StopBits"))
            comm.m_nStopBits = static_cast<uint8_t>(AtoiC(pszValue));
    });
}

void ReadSettingSection(CSettingsReader& file, CkestDoc& doc) {
    int nChannels = 2;
    ReadSection(file, [&nChannels](const char* pszKey, const char* pszValue) {
        if (IsKey(pszKey, "Channels"))
            nChannels = AtoiC(pszValue);
    });
    doc.InitLogData(nChannels, CkestDoc::kInitialSize, CkestDoc::kInitialSize);
}

void ReadHSettingSection(CSettingsReader& file, int& nSamplesPerDiv) {
    int nRes = 100;
    ReadSection(file, [&nRes](const char* pszKey, const char* pszValue) {
        if (IsKey(pszKey, "Res"))
            nRes = AtoiC(pszValue);
    });
    nSamplesPerDiv = ClampSamplesPerDiv(nRes);
}

/// The section of channel nIndex (0..7).
void ReadVSettingSection(CSettingsReader& file, CkestDoc& doc, int nIndex) {
    SChannelAttr attr;
    attr.m_crColor = g_crDefaultColor[nIndex];
    ReadSection(file, [&attr](const char* pszKey, const char* pszValue) {
        if (IsKey(pszKey, "VRes"))
            attr.m_dVRes = AtofC(pszValue);
        else if (IsKey(pszKey, "Unit"))
            attr.m_strUnit = pszValue;
        else if (IsKey(pszKey, "Offset"))
            attr.m_dOffset = AtofC(pszValue);
        else if (IsKey(pszKey, "Multiplier"))
            attr.m_dMultiplier = AtofC(pszValue);
        else if (IsKey(pszKey, "Addend"))
            attr.m_dAddend = AtofC(pszValue);
        else if (IsKey(pszKey, "Name"))
            attr.m_strName = pszValue;
        else if (IsKey(pszKey, "Pos"))
            attr.m_nPos = AtoiC(pszValue);
        else if (IsKey(pszKey, "Color"))
            attr.m_crColor = static_cast<COLORREF>(AtoiC(pszValue));
    });
    doc.SetChannelAttr(nIndex, attr);
}

bool ReadSettingsFile(const QString& strPath, SCommSetting& comm, CkestDoc& doc,
                      int& nSamplesPerDiv) {
    // Only a regular file: a named pipe would block the window and a device never ends.
    const int nFd = OpenRegularFileForReading(QFile::encodeName(strPath).constData());
    if (nFd < 0)
        return false;
    const std::unique_ptr<std::FILE, SFileCloser> pFile(::fdopen(nFd, "rb"));
    if (pFile == nullptr) {
        ::close(nFd);
        return false;
    }
    CSettingsReader file(pFile.get());
    char rest[kBuf];
    ForEachLine(file, [&](const char* pszKey, CParseCsv& parse) {
        if (IsKey(pszKey, "#Comm")) {
            ReadCommSection(file, comm);
        } else if (IsKey(pszKey, "#Setting")) {
            ReadSettingSection(file, doc);
        } else if (IsKey(pszKey, "#HSetting")) {
            ReadHSettingSection(file, nSamplesPerDiv);
        } else if (IsKey(pszKey, "#VSetting")) {
            int nChannel = 1;
            if (parse.GetRest(rest, kBuf))
                nChannel = AtoiC(rest);
            ReadVSettingSection(file, doc, CkestDoc::ClampChannelCount(nChannel) - 1);
        }
        return true;
    });
    return true;
}
