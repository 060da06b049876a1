// Channel tags, legend lines, cursors and hand-drawn dashes checked on the recording canvas
// (synthetic metrics: a character is |height| / 2 wide and |height| high).
#include "display/graph.h"
#include "recording_canvas.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

using Rec = CRecordingCanvas;
using Seg = CRecordingCanvas::SSegment;

void PrintTo(const Seg& s, std::ostream* os) {
    *os << "(" << s.x1 << "," << s.y1 << ")-(" << s.x2 << "," << s.y2 << ")";
}

void PrintTo(const SRect& rc, std::ostream* os) {
    *os << "(" << rc.left << "," << rc.top << "," << rc.right << "," << rc.bottom << ")";
}

namespace {

constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kBlue = 0xFF0000;

std::vector<QByteArray> Texts(const Rec& canvas, Rec::EOp nOp) {
    std::vector<QByteArray> out;
    for (const auto& r : canvas.Find(nOp))
        out.push_back(r.m_strText);
    return out;
}

/// Segments drawn with a pen of the given colour, end points only.
std::vector<Seg> SegmentsIn(const Rec& canvas, COLORREF cr) {
    std::vector<Seg> out;
    for (Seg s : canvas.Segments())
        if (s.m_pen.m_crColor == cr) {
            s.m_pen = SPen{};
            out.push_back(s);
        }
    return out;
}

/// The pen, brush and font a routine found are current again when it returns.
void ExpectObjectsRestored(const Rec& canvas) {
    ASSERT_FALSE(canvas.m_records.empty());
    const auto& last = canvas.m_records.back();
    EXPECT_EQ(last.m_pen, SPen{});
    EXPECT_EQ(last.m_brush, SBrush{});
    EXPECT_EQ(last.m_font, SFont{});
}

class Overlays : public ::testing::Test {
protected:
    SPlotLayout Layout(int cx, int cy, int nChannels) {
        doc.m_nChannels = nChannels;
        return graph.CalcLayout(cx, cy);
    }
    void SetUp() override {
        doc.GetChannelAttr(0).m_crColor = kRed;
        doc.GetChannelAttr(1).m_crColor = kBlue;
        // A face of its own tells the graph's font from the canvas's initial one.
        graph.m_logFont.m_strFace = "TestFace";
    }

    CkestDoc doc;
    CGraph graph{&doc};
    Rec canvas;
};

// --- tags ---

TEST_F(Overlays, TagsFanOutAndPointAtTheChannelPosition) {
    struct {
        int nPos0, nPos1;
        int y0, y1; // y of each tag's point
    } const cases[] = {
        {0, 0, 358, 358}, // centred on the plot's bottom edge
        {1000, 500, 52, 205},
        {250, 1000, 282, 52},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nPos0 << " " << c.nPos1);
        const SPlotLayout layout = Layout(600, 400, 2);
        doc.GetChannelAttr(0).m_nPos = c.nPos0;
        doc.GetChannelAttr(1).m_nPos = c.nPos1;
        canvas.m_records.clear();
        graph.DrawMarkers(canvas, layout, false);

        // Channel 2 first, so channel 1 ends on top; the second tag starts 5 units further left.
        const auto polys = canvas.Find(Rec::OP_Polygon);
        ASSERT_EQ(polys.size(), 2u);
        EXPECT_EQ(polys[0].m_args, (std::vector<int>{5, c.y1 - 7, 5, c.y1 + 7, 52, c.y1 + 7, 59,
                                                     c.y1, 52, c.y1 - 7}));
        EXPECT_EQ(polys[1].m_args, (std::vector<int>{10, c.y0 - 7, 10, c.y0 + 7, 52, c.y0 + 7, 59,
                                                     c.y0, 52, c.y0 - 7}));
        EXPECT_EQ(polys[0].m_pen, (SPen{SPen::Solid, 1, kBlue, 0, 0}));
        EXPECT_EQ(polys[1].m_pen, (SPen{SPen::Solid, 1, kRed, 0, 0}));
        EXPECT_EQ(polys[1].m_brush, (SBrush{false, 0xFFFFFF}));

        const auto labels = canvas.Find(Rec::OP_DrawTextCentered);
        ASSERT_EQ(labels.size(), 2u);
        EXPECT_EQ(labels[0].m_strText, "CH2");
        EXPECT_EQ(labels[0].m_args, (std::vector<int>{5, c.y1 - 7, 52, c.y1 + 7}));
        EXPECT_EQ(labels[0].m_crText, kBlue);
        EXPECT_EQ(labels[1].m_strText, "CH1");
        EXPECT_EQ(labels[1].m_crText, kRed);
        EXPECT_EQ(labels[1].m_font, (SFont{-10, "TestFace"}));

        EXPECT_EQ(graph.MarkerRect(0), (SRect{10, c.y0 - 7, 52, c.y0 + 7}));
        EXPECT_EQ(graph.MarkerRect(1), (SRect{5, c.y1 - 7, 52, c.y1 + 7}));
        ExpectObjectsRestored(canvas);
    }
}

TEST_F(Overlays, PrintedTagsAndLegendLeaveTheHitRectanglesAlone) {
    const SRect stale{1, 2, 3, 4};
    for (int ch = 0; ch < 8; ++ch) {
        graph.SetMarkerRect(ch, stale);
        graph.SetLegendRect(ch, stale);
    }
    const SPlotLayout layout = Layout(1600, 1000, 8);
    graph.DrawMarkers(canvas, layout, true);
    graph.DrawLegend(canvas, layout, true);
    EXPECT_EQ(canvas.Find(Rec::OP_Polygon).size(), 8u);
    EXPECT_EQ(canvas.Find(Rec::OP_TextOut).size(), 8u);
    for (int ch = 0; ch < 8; ++ch) {
        EXPECT_EQ(graph.MarkerRect(ch), stale);
        EXPECT_EQ(graph.LegendRect(ch), stale);
    }
}

// --- legend ---

TEST_F(Overlays, LegendLinesFillTwoColumnsBelowThePlot) {
    struct {
        int cx, cy, nChannels;
        std::vector<SPoint> pts;
    } const cases[] = {
        {600, 400, 1, {{55, 379}}},
        {600, 400, 2, {{60, 379}, {325, 379}}},
        {600, 400, 3, {{65, 362}, {327, 362}, {65, 380}}},
        {1600,
         1000,
         8,
         {{173, 832},
          {873, 832},
          {173, 874},
          {873, 874},
          {173, 916},
          {873, 916},
          {173, 958},
          {873, 958}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cx << "x" << c.cy << " N=" << c.nChannels);
        const SPlotLayout layout = Layout(c.cx, c.cy, c.nChannels);
        canvas.m_records.clear();
        graph.DrawLegend(canvas, layout, false);
        const auto outs = canvas.Find(Rec::OP_TextOut);
        ASSERT_EQ(outs.size(), c.pts.size());
        for (size_t ch = 0; ch < outs.size(); ++ch) {
            EXPECT_EQ(outs[ch].m_args, (std::vector<int>{c.pts[ch].x, c.pts[ch].y}));
            EXPECT_EQ(outs[ch].m_nAlign, TA_TopLeft);
            EXPECT_EQ(outs[ch].m_font.m_nHeight, -layout.m_nFontHeight);
            const int cx = static_cast<int>(outs[ch].m_strText.size()) * (layout.m_nFontHeight / 2);
            EXPECT_EQ(graph.LegendRect(ch), (SRect{c.pts[ch].x, c.pts[ch].y, c.pts[ch].x + cx,
                                                   c.pts[ch].y + layout.m_nFontHeight}));
        }
        ExpectObjectsRestored(canvas);
    }
}

TEST_F(Overlays, LegendTextShowsScaleOffsetNameAndLatestValue) {
    struct {
        const char* name;
        double dVRes, dOffset, dMultiplier, dAddend;
        const char* unit;
        QByteArray strName;
        double dLatest;
        int nDispCount;
        QByteArray expected;
    } const cases[] = {
        {"defaults, empty store", 10, 0, 1, 0, "", "", 0, 0, "CH1 10/div  0"},
        {"offset and unit", 0.5, 5, 1, 0, "V", "Temp", 3.2, 1, "CH1 0.5V/div(offset:5V) Temp 3.2V"},
        {"latest ignored while empty", 10, 0, 2, 1.5, "", "", 99, 0, "CH1 10/div  1.5"},
        {"scaled latest", 10, -0.25, 2, 1, "mA", "I", 4, 3, "CH1 10mA/div(offset:-0.25mA) I 9mA"},
        {"printf %g forms", 1e-7, 1234567, 1, 0, "", "x", 0.1 + 0.2, 1,
         "CH1 1e-07/div(offset:1.23457e+06) x 0.3"},
        {"multi-byte name kept as bytes", 10, 0, 1, 0,
         "\xc2\xb0"
         "C",
         "\xe6\xb8\xa9\xe5\xba\xa6", 20, 1,
         "CH1 10\xc2\xb0"
         "C/div \xe6\xb8\xa9\xe5\xba\xa6 20\xc2\xb0"
         "C"},
        {"long name", 10, 0, 1, 0, "", QByteArray(300, 'n'), 1, 1,
         "CH1 10/div " + QByteArray(300, 'n') + " 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SPlotLayout layout = Layout(600, 400, 1);
        SChannelAttr& attr = doc.GetChannelAttr(0);
        attr.m_dVRes = c.dVRes;
        attr.m_dOffset = c.dOffset;
        attr.m_dMultiplier = c.dMultiplier;
        attr.m_dAddend = c.dAddend;
        attr.m_strUnit = c.unit;
        attr.m_strName = c.strName;
        graph.m_dLatest[0] = c.dLatest;
        graph.SetDisplayWindow(c.nDispCount, 0);
        canvas.m_records.clear();
        graph.DrawLegend(canvas, layout, false);
        EXPECT_EQ(Texts(canvas, Rec::OP_TextOut), std::vector<QByteArray>{c.expected});
    }
}

TEST_F(Overlays, SelectedLegendLineIsBoxedBeforeItsText) {
    for (int nSel : {0, 1}) {
        SCOPED_TRACE(nSel);
        const SPlotLayout layout = Layout(600, 400, 2);
        graph.m_nSelChannel = nSel;
        canvas.m_records.clear();
        graph.DrawLegend(canvas, layout, false);

        const auto rects = canvas.Find(Rec::OP_Rectangle);
        ASSERT_EQ(rects.size(), 1u);
        // "CH1 10/div  0" is 13 characters: 65 x 10, margins 6 and 1.
        const int x = nSel == 0 ? 60 : 325;
        EXPECT_EQ(rects[0].m_args, (std::vector<int>{x - 6, 378, x + 65 + 6, 390}));
        EXPECT_EQ(rects[0].m_pen, (SPen{SPen::Solid, 1, nSel == 0 ? kRed : kBlue, 0, 0}));

        size_t iRect = 0, iText = 0;
        for (size_t i = 0; i < canvas.m_records.size(); ++i) {
            const auto& r = canvas.m_records[i];
            if (r.m_nOp == Rec::OP_Rectangle)
                iRect = i;
            if (r.m_nOp == Rec::OP_TextOut && r.m_args[0] == x)
                iText = i;
        }
        EXPECT_LT(iRect, iText);
    }
}

// --- cursors ---

struct SCursorSetup {
    SPoint cur1, cur2;
    int nDispStart;
};

TEST_F(Overlays, ReadoutTableShowsLevelsIndexesAndDifferences) {
    struct {
        const char* name;
        int nPos;
        double dVRes, dOffset;
        const char* unit;
        SCursorSetup setup;
        std::vector<QByteArray> cells;
    } const cases[] = {
        {"start: both in the bottom-left corner",
         0,
         10,
         0,
         "",
         {{0, 0}, {0, 0}, 0},
         {"Cur1", "0", "0", "Cur2", "0", "0", "Diff", "0", "0"}},
        {"scale of the selected channel",
         500,
         2,
         1,
         "",
         {{100, 650}, {300, 400}, 0},
         {"Cur1", "4", "100", "Cur2", "-1", "300", "Diff", "5", "200"}},
        {"unit and a scrolled window",
         500,
         2,
         1,
         "V",
         {{300, 400}, {100, 650}, 1234},
         {"Cur1", "-1V", "1534", "Cur2", "4V", "1334", "Diff", "5V", "200"}},
        {"index follows the window start",
         0,
         10,
         0,
         "",
         {{0, 0}, {1500, 0}, 100},
         {"Cur1", "0", "100", "Cur2", "0", "1600", "Diff", "0", "1500"}},
    };
    // 600 x 400, two channels: readout (423, 2, 590, 47), columns at 456 and 523, rows at 17, 32.
    const int cols[4] = {423, 456, 523, 590};
    const int rows[4] = {2, 17, 32, 47};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SPlotLayout layout = Layout(600, 400, 2);
        graph.m_nSelChannel = 1;
        SChannelAttr& attr = doc.GetChannelAttr(1);
        attr.m_nPos = c.nPos;
        attr.m_dVRes = c.dVRes;
        attr.m_dOffset = c.dOffset;
        attr.m_strUnit = c.unit;
        graph.m_ptCursor[0] = c.setup.cur1;
        graph.m_ptCursor[1] = c.setup.cur2;
        graph.SetDisplayWindow(c.setup.nDispStart + graph.m_nSamplesPerDiv * 15, 0);
        canvas.m_records.clear();
        graph.DrawCursors(canvas, layout, false);

        const auto texts = canvas.Find(Rec::OP_DrawTextCentered);
        ASSERT_EQ(texts.size(), 9u);
        for (int i = 0; i < 9; ++i) {
            const int row = i / 3, col = i % 3;
            EXPECT_EQ(texts[i].m_strText, c.cells[i]);
            EXPECT_EQ(texts[i].m_args,
                      (std::vector<int>{cols[col], rows[row], cols[col + 1], rows[row + 1]}));
            EXPECT_EQ(texts[i].m_crText, 0x000000u);
            EXPECT_EQ(texts[i].m_font, (SFont{-10, "TestFace"}));
        }
        ExpectObjectsRestored(canvas);
    }
}

TEST_F(Overlays, ReadoutFrameAndScreenCursorLines) {
    const SPlotLayout layout = Layout(600, 400, 2);
    graph.m_crGrid = 0x123456;
    graph.m_ptCursor[0] = SPoint{100, 650};  // x 95, y 160
    graph.m_ptCursor[1] = SPoint{300, 1200}; // x 166, y above the plot: held at its top edge
    graph.DrawCursors(canvas, layout, false);

    EXPECT_EQ(SegmentsIn(canvas, 0x123456), (std::vector<Seg>{{423, 2, 423, 47, {}},
                                                              {423, 47, 590, 47, {}},
                                                              {590, 47, 590, 2, {}},
                                                              {590, 2, 423, 2, {}},
                                                              {456, 2, 456, 47, {}},
                                                              {523, 2, 523, 47, {}},
                                                              {423, 17, 590, 17, {}},
                                                              {423, 32, 590, 32, {}}}));
    const auto cursorLines = canvas.Segments();
    ASSERT_GE(cursorLines.size(), 4u);
    const std::vector<Seg> expected = {
        {95, 52, 95, 358, SPen{SPen::Dashed, 1, kRed, 3, 3}},
        {60, 160, 590, 160, SPen{SPen::Dashed, 1, kRed, 3, 3}},
        {166, 52, 166, 358, SPen{SPen::Dashed, 1, kRed, 6, 6}},
        {60, 52, 590, 52, SPen{SPen::Dashed, 1, kRed, 6, 6}},
    };
    EXPECT_EQ(std::vector<Seg>(cursorLines.begin(), cursorLines.begin() + 4), expected);
}

TEST_F(Overlays, PrintedCursorDashesRunOnIntoTheHorizontalLine) {
    // A tiny hand-made plot: 20 x 10 units, pen width 1, so dashes are 3 (Cur1) and 6 (Cur2).
    SPlotLayout layout;
    layout.m_rcPlot = SRect{0, 0, 20, 10};
    layout.m_rcReadout = SRect{30, 0, 60, 9};
    layout.m_nPenWidth = 1;
    layout.m_nFontHeight = 4;
    graph.m_crGrid = 0x123456;
    graph.m_ptCursor[0] = SPoint{0, 500};  // (0, 5)
    graph.m_ptCursor[1] = SPoint{1500, 0}; // (20, 10)
    graph.DrawCursors(canvas, layout, true);

    // Cur1: dash 0-3, gap 3-6, dash 6-9, gap 9-10 and on for 2 more units along the
    // horizontal line, then dashes at 2-5, 8-11, 14-17.
    // Cur2: dash 0-6, gap 6-10 plus 2, dash 2-8, gap 8-14, dash 14-20.
    EXPECT_EQ(SegmentsIn(canvas, kRed), (std::vector<Seg>{{0, 0, 0, 3, {}},
                                                          {0, 6, 0, 9, {}},
                                                          {2, 5, 5, 5, {}},
                                                          {8, 5, 11, 5, {}},
                                                          {14, 5, 17, 5, {}},
                                                          {20, 0, 20, 6, {}},
                                                          {2, 10, 8, 10, {}},
                                                          {14, 10, 20, 10, {}}}));
    for (const Seg& s : canvas.Segments())
        EXPECT_EQ(s.m_pen.m_nStyle, SPen::Solid);
}

TEST_F(Overlays, CursorBeyondANarrowedWindowMovesToItsRightEdge) {
    const SPlotLayout layout = Layout(600, 400, 2);
    graph.m_ptCursor[0] = SPoint{1400, 300};
    graph.m_ptCursor[1] = SPoint{-20, 300};
    graph.m_nSamplesPerDiv = 50;
    graph.DrawCursors(canvas, layout, false);
    EXPECT_EQ(graph.m_ptCursor[0], (SPoint{750, 300}));
    EXPECT_EQ(graph.m_ptCursor[1], (SPoint{0, 300}));
    EXPECT_EQ(canvas.Segments()[0], (Seg{590, 52, 590, 358, SPen{SPen::Dashed, 1, kRed, 3, 3}}));

    // Widening the window again does not bring it back.
    graph.m_nSamplesPerDiv = 100;
    graph.DrawCursors(canvas, layout, false);
    EXPECT_EQ(graph.m_ptCursor[0], (SPoint{750, 300}));
}

TEST_F(Overlays, HiddenCursorsDrawNothing) {
    const SPlotLayout layout = Layout(600, 400, 2);
    graph.m_ptCursor[0] = SPoint{5000, 300};
    graph.OnViewCursor();
    for (bool bPrint : {false, true})
        graph.DrawCursors(canvas, layout, bPrint);
    EXPECT_TRUE(canvas.m_records.empty());
    EXPECT_EQ(graph.m_ptCursor[0], (SPoint{5000, 300}));
}

// --- hand-drawn dashes ---

TEST_F(Overlays, DashedLineSteps) {
    struct {
        const char* name;
        int x1, y1, x2, y2, nDash;
        bool bDown;
        int nCarry;
        std::vector<Seg> segs;
        bool bDownAfter;
        int nCarryAfter;
    } const cases[] = {
        {"ends inside a gap",
         10,
         0,
         10,
         10,
         3,
         true,
         0,
         {{10, 0, 10, 3, {}}, {10, 6, 10, 9, {}}},
         false,
         2},
        {"carried gap",
         0,
         5,
         20,
         5,
         3,
         false,
         2,
         {{2, 5, 5, 5, {}}, {8, 5, 11, 5, {}}, {14, 5, 17, 5, {}}},
         true,
         0},
        {"carry larger than the dash starts afresh",
         0,
         5,
         9,
         5,
         3,
         true,
         5,
         {{0, 5, 3, 5, {}}, {6, 5, 9, 5, {}}},
         false,
         0},
        {"backwards", 10, 0, 0, 0, 3, true, 0, {{10, 0, 7, 0, {}}, {4, 0, 1, 0, {}}}, false, 2},
        {"diagonal steps by the dash's extent",
         0,
         0,
         10,
         10,
         3,
         true,
         0,
         {{0, 0, 2, 2, {}}, {4, 4, 6, 6, {}}, {8, 8, 10, 10, {}}},
         false,
         0},
        {"shallow slope",
         0,
         0,
         10,
         3,
         3,
         true,
         0,
         {{0, 0, 2, 0, {}}, {4, 1, 6, 1, {}}, {8, 2, 10, 3, {}}},
         false,
         0},
        {"one point", 4, 4, 4, 4, 3, true, 1, {}, true, 1},
        {"dash too short: solid", 0, 0, 7, 0, 1, true, 1, {{0, 0, 7, 0, {}}}, true, 0},
        {"dash too short, pen up", 0, 0, 7, 0, 0, false, 0, {}, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rec rec;
        bool bDown = c.bDown;
        int nCarry = c.nCarry;
        graph.DrawDashedLine(rec, c.x1, c.y1, c.x2, c.y2, c.nDash, bDown, nCarry);
        EXPECT_EQ(rec.Segments(), c.segs);
        EXPECT_EQ(bDown, c.bDownAfter);
        EXPECT_EQ(nCarry, c.nCarryAfter);
    }
}

} // namespace
