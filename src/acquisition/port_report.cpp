#include "acquisition/port_report.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSet>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString RuleText(const SPortEntry& entry) {
    switch (entry.m_eSource) {
    case EPortSource::Environment:
        return QStringLiteral("environment %1").arg(CPortMap::EnvironmentName(entry.m_nPort));
    case EPortSource::Profile:
        return QStringLiteral("profile [Ports] COM%1").arg(entry.m_nPort);
    case EPortSource::Automatic:
        return QStringLiteral("automatic order");
    case EPortSource::None:
        break;
    }
    return QStringLiteral("no device");
}

QString OwnerOf(const struct stat& st) {
    const passwd* pUser = ::getpwuid(st.st_uid);
    const group* pGroup = ::getgrgid(st.st_gid);
    const QString strUser =
        pUser ? QString::fromLocal8Bit(pUser->pw_name) : QString::number(st.st_uid);
    const QString strGroup =
        pGroup ? QString::fromLocal8Bit(pGroup->gr_name) : QString::number(st.st_gid);
    return strUser + QLatin1Char(':') + strGroup;
}

/// The serial port layer's record of the device, found by its path or by the path it links to.
bool FindPortInfo(const QString& strPath, QSerialPortInfo& found) {
    const QString strCanonical = QFileInfo(strPath).canonicalFilePath();
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports) {
        if (info.systemLocation() == strPath ||
            (!strCanonical.isEmpty() && info.systemLocation() == strCanonical)) {
            found = info;
            return true;
        }
    }
    return false;
}

QString GroupOf(const QString& strOwner) {
    return strOwner.section(QLatin1Char(':'), 1);
}

} // namespace

SPortDetails ExaminePort(const SPortEntry& entry) {
    SPortDetails d;
    d.m_Entry = entry;
    if (entry.m_strPath.isEmpty())
        return d;
    const QByteArray path = QFile::encodeName(entry.m_strPath);
    struct stat st = {};
    d.m_bExists = ::stat(path.constData(), &st) == 0;
    if (!d.m_bExists)
        return d;
    d.m_strOwner = OwnerOf(st);
    d.m_bPermitted = ::access(path.constData(), R_OK | W_OK) == 0;
    QSerialPortInfo info;
    if (FindPortInfo(entry.m_strPath, info)) {
        d.m_bHasInfo = true;
        d.m_strDescription = info.description();
        d.m_strManufacturer = info.manufacturer();
        d.m_strSerialNumber = info.serialNumber();
        if (info.hasVendorIdentifier())
            d.m_nVendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            d.m_nProductId = info.productIdentifier();
    }
    return d;
}

QString FormatPortDetails(const SPortDetails& d, bool bCommPort) {
    const SPortEntry& e = d.m_Entry;
    QString s = QStringLiteral("COM%1  %2  (%3)")
                    .arg(e.m_nPort)
                    .arg(e.m_strPath.isEmpty() ? QStringLiteral("-") : e.m_strPath)
                    .arg(RuleText(e));
    if (bCommPort)
        s += QStringLiteral("  <- the profile's COM port");
    s += QLatin1Char('\n');
    const QString strIndent = QStringLiteral("      ");
    if (e.m_strPath.isEmpty())
        return s;
    if (!d.m_bExists)
        return s + strIndent + QStringLiteral("device: missing (nothing at this path now)\n");

    QStringList info;
    if (d.m_nVendorId >= 0 || d.m_nProductId >= 0)
        info << QStringLiteral("USB %1:%2")
                    .arg(qMax(d.m_nVendorId, 0), 4, 16, QLatin1Char('0'))
                    .arg(qMax(d.m_nProductId, 0), 4, 16, QLatin1Char('0'));
    if (!d.m_strManufacturer.isEmpty())
        info << d.m_strManufacturer;
    if (!d.m_strDescription.isEmpty())
        info << d.m_strDescription;
    if (!d.m_strSerialNumber.isEmpty())
        info << QStringLiteral("serial number ") + d.m_strSerialNumber;
    if (info.isEmpty())
        info << (d.m_bHasInfo ? QStringLiteral("no USB information (on-board or virtual port)")
                              : QStringLiteral("not reported by the system as a serial port"));
    s += strIndent + QStringLiteral("device: ") + info.join(QStringLiteral(", ")) +
         QLatin1Char('\n');

    if (d.m_bPermitted) {
        s += strIndent +
             QStringLiteral("access: read and write permitted (owner %1)\n").arg(d.m_strOwner);
    } else {
        const QString strGroup = GroupOf(d.m_strOwner);
        s += strIndent +
             QStringLiteral("access: NOT permitted for this user (owner %1)\n").arg(d.m_strOwner);
        s += strIndent +
             QStringLiteral("        fix: sudo adduser \"$USER\" %1, then log out and in "
                            "again\n")
                 .arg(strGroup.isEmpty() ? QStringLiteral("dialout") : strGroup);
    }
    return s;
}

QString PortListing(const CPortMap& portMap, int nCommPort, int nMaxPort) {
    QString s;
    const QList<SPortEntry> entries = portMap.List(nMaxPort);
    QSet<QString> mapped;
    bool bCommListed = false;
    for (const SPortEntry& entry : entries) {
        mapped.insert(entry.m_strPath);
        mapped.insert(QFileInfo(entry.m_strPath).canonicalFilePath());
        bCommListed = bCommListed || entry.m_nPort == nCommPort;
        s += FormatPortDetails(ExaminePort(entry), entry.m_nPort == nCommPort);
    }
    if (entries.isEmpty())
        s += QStringLiteral("No COM number maps to a device: no serial device was found.\n");
    if (!bCommListed)
        s += QStringLiteral("The profile's COM port, COM%1, maps to no device.\n").arg(nCommPort);

    QStringList others;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString strPath = info.systemLocation();
        if (!mapped.contains(strPath) && !mapped.contains(QFileInfo(strPath).canonicalFilePath()))
            others << strPath + (info.description().isEmpty()
                                     ? QString()
                                     : QStringLiteral("  (%1)").arg(info.description()));
    }
    if (!others.isEmpty()) {
        s += QStringLiteral("\nOther serial devices (no COM number; map one with KEST_COMn=PATH "
                            "or [Ports] COMn=PATH):\n");
        for (const QString& strOther : others)
            s += QStringLiteral("      ") + strOther + QLatin1Char('\n');
    }
    s += QStringLiteral("\nRules, first match wins: environment variable KEST_COMn=PATH, profile "
                        "section [Ports] key COMn=PATH,\nthen the automatic order /dev/ttyUSB*, "
                        "/dev/ttyACM*, /dev/ttyS*.\n");
    return s;
}

QString DeviceOwner(const QString& strDevice) {
    struct stat st {};
    if (::stat(QFile::encodeName(strDevice).constData(), &st) != 0)
        return QString();
    return OwnerOf(st);
}

QString DeviceGroup(const QString& strDevice) {
    const QString strGroup = GroupOf(DeviceOwner(strDevice));
    return strGroup.isEmpty() ? QStringLiteral("dialout") : strGroup;
}

QString ProcessName(qint64 nPid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(nPid));
    if (nPid <= 0 || !comm.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}
