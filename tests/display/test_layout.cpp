// Plot layout, the displayed sample window, the data mappings and the thumb drag.
#include "display/graph.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

TEST(Layout, ReferenceSizes) {
    struct SCase {
        int cx, cy, nChannels;
        bool bCursor;
        SRect plot, scroll, readout;
        int nFont, nPen, nTracePen;
    };
    const SCase cases[] = {
        {600, 400, 2, true, {60, 52, 590, 358}, {60, 26, 378, 42}, {423, 2, 590, 47}, 10, 1, 1},
        {600, 400, 2, false, {60, 30, 590, 358}, {60, 4, 378, 20}, {423, 2, 590, 25}, 10, 1, 1},
        {1600,
         1000,
         8,
         true,
         {173, 130, 1574, 790},
         {173, 65, 1013, 105},
         {1131, 5, 1574, 118},
         26,
         2,
         3},
        {1600,
         1000,
         8,
         false,
         {173, 75, 1574, 790},
         {173, 10, 1013, 50},
         {1131, 5, 1574, 63},
         26,
         2,
         3},
    };
    for (const SCase& c : cases) {
        CkestDoc doc;
        doc.m_nChannels = c.nChannels;
        CGraph graph(&doc);
        graph.m_bCursor = c.bCursor;
        const SPlotLayout l = graph.CalcLayout(c.cx, c.cy);
        const std::string name =
            std::to_string(c.cx) + "x" + std::to_string(c.cy) + (c.bCursor ? " cursor" : "");
        EXPECT_EQ(l.m_rcPlot, c.plot) << name;
        EXPECT_EQ(l.m_rcScroll, c.scroll) << name;
        EXPECT_EQ(l.m_rcReadout, c.readout) << name;
        EXPECT_EQ(l.m_nFontHeight, c.nFont) << name;
        EXPECT_EQ(l.m_nPenWidth, c.nPen) << name;
        EXPECT_EQ(l.m_nTracePenWidth, c.nTracePen) << name;
        EXPECT_EQ(l.m_nBaseLeft, c.cx * 50 / 600) << name;
    }
}

TEST(Layout, TinyAndHugeSizesStayDefined) {
    CkestDoc doc;
    doc.m_nChannels = 8;
    CGraph graph(&doc);
    const SPlotLayout zero = graph.CalcLayout(0, 0);
    EXPECT_EQ(zero.m_nPenWidth, 1);
    EXPECT_EQ(zero.m_nTracePenWidth, 1);
    EXPECT_EQ(zero.m_rcReadout.left, 12); // (40 - 24) * 8 / 10 with the 8 channel margins
    // A large printer page: products beyond 32 bits are formed in 64 bits.
    const SPlotLayout big = graph.CalcLayout(50000000, 30000000);
    EXPECT_EQ(big.m_nLeftMargin, 50000000 / 12 + 40);
    EXPECT_EQ(big.m_nTopMargin, 52 * 30000000 / 400);
    EXPECT_GT(big.m_rcPlot.right, big.m_rcPlot.left);
}

TEST(DisplayWindow, FollowsStoreScrollAndHold) {
    struct SStep {
        const char* what;
        int nStored;     // samples in the store before the step
        int nDragFromTo; // thumb drag distance in pixels (positive: to the left), 0 for none
        bool bHold;
        int nDispCount, nScrollBack, nDispStart;
    };
    const SStep steps[] = {
        {"empty store", 0, 0, false, 0, 0, 0},
        {"fills from the left", 700, 0, false, 700, 0, 0},
        {"1600 samples", 1600, 0, false, 1600, 0, 100},
        {"far left drag", 1600, 100000, false, 1600, 100, 0},
        {"far right drag", 1600, -100000, false, 1600, 0, 100},
        {"2000 samples", 2000, 0, false, 2000, 0, 500},
        {"store grows while held", 2600, 0, true, 2000, 0, 500},
        {"drag within held samples", 2600, 100000, true, 2000, 500, 0},
        {"released", 2600, 0, false, 2600, 500, 600},
    };
    CkestDoc doc;
    doc.InitLogData(2, 1024, 1024);
    CGraph graph(&doc);
    graph.m_nSamplesPerDiv = 100;
    graph.m_Layout = graph.CalcLayout(600, 400); // scroll bar 318 wide
    const double row[8] = {};
    for (const SStep& s : steps) {
        while (doc.m_LogData[0].m_nCount < s.nStored)
            doc.AddRow(row);
        graph.SetHold(s.bHold);
        graph.UpdateDisplayWindow();
        if (s.nDragFromTo != 0) {
            graph.SetDownPoint(SPoint{200, 30});
            graph.BeginThumbDrag();
            graph.MoveThumbDrag(200 - s.nDragFromTo);
            graph.EndThumbDrag();
            EXPECT_FALSE(graph.IsThumbDrag());
            graph.UpdateDisplayWindow();
        }
        EXPECT_EQ(graph.ScreenSamples(), 1500) << s.what;
        EXPECT_EQ(graph.DisplayCount(), s.nDispCount) << s.what;
        EXPECT_EQ(graph.ScrollBack(), s.nScrollBack) << s.what;
        EXPECT_EQ(graph.DisplayStart(), s.nDispStart) << s.what;
    }
}

TEST(DisplayWindow, ThumbDragArithmetic) {
    struct SCase {
        int nDispCount, nStartBack, nDx, nWidth;
        int nExpected;
    };
    const SCase cases[] = {
        {1600, 0, 10, 318, 50},                      // 10 * 1600 / 318 = 50.3
        {1600, 80, -10, 318, 30},                    // moving right shortens the scroll-back
        {1600, 10, -100, 318, 0},                    // never negative
        {2000000000, 0, 300, 318, 1886792452},       // 300 * 2e9 needs 64 bits
        {2000000000, 2000000000, 318, 318, INT_MAX}, // saturates instead of wrapping
        {1600, 40, 50, 0, 40},                       // zero-width bar: the drag does nothing
    };
    CkestDoc doc;
    CGraph graph(&doc);
    for (const SCase& c : cases) {
        graph.SetDisplayWindow(c.nDispCount, c.nStartBack);
        graph.m_Layout.m_rcScroll = SRect{60, 26, 60 + c.nWidth, 42};
        graph.SetDownPoint(SPoint{300, 30});
        graph.BeginThumbDrag();
        EXPECT_TRUE(graph.IsThumbDrag());
        graph.MoveThumbDrag(300 - c.nDx);
        EXPECT_EQ(graph.ScrollBack(), c.nExpected) << c.nDispCount << " " << c.nDx;
        graph.EndThumbDrag();
    }
}

TEST(Mapping, PointsAndData) {
    CkestDoc doc;
    CGraph graph(&doc);
    graph.m_nSamplesPerDiv = 100;
    const SPlotLayout l = graph.CalcLayout(600, 400); // plot (60, 52, 590, 358)
    struct SCase {
        SPoint data, point;
    };
    const SCase toPoint[] = {
        {{0, 1000}, {60, 52}},
        {{1500, 0}, {590, 358}},
        {{750, 500}, {325, 205}},
        {{1, 0}, {60, 358}},
        {{3, 1}, {61, 358}},
        {{0, -1000}, {60, 664}},
        {{0, INT_MAX}, {60, 358 - 657129995}},
        {{0, -INT_MAX}, {60, 358 + 657129995}},
    };
    for (const SCase& c : toPoint)
        EXPECT_EQ(graph.DataToPoint(c.data.x, c.data.y, l), c.point) << c.data.x << "," << c.data.y;
    const SCase toData[] = {
        {{0, 1000}, {60, 52}},  {{1497, 0}, {589, 358}}, {{0, 997}, {60, 53}},
        {{-2, 1003}, {59, 51}}, {{1500, 0}, {590, 358}},
    };
    for (const SCase& c : toData)
        EXPECT_EQ(graph.PointToData(c.point, l), c.data) << c.point.x << "," << c.point.y;

    // A tall printed plot: positions far outside stay far outside instead of wrapping around.
    SPlotLayout tall = l;
    tall.m_rcPlot = SRect{0, 0, 1500, 4000};
    EXPECT_EQ(graph.DataToPoint(0, INT_MAX, tall).y, -(1 << 30));
    EXPECT_EQ(graph.DataToPoint(0, -INT_MAX, tall).y, 1 << 30);

    SPlotLayout flat = l;
    flat.m_rcPlot.bottom = flat.m_rcPlot.top;
    EXPECT_EQ(graph.PointToData(SPoint{100, 100}, flat), (SPoint{0, 0}));
}

TEST(Mapping, ValuesAndPositions) {
    CkestDoc doc;
    SChannelAttr attr = doc.GetChannelAttr(1);
    attr.m_nPos = 300;
    attr.m_dVRes = 0.5;
    attr.m_dOffset = 2.0;
    doc.SetChannelAttr(1, attr);
    CGraph graph(&doc);
    const double inf = std::numeric_limits<double>::infinity();
    struct SCase {
        double dValue;
        int nPos;
    };
    const SCase cases[] = {
        {2.0, 300},          {2.5, 400},       {1.5, 200},
        {2.004, 300}, // 0.8 truncates to 0
        {1.996, 300},        {2.006, 301},     {-1e300, -INT_MAX},
        {1e300, INT_MAX},    {inf, INT_MAX},   {-inf, -INT_MAX},
        {1e8, INT_MAX},      {-1e8, -INT_MAX}, {1e7, 1999999900},
        {std::nan(""), 300},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(graph.ValueToPos(1, c.dValue), c.nPos) << c.dValue;
    EXPECT_DOUBLE_EQ(graph.PosToValue(1, 400), 2.5);
    EXPECT_DOUBLE_EQ(graph.PosToValue(1, 0), 0.5);
}
