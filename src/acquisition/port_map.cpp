#include "acquisition/port_map.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace {

// USB adapters come first so that the one adapter of a typical set-up is COM1 without any
// configuration; the on-board UARTs, which the kernel creates whether or not they are wired, last.
const char* const g_pszFamilies[] = {"ttyUSB", "ttyACM", "ttyS"};

} // namespace

CPortMap::CPortMap(QString strDevRoot) : m_strDevRoot(std::move(strDevRoot)) {}

void CPortMap::SetOverrides(const QMap<int, QString>& mapPorts) {
    m_mapOverrides.clear();
    for (auto it = mapPorts.cbegin(); it != mapPorts.cend(); ++it) {
        const QString strPath = it.value().trimmed();
        if (it.key() >= 1 && !strPath.isEmpty())
            m_mapOverrides.insert(it.key(), strPath);
    }
}

QString CPortMap::EnvironmentName(int nPort) {
    return QStringLiteral("KEST_COM%1").arg(nPort);
}

QStringList CPortMap::AutomaticDevices() const {
    QStringList list;
    const QDir dir(m_strDevRoot);
    for (const char* pszFamily : g_pszFamilies) {
        const QString strFamily = QString::fromLatin1(pszFamily);
        const QRegularExpression re(QStringLiteral("^%1(\\d{1,6})$").arg(strFamily));
        std::vector<std::pair<int, QString>> found;
        // Device nodes are "system" entries for QDir; plain files stand in for them in tests.
        const QStringList names = dir.entryList({strFamily + QLatin1Char('*')},
                                                QDir::System | QDir::Files | QDir::NoDotAndDotDot);
        for (const QString& strName : names) {
            const QRegularExpressionMatch m = re.match(strName);
            if (m.hasMatch())
                found.emplace_back(m.captured(1).toInt(), strName);
        }
        std::sort(found.begin(), found.end());
        for (const auto& entry : found)
            list.append(dir.filePath(entry.second));
    }
    return list;
}

SPortEntry CPortMap::Lookup(int nPort) const {
    return LookupIn(nPort, nullptr);
}

SPortEntry CPortMap::LookupIn(int nPort, const QStringList* pAuto) const {
    SPortEntry entry;
    entry.m_nPort = nPort;
    if (nPort < 1)
        return entry;

    const QString strEnv = qEnvironmentVariable(EnvironmentName(nPort).toLatin1().constData());
    if (!strEnv.trimmed().isEmpty()) {
        entry.m_strPath = strEnv.trimmed();
        entry.m_eSource = EPortSource::Environment;
        return entry;
    }
    const auto it = m_mapOverrides.constFind(nPort);
    if (it != m_mapOverrides.cend()) {
        entry.m_strPath = it.value();
        entry.m_eSource = EPortSource::Profile;
        return entry;
    }
    const QStringList autoList = pAuto ? *pAuto : AutomaticDevices();
    if (nPort <= autoList.size()) {
        entry.m_strPath = autoList.at(nPort - 1);
        entry.m_eSource = EPortSource::Automatic;
    }
    return entry;
}

QString CPortMap::DevicePathFor(int nPort) const {
    return Lookup(nPort).m_strPath;
}

QList<SPortEntry> CPortMap::List(int nMaxPort) const {
    QList<SPortEntry> list;
    const QStringList autoList = AutomaticDevices();
    for (int n = 1; n <= nMaxPort; ++n) {
        SPortEntry entry = LookupIn(n, &autoList);
        if (entry.m_eSource != EPortSource::None)
            list.append(entry);
    }
    return list;
}

QString CPortMap::Describe(const SPortEntry& entry) {
    const QString strPort = QStringLiteral("COM%1").arg(entry.m_nPort);
    switch (entry.m_eSource) {
    case EPortSource::Environment:
        return QStringLiteral("%1 = %2 (%3)")
            .arg(strPort, entry.m_strPath, EnvironmentName(entry.m_nPort));
    case EPortSource::Profile:
        return QStringLiteral("%1 = %2 (profile)").arg(strPort, entry.m_strPath);
    case EPortSource::Automatic:
        return QStringLiteral("%1 = %2 (automatic)").arg(strPort, entry.m_strPath);
    case EPortSource::None:
        break;
    }
    return QStringLiteral("%1 = (no device)").arg(strPort);
}
