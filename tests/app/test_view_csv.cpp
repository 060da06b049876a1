// CSV viewing through the view's open command: rows, latest values, caption and failures.
#include "app_test_util.h"

#include "app/command_ids.h"
#include "dialogs/string_table.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

void WriteFile(const QString& strPath, const QByteArray& bytes) {
    QFile f(strPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(ViewCsv, RowsAndLatestValues) {
    const QByteArray line1022 = "7,8," + QByteArray(1018, 'x');
    const QByteArray line1021 = "7,8," + QByteArray(1017, 'x');
    struct SCase {
        const char* pszName;
        QByteArray content;
        int nChannels;
        int nRows;
        std::vector<double> latest;
    };
    const SCase cases[] = {
        {"empty.csv", "", 2, 0, {0.0, 0.0}},
        {"three.csv", "1,2\n3,4\n5,6\n", 2, 3, {5.0, 6.0}},
        {"noend.csv", "1,2\n3,4", 2, 2, {3.0, 4.0}},
        {"crlf.CSV", "1,2\r\n-3.5,4e2\r\n", 2, 2, {-3.5, 400.0}},
        {"long1022.csv", line1022 + "\n", 2, 2, {0.0, 0.0}},
        {"long1021.csv", line1021 + "\n", 2, 1, {7.0, 8.0}},
        {"morefields.csv", "1,2,3,4\n", 2, 1, {1.0, 2.0}},
        {"fewerfields.csv", "9\n", 3, 1, {9.0, 0.0, 0.0}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        SViewFixture fx;
        fx.m_Doc.InitLogData(c.nChannels, 65536, 65536);
        // Stale values must not survive an open.
        for (double& d : fx.m_pView->m_Graph.m_dLatest)
            d = 99.0;
        const QString strPath = fx.Path(c.pszName);
        WriteFile(strPath, c.content);
        fx.m_strNextPick = strPath;
        ASSERT_TRUE(fx.m_pView->RunCommand(ID_FILE_OPEN));
        ASSERT_EQ(fx.m_Requests.size(), 1);
        EXPECT_FALSE(fx.m_Requests[0].m_bSave);
        EXPECT_EQ(fx.m_Requests[0].m_strTitle, LoadKestString(IDS_CSV_OPEN_TITLE));
        EXPECT_EQ(fx.m_Requests[0].m_strFilterName, QStringLiteral("CSV file(*.csv)"));
        for (int i = 0; i < c.nChannels; ++i) {
            EXPECT_EQ(fx.m_Doc.m_LogData[i].m_nCount, c.nRows) << i;
            EXPECT_DOUBLE_EQ(fx.m_pView->m_Graph.m_dLatest[i], c.latest[i]) << i;
        }
        EXPECT_EQ(fx.m_pView->m_strLogPath, strPath);
        EXPECT_EQ(fx.m_pView->window()->windowTitle(),
                  QStringLiteral("KEST-") + QString::fromUtf8(c.pszName));
    }
}

TEST(ViewCsv, CancelChangesNothing) {
    SViewFixture fx;
    const double row[8] = {1, 2};
    fx.m_Doc.AddRow(row);
    fx.m_pView->window()->setWindowTitle(QStringLiteral("KEST-old.csv"));
    fx.m_strNextPick.clear();
    fx.m_pView->RunCommand(ID_FILE_OPEN);
    EXPECT_EQ(fx.m_Doc.m_LogData[0].m_nCount, 1);
    EXPECT_EQ(fx.m_pView->window()->windowTitle(), QStringLiteral("KEST-old.csv"));
}

TEST(ViewCsv, UnreadableFileShowsMessageAndEmptiesStore) {
    SViewFixture fx;
    const double row[8] = {1, 2};
    fx.m_Doc.AddRow(row);
    fx.m_pView->m_strLogPath = QStringLiteral("/earlier/log.csv");
    fx.m_strNextPick = fx.Path("missing.csv");
    CBoxAnswerer answerer;
    fx.m_pView->RunCommand(ID_FILE_OPEN);
    EXPECT_EQ(answerer.Texts(), QStringList{LoadKestString(IDS_ERR_CSV_OPEN)});
    EXPECT_EQ(fx.m_Doc.m_LogData[0].m_nCount, 0);
    EXPECT_EQ(fx.m_pView->window()->windowTitle(), QStringLiteral("KEST"));
    EXPECT_EQ(fx.m_pView->m_strLogPath, QStringLiteral("/earlier/log.csv"));
}

TEST(ViewCsv, ReadFailingPartWayIsReported) {
    if (!QFile::exists("/proc/self/mem"))
        GTEST_SKIP() << "no /proc";
    SViewFixture fx;
    // Opens as a regular file and fails on the first read.
    fx.m_strNextPick = QStringLiteral("/proc/self/mem");
    CBoxAnswerer answerer;
    fx.m_pView->RunCommand(ID_FILE_OPEN);
    EXPECT_EQ(answerer.Texts(), QStringList{LoadKestString(IDS_ERR_CSV_READ)});
    EXPECT_EQ(fx.m_pView->m_strLogPath, QStringLiteral("/proc/self/mem"));
}

TEST(ViewCsv, OpenFromPathUsesTheSameFlow) {
    SViewFixture fx;
    const QString strPath = fx.Path("dropped.csv");
    WriteFile(strPath, "4,5\n6,7\n");
    EXPECT_TRUE(fx.m_pView->OpenCsvFile(strPath));
    EXPECT_EQ(fx.m_Doc.m_LogData[1].m_nCount, 2);
    EXPECT_DOUBLE_EQ(fx.m_pView->m_Graph.m_dLatest[1], 7.0);
    EXPECT_EQ(fx.m_pView->window()->windowTitle(), QStringLiteral("KEST-dropped.csv"));
    EXPECT_TRUE(fx.m_Requests.isEmpty());
}

} // namespace
