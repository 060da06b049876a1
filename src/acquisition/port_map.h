#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

/// Where the device path of a COM number came from.
enum class EPortSource { None, Environment, Profile, Automatic };

/// One resolved COM number, for showing the mapping to the user.
struct SPortEntry {
    int m_nPort = 0;
    QString m_strPath;
    EPortSource m_eSource = EPortSource::None;
};

/// Maps COM numbers to Linux serial device paths: the environment variable KEST_COM<n> first, then
/// the profile's "Ports" entries, then the serial devices found under the device root in a fixed
/// order. A value object: the view fills it and hands a copy to the reader; window thread.
class CPortMap {
public:
    explicit CPortMap(QString strDevRoot = QStringLiteral("/dev"));

    /// Replaces the profile entries (COM number -> device path; empty paths are ignored).
    void SetOverrides(const QMap<int, QString>& mapPorts);
    const QMap<int, QString>& Overrides() const { return m_mapOverrides; }

    /// The device path of COM nPort, or an empty string when nothing maps to it.
    QString DevicePathFor(int nPort) const;
    /// Path and origin of COM nPort.
    SPortEntry Lookup(int nPort) const;
    /// COM 1..nMaxPort with a device path, in port order.
    QList<SPortEntry> List(int nMaxPort) const;
    /// The serial devices under the device root in the order in which they become COM1, COM2, ...
    QStringList AutomaticDevices() const;

    /// Name of the environment variable that overrides COM nPort ("KEST_COM1").
    static QString EnvironmentName(int nPort);
    /// Short description such as "COM1 = /dev/ttyUSB0 (automatic)".
    static QString Describe(const SPortEntry& entry);

private:
    SPortEntry LookupIn(int nPort, const QStringList* pAuto) const;

    QString m_strDevRoot;
    QMap<int, QString> m_mapOverrides;
};
