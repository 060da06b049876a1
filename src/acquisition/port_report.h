#pragma once

#include "acquisition/port_map.h"

#include <QString>

/// What the system says about the device of one COM number, for `kest --list-ports`.
struct SPortDetails {
    SPortEntry m_Entry;
    bool m_bExists = false;    ///< the device path names something
    bool m_bPermitted = false; ///< this user may open it for reading and writing
    QString m_strOwner;        ///< "user:group" of the device node
    bool m_bHasInfo = false;   ///< the serial port layer knows the device
    QString m_strDescription;
    QString m_strManufacturer;
    QString m_strSerialNumber;
    int m_nVendorId = -1; ///< USB ids, -1 when not a USB device
    int m_nProductId = -1;
};

/// Looks at the device of entry: existence, access for this user, USB and driver information.
SPortDetails ExaminePort(const SPortEntry& entry);

/// The lines shown for one COM number: path and rule, system information, access and, when
/// access is refused, the usual remedy. bCommPort marks the port the profile's "Comm" uses.
QString FormatPortDetails(const SPortDetails& details, bool bCommPort);

/// The whole listing: COM1..nMaxPort as mapped, then serial devices the system reports that no
/// COM number reaches, then how to change the mapping.
QString PortListing(const CPortMap& portMap, int nCommPort, int nMaxPort = 32);

/// "user:group" owning the device node at strDevice, empty when it cannot be looked at.
QString DeviceOwner(const QString& strDevice);
/// The group that grants access to strDevice: its owner group, "dialout" when unknown.
QString DeviceGroup(const QString& strDevice);
/// The name of process nPid as the system gives it, empty when unknown.
QString ProcessName(qint64 nPid);
