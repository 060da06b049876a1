#include "acquisition/port_map.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

/// A temporary directory standing in for /dev, holding empty files with the given names.
class CFakeDev {
public:
    explicit CFakeDev(const QStringList& names) {
        for (const QString& strName : names) {
            QFile file(m_Dir.filePath(strName));
            if (file.open(QIODevice::WriteOnly))
                file.close();
        }
    }
    QString Path(const QString& strName) const { return m_Dir.filePath(strName); }
    QString Root() const { return m_Dir.path(); }

private:
    QTemporaryDir m_Dir;
};

/// Sets an environment variable for the lifetime of the object.
class CEnvGuard {
public:
    CEnvGuard(const QString& strName, const QString& strValue) : m_strName(strName.toLatin1()) {
        qputenv(m_strName.constData(), strValue.toLocal8Bit());
    }
    ~CEnvGuard() { qunsetenv(m_strName.constData()); }

private:
    QByteArray m_strName;
};

TEST(PortMap, AutomaticOrder) {
    struct SCase {
        const char* pszName;
        QStringList devices;
        QStringList expected; // COM1, COM2, ...
    };
    const SCase cases[] = {
        {"one USB adapter beside on-board ports",
         {"ttyS0", "ttyS1", "ttyUSB0", "tty0", "console"},
         {"ttyUSB0", "ttyS0", "ttyS1"}},
        {"numeric, not alphabetical",
         {"ttyUSB10", "ttyUSB2", "ttyUSB1"},
         {"ttyUSB1", "ttyUSB2", "ttyUSB10"}},
        {"USB serial before CDC ACM before UART",
         {"ttyACM0", "ttyS4", "ttyUSB3"},
         {"ttyUSB3", "ttyACM0", "ttyS4"}},
        {"look-alikes are not ports",
         {"ttyUSB", "ttyUSBx", "ttyS0.lock", "ttySAC0", "xttyUSB0"},
         {}},
        {"nothing there", {}, {}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        CFakeDev dev(c.devices);
        CPortMap map(dev.Root());
        QStringList expected;
        for (const QString& strName : c.expected)
            expected << dev.Path(strName);
        EXPECT_EQ(map.AutomaticDevices(), expected);
        for (int i = 0; i < expected.size(); ++i)
            EXPECT_EQ(map.DevicePathFor(i + 1), expected[i]);
        EXPECT_EQ(map.DevicePathFor(static_cast<int>(expected.size()) + 1), QString());
    }
}

TEST(PortMap, PrecedenceOfOverrides) {
    CFakeDev dev({"ttyUSB0", "ttyUSB1"});
    struct SCase {
        const char* pszName;
        QString strEnv;      // KEST_COM2, empty: unset
        QString strProfile;  // profile entry for COM2, empty: none
        QString strExpected; // the path of COM2
        EPortSource eSource;
    };
    const SCase cases[] = {
        {"automatic", "", "", dev.Path("ttyUSB1"), EPortSource::Automatic},
        {"profile over automatic", "", "/dev/ttyAMA0", "/dev/ttyAMA0", EPortSource::Profile},
        {"environment over profile", "/dev/pts/5", "/dev/ttyAMA0", "/dev/pts/5",
         EPortSource::Environment},
        {"blank environment is unset", "  ", "/dev/ttyAMA0", "/dev/ttyAMA0", EPortSource::Profile},
        {"blank profile entry is no entry", "", "   ", dev.Path("ttyUSB1"), EPortSource::Automatic},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        std::unique_ptr<CEnvGuard> pEnv;
        if (!c.strEnv.isEmpty())
            pEnv = std::make_unique<CEnvGuard>(CPortMap::EnvironmentName(2), c.strEnv);
        CPortMap map(dev.Root());
        QMap<int, QString> profile;
        if (!c.strProfile.isEmpty())
            profile.insert(2, c.strProfile);
        map.SetOverrides(profile);

        const SPortEntry entry = map.Lookup(2);
        EXPECT_EQ(entry.m_nPort, 2);
        EXPECT_EQ(entry.m_strPath, c.strExpected);
        EXPECT_EQ(entry.m_eSource, c.eSource);
        // The other port is not affected.
        EXPECT_EQ(map.DevicePathFor(1), dev.Path("ttyUSB0"));
    }
}

TEST(PortMap, PortNumbersOutOfRange) {
    CFakeDev dev({"ttyUSB0"});
    CEnvGuard env(QStringLiteral("KEST_COM0"), QStringLiteral("/dev/pts/1"));
    CPortMap map(dev.Root());
    map.SetOverrides({{0, "/dev/ttyS9"}, {-1, "/dev/ttyS8"}});
    EXPECT_TRUE(map.Overrides().isEmpty());
    for (int nPort : {0, -1, -2147483647 - 1, 2, 2147483647}) {
        SCOPED_TRACE(nPort);
        EXPECT_EQ(map.DevicePathFor(nPort), QString());
        EXPECT_EQ(map.Lookup(nPort).m_eSource, EPortSource::None);
    }
}

TEST(PortMap, ListAndDescriptionForTheUser) {
    CFakeDev dev({"ttyACM0", "ttyUSB0"});
    CEnvGuard env(CPortMap::EnvironmentName(4), QStringLiteral("/tmp/kest-sim"));
    CPortMap map(dev.Root());
    map.SetOverrides({{3, "/dev/ttyAMA0"}});

    const QList<SPortEntry> list = map.List(6);
    QStringList described;
    for (const SPortEntry& entry : list)
        described << CPortMap::Describe(entry);
    EXPECT_EQ(described, (QStringList{
                             "COM1 = " + dev.Path("ttyUSB0") + " (automatic)",
                             "COM2 = " + dev.Path("ttyACM0") + " (automatic)",
                             "COM3 = /dev/ttyAMA0 (profile)",
                             "COM4 = /tmp/kest-sim (KEST_COM4)",
                         }));
    EXPECT_EQ(CPortMap::Describe(map.Lookup(5)), QStringLiteral("COM5 = (no device)"));
}

} // namespace
