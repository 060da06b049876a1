// The INI profile reader and writer: the input (after a few control bytes naming a section, a key
// and a value) is the profile file. One write must change only the line of its key (or add the
// key, or its section and the key) and keep every other line byte for byte, the file then
// ending all lines with CR LF; reading the key back must give the value written.
#include "settings/profile.h"

#include "fuzz_temp_dir.h"

#include <QFile>

#include <cstdint>

namespace {

void Check(bool b) {
    if (!b)
        __builtin_trap();
}

/// The lines of data without their ends, as views into it.
QList<QByteArrayView> Lines(const QByteArray& data) {
    QList<QByteArrayView> lines;
    const QByteArrayView all(data);
    qsizetype nBegin = 0;
    while (nBegin < all.size()) {
        const qsizetype nEnd = all.indexOf('\n', nBegin);
        QByteArrayView line = all.sliced(nBegin, (nEnd < 0 ? all.size() : nEnd) - nBegin);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(line);
        nBegin = nEnd < 0 ? all.size() : nEnd + 1;
    }
    return lines;
}

QByteArray TrimBlanks(const QByteArray& str) {
    qsizetype nBegin = 0;
    qsizetype nEnd = str.size();
    while (nBegin < nEnd && (str[nBegin] == ' ' || str[nBegin] == '\t'))
        ++nBegin;
    while (nEnd > nBegin && (str[nEnd - 1] == ' ' || str[nEnd - 1] == '\t'))
        --nEnd;
    return str.mid(nBegin, nEnd - nBegin);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 3)
        return 0;
    static const char* const s_apszSections[] = {"Comm", "VSetting1", "Setting",
                                                 "New",  "comm",      "S p"};
    static const char* const s_apszKeys[] = {"Port", "Name", "Color", "x", "PORT", "Key"};
    const char* pszSection = s_apszSections[pData[0] % 6];
    const char* pszKey = s_apszKeys[pData[1] % 6];
    const size_t nValue = std::min<size_t>(pData[2] % 16, nSize - 3);
    const QByteArray value(reinterpret_cast<const char*>(pData + 3),
                           static_cast<qsizetype>(nValue));
    const QByteArray before(reinterpret_cast<const char*>(pData + 3 + nValue),
                            static_cast<qsizetype>(nSize - 3 - nValue));

    static CFuzzTempDir s_dir;
    const QString strPath = s_dir.filePath(QStringLiteral("fuzz.INI"));
    {
        QFile file(strPath);
        Check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Check(file.write(before) == before.size());
    }
    CProfile profile(strPath);
    Check(profile.WriteProfileString(pszSection, pszKey, value));

    QFile file(strPath);
    Check(file.open(QIODevice::ReadOnly));
    const QByteArray after = file.readAll();
    file.close();

    QByteArray clean = value;
    clean.replace('\r', ' ').replace('\n', ' ');
    const QByteArray strKeyLine = QByteArray(pszKey) + '=' + clean;

    const QList<QByteArrayView> linesBefore = Lines(before);
    const QList<QByteArrayView> linesAfter = Lines(after);
    if (after != before) {
        // Rewritten: every line ends with CR LF.
        QByteArray joined;
        joined.reserve(after.size());
        for (const QByteArrayView line : linesAfter) {
            joined += line;
            joined += "\r\n";
        }
        Check(joined == after);
    }
    // The lines before and after differ in one place only, and there by the key's line.
    qsizetype nFirst = 0;
    while (nFirst < linesBefore.size() && nFirst < linesAfter.size() &&
           linesBefore[nFirst] == linesAfter[nFirst])
        ++nFirst;
    const qsizetype nAdded = linesAfter.size() - linesBefore.size();
    Check(nAdded >= 0 && nAdded <= 2);
    for (qsizetype i = nFirst + (nAdded == 0 ? 1 : 0); i < linesBefore.size(); ++i)
        Check(linesBefore[i] == linesAfter[i + nAdded]);
    if (nAdded == 0 && nFirst < linesAfter.size()) {
        // A key line rewritten in place keeps the key as spelled (and a byte order mark).
        const QByteArrayView line = linesAfter[nFirst];
        Check(line.endsWith(QByteArray('=' + clean)));
        Check(!linesBefore[nFirst].startsWith("\xEF\xBB\xBF") || line.startsWith("\xEF\xBB\xBF"));
    } else if (nAdded == 1) {
        Check(linesAfter[nFirst] == strKeyLine);
    } else if (nAdded == 2) {
        Check(nFirst == linesBefore.size());
        Check(linesAfter[nFirst] == '[' + QByteArray(pszSection) + ']');
        Check(linesAfter[nFirst + 1] == strKeyLine);
    }

    Check(profile.GetProfileString(pszSection, pszKey, "\x01") ==
          TrimBlanks(clean).left(CProfile::kMaxValue));
    return 0;
}
