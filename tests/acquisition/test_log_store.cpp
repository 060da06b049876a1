#include "acquisition/log_store.h"

#include "byte_limit.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

double RowValue(int nRow, int nChannel) {
    return nRow * 10.0 + nChannel + 0.25;
}

bool AppendRows(CLogStore& store, int nFrom, int nTo) {
    double row[8];
    for (int r = nFrom; r < nTo; ++r) {
        for (int c = 0; c < 8; ++c)
            row[c] = RowValue(r, c);
        if (!store.AddRow(row))
            return false;
    }
    return true;
}

TEST(LogStore, NewStoreHasTwoChannelsAndEmptyArrays) {
    CLogStore store;
    EXPECT_EQ(store.m_nChannels, 2);
    for (const SLogData& data : store.m_LogData) {
        EXPECT_EQ(data.m_pData, nullptr);
        EXPECT_EQ(data.m_nSize, 0);
        EXPECT_EQ(data.m_nGrowBy, 1024);
        EXPECT_EQ(data.m_nCount, 0);
    }
}

TEST(LogStore, InitLogDataClampsChannelCount) {
    const struct {
        int nAsked;
        int nExpected;
    } cases[] = {{0, 1}, {-5, 1}, {INT_MIN, 1}, {1, 1}, {5, 5}, {8, 8}, {9, 8}, {INT_MAX, 8}};
    for (const auto& c : cases) {
        CLogStore store;
        EXPECT_TRUE(store.InitLogData(c.nAsked, 65536, 65536));
        EXPECT_EQ(store.m_nChannels, c.nExpected) << c.nAsked;
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(store.m_LogData[i].m_nSize, i < c.nExpected ? 65536 : 0) << c.nAsked;
    }
}

TEST(LogStore, InactiveChannelsKeepSamplesUntilReactivated) {
    CLogStore store;
    ASSERT_TRUE(store.InitLogData(4, 65536, 65536));
    ASSERT_TRUE(AppendRows(store, 0, 3));
    ASSERT_TRUE(store.InitLogData(2, 65536, 65536));
    ASSERT_TRUE(AppendRows(store, 100, 101));
    EXPECT_EQ(store.m_LogData[0].m_nCount, 1);
    EXPECT_EQ(store.m_LogData[0].m_pData[0], RowValue(100, 0));
    for (int c = 2; c < 4; ++c) {
        ASSERT_EQ(store.m_LogData[c].m_nCount, 3);
        for (int r = 0; r < 3; ++r)
            EXPECT_EQ(store.m_LogData[c].m_pData[r], RowValue(r, c));
    }
    ASSERT_TRUE(store.InitLogData(4, 65536, 65536));
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(store.m_LogData[c].m_nCount, 0);
}

TEST(LogStore, ResetKeepsChannelCountAndEmptiesActiveChannels) {
    CLogStore store;
    ASSERT_TRUE(store.InitLogData(3, 1024, 1024));
    ASSERT_TRUE(AppendRows(store, 0, 2000));
    ASSERT_TRUE(store.ResetLogData());
    EXPECT_EQ(store.m_nChannels, 3);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(store.m_LogData[c].m_nCount, 0);
        EXPECT_EQ(store.m_LogData[c].m_nSize, 65536);
        EXPECT_EQ(store.m_LogData[c].m_nGrowBy, 65536);
    }
}

TEST(LogData, InitSetsSizeAndGrowthFloor) {
    const struct {
        int nSize, nGrowBy, nExpectedGrowBy;
    } cases[] = {{65536, 100, 1024}, {65536, 1023, 1024}, {65536, 1024, 1024},  {65536, 1025, 1025},
                 {10, -7, 1024},     {0, 65536, 65536},   {65536, 65536, 65536}};
    for (const auto& c : cases) {
        SLogData data;
        EXPECT_TRUE(data.Init(c.nSize, c.nGrowBy));
        EXPECT_EQ(data.m_nSize, c.nSize);
        EXPECT_EQ(data.m_nGrowBy, c.nExpectedGrowBy) << c.nGrowBy;
        EXPECT_EQ(data.m_nCount, 0);
    }
}

TEST(LogData, GrowthFollowsCapacityStepsAndKeepsSamples) {
    // Capacity after n samples, for the program's reset values and for an array never set up.
    const struct {
        int nInit, nGrowBy, nAdds, nExpectedSize;
    } cases[] = {
        {65536, 65536, 65536, 65536},
        {65536, 65536, 65537, 131072},
        {65536, 65536, 131073, 196608},
        {-1, 0, 1, 1024},
        {-1, 0, 1024, 1024},
        {-1, 0, 1025, 2048},
        {100, 100, 101, 1124},
    };
    for (const auto& c : cases) {
        SLogData data;
        if (c.nInit >= 0) {
            ASSERT_TRUE(data.Init(c.nInit, c.nGrowBy));
        }
        for (int i = 0; i < c.nAdds; ++i)
            ASSERT_TRUE(data.Add(i * 0.5));
        EXPECT_EQ(data.m_nSize, c.nExpectedSize) << c.nInit << " " << c.nAdds;
        ASSERT_EQ(data.m_nCount, c.nAdds);
        for (int i = 0; i < c.nAdds; ++i)
            ASSERT_EQ(data.m_pData[i], i * 0.5) << i;
    }
}

TEST(LogData, ClearReturnsToEmptyState) {
    SLogData data;
    ASSERT_TRUE(data.Init(65536, 65536));
    ASSERT_TRUE(data.Add(1.0));
    data.Clear();
    EXPECT_EQ(data.m_pData, nullptr);
    EXPECT_EQ(data.m_nSize, 0);
    EXPECT_EQ(data.m_nGrowBy, 1024);
    EXPECT_EQ(data.m_nCount, 0);
}

TEST(LogData, FailedInitLeavesArrayEmpty) {
    const struct {
        int nSize;
        size_t nMaxBytes;
    } cases[] = {{-1, SIZE_MAX}, {INT_MIN, SIZE_MAX}, {65536, 65536 * 8 - 1}, {1, 0}};
    for (const auto& c : cases) {
        CByteLimit limit;
        SLogData data(&limit);
        limit.Set(data, c.nMaxBytes);
        EXPECT_FALSE(data.Init(c.nSize, 65536)) << c.nSize;
        EXPECT_EQ(data.m_pData, nullptr);
        EXPECT_EQ(data.m_nSize, 0);
        EXPECT_EQ(data.m_nCount, 0);
    }
}

TEST(LogStore, FailedInitIsReported) {
    CByteLimit limit;
    CLogStore store(limit);
    limit.Set(store.m_LogData[1], 1000);
    EXPECT_FALSE(store.InitLogData(3, 65536, 65536));
    EXPECT_EQ(store.m_LogData[0].m_nSize, 65536);
    EXPECT_EQ(store.m_LogData[1].m_nSize, 0);
    EXPECT_EQ(store.m_LogData[2].m_nSize, 65536);
}

TEST(LogStore, RefusedGrowthKeepsRowsWhole) {
    // Each case lets one channel fail to grow; the row must go to no channel at all, and the
    // store must take rows again once memory is available.
    for (int nFailing = 0; nFailing < 3; ++nFailing) {
        CByteLimit limit;
        CLogStore store(limit);
        ASSERT_TRUE(store.InitLogData(3, 65536, 65536));
        limit.Set(store.m_LogData[nFailing], 65536 * sizeof(double));
        ASSERT_TRUE(AppendRows(store, 0, 65536));
        EXPECT_FALSE(AppendRows(store, 65536, 65537)) << nFailing;
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(store.m_LogData[c].m_nCount, 65536) << nFailing;
            EXPECT_EQ(store.m_LogData[c].m_pData[65535], RowValue(65535, c));
        }
        limit.Set(store.m_LogData[nFailing], SIZE_MAX);
        EXPECT_TRUE(AppendRows(store, 65536, 65537));
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(store.m_LogData[c].m_nCount, 65537);
            EXPECT_EQ(store.m_LogData[c].m_pData[65536], RowValue(65536, c));
            EXPECT_EQ(store.m_LogData[c].m_pData[0], RowValue(0, c));
        }
    }
}

TEST(LogStore, RowsAreRefusedAtThe32BitCountLimit) {
    // Holding 2^31-1 real samples would need 16 GiB, so the full channel is described directly.
    CLogStore store;
    ASSERT_TRUE(store.InitLogData(2, 1024, 1024));
    ASSERT_TRUE(AppendRows(store, 0, 5));
    SLogData& full = store.m_LogData[1];
    full.m_nSize = INT32_MAX;
    full.m_nCount = INT32_MAX;
    EXPECT_FALSE(full.Reserve1());
    EXPECT_FALSE(full.Add(1.0));
    EXPECT_FALSE(AppendRows(store, 5, 6));
    EXPECT_EQ(store.m_LogData[0].m_nCount, 5);
    EXPECT_EQ(full.m_nCount, INT32_MAX);
    full.m_nSize = 1024;
    full.m_nCount = 5;
}

} // namespace
