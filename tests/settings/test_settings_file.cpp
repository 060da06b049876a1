#include "settings/settings_file.h"

#include "settings_test_util.h"

#include "child_deadline.h"
#include "full_tmpfs.h"

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const COLORREF kColors[8] = {0, 16711680, 65280, 8421376, 255, 8388736, 32896, 16384};

/// Settings as the program holds them, in one place so a load can be compared as a whole.
struct SState {
    SCommSetting m_Comm;
    CkestDoc m_Doc;
    int m_nSamplesPerDiv = 100;

    SState() {
        for (int i = 0; i < 8; ++i)
            m_Doc.m_ChannelAttr[i].m_crColor = kColors[i];
        m_Doc.ResetLogData();
    }
    /// Recognisably non-default values everywhere, and a few samples in the store.
    void MakeUnusual() {
        m_Comm = SCommSetting{5, 4800, 7, 1, 2};
        m_nSamplesPerDiv = 333;
        m_Doc.InitLogData(5, 1024, 1024);
        const double row[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        m_Doc.AddRow(row);
        for (int i = 0; i < 8; ++i) {
            SChannelAttr attr;
            attr.m_strName = "old" + QByteArray::number(i);
            attr.m_strUnit = "u";
            attr.m_crColor = 0x111111u * static_cast<COLORREF>(i);
            attr.m_nPos = 11 * i;
            attr.m_dVRes = 3.0 + i;
            attr.m_dOffset = 1.0;
            attr.m_dMultiplier = 4.0;
            attr.m_dAddend = 6.0;
            m_Doc.SetChannelAttr(i, attr);
        }
    }
    bool Load(const QString& strPath) {
        return ReadSettingsFile(strPath, m_Comm, m_Doc, m_nSamplesPerDiv);
    }
    bool LoadText(const QByteArray& text) {
        QTemporaryDir dir;
        const QString strPath = dir.filePath(QStringLiteral("in.cfg"));
        EXPECT_TRUE(WriteBytes(strPath, text));
        return Load(strPath);
    }
    QByteArray SavedText() const {
        QTemporaryDir dir;
        const QString strPath = dir.filePath(QStringLiteral("out.cfg"));
        EXPECT_TRUE(WriteSettingsFile(strPath, m_Comm, m_Doc, m_nSamplesPerDiv));
        return ReadBytes(strPath);
    }
};

void ExpectSameSettings(const SState& a, const SState& b) {
    EXPECT_EQ(a.m_Comm.m_nPort, b.m_Comm.m_nPort);
    EXPECT_EQ(a.m_Comm.m_nBaudRate, b.m_Comm.m_nBaudRate);
    EXPECT_EQ(a.m_Comm.m_nByteSize, b.m_Comm.m_nByteSize);
    EXPECT_EQ(a.m_Comm.m_nParity, b.m_Comm.m_nParity);
    EXPECT_EQ(a.m_Comm.m_nStopBits, b.m_Comm.m_nStopBits);
    EXPECT_EQ(a.m_Doc.m_nChannels, b.m_Doc.m_nChannels);
    EXPECT_EQ(a.m_Doc.m_LogData[0].m_nCount, b.m_Doc.m_LogData[0].m_nCount);
    EXPECT_EQ(a.m_nSamplesPerDiv, b.m_nSamplesPerDiv);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(a.m_Doc.m_ChannelAttr[i], b.m_Doc.m_ChannelAttr[i]) << "channel " << i;
}

TEST(SettingsFile, DefaultsAreWrittenAsTheHandWrittenFile) {
    const SState state;
    EXPECT_EQ(state.SavedText(), ReadBytes(TestDataPath("default_settings.cfg")));
}

TEST(SettingsFile, HandWrittenFileLoadsTheDefaultsWithCrLfOrLf) {
    const QByteArray strCrLf = ReadBytes(TestDataPath("default_settings.cfg"));
    QByteArray strLf = strCrLf;
    strLf.replace("\r\n", "\n");
    for (const QByteArray& text : {strCrLf, strLf}) {
        SState state;
        state.MakeUnusual();
        EXPECT_TRUE(state.LoadText(text));
        ExpectSameSettings(state, SState());
    }
}

TEST(SettingsFile, KeyLinesInAChannelSection) {
    struct SCase {
        const char* m_pszLine;
        double m_dVRes;
        const char* m_pszName;
        int m_nPos;
        double m_dMultiplier;
    };
    const SCase cases[] = {
        {"VRes,0.5", 0.5, "", 0, 1.0},
        {"  VRes,0.5", 0.5, "", 0, 1.0},
        {"\tVRes,0.5", 0.5, "", 0, 1.0},
        {"VRes ,0.5", 10.0, "", 0, 1.0}, // the key holds the blank
        {"vres,0.5", 10.0, "", 0, 1.0},
        {"VRes, 0.5", 0.5, "", 0, 1.0},
        {"VRes", 10.0, "", 0, 1.0},
        {"VRes,", 10.0, "", 0, 1.0},
        {"VRes,1e+006", 1e6, "", 0, 1.0},
        {"Name,Probe A, left", 10.0, "Probe A, left", 0, 1.0},
        {"Name, Probe ", 10.0, "Probe ", 0, 1.0},
        {"Pos,1500", 10.0, "", 1000, 1.0},
        {"Pos,-1", 10.0, "", 0, 1.0},
        {"Multiplier,abc", 10.0, "", 0, 1.0},
        {"Multiplier,-0.25", 10.0, "", 0, -0.25},
    };
    for (const SCase& c : cases) {
        for (const char* pszEnd : {"\r\n", "\n"}) {
            SState state;
            state.MakeUnusual();
            const QByteArray text =
                QByteArray("#VSetting,1") + pszEnd + c.m_pszLine + pszEnd + "#END" + pszEnd;
            EXPECT_TRUE(state.LoadText(text));
            const SChannelAttr& attr = state.m_Doc.m_ChannelAttr[0];
            EXPECT_EQ(attr.m_dVRes, c.m_dVRes) << c.m_pszLine;
            EXPECT_EQ(attr.m_strName, QByteArray(c.m_pszName)) << c.m_pszLine;
            EXPECT_EQ(attr.m_nPos, c.m_nPos) << c.m_pszLine;
            EXPECT_EQ(attr.m_dMultiplier, c.m_dMultiplier) << c.m_pszLine;
            // keys the section lacks are back at their defaults
            EXPECT_EQ(attr.m_dAddend, 0.0);
            EXPECT_EQ(attr.m_strUnit, QByteArray());
            EXPECT_EQ(attr.m_crColor, 0u);
        }
    }
}

TEST(SettingsFile, SectionMarkersAndEnds) {
    struct SCase {
        const char* m_pszText;
        int m_nChannel;   // channel (0..7) whose record is checked
        double m_dVRes;   // its expected VRes
        int m_nPos;       // and Pos
        int m_nUntouched; // a channel that must keep its old record, or -1
    };
    const SCase cases[] = {
        {"#VSetting\nVRes,2\n#END\n", 0, 2.0, 0, 1},
        {"#VSetting,\nVRes,2\n#END\n", 0, 2.0, 0, 1},
        {"#VSetting,0\nVRes,2\n#END\n", 0, 2.0, 0, 1},
        {"#VSetting,-4\nVRes,2\n#END\n", 0, 2.0, 0, 1},
        {"#VSetting,12\nVRes,2\n#END\n", 7, 2.0, 0, 6},
        {"#VSetting,3x\nVRes,2\n#END\n", 2, 2.0, 0, 3},
        {"  #VSetting, 4\nVRes,2\n#END\n", 3, 2.0, 0, 2},
        // "#END " and "#end" do not end the section
        {"#VSetting,2\nVRes,2\n#END \nVRes,3\n#end\nPos,5\n#END\nVRes,7\n", 1, 3.0, 5, 0},
        // section left open at the end of the file is still applied
        {"#VSetting,2\nVRes,4\nPos,6", 1, 4.0, 6, 0},
        // a missing "#END": channel 2's lines land in channel 1's section
        {"#VSetting,1\nVRes,2\n#VSetting,2\nVRes,3\nPos,7\n#END\n", 0, 3.0, 7, 1},
        // repeated sections: the later one wins
        {"#VSetting,6\nVRes,2\n#END\n#VSetting,6\nPos,9\n#END\n", 5, 10.0, 9, 4},
        // key lines outside any section are ignored
        {"VRes,5\n#END\n#VSetting,8\nPos,1\n#END\n", 7, 10.0, 1, 0},
    };
    for (const SCase& c : cases) {
        SState before;
        before.MakeUnusual();
        SState state;
        state.MakeUnusual();
        EXPECT_TRUE(state.LoadText(c.m_pszText));
        EXPECT_EQ(state.m_Doc.m_ChannelAttr[c.m_nChannel].m_dVRes, c.m_dVRes) << c.m_pszText;
        EXPECT_EQ(state.m_Doc.m_ChannelAttr[c.m_nChannel].m_nPos, c.m_nPos) << c.m_pszText;
        if (c.m_nUntouched >= 0) {
            EXPECT_EQ(state.m_Doc.m_ChannelAttr[c.m_nUntouched],
                      before.m_Doc.m_ChannelAttr[c.m_nUntouched])
                << c.m_pszText;
        }
        EXPECT_EQ(state.m_Doc.m_nChannels, 5) << c.m_pszText; // no "#Setting": store kept
        EXPECT_EQ(state.m_Doc.m_LogData[0].m_nCount, 1) << c.m_pszText;
    }
}

TEST(SettingsFile, ChannelSectionStartsFromDefaultsWithTheChannelColour) {
    SState state;
    state.MakeUnusual();
    EXPECT_TRUE(state.LoadText("#VSetting,5\nName,five\n#END\n"));
    SChannelAttr expected;
    expected.m_strName = "five";
    expected.m_crColor = 255;
    EXPECT_EQ(state.m_Doc.m_ChannelAttr[4], expected);
}

TEST(SettingsFile, ChannelCountAndResolutionSections) {
    const struct {
        const char* m_pszText;
        int m_nChannels;
        int m_nCount; // samples left in channel 0
        int m_nRes;
    } cases[] = {
        {"#Setting\n#END\n", 2, 0, 333},
        {"#Setting\nChannels,9\n#END\n", 8, 0, 333},
        {"#Setting\nChannels,0\n#END\n", 1, 0, 333},
        {"#Setting\nChannels,3", 3, 0, 333},
        {"#HSetting\n#END\n", 5, 1, 100},
        {"#HSetting\nRes,0\n#END\n", 5, 1, 1},
        {"#HSetting\nRes,20000\n#END\n", 5, 1, 10000},
        {"#HSetting\nRes,2500\n#END\n#Setting\nChannels,4\n#END\n", 4, 0, 2500},
    };
    for (const auto& c : cases) {
        SState state;
        state.MakeUnusual();
        EXPECT_TRUE(state.LoadText(c.m_pszText));
        EXPECT_EQ(state.m_Doc.m_nChannels, c.m_nChannels) << c.m_pszText;
        EXPECT_EQ(state.m_Doc.m_LogData[0].m_nCount, c.m_nCount) << c.m_pszText;
        EXPECT_EQ(state.m_nSamplesPerDiv, c.m_nRes) << c.m_pszText;
    }
}

TEST(SettingsFile, CommSectionStoresUncheckedLowBytes) {
    SState state;
    state.MakeUnusual();
    EXPECT_TRUE(state.LoadText("#Comm\nByteSize,264\nParity,9\nPort,0\n#END\n"));
    EXPECT_EQ(state.m_Comm.m_nByteSize, 8);
    EXPECT_EQ(state.m_Comm.m_nParity, 9);
    EXPECT_EQ(state.m_Comm.m_nPort, 0);
    EXPECT_EQ(state.m_Comm.m_nBaudRate, 4800u); // missing keys leave the setting as it was
    EXPECT_EQ(state.m_Comm.m_nStopBits, 2);
}

TEST(SettingsFile, LongNameIsCutAtTheReadBuffer) {
    SState state;
    SChannelAttr attr = state.m_Doc.m_ChannelAttr[0];
    attr.m_strName = QByteArray(600, 'n');
    attr.m_nPos = 42;
    state.m_Doc.SetChannelAttr(0, attr);
    const QByteArray text = state.SavedText();
    EXPECT_TRUE(text.contains("\r\nName," + QByteArray(600, 'n') + "\r\nPos,42\r\n"));
    SState loaded;
    loaded.MakeUnusual();
    EXPECT_TRUE(loaded.LoadText(text));
    EXPECT_EQ(loaded.m_Doc.m_ChannelAttr[0].m_strName, QByteArray(506, 'n'));
    EXPECT_EQ(loaded.m_Doc.m_ChannelAttr[0].m_nPos, 42); // the rest of the line was skipped
}

TEST(SettingsFile, NothingChangesWithoutSectionsOrWithoutFile) {
    SState state;
    state.MakeUnusual();
    SState before;
    before.MakeUnusual();
    EXPECT_TRUE(state.LoadText("hello\nPort,3\n#END\nChannels,7\n"));
    ExpectSameSettings(state, before);
    EXPECT_TRUE(state.LoadText(""));
    ExpectSameSettings(state, before);
    QTemporaryDir dir;
    EXPECT_FALSE(state.Load(dir.filePath(QStringLiteral("missing.cfg"))));
    EXPECT_FALSE(state.Load(dir.path()));
    ExpectSameSettings(state, before);
}

TEST(SettingsFile, PipesAndDevicesAreRefusedLikeAFileThatCannotBeOpened) {
    QTemporaryDir dir;
    const auto files = MakeSpecialFiles(dir.path().toStdString());
    ASSERT_FALSE(files.empty());
    for (const SSpecialFile& file : files) {
        // In a child, so that a load that blocks on the pipe or reads the device for ever fails
        // the test instead of hanging it.
        const int nStatus = RunInChildWithDeadline(
            [&]() {
                SState state;
                state.MakeUnusual();
                SState before;
                before.MakeUnusual();
                if (state.Load(QString::fromStdString(file.m_strPath)))
                    return 1;
                const bool bSame = state.m_Comm.m_nPort == before.m_Comm.m_nPort &&
                                   state.m_Doc.m_nChannels == before.m_Doc.m_nChannels &&
                                   state.m_Doc.m_LogData[0].m_nCount == 1 &&
                                   state.m_Doc.m_ChannelAttr[3] == before.m_Doc.m_ChannelAttr[3];
                return bSame ? 0 : 2;
            },
            10);
        EXPECT_EQ(nStatus, 0) << file.m_pszName << " (-1: blocked or endless, 1: loaded)";
    }
}

TEST(SettingsFile, SaveThenLoadRoundsToSixDigitsAndDropsLeadingBlanks) {
    SState state;
    state.MakeUnusual();
    SChannelAttr attr = state.m_Doc.m_ChannelAttr[2];
    attr.m_dVRes = 0.1234567;
    attr.m_dMultiplier = 1e-9;
    attr.m_dOffset = 1234567.0;
    attr.m_strName = "  lead";
    attr.m_strUnit = "\tunit";
    state.m_Doc.SetChannelAttr(2, attr);

    SState loaded;
    EXPECT_TRUE(loaded.LoadText(state.SavedText()));

    SState expected;
    expected.MakeUnusual();
    expected.m_Doc.ResetLogData(); // the "#Setting" section empties the store
    attr.m_dVRes = 0.123457;
    attr.m_dOffset = 1.23457e6;
    attr.m_strName = "lead";
    attr.m_strUnit = "unit";
    expected.m_Doc.SetChannelAttr(2, attr);
    ExpectSameSettings(loaded, expected);
}

TEST(SettingsFile, MultibyteNamesSurviveLoadAndSave) {
    // Shift-JIS channel 3 name and unit; their trail bytes include 'd' and '\'.
    QByteArray text = ReadBytes(TestDataPath("default_settings.cfg"));
    const QByteArray strSection = "#VSetting,3\r\nVRes,10\r\nUnit,\r\nOffset,0\r\nName,\r\n";
    ASSERT_TRUE(text.contains(strSection));
    text.replace(strSection, "#VSetting,3\r\nVRes,10\r\nUnit,\x81\x8E\x43\r\nOffset,0\r\n"
                             "Name,\x93\x64\x88\xb3\x95\x5c\x8e\xa6, 2\r\n");
    SState state;
    EXPECT_TRUE(state.LoadText(text));
    EXPECT_EQ(state.m_Doc.m_ChannelAttr[2].m_strName,
              QByteArray("\x93\x64\x88\xb3\x95\x5c\x8e\xa6, 2"));
    EXPECT_EQ(state.SavedText(), text);
}

TEST(SettingsFile, LineBreaksInNamesDoNotSplitTheFile) {
    SState state;
    SChannelAttr attr;
    attr.m_strName = "a\r\n#END\nb";
    state.m_Doc.SetChannelAttr(0, attr);
    const QByteArray text = state.SavedText();
    EXPECT_EQ(text.count("\r\n"), 93);
    EXPECT_EQ(text.count('\n'), 93);
    SState loaded;
    EXPECT_TRUE(loaded.LoadText(text));
    EXPECT_EQ(loaded.m_Doc.m_ChannelAttr[0].m_strName, QByteArray("a  #END b"));
}

TEST(SettingsFile, WriteFailureIsReported) {
    const SState state;
    EXPECT_FALSE(WriteSettingsFile(QStringLiteral("/nonexistent-kest-dir/x.cfg"), state.m_Comm,
                                   state.m_Doc, state.m_nSamplesPerDiv));
}

/// On a full disk the save fails as a whole: no new file, and an existing one kept byte for byte
/// (the whole file fits in one buffered write, which is the write that fails).
TEST(SettingsFile, FullDiskKeepsTheOldFile) {
    SState state;
    state.MakeUnusual();
    for (const bool bExisting : {false, true}) {
        SCOPED_TRACE(bExisting ? "existing file" : "new file");
        CFullTmpfs fs;
        if (!fs.IsMounted())
            GTEST_SKIP() << qPrintable(fs.WhyNot());
        const QString strPath = fs.Path(QStringLiteral("kept.cfg"));
        const QByteArray old = "#Comm\r\nPort=3\r\n#END\r\n";
        if (bExisting) {
            ASSERT_TRUE(WriteBytes(strPath, old));
        }
        ASSERT_TRUE(fs.Fill());
        EXPECT_FALSE(WriteSettingsFile(strPath, state.m_Comm, state.m_Doc, state.m_nSamplesPerDiv));
        EXPECT_EQ(fs.Names(), bExisting ? QStringList{QStringLiteral("kept.cfg")} : QStringList());
        if (bExisting) {
            EXPECT_EQ(ReadBytes(strPath), old);
        }
    }
}

/// A save replaces what is at the name: a new file gets the umask's mode, an existing one keeps
/// its mode, a link is replaced and its target left alone, and no temporary stays behind.
TEST(SettingsFile, SaveReplacesTheNameOnly) {
    enum class EBefore { Nothing, Existing, Link };
    for (const EBefore eBefore : {EBefore::Nothing, EBefore::Existing, EBefore::Link}) {
        SCOPED_TRACE(static_cast<int>(eBefore));
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString strPath = dir.filePath(QStringLiteral("s.cfg"));
        const QString strTarget = dir.filePath(QStringLiteral("target"));
        const QByteArray path = QFile::encodeName(strPath);
        ASSERT_TRUE(WriteBytes(strTarget, "keep"));
        if (eBefore == EBefore::Existing) {
            ASSERT_TRUE(WriteBytes(strPath, "old"));
            ASSERT_EQ(::chmod(path.constData(), 0604), 0);
        } else if (eBefore == EBefore::Link) {
            ASSERT_EQ(::symlink(QFile::encodeName(strTarget).constData(), path.constData()), 0);
        }
        const mode_t nMask = ::umask(027);
        const SState state;
        const bool bOk =
            WriteSettingsFile(strPath, state.m_Comm, state.m_Doc, state.m_nSamplesPerDiv);
        ::umask(nMask);
        ASSERT_TRUE(bOk);
        struct stat st {};
        ASSERT_EQ(::lstat(path.constData(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, eBefore == EBefore::Existing ? 0604u : 0640u);
        EXPECT_EQ(ReadBytes(strTarget), QByteArray("keep"));
        EXPECT_EQ(ReadBytes(strPath), state.SavedText());
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
    }
}

} // namespace
