#include "acquisition/latest_row.h"
#include "acquisition/line_intake.h"

#include "acquisition/line_source.h"
#include "acquisition/log_file.h"
#include "acquisition/log_store.h"

#include "byte_limit.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

/// Lines held in memory; can complete extra lines in the middle of a drain the way the reader
/// thread would, without a notification because the flag is still set.
class CMemorySource : public CLineSource {
public:
    int GetLineCount() override { return static_cast<int>(m_lines.size()); }
    int ReadLine(char* dst, int size) override {
        m_nLastLimit = size;
        if (m_lines.empty()) {
            dst[0] = '\0';
            return 0;
        }
        const std::string s = m_lines.front();
        m_lines.pop_front();
        const int n = std::min<int>(static_cast<int>(s.size()), size - 1);
        std::memcpy(dst, s.data(), static_cast<size_t>(n));
        dst[n] = '\0';
        if (m_lines.empty() && !m_duringDrain.empty()) {
            m_lines.push_back(m_duringDrain.front());
            m_duringDrain.erase(m_duringDrain.begin());
        }
        return n;
    }
    void ClearNotified() override {
        m_bNotified = false;
        ++m_nClears;
        if (!m_afterClear.empty()) {
            m_lines.push_back(m_afterClear.front());
            m_afterClear.erase(m_afterClear.begin());
        }
    }

    std::deque<std::string> m_lines;
    std::vector<std::string> m_duringDrain; ///< one completes each time the queue runs dry
    std::vector<std::string> m_afterClear;  ///< one completes right after each clear
    bool m_bNotified = true;
    int m_nClears = 0;
    int m_nLastLimit = 0;
};

std::string ReadAll(const QString& strPath) {
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<unreadable>";
}

std::vector<double> Row(const CLogStore& store, int nRow) {
    std::vector<double> row;
    for (int i = 0; i < store.m_nChannels; ++i)
        row.push_back(store.m_LogData[i].m_pData[nRow]);
    return row;
}

// How a line becomes values is tested with ParseLineToRow (test_parse_csv.cpp); here each line
// must reach the store as one row, the latest values and the log unchanged.
TEST(LineIntake, LinesBecomeRowsAndLogRecords) {
    const struct {
        int nChannels;
        std::string strLine;
        std::vector<double> row;
    } cases[] = {
        {2, "1,2,3,4", {1, 2}},
        {2, "", {0, 0}},
        {2, std::string(200, '1') + ",5", {1.1111111111111111e126, 1.1111111111111111e72}},
        {8, "1,2,3,4,5,6,7,8,9", {1, 2, 3, 4, 5, 6, 7, 8}},
        {1, "-2.5e-3V,9", {-0.0025}},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        CLogStore store;
        ASSERT_TRUE(store.InitLogData(c.nChannels, 65536, 65536));
        CMemorySource source;
        source.m_lines.push_back(c.strLine);
        CLogFile log;
        ASSERT_TRUE(log.Open(dir.filePath("intake.csv")));
        SLatestRow latest{{}};
        CLineIntake intake;
        EXPECT_EQ(intake.OnCommData(source, store, &log, false, &latest), 1);
        ASSERT_EQ(store.m_LogData[0].m_nCount, 1) << c.strLine;
        const std::vector<double> row = Row(store, 0);
        ASSERT_EQ(row.size(), c.row.size());
        for (size_t i = 0; i < row.size(); ++i) {
            EXPECT_DOUBLE_EQ(row[i], c.row[i]) << c.strLine << " channel " << i;
            EXPECT_EQ(latest[i], row[i]);
        }
        // Written and flushed by the intake itself, before the file is closed.
        EXPECT_EQ(ReadAll(dir.filePath("intake.csv")), c.strLine + "\r\n");
        EXPECT_FALSE(source.m_bNotified);
        EXPECT_EQ(source.m_nLastLimit, 1023);
    }
}

TEST(LineIntake, HoldKeepsLatestButStoresRows) {
    CLogStore store;
    ASSERT_TRUE(store.InitLogData(2, 65536, 65536));
    CLineIntake intake;
    SLatestRow latest{{0, 0, 0, 0, 0, 0, 0, 42}};
    CMemorySource source;
    source.m_lines = {"1,2", "3,4"};
    intake.OnCommData(source, store, nullptr, false, &latest);
    EXPECT_EQ(latest[0], 3);
    EXPECT_EQ(latest[1], 4);
    EXPECT_EQ(latest[2], 0); // inactive channels untouched
    EXPECT_EQ(latest[7], 42);
    source.m_lines = {"5,6", "7,8"};
    intake.OnCommData(source, store, nullptr, true, &latest);
    EXPECT_EQ(latest[0], 3);
    EXPECT_EQ(latest[1], 4);
    ASSERT_EQ(store.m_LogData[0].m_nCount, 4);
    EXPECT_EQ(Row(store, 3), (std::vector<double>{7, 8}));
}

TEST(LineIntake, NoWaitingLinesOnlyClearsTheFlag) {
    CLogStore store;
    ASSERT_TRUE(store.InitLogData(2, 65536, 65536));
    QTemporaryDir dir;
    CLogFile log;
    ASSERT_TRUE(log.Open(dir.filePath("empty.csv")));
    CMemorySource source;
    SLatestRow latest{{1, 2}};
    CLineIntake intake;
    EXPECT_EQ(intake.OnCommData(source, store, &log, false, &latest), 0);
    EXPECT_FALSE(source.m_bNotified);
    EXPECT_EQ(source.m_nClears, 1);
    EXPECT_EQ(store.m_LogData[0].m_nCount, 0);
    EXPECT_EQ(latest[0], 1);
    log.Close();
    EXPECT_EQ(ReadAll(dir.filePath("empty.csv")), "");
}

TEST(LineIntake, LinesCompletedDuringTheDrainAreNotLeftWaiting) {
    const struct {
        const char* pszName;
        std::vector<std::string> during, after;
        int nExpected;
    } cases[] = {
        {"while reading", {"3,3"}, {}, 3},
        {"right after the clear", {}, {"3,3", "4,4"}, 4},
        {"both", {"3,3"}, {"4,4"}, 4},
    };
    for (const auto& c : cases) {
        CLogStore store;
        ASSERT_TRUE(store.InitLogData(2, 65536, 65536));
        CMemorySource source;
        source.m_lines = {"1,1", "2,2"};
        source.m_duringDrain = c.during;
        source.m_afterClear = c.after;
        SLatestRow latest{{}};
        CLineIntake intake;
        EXPECT_EQ(intake.OnCommData(source, store, nullptr, false, &latest), c.nExpected)
            << c.pszName;
        EXPECT_EQ(source.GetLineCount(), 0) << c.pszName;
        EXPECT_FALSE(source.m_bNotified);
        ASSERT_EQ(store.m_LogData[1].m_nCount, c.nExpected);
        for (int r = 0; r < c.nExpected; ++r)
            EXPECT_EQ(store.m_LogData[1].m_pData[r], r + 1.0) << c.pszName;
        EXPECT_EQ(latest[0], c.nExpected);
    }
}

TEST(LineIntake, ClosedLogStillFillsTheStore) {
    CLogStore store;
    ASSERT_TRUE(store.InitLogData(2, 65536, 65536));
    CLogFile closed;
    CMemorySource source;
    source.m_lines = {"1,2"};
    SLatestRow latest{{}};
    CLineIntake intake;
    EXPECT_EQ(intake.OnCommData(source, store, &closed, false, &latest), 1);
    EXPECT_EQ(store.m_LogData[0].m_nCount, 1);
}

TEST(LineIntake, RefusedRowsAreReportedOnceAndStillLogged) {
    CByteLimit limit;
    CLogStore store(limit);
    ASSERT_TRUE(store.InitLogData(2, 1024, 1024));
    limit.Set(store.m_LogData[1], 1024 * sizeof(double));
    QTemporaryDir dir;
    CLogFile log;
    ASSERT_TRUE(log.Open(dir.filePath("full.csv")));
    CLineIntake intake;
    SLatestRow latest{{}};
    CMemorySource source;
    for (int i = 0; i < 1030; ++i)
        source.m_lines.push_back(std::to_string(i) + ",1");
    EXPECT_EQ(intake.OnCommData(source, store, &log, false, &latest), 1030);
    EXPECT_EQ(store.m_LogData[0].m_nCount, 1024);
    EXPECT_EQ(store.m_LogData[1].m_nCount, 1024);
    EXPECT_TRUE(intake.m_bStoreFull);
    EXPECT_TRUE(intake.TakeStoreFullToReport());
    source.m_lines = {"x"};
    intake.OnCommData(source, store, &log, false, &latest);
    EXPECT_FALSE(intake.TakeStoreFullToReport());
    log.Close();
    const std::string strLog = ReadAll(dir.filePath("full.csv"));
    EXPECT_EQ(std::count(strLog.begin(), strLog.end(), '\n'), 1031);
    intake.Reset();
    EXPECT_FALSE(intake.m_bStoreFull);
    EXPECT_FALSE(intake.TakeStoreFullToReport());
}

// A source that completes a line every time one is taken never runs dry: the intake must give
// the window back and ask to be called again, and the next call must go on with the following
// line.
TEST(LineIntake, EndlessSourceIsDrainedInBoundedCalls) {
    class CEndlessSource : public CLineSource {
    public:
        int GetLineCount() override { return 2; }
        int ReadLine(char* dst, int size) override {
            return std::snprintf(dst, static_cast<size_t>(size), "%d", m_nNext++);
        }
        void ClearNotified() override {}
        int m_nNext = 0;
    };
    CLogStore store;
    ASSERT_TRUE(store.InitLogData(1, 65536, 65536));
    CEndlessSource source;
    CLineIntake intake;
    SLatestRow latest{{}};
    const int nFirst = intake.OnCommData(source, store, nullptr, false, &latest);
    EXPECT_GE(nFirst, CLineIntake::kMaxLinesPerCall);
    EXPECT_LE(nFirst, CLineIntake::kMaxLinesPerCall + 2);
    EXPECT_TRUE(intake.m_bMoreWaiting);
    EXPECT_EQ(intake.OnCommData(source, store, nullptr, false, &latest), nFirst);
    ASSERT_EQ(store.m_LogData[0].m_nCount, 2 * nFirst);
    EXPECT_EQ(store.m_LogData[0].m_pData[2 * nFirst - 1], 2 * nFirst - 1);
}

} // namespace
