#include "settings/profile.h"

#include "settings_test_util.h"

#include "child_deadline.h"
#include "settings/profile_store.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Shift-JIS for a Japanese channel name; the second byte of U+8868 is 0x5C ('\') and that of
// U+96FB is 'd', so any text processing or case folding of values would show.
const QByteArray kSjisName("\x93\x64\x88\xb3\x95\x5c\x8e\xa6");

struct SStringCase {
    const char* m_pszSection;
    const char* m_pszKey;
    const char* m_pszDefault;
    QByteArray m_strExpected;
};

TEST(Profile, ReadsStringsLikeThePrivateProfileFunctions) {
    const CProfile profile(TestDataPath("profile_mixed.ini"));
    const SStringCase cases[] = {
        {"comm", "port", "x", "3"},
        {"COMM", "PORT", "x", "3"},                     // names match in any ASCII case
        {"Comm", "BaudRate", "x", "19200"},             //
        {"Other", "Key", "x", "Value with = sign"},     // the first '=' splits
        {"VSetting1", "VRes", "x", "0.5"},              // blanks around key and value
        {"VSetting1", "Unit", "x", ""},                 // present but empty: not default
        {"VSetting1", "Name", "x", kSjisName},          // bytes unchanged
        {"VSetting1", "Offset", "dflt", "dflt"},        // missing key
        {"VSetting2", "Name", "dflt", "dflt"},          // missing section
        {"comm", "; a comment inside", "dflt", "dflt"}, // comments are no keys
        {"Other", "BaudRate", "dflt", "dflt"},          // keys belong to their section
    };
    for (const SStringCase& c : cases) {
        EXPECT_EQ(profile.GetProfileString(c.m_pszSection, c.m_pszKey, c.m_pszDefault),
                  c.m_strExpected)
            << c.m_pszSection << "/" << c.m_pszKey;
    }
}

TEST(Profile, ReadsIntegersLikeGetPrivateProfileInt) {
    const CProfile profile(TestDataPath("profile_mixed.ini"));
    const struct {
        const char* m_pszSection;
        const char* m_pszKey;
        int m_nExpected;
    } cases[] = {
        {"Comm", "Port", 3},         {"Comm", "BaudRate", 19200},
        {"VSetting1", "Color", -12}, // sign and digits, the rest ignored
        {"VSetting1", "Unit", 77},   // empty value: the default
        {"Other", "Key", 0},         // letters only
        {"Comm", "Parity", 77},      // missing
    };
    for (const auto& c : cases)
        EXPECT_EQ(profile.GetProfileInt(c.m_pszSection, c.m_pszKey, 77), c.m_nExpected)
            << c.m_pszSection << "/" << c.m_pszKey;
}

TEST(Profile, LfOnlyFileIsRead) {
    const CProfile profile(TestDataPath("profile_lf.ini"));
    EXPECT_EQ(profile.GetProfileInt("Setting", "Channels", 2), 4);
    EXPECT_EQ(profile.GetProfileInt("HSetting", "Res", 100), 250);
}

/// The hand-written file with one line replaced or lines inserted.
QByteArray MixedWith(int nLine, const QByteArray& strNew, bool bInsert) {
    QList<QByteArray> lines = ReadBytes(TestDataPath("profile_mixed.ini")).split('\n');
    lines.removeLast();
    if (bInsert)
        lines.insert(nLine, strNew + '\r');
    else
        lines[nLine] = strNew + '\r';
    return lines.join('\n') + '\n';
}

TEST(Profile, RewriteKeepsEveryOtherLineAndItsOrder) {
    struct SCase {
        const char* m_pszSection;
        const char* m_pszKey;
        QByteArray m_strValue;
        QByteArray m_strExpected;
    };
    const QByteArray strOriginal = ReadBytes(TestDataPath("profile_mixed.ini"));
    QByteArray strNewSection = strOriginal + "[HSetting]\r\nRes=50\r\n";
    const SCase cases[] = {
        // existing key: replaced where it is, the file's spelling of the key kept
        {"COMM", "PORT", "5", MixedWith(3, "port=5", false)},
        // new key: after the last non-blank line of its section, blank separator kept
        {"Comm", "Parity", "2", MixedWith(6, "Parity=2", true)},
        {"vsetting1", "Pos", "7", MixedWith(15, "Pos=7", true)},
        // new section at the end of the file
        {"HSetting", "Res", "50", strNewSection},
        // unchanged value: the file is left exactly as it is
        {"Comm", "BaudRate", "19200", strOriginal},
    };
    for (const SCase& c : cases) {
        QTemporaryDir dir;
        const QString strPath = CopyTestData(dir, "profile_mixed.ini");
        CProfile profile(strPath);
        EXPECT_TRUE(profile.WriteProfileString(c.m_pszSection, c.m_pszKey, c.m_strValue));
        EXPECT_EQ(ReadBytes(strPath), c.m_strExpected) << c.m_pszSection << "/" << c.m_pszKey;
        EXPECT_EQ(profile.GetProfileString(c.m_pszSection, c.m_pszKey, "?"), c.m_strValue);
    }
}

TEST(Profile, RewriteOfLfFileWritesCrLfEverywhere) {
    QTemporaryDir dir;
    const QString strPath = CopyTestData(dir, "profile_lf.ini");
    CProfile profile(strPath);
    EXPECT_TRUE(profile.WriteProfileInt("Setting", "Channels", 6));
    EXPECT_EQ(ReadBytes(strPath), QByteArray("[Setting]\r\nChannels=6\r\n\r\n[HSetting]\r\n"
                                             "Res=250\r\n"));
}

TEST(Profile, FreshFileTakesSectionsAndKeysInOrderOfFirstWrite) {
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("fresh.INI"));
    CProfile profile(strPath);
    EXPECT_TRUE(profile.WriteProfileInt("Comm", "Port", 1));
    EXPECT_TRUE(profile.WriteProfileInt("Setting", "Channels", 2));
    EXPECT_TRUE(profile.WriteProfileInt("Comm", "BaudRate", -9600));
    EXPECT_TRUE(profile.WriteProfileString("VSetting1", "Name", kSjisName));
    EXPECT_TRUE(profile.WriteProfileString("Setting", "Empty", ""));
    EXPECT_EQ(ReadBytes(strPath), QByteArray("[Comm]\r\nPort=1\r\nBaudRate=-9600\r\n"
                                             "[Setting]\r\nChannels=2\r\nEmpty=\r\n"
                                             "[VSetting1]\r\nName=") +
                                      kSjisName + "\r\n");
    EXPECT_EQ(profile.GetProfileString("vsetting1", "NAME", ""), kSjisName);
    EXPECT_EQ(profile.GetProfileInt("Comm", "BaudRate", 0), -9600);
    // no temporary file left behind
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("fresh.INI")});
}

TEST(Profile, ValuesAreLimitedAndKeepTheirLines) {
    QTemporaryDir dir;
    CProfile profile(dir.filePath(QStringLiteral("p.INI")));
    const QByteArray strLong(5000, 'x');
    EXPECT_TRUE(profile.WriteProfileString("S", "Long", strLong));
    EXPECT_EQ(profile.GetProfileString("S", "Long", ""), strLong.left(4095));
    EXPECT_EQ(profile.GetProfileString("S", "Missing", strLong), strLong.left(4095));
    // a line break in a value must not create a line of its own
    EXPECT_TRUE(profile.WriteProfileString("S", "Unit", "a\r\n[X]\nb"));
    EXPECT_EQ(profile.GetProfileString("S", "Unit", ""), QByteArray("a  [X] b"));
    EXPECT_EQ(profile.GetProfileString("X", "b", "none"), QByteArray("none"));
}

TEST(Profile, WriteFailureReportsFalseAndReadsGiveDefaults) {
    CProfile profile(QStringLiteral("/nonexistent-kest-dir/sub/kest.INI"));
    EXPECT_FALSE(profile.WriteProfileInt("Comm", "Port", 4));
    EXPECT_EQ(profile.GetProfileInt("Comm", "Port", 1), 1);
    EXPECT_EQ(profile.GetProfileString("Comm", "Port", "d"), QByteArray("d"));
}

TEST(Profile, PipesAndDevicesReadAsUnreadableAndAreNotReplaced) {
    QTemporaryDir dir;
    const auto files = MakeSpecialFiles(dir.path().toStdString());
    ASSERT_FALSE(files.empty());
    for (const SSpecialFile& file : files) {
        struct stat before;
        ASSERT_EQ(lstat(file.m_strPath.c_str(), &before), 0);
        // In a child, so that a read that blocks on the pipe or never ends on the device fails
        // the test instead of hanging it.
        const int nStatus = RunInChildWithDeadline(
            [&]() {
                CProfile profile(QString::fromStdString(file.m_strPath));
                SCommSetting comm{5, 4800, 7, 1, 2};
                LoadCommSetting(profile, comm);
                const bool bDefaults = comm.m_nPort == 1 && comm.m_nBaudRate == 9600 &&
                                       profile.GetProfileString("VSetting1", "Name", "d") == "d";
                if (!bDefaults)
                    return 1;
                return profile.WriteProfileInt("Comm", "Port", 4) ? 2 : 0;
            },
            10);
        EXPECT_EQ(nStatus, 0) << file.m_pszName
                              << " (-1: blocked or endless, 1: not the defaults, 2: written)";
        struct stat after;
        ASSERT_EQ(lstat(file.m_strPath.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT) << file.m_pszName;
    }
}

TEST(ProfilePath, ExtensionOfTheExecutableIsReplaced) {
    const struct {
        const char* m_pszExe;
        const char* m_pszExt;
        const char* m_pszResult;
    } cases[] = {
        {"/opt/kest/kest", ".INI", "/opt/kest/kest.INI"},
        {"/opt/kest/kest.bin", ".INI", "/opt/kest/kest.INI"},
        {"/opt/kest/a.b.bin", ".INI", "/opt/kest/a.b.INI"},
        {"/opt/v1.2/kest", ".INI", "/opt/v1.2/kest.INI"}, // a dot in the directory is no extension
        {"kest", ".INI", "kest.INI"},
        {"/opt/kest/kest", ".CHM", "/opt/kest/kest.CHM"},
        {"/opt/kest/kest.bin", ".CHM", "/opt/kest/kest.CHM"},
        {"/opt/v1.2/kest", ".CHM", "/opt/v1.2/kest.CHM"},
        {"/home/me/.kest", ".INI", "/home/me/.kest.INI"}, // a leading dot starts no extension
        {"/home/me/.kest.bin", ".CHM", "/home/me/.kest.CHM"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExecutablePathWithExtension(QString::fromLatin1(c.m_pszExe),
                                              QString::fromLatin1(c.m_pszExt)),
                  QString::fromLatin1(c.m_pszResult))
            << c.m_pszExe;
}

TEST(ProfilePath, FallsBackToConfigDirectoryWhenExeDirIsNotWritable) {
    QTemporaryDir dir;
    const QString strExe = dir.filePath(QStringLiteral("kest"));
    EXPECT_EQ(ChooseProfilePath(strExe), dir.filePath(QStringLiteral("kest.INI")));

    const QByteArray strOld = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cfg"))));
    const QString strChosen = ChooseProfilePath(QStringLiteral("/nonexistent-kest-dir/kest"));
    EXPECT_EQ(strChosen, dir.filePath(QStringLiteral("cfg/kest/kest.INI")));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("cfg/kest"))).isDir());
    if (strOld.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", strOld);
}

} // namespace
