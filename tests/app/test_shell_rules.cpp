// Window caption, command enablement, path and argument rules of the application shell.
#include "app/command_ids.h"
#include "app/lock_states.h"
#include "app/main_frame.h"
#include "app/command_line.h"
#include "app/window_title.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

/// The render options of a command line, through the program's one parse.
bool ParseRenderArgs(const QStringList& args, SRenderOptions& out, QString& strError) {
    SCommandLine cmd;
    SUsageError error;
    const bool bOk = ParseCommandLine(args, cmd, error);
    out = cmd.m_Render;
    strError = error.m_strText;
    return bOk && cmd.m_nCommand == ECommand::Render;
}

TEST(WindowTitle, CaptionFromPath) {
    struct SCase {
        QString strPath;
        const char* pszCaption;
    };
    const SCase cases[] = {
        {QString(), "KEST"},
        {QStringLiteral(""), "KEST"},
        {QStringLiteral("run.csv"), "KEST-run.csv"},
        {QStringLiteral("logs\\run01.csv"), "KEST-run01.csv"},
        {QStringLiteral("logs\\run01"), "KEST-run01"},
        {QStringLiteral("/data/a.b\\file"), "KEST-file"},
        {QStringLiteral("C:run.csv"), "KEST-run.csv"},
        {QStringLiteral("/home/u/x.csv"), "KEST-x.csv"},
        {QStringLiteral("/home/u/a.b.csv"), "KEST-a.b.csv"},
        {QStringLiteral("/mixed\\dir/ログ.csv"), "KEST-ログ.csv"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(MakeWindowTitle(c.strPath), QString::fromUtf8(c.pszCaption))
            << qPrintable(c.strPath);
}

TEST(CommandRules, EnabledAndCheckedByLoggingState) {
    // {id, enabled idle, enabled logging}
    const int table[][3] = {
        {ID_FILE_OPEN, 1, 0},          {ID_SET_CHANNELS, 1, 0},     {ID_SET_COMM, 1, 0},
        {ID_LOAD_SETTING, 1, 0},       {ID_VIEW_HOLD, 0, 1},        {ID_FILE_LOGGING, 1, 1},
        {ID_VIEW_CURSOR, 1, 1},        {ID_SAVE_SETTING, 1, 1},     {ID_SET_INPUTDATA, 1, 1},
        {ID_SET_HORIZ, 1, 1},          {ID_FILE_PRINT, 1, 1},       {ID_FILE_METAFILE, 1, 1},
        {ID_FILE_PRINT_PREVIEW, 1, 1}, {ID_FILE_PRINT_SETUP, 1, 1}, {ID_APP_EXIT, 1, 1},
        {ID_HELP_FINDER, 1, 1},        {ID_APP_ABOUT, 1, 1},        {ID_VIEW_TOOLBAR, 1, 1},
        {ID_VIEW_STATUS_BAR, 1, 1},    {ID_SET_PUBLISH, 1, 0},
    };
    SCommandFlags idle;
    SCommandFlags logging;
    logging.m_bLogging = true;
    for (const auto& row : table) {
        EXPECT_EQ(IsCommandEnabled(row[0], idle), row[1] != 0) << row[0];
        EXPECT_EQ(IsCommandEnabled(row[0], logging), row[2] != 0) << row[0];
    }
}

TEST(CommandRules, CheckMarksFollowFlags) {
    SCommandFlags f;
    f.m_bLogging = false;
    f.m_bHold = false;
    f.m_bCursor = false;
    f.m_bToolBarVisible = false;
    f.m_bStatusBarVisible = false;
    const int nChecked[] = {ID_FILE_LOGGING, ID_VIEW_HOLD, ID_VIEW_CURSOR, ID_VIEW_TOOLBAR,
                            ID_VIEW_STATUS_BAR};
    for (int nId : nChecked)
        EXPECT_FALSE(IsCommandChecked(nId, f)) << nId;
    f = {true, true, true, true, true};
    for (int nId : nChecked)
        EXPECT_TRUE(IsCommandChecked(nId, f)) << nId;
    // Commands without a check rule never show one, whatever the state.
    for (int nId : {ID_FILE_OPEN, ID_SET_CHANNELS, ID_SAVE_SETTING, ID_APP_ABOUT})
        EXPECT_FALSE(IsCommandChecked(nId, f)) << nId;
}

TEST(AppPaths, ManualIsFoundBesideOrAboveTheExecutable) {
    const QStringList candidates = ManualCandidates(QStringLiteral("/work/main/build"));
    EXPECT_TRUE(candidates.contains(QStringLiteral("/work/main/build/manual.html")));
    EXPECT_TRUE(candidates.contains(QStringLiteral("/work/main/build/../docs/manual.html")));
}

TEST(LockIndicators, ReadFromKeyboardLeds) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto writeLed = [&](const char* pszName, const char* pszValue) {
        QDir(dir.path()).mkpath(QString::fromLatin1(pszName));
        QFile f(dir.filePath(QString::fromLatin1(pszName) + QStringLiteral("/brightness")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(pszValue);
    };
    SLockStates s = ReadLockStates(dir.path());
    EXPECT_FALSE(s.m_bCaps || s.m_bNum || s.m_bScroll);
    writeLed("input3::capslock", "1\n");
    writeLed("input3::numlock", "0\n");
    writeLed("input3::scrolllock", "0\n");
    s = ReadLockStates(dir.path());
    EXPECT_TRUE(s.m_bCaps);
    EXPECT_FALSE(s.m_bNum);
    EXPECT_FALSE(s.m_bScroll);
    // Any keyboard with the lock on counts.
    writeLed("input7::numlock", "1\n");
    EXPECT_TRUE(ReadLockStates(dir.path()).m_bNum);
}

TEST(RenderArgs, Accepted) {
    SRenderOptions a;
    QString strError;
    ASSERT_TRUE(
        ParseRenderArgs({"--render", "o.png", "--size", "1600x1000", "in.csv"}, a, strError))
        << qPrintable(strError);
    EXPECT_EQ(a.m_strOut, QStringLiteral("o.png"));
    EXPECT_EQ(a.m_cx, 1600);
    EXPECT_EQ(a.m_cy, 1000);
    EXPECT_EQ(a.m_nChannels, 0);
    EXPECT_EQ(a.m_strCsv, QStringLiteral("in.csv"));
    ASSERT_TRUE(ParseRenderArgs({"in.csv", "--channels", "8", "--size", "1X1", "--render", "o.PNG"},
                                a, strError));
    EXPECT_EQ(a.m_nChannels, 8);
    EXPECT_EQ(a.m_cx, 1);
    // The format follows the extension; a metafile is 1600 x 1000 unless told otherwise, a PDF
    // takes its page instead of a size.
    ASSERT_TRUE(ParseRenderArgs({"--render", "o.emf", "in.csv"}, a, strError));
    EXPECT_EQ(a.m_nFormat, ERenderFormat::Emf);
    EXPECT_EQ(QSize(a.m_cx, a.m_cy), QSize(1600, 1000));
    ASSERT_TRUE(ParseRenderArgs({"--render", "o.svg", "--size", "30x20", "in.csv"}, a, strError));
    EXPECT_EQ(a.m_nFormat, ERenderFormat::Svg);
    ASSERT_TRUE(ParseRenderArgs({"--render", "o.pdf", "--page", "letter", "--landscape", "in.csv"},
                                a, strError));
    EXPECT_EQ(a.m_nFormat, ERenderFormat::Pdf);
    EXPECT_EQ(a.m_nPage, QPageSize::Letter);
    EXPECT_TRUE(a.m_bLandscape);
}

TEST(RenderArgs, Rejected) {
    const QStringList bad[] = {
        {"--render", "o.png", "in.csv"},
        {"--render", "o.png", "--size", "0x10", "in.csv"},
        {"--render", "o.png", "--size", "10x", "in.csv"},
        {"--render", "o.png", "--size", "-5x10", "in.csv"},
        {"--render", "o.png", "--size", "30000x10", "in.csv"},
        {"--render", "o.png", "--size", "10x10"},
        {"--render", "o.png", "--size", "10x10", "a.csv", "b.csv"},
        {"--render", "o.png", "--size", "10x10", "--channels", "9", "a.csv"},
        {"--render", "o.png", "--size", "10x10", "--channels", "x", "a.csv"},
        {"--render", "o.png", "--size", "10x10", "--bogus", "a.csv"},
        {"--render"},
        {"--render", "o", "--size", "10x10", "a.csv"},
        {"--render", "o.jpg", "--size", "10x10", "a.csv"},
        {"--render", "o.svg", "a.csv"},
        {"--render", "o.pdf", "--size", "10x10", "a.csv"},
        {"--render", "o.pdf", "--page", "A3", "a.csv"},
        {"--render", "o.png", "--size", "10x10", "--landscape", "a.csv"},
        {"--render", "a.png", "--render", "b.png", "--size", "10x10", "a.csv"},
    };
    for (const QStringList& args : bad) {
        SRenderOptions a;
        QString strError;
        EXPECT_FALSE(ParseRenderArgs(args, a, strError)) << qPrintable(args.join(' '));
        EXPECT_FALSE(strError.isEmpty());
    }
}

} // namespace
