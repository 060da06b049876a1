// The statistics window and the following of a growing file, as the view drives them.
#include "app_test_util.h"

#include "app/command_ids.h"
#include "dialogs/stats_dlg.h"
#include "dialogs/string_table.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

namespace {

QString Cell(const CStatsDlg& dlg, int nRow, int nColumn) {
    const QTableWidgetItem* pItem = dlg.m_pTable->item(nRow, nColumn);
    return pItem ? pItem->text() : QStringLiteral("<none>");
}

// Columns after channel, name and unit: count, left out, min, max, p-p, mean, RMS, sd, indexes.
constexpr int kCount = 3, kNonFinite = 4, kMin = 5, kMax = 6, kMean = 8, kMinAt = 11, kMaxAt = 12;

TEST(ViewStats, FollowsCursorsAndDataButNotAHoldAndCopiesATable) {
    SViewFixture fx;
    fx.m_Doc.InitLogData(2, 65536, 65536);
    SChannelAttr attr = fx.m_Doc.GetChannelAttr(1);
    attr.m_dMultiplier = 2.0;
    attr.m_dAddend = 1.0;
    attr.m_strUnit = "mV";
    attr.m_strName = "tab\there";
    fx.m_Doc.SetChannelAttr(1, attr);
    for (int i = 0; i < 100; ++i) {
        const double row[8] = {double(i), i == 50 ? HUGE_VAL : double(i % 10)};
        fx.m_Doc.AddRow(row);
    }
    CkestView& view = *fx.m_pView;
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.m_Graph.m_bCursor = true;
    // Cur2 left of Cur1: the range runs from the lower to the higher.
    view.m_Graph.m_ptCursor[0] = {60, 0};
    view.m_Graph.m_ptCursor[1] = {40, 0};
    ASSERT_TRUE(view.RunCommand(ID_VIEW_STATS));
    ASSERT_NE(view.m_pStatsDlg, nullptr);
    const CStatsDlg& dlg = *view.m_pStatsDlg;
    ASSERT_TRUE(dlg.isVisible());
    ASSERT_EQ(dlg.m_pTable->rowCount(), 2);
    EXPECT_EQ(dlg.m_pRange->text(), LoadKestString(IDS_STATS_RANGE_CURSORS).arg(40).arg(60));
    // CH1: 40..60; CH2 (x2+1): 40..60 with sample 50 not finite.
    const struct {
        int nRow, nColumn;
        QString strText;
    } cells[] = {
        {0, kCount, "21"},   {0, kMin, "40"},   {0, kMax, "60"},   {0, kMean, "50"},
        {0, kMinAt, "40"},   {0, kMaxAt, "60"}, {1, kCount, "20"}, {1, kNonFinite, "1"},
        {1, kMin, "1mV"},    {1, kMax, "19mV"}, {1, kMinAt, "40"}, {1, kMaxAt, "49"},
        {1, 1, "tab\there"}, {1, 2, "mV"},      {0, 0, "CH1"},
    };
    for (const auto& c : cells)
        EXPECT_EQ(Cell(dlg, c.nRow, c.nColumn), c.strText) << c.nRow << "," << c.nColumn;

    // A moved cursor and new data show at the next frame.
    view.m_Graph.m_ptCursor[1] = {0, 0};
    const double row[8] = {-5, 0};
    fx.m_Doc.AddRow(row);
    view.repaint();
    EXPECT_EQ(Cell(dlg, 0, kCount), "61");
    view.m_Graph.m_bCursor = false;
    view.repaint();
    EXPECT_EQ(Cell(dlg, 0, kCount), "101");
    EXPECT_EQ(Cell(dlg, 0, kMin), "-5");
    EXPECT_EQ(dlg.m_pRange->text(), LoadKestString(IDS_STATS_RANGE_WINDOW).arg(0).arg(100));

    // Held, rows arriving stay out.
    view.m_Graph.SetHold(true);
    fx.m_Doc.AddRow(row);
    view.repaint();
    EXPECT_EQ(Cell(dlg, 0, kCount), "101");
    view.m_Graph.SetHold(false);

    // The copy is the table as shown, tab-separated, a tab inside a name made harmless.
    view.m_pStatsDlg->OnCopy();
    const QStringList lines = QGuiApplication::clipboard()->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4); // header, two rows, the empty rest after the last line end
    EXPECT_EQ(lines[0], LoadKestString(IDS_STATS_HEADERS));
    const qsizetype nTabs = lines[0].count(QLatin1Char('\t'));
    EXPECT_EQ(lines[1].count(QLatin1Char('\t')), nTabs);
    EXPECT_EQ(lines[2].count(QLatin1Char('\t')), nTabs);
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("CH2\ttab here\tmV\t100\t1\t")))
        << lines[2].toStdString();

    // Closed, it is not filled any more.
    view.m_pStatsDlg->close();
    fx.m_Doc.AddRow(row);
    view.repaint();
    EXPECT_EQ(Cell(dlg, 0, kCount), "101");
}

TEST(ViewFollow, AppendedRowsArriveARewriteIsToldAndADeletionEndsIt) {
    SViewFixture fx;
    fx.m_Doc.InitLogData(2, 65536, 65536);
    const QString strPath = fx.Path("grow.csv");
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("1,2\r\n3,4\r\n");
    file.flush();
    CkestView& view = *fx.m_pView;
    EXPECT_FALSE(view.IsEnabled(ID_VIEW_FOLLOW)) << "nothing viewed yet";
    ASSERT_TRUE(view.OpenCsvFile(strPath));
    ASSERT_TRUE(view.IsEnabled(ID_VIEW_FOLLOW));
    ASSERT_TRUE(view.RunCommand(ID_VIEW_FOLLOW));
    EXPECT_TRUE(view.IsFollowing());
    EXPECT_TRUE(view.IsEnabled(ID_VIEW_HOLD));

    // Half a line waits for its end.
    file.write("5,6\r\n7,");
    file.flush();
    ASSERT_TRUE(WaitUntil([&] { return fx.m_Doc.m_LogData[0].m_nCount == 3; }));
    file.write("8\r\n");
    file.flush();
    ASSERT_TRUE(WaitUntil([&] { return fx.m_Doc.m_LogData[0].m_nCount == 4; }));
    EXPECT_EQ(fx.m_Doc.m_LogData[1].m_pData[3], 8.0);
    EXPECT_EQ(view.m_Graph.m_dLatest[0], 7.0);

    QSignalSpy notices(&view, &CkestView::StatusNotice);
    file.resize(0);
    file.seek(0);
    file.write("9,9\r\n");
    file.flush();
    ASSERT_TRUE(WaitUntil([&] { return notices.count() > 0; }));
    // The text begins with the time (%1).
    EXPECT_TRUE(
        notices[0][0].toString().endsWith(LoadKestString(IDS_STATUS_FOLLOW_RESTARTED).mid(2)))
        << notices[0][0].toString().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return fx.m_Doc.m_LogData[0].m_nCount == 1; }));

    CBoxAnswerer answerer;
    file.close();
    ASSERT_TRUE(QFile::remove(strPath));
    ASSERT_TRUE(WaitUntil([&] { return !answerer.m_Boxes.isEmpty(); }, 10000));
    EXPECT_EQ(answerer.m_Boxes[0].m_strText, LoadKestString(IDS_ERR_FOLLOW_VANISHED));
    EXPECT_FALSE(view.IsFollowing());
    EXPECT_FALSE(view.IsEnabled(ID_VIEW_FOLLOW));
}

} // namespace
