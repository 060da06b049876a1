#include "settings/profile_store.h"

#include "settings_test_util.h"

#include <QDir>

namespace {

const COLORREF kColors[8] = {0, 16711680, 65280, 8421376, 255, 8388736, 32896, 16384};

/// A profile in a fresh temporary directory, holding strText (or no file when null).
struct SProfileFixture {
    explicit SProfileFixture(const char* pszText = nullptr)
        : m_strPath(m_dir.filePath(QStringLiteral("kest.INI"))), m_profile(m_strPath) {
        if (pszText != nullptr) {
            EXPECT_TRUE(WriteBytes(m_strPath, pszText));
        }
    }
    QTemporaryDir m_dir;
    QString m_strPath;
    CProfile m_profile;
};

TEST(ProfileStore, NoFileGivesDefaults) {
    SProfileFixture fx;
    SCommSetting comm{7, 1200, 5, 2, 2};
    CkestDoc doc;
    doc.m_ChannelAttr[2].m_strName = "old";
    int nSamplesPerDiv = 0;
    LoadAllFromProfile(fx.m_profile, comm, doc, nSamplesPerDiv);
    EXPECT_EQ(comm.m_nPort, 1);
    EXPECT_EQ(comm.m_nBaudRate, 9600u);
    EXPECT_EQ(comm.m_nByteSize, 8);
    EXPECT_EQ(comm.m_nParity, 0);
    EXPECT_EQ(comm.m_nStopBits, 0);
    EXPECT_EQ(doc.m_nChannels, 2);
    EXPECT_EQ(doc.m_LogData[1].m_nSize, 65536);
    EXPECT_EQ(nSamplesPerDiv, 100);
    EXPECT_EQ(LoadPreviewPages(fx.m_profile), 0);
    for (int i = 0; i < 8; ++i) {
        SChannelAttr expected;
        expected.m_crColor = kColors[i];
        EXPECT_EQ(doc.m_ChannelAttr[i], expected) << i;
    }
    EXPECT_FALSE(QFile::exists(fx.m_strPath)); // loading never creates the file
}

TEST(ProfileStore, ChannelCountAndResolutionAreClamped) {
    const struct {
        const char* m_pszText;
        int m_nChannels;
        int m_nRes;
    } cases[] = {
        {"[Setting]\r\nChannels=0\r\n[HSetting]\r\nRes=0\r\n", 1, 1},
        {"[Setting]\r\nChannels=12\r\n[HSetting]\r\nRes=10001\r\n", 8, 10000},
        {"[Setting]\r\nChannels=-3\r\n[HSetting]\r\nRes=-50\r\n", 1, 1},
        {"[Setting]\r\nChannels=abc\r\n[HSetting]\r\nRes=abc\r\n", 1, 1},
        {"[Setting]\r\nChannels=5\r\n[HSetting]\r\nRes=250\r\n", 5, 250},
        {"[Setting]\r\nChannels=\r\n[HSetting]\r\nRes=\r\n", 2, 100},
    };
    for (const auto& c : cases) {
        SProfileFixture fx(c.m_pszText);
        CkestDoc doc;
        int nRes = 0;
        LoadChannelCount(fx.m_profile, doc);
        LoadHorizSetting(fx.m_profile, nRes);
        EXPECT_EQ(doc.m_nChannels, c.m_nChannels) << c.m_pszText;
        EXPECT_EQ(doc.m_LogData[c.m_nChannels - 1].m_nSize, 65536) << c.m_pszText;
        EXPECT_EQ(nRes, c.m_nRes) << c.m_pszText;
    }
}

TEST(ProfileStore, CommValuesAreStoredUnchecked) {
    SProfileFixture fx("[Comm]\r\nPort=40\r\nBaudRate=123\r\nByteSize=300\r\nParity=7\r\n"
                       "StopBits=-1\r\n");
    SCommSetting comm;
    LoadCommSetting(fx.m_profile, comm);
    EXPECT_EQ(comm.m_nPort, 40);
    EXPECT_EQ(comm.m_nBaudRate, 123u);
    EXPECT_EQ(comm.m_nByteSize, 44);
    EXPECT_EQ(comm.m_nParity, 7);
    EXPECT_EQ(comm.m_nStopBits, 255);
}

TEST(ProfileStore, ChannelAttrsPassTheClamps) {
    struct SCase {
        const char* m_pszBody; // keys of [VSetting5]
        double m_dVRes, m_dMultiplier, m_dAddend, m_dOffset;
        int m_nPos;
        COLORREF m_crColor;
    };
    const SCase cases[] = {
        {"VRes=\r\n", 10.0, 1.0, 0.0, 0.0, 0, 255}, // empty VRes: corrected, not the default
        {"Pos=2000\r\nMultiplier=0\r\n", 10.0, 1.0, 0.0, 0.0, 1000, 255},
        {"VRes=abc\r\nMultiplier=V3\r\nAddend=x1\r\n", 10.0, 1.0, 0.0, 0.0, 0, 255},
        {"VRes=1e+006\r\nMultiplier=1e+06\r\nOffset=-2.5e-3\r\nColor=65535\r\n", 1e6, 1e6, 0.0,
         -2.5e-3, 0, 65535},
        {"VRes= 0.25\r\nAddend=  7.5mV\r\nPos=-4\r\n", 0.25, 1.0, 7.5, 0.0, 0, 255},
        {"VRes=1e999\r\n", 10.0, 1.0, 0.0, 0.0, 0, 255},
    };
    for (const SCase& c : cases) {
        SProfileFixture fx((QByteArray("[VSetting5]\r\n") + c.m_pszBody).constData());
        CkestDoc doc;
        LoadChannelAttrs(fx.m_profile, doc);
        const SChannelAttr& attr = doc.m_ChannelAttr[4];
        EXPECT_EQ(attr.m_dVRes, c.m_dVRes) << c.m_pszBody;
        EXPECT_EQ(attr.m_dMultiplier, c.m_dMultiplier) << c.m_pszBody;
        EXPECT_EQ(attr.m_dAddend, c.m_dAddend) << c.m_pszBody;
        EXPECT_EQ(attr.m_dOffset, c.m_dOffset) << c.m_pszBody;
        EXPECT_EQ(attr.m_nPos, c.m_nPos) << c.m_pszBody;
        EXPECT_EQ(attr.m_crColor, c.m_crColor) << c.m_pszBody;
    }
}

TEST(ProfileStore, NumbersAreSavedAsPercentG) {
    SProfileFixture fx;
    CkestDoc doc;
    SChannelAttr attr;
    attr.m_dVRes = 0.1234567;
    attr.m_dMultiplier = 1000000.0;
    attr.m_dAddend = -1e-7;
    attr.m_dOffset = 2.5;
    doc.SetChannelAttr(0, attr);
    EXPECT_TRUE(SaveChannelAttrs(fx.m_profile, doc));
    EXPECT_EQ(fx.m_profile.GetProfileString("VSetting1", "VRes", ""), QByteArray("0.123457"));
    EXPECT_EQ(fx.m_profile.GetProfileString("VSetting1", "Multiplier", ""), QByteArray("1e+06"));
    EXPECT_EQ(fx.m_profile.GetProfileString("VSetting1", "Addend", ""), QByteArray("-1e-07"));
    EXPECT_EQ(fx.m_profile.GetProfileString("VSetting1", "Offset", ""), QByteArray("2.5"));
    CkestDoc loaded;
    LoadChannelAttrs(fx.m_profile, loaded);
    EXPECT_EQ(loaded.m_ChannelAttr[0].m_dVRes, 0.123457);
    EXPECT_EQ(loaded.m_ChannelAttr[0].m_dMultiplier, 1e6);
    EXPECT_EQ(loaded.m_ChannelAttr[0].m_dAddend, -1e-7);
}

TEST(ProfileStore, FreshProfileHasSectionsAndKeysInSaveOrder) {
    SProfileFixture fx;
    CkestDoc doc;
    for (int i = 0; i < 8; ++i)
        doc.m_ChannelAttr[i].m_crColor = kColors[i];
    EXPECT_TRUE(SaveAllToProfile(fx.m_profile, SCommSetting(), doc, 100));
    QByteArray strExpected = "[Comm]\r\nPort=1\r\nBaudRate=9600\r\nByteSize=8\r\nParity=0\r\n"
                             "StopBits=0\r\n[Setting]\r\nChannels=2\r\n";
    for (int i = 0; i < 8; ++i) {
        strExpected += "[VSetting" + QByteArray::number(i + 1) +
                       "]\r\nVRes=10\r\nMultiplier=1\r\nAddend=0\r\nUnit=\r\nOffset=0\r\n"
                       "Name=\r\nPos=0\r\nColor=" +
                       QByteArray::number(kColors[i]) + "\r\n";
    }
    strExpected += "[HSetting]\r\nRes=100\r\n";
    EXPECT_EQ(ReadBytes(fx.m_strPath), strExpected);
}

TEST(ProfileStore, SaveThenLoadGivesTheSameSettings) {
    SProfileFixture fx;
    const SCommSetting comm{12, 115200, 7, 2, 1};
    CkestDoc doc;
    doc.InitLogData(6, 16, 16);
    for (int i = 0; i < 8; ++i) {
        SChannelAttr attr;
        attr.m_strName = "\x93\x64\x88\xb3 CH" + QByteArray::number(i + 1) + ", A";
        attr.m_strUnit = i % 2 ? "\x81\x8E" : "mV"; // Shift-JIS degree sign
        attr.m_crColor = 0x010203u * static_cast<COLORREF>(i + 1);
        attr.m_nPos = 100 * i + 3;
        attr.m_dVRes = 0.5 + i;
        attr.m_dOffset = -1.25 * i;
        attr.m_dMultiplier = 2e-3;
        attr.m_dAddend = 1e5;
        doc.SetChannelAttr(i, attr);
    }
    EXPECT_TRUE(SaveAllToProfile(fx.m_profile, comm, doc, 2500));
    EXPECT_TRUE(SavePreviewPages(fx.m_profile, 2));

    SCommSetting commLoaded;
    CkestDoc docLoaded;
    int nRes = 0;
    LoadAllFromProfile(fx.m_profile, commLoaded, docLoaded, nRes);
    EXPECT_EQ(commLoaded.m_nPort, 12);
    EXPECT_EQ(commLoaded.m_nBaudRate, 115200u);
    EXPECT_EQ(commLoaded.m_nByteSize, 7);
    EXPECT_EQ(commLoaded.m_nParity, 2);
    EXPECT_EQ(commLoaded.m_nStopBits, 1);
    EXPECT_EQ(docLoaded.m_nChannels, 6);
    EXPECT_EQ(nRes, 2500);
    EXPECT_EQ(LoadPreviewPages(CProfile(fx.m_strPath)), 2);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(docLoaded.m_ChannelAttr[i], doc.m_ChannelAttr[i]) << i;
}

// Root may write to /usr/bin; an installed program still keeps one profile per user.
TEST(ProfileStore, InstalledProgramUsesThePerUserProfile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("usr/bin")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("build")));
    const QByteArray strOld = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cfg"))));
    const QString strUser = dir.filePath(QStringLiteral("cfg/kest/kest.INI"));

    EXPECT_EQ(ProgramProfilePath(dir.filePath(QStringLiteral("usr/bin/kest"))),
              dir.filePath(QStringLiteral("usr/bin/kest.INI")))
        << "without installed documentation the program is not installed";
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("usr/share/doc/kest")));
    EXPECT_EQ(ProgramProfilePath(dir.filePath(QStringLiteral("usr/bin/kest"))), strUser);
    EXPECT_EQ(ProgramProfilePath(dir.filePath(QStringLiteral("build/kest"))),
              dir.filePath(QStringLiteral("build/kest.INI")));
    EXPECT_EQ(UserProfilePath(), strUser);

    if (strOld.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", strOld);
}

} // namespace

TEST(ProfileStore, PortOverridesTakeComOneToThirtyTwo) {
    SProfileFixture fx;
    const struct {
        const char* m_pszKey;
        const char* m_pszValue;
    } entries[] = {
        {"COM1", "  /dev/ttyUSB0\t"},
        {"COM2", ""},
        {"COM3", "   "},
        {"COM32", "/dev/ttyS31"},
        {"COM33", "/dev/ttyS32"},
        {"COM0", "/dev/ttyS0"},
    };
    for (const auto& e : entries)
        ASSERT_TRUE(fx.m_profile.WriteProfileString("Ports", e.m_pszKey, e.m_pszValue));
    const QMap<int, QString> expected = {{1, QStringLiteral("/dev/ttyUSB0")},
                                         {32, QStringLiteral("/dev/ttyS31")}};
    EXPECT_EQ(LoadPortOverrides(fx.m_profile), expected);
}

// The publishing section: a save reads back the same, and hand-edited values pass the clamps
// or switch publishing off instead of starting a connection the dialog would refuse.
TEST(ProfileStore, PublishSectionRoundTripsAndIsClampedOnLoad) {
    SProfileFixture fx;
    SPublishSettings saved;
    saved.m_bEnabled = true;
    saved.m_strUrl = QStringLiteral("mqtts://broker.lab:8884");
    saved.m_strTopic = QStringLiteral("lab/温度/COM2");
    saved.m_nQos = 0;
    saved.m_eFormat = EPublishFormat::Influx;
    saved.m_strClientId = QStringLiteral("bench-7");
    saved.m_strUser = QStringLiteral("kest");
    saved.m_strPasswordFile = QStringLiteral("/home/u/.kest-pw");
    saved.m_strCaFile = QStringLiteral("/etc/ssl/lab-ca.pem");
    saved.m_nQueueLines = 250000;
    ASSERT_TRUE(SavePublishSettings(fx.m_profile, saved));
    EXPECT_EQ(LoadPublishSettings(fx.m_profile), saved);

    const struct {
        const char* pszBody;
        bool bEnabled;
        int nQos;
        EPublishFormat eFormat;
        int nQueue;
    } cases[] = {
        {"Enabled=1\r\nUrl=mqtt://h\r\nQos=7\r\nFormat=xml\r\nQueueLines=5\r\n", true, 1,
         EPublishFormat::Line, SPublishSettings::kMinQueueLines},
        {"Enabled=1\r\nUrl=mqtt://h\r\nQos=-1\r\nFormat=JSON\r\nQueueLines=99999999\r\n", true, 0,
         EPublishFormat::Json, SPublishSettings::kMaxQueueLines},
        {"Enabled=1\r\nUrl=http://h\r\n", false, 1, EPublishFormat::Line,
         SPublishSettings::kDefaultQueueLines},
        {"Enabled=1\r\nUrl=mqtt://h\r\nTopic=a/#\r\n", false, 1, EPublishFormat::Line,
         SPublishSettings::kDefaultQueueLines},
        {"Url=mqtt://h\r\n", false, 1, EPublishFormat::Line, SPublishSettings::kDefaultQueueLines},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszBody);
        SProfileFixture edited((QByteArray("[Publish]\r\n") + c.pszBody).constData());
        const SPublishSettings loaded = LoadPublishSettings(edited.m_profile);
        EXPECT_EQ(loaded.m_bEnabled, c.bEnabled);
        EXPECT_EQ(loaded.m_nQos, c.nQos);
        EXPECT_EQ(loaded.m_eFormat, c.eFormat);
        EXPECT_EQ(loaded.m_nQueueLines, c.nQueue);
    }
}
