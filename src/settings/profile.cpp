#include "settings/profile.h"

#include "acquisition/regular_file.h"
#include "settings/number_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QTemporaryFile>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

// Lines are views into the bytes read (or into the few new lines a write makes): reading a key
// copies nothing but the value it returns.
using CLineList = QList<QByteArrayView>;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArrayView TrimBlanks(QByteArrayView str) {
    qsizetype nBegin = 0;
    qsizetype nEnd = str.size();
    while (nBegin < nEnd && IsBlank(str[nBegin]))
        ++nBegin;
    while (nEnd > nBegin && IsBlank(str[nEnd - 1]))
        --nEnd;
    return str.sliced(nBegin, nEnd - nBegin);
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Only ASCII letters fold: bytes of a multibyte code page must compare exactly.
bool EqualNoCase(QByteArrayView a, const char* psz) {
    const qsizetype n = qstrlen(psz);
    if (a.size() != n)
        return false;
    for (qsizetype i = 0; i < n; ++i) {
        if (LowerAscii(a[i]) != LowerAscii(psz[i]))
            return false;
    }
    return true;
}

/// Section name of a "[name]" line; blanks around the brackets and the name are ignored.
bool ParseSection(QByteArrayView line, QByteArrayView& strName) {
    const QByteArrayView trimmed = TrimBlanks(line);
    if (!trimmed.startsWith('['))
        return false;
    qsizetype nClose = trimmed.indexOf(']');
    if (nClose < 0)
        nClose = trimmed.size();
    strName = TrimBlanks(trimmed.sliced(1, nClose - 1));
    return true;
}

/// Key and value of a "key = value" line; comment lines (';') and lines without '=' are none.
bool ParseKey(QByteArrayView line, QByteArrayView& strKey, QByteArrayView& strValue) {
    const QByteArrayView trimmed = TrimBlanks(line);
    if (trimmed.isEmpty() || trimmed[0] == ';' || trimmed[0] == '[')
        return false;
    const qsizetype nEqual = trimmed.indexOf('=');
    if (nEqual <= 0)
        return false;
    strKey = TrimBlanks(trimmed.first(nEqual));
    strValue = TrimBlanks(trimmed.sliced(nEqual + 1));
    return !strKey.isEmpty();
}

/// Reads the file into data and its lines, without their ends (LF or CR LF), into lines. A
/// UTF-8 byte order mark is blanked for parsing only; false when an existing file cannot be
/// read.
bool ReadLines(const QString& strPath, QByteArray& data, CLineList& lines) {
    lines.clear();
    data.clear();
    QFile file(strPath);
    if (!file.exists())
        return true;
    // Only a regular file: a named pipe would block the window and a device never ends. Such a
    // profile reads as unreadable, so its keys give their defaults and writes fail.
    const int nFd = OpenRegularFileForReading(QFile::encodeName(strPath).constData());
    if (nFd < 0)
        return false;
    if (!file.open(nFd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(nFd);
        return false;
    }
    data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    const QByteArrayView all(data);
    qsizetype nBegin = 0;
    while (nBegin < all.size()) {
        qsizetype nEnd = all.indexOf('\n', nBegin);
        const qsizetype nNext = nEnd < 0 ? all.size() : nEnd + 1;
        if (nEnd < 0)
            nEnd = all.size();
        QByteArrayView line = all.sliced(nBegin, nEnd - nBegin);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(line);
        nBegin = nNext;
    }
    return true;
}

QByteArrayView ParsableLine(const CLineList& lines, qsizetype i) {
    if (i == 0 && lines[0].startsWith("\xEF\xBB\xBF"))
        return lines[0].sliced(3);
    return lines[i];
}

struct SKeyPos {
    qsizetype m_nSection = -1; ///< index of the section's header line, -1 when none
    qsizetype m_nKey = -1;     ///< index of the key's line, -1 when none
    qsizetype m_nLast = -1;    ///< last non-blank line of the section
    QByteArrayView m_strKey;   ///< key as spelled in the file
    QByteArrayView m_strValue;
};

/// Finds the first section of that name and the first key of that name in it.
SKeyPos FindKey(const CLineList& lines, const char* pszSection, const char* pszKey) {
    SKeyPos pos;
    bool bInside = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArrayView line = ParsableLine(lines, i);
        QByteArrayView strName;
        if (ParseSection(line, strName)) {
            if (bInside)
                break;
            if (EqualNoCase(strName, pszSection)) {
                bInside = true;
                pos.m_nSection = i;
                pos.m_nLast = i;
            }
            continue;
        }
        if (!bInside)
            continue;
        if (!TrimBlanks(line).isEmpty())
            pos.m_nLast = i;
        QByteArrayView strKey;
        QByteArrayView strValue;
        if (pos.m_nKey < 0 && ParseKey(line, strKey, strValue) && EqualNoCase(strKey, pszKey)) {
            pos.m_nKey = i;
            pos.m_strKey = strKey;
            pos.m_strValue = strValue;
        }
    }
    return pos;
}

bool WriteAll(QFileDevice& file, const CLineList& lines) {
    for (const QByteArrayView line : lines) {
        if (file.write(line.data(), line.size()) != line.size() || file.write("\r\n", 2) != 2)
            return false;
    }
    return file.flush();
}

/// Replaces the file's contents: a temporary file in the same directory renamed over it, so a
/// failed write never leaves half a profile; in place when the directory refuses new files.
bool SaveLines(const QString& strPath, const CLineList& lines) {
    QFileInfo info(strPath);
    const QString strTarget = info.isSymLink() ? info.symLinkTarget() : strPath;
    info = QFileInfo(strTarget);
    if (info.exists() && !info.isWritable())
        return false;
    QTemporaryFile temp(strTarget + QStringLiteral(".XXXXXX"));
    if (temp.open()) {
        if (info.exists())
            temp.setPermissions(info.permissions());
        if (!WriteAll(temp, lines))
            return false;
        temp.close();
        if (std::rename(QFile::encodeName(temp.fileName()).constData(),
                        QFile::encodeName(strTarget).constData()) != 0)
            return false;
        temp.setAutoRemove(false);
        return true;
    }
    QFile file(strTarget);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool bOk = WriteAll(file, lines);
    file.close();
    return bOk && file.error() == QFileDevice::NoError;
}

} // namespace

CProfile::CProfile(const QString& strPath) : m_strPath(strPath) {}

int CProfile::GetProfileInt(const char* pszSection, const char* pszKey, int nDefault) const {
    QByteArray data;
    CLineList lines;
    if (!ReadLines(m_strPath, data, lines))
        return nDefault;
    const SKeyPos pos = FindKey(lines, pszSection, pszKey);
    if (pos.m_nKey < 0 || pos.m_strValue.isEmpty())
        return nDefault;
    return AtoiC(pos.m_strValue.toByteArray().constData());
}

QByteArray CProfile::GetProfileString(const char* pszSection, const char* pszKey,
                                      const QByteArray& strDefault) const {
    QByteArray data;
    CLineList lines;
    if (!ReadLines(m_strPath, data, lines))
        return strDefault.left(kMaxValue);
    const SKeyPos pos = FindKey(lines, pszSection, pszKey);
    if (pos.m_nKey < 0)
        return strDefault.left(kMaxValue);
    return pos.m_strValue.first(std::min<qsizetype>(pos.m_strValue.size(), kMaxValue))
        .toByteArray();
}

bool CProfile::WriteProfileInt(const char* pszSection, const char* pszKey, int nValue) {
    return WriteProfileString(pszSection, pszKey, QByteArray::number(nValue));
}

bool CProfile::WriteProfileString(const char* pszSection, const char* pszKey,
                                  const QByteArray& strValue) {
    QByteArray data;
    CLineList lines;
    if (!ReadLines(m_strPath, data, lines))
        return false;
    QByteArray strClean = strValue;
    strClean.replace('\r', ' ').replace('\n', ' ');
    const SKeyPos pos = FindKey(lines, pszSection, pszKey);
    // The lines this write adds; the views in lines point into them until the save.
    QByteArray strKeyLine;
    QByteArray strSectionLine;
    if (pos.m_nKey >= 0) {
        strKeyLine = pos.m_strKey.toByteArray() + '=' + strClean;
        if (pos.m_strValue == strClean && ParsableLine(lines, pos.m_nKey) == strKeyLine)
            return true; // nothing to change; keep the file untouched
        lines[pos.m_nKey] = strKeyLine;
    } else if (pos.m_nSection >= 0) {
        strKeyLine = QByteArray(pszKey) + '=' + strClean;
        lines.insert(pos.m_nLast + 1, strKeyLine);
    } else {
        strSectionLine = '[' + QByteArray(pszSection) + ']';
        strKeyLine = QByteArray(pszKey) + '=' + strClean;
        lines.append(strSectionLine);
        lines.append(strKeyLine);
    }
    return SaveLines(m_strPath, lines);
}

QString ExecutablePathWithExtension(const QString& strExePath, const QString& strExt) {
    const qsizetype nSlash = strExePath.lastIndexOf(QLatin1Char('/'));
    const QString strDir = strExePath.left(nSlash + 1);
    QString strName = strExePath.mid(nSlash + 1);
    const qsizetype nDot = strName.lastIndexOf(QLatin1Char('.'));
    if (nDot > 0)
        strName.truncate(nDot);
    return strDir + strName + strExt;
}

QString UserProfilePath() {
    QString strConfig = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (strConfig.isEmpty() || QDir::isRelativePath(strConfig))
        strConfig = QDir::homePath() + QStringLiteral("/.config");
    const QString strDir = strConfig + QStringLiteral("/kest");
    QDir().mkpath(strDir);
    return strDir + QStringLiteral("/kest.INI");
}

QString ChooseProfilePath(const QString& strExePath) {
    const QString strBeside = ExecutablePathWithExtension(strExePath, QStringLiteral(".INI"));
    const QFileInfo dirInfo(QFileInfo(strBeside).absolutePath());
    if (dirInfo.isDir() && dirInfo.isWritable())
        return strBeside;
    return UserProfilePath();
}
