// The printed page: where the graph box sits, what is drawn for paper, and that the screen's
// layout and hit rectangles survive a printout.
#include "display/graph.h"
#include "display/metafile_export.h"
#include "display/print_frame.h"
#include "recording_canvas.h"

#include <gtest/gtest.h>

namespace {

TEST(PrintFrame, BoxOnThePage) {
    struct SCase {
        const char* pszName;
        int cxPage, cyPage;
        SPrintFrame frame;
    };
    const SCase cases[] = {
        {"exactly 1.6 : 1", 1600, 1000, {160, 100, 1280, 800}},
        {"A4 portrait 600 dpi (width limits)", 4960, 7016, {496, 2268, 3968, 2480}},
        {"A4 landscape 600 dpi (width limits)", 7016, 4960, {702, 726, 5612, 3507}},
        {"wide page (height limits)", 3000, 1000, {860, 100, 1280, 800}},
        {"narrow page (width limits)", 1000, 3000, {100, 1250, 800, 500}},
        {"Letter landscape 1200 dpi", 13200, 10200, {1320, 1800, 10560, 6600}},
        {"nothing to print on", 0, 0, {0, 0, 0, 0}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        const SPrintFrame f = CalcPrintFrame(c.cxPage, c.cyPage);
        EXPECT_EQ(f, c.frame) << f.m_x << "," << f.m_y << " " << f.m_cx << "x" << f.m_cy;
    }
}

TEST(PrintFrame, FontFollowsThePage) {
    CkestDoc doc;
    doc.OnNewDocument();
    CGraph graph(&doc);
    const SPrintFrame f = CalcPrintFrame(4960, 7016);
    EXPECT_EQ(graph.CalcLayout(f.m_cx, f.m_cy).m_nFontHeight, 66);
}

/// The graph's page on a recording printer of cxPage x cyPage.
struct SPrintedPage {
    SPrintedPage(CGraph& graph, int cxPage, int cyPage) : m_canvas(cxPage, cyPage) {
        graph.DrawPrintPage(m_canvas);
    }
    CRecordingCanvas m_canvas;
};

TEST(PrintPage, OriginFillAndPaperDrawing) {
    CkestDoc doc;
    doc.OnNewDocument();
    doc.InitLogData(2, 1024, 1024);
    for (int i = 0; i < 300; ++i) {
        const double row[2] = {i % 50 * 1.0, -1.0};
        doc.AddRow(row);
    }
    CGraph graph(&doc);
    graph.OnSize(600, 400);
    CRecordingCanvas screen(600, 400);
    graph.UpdateDisplayWindow();
    graph.DrawScreen(screen);
    const SPlotLayout screenLayout = graph.m_Layout;
    const SRect rcThumb = graph.ThumbRect();
    const SRect rcMarker0 = graph.MarkerRect(0);
    const SRect rcLegend1 = graph.LegendRect(1);

    for (const bool bCursor : {true, false}) {
        SCOPED_TRACE(bCursor ? "cursors shown" : "cursors hidden");
        graph.m_bCursor = bCursor;
        SPrintedPage page(graph, 4960, 7016);
        const auto& recs = page.m_canvas.m_records;
        // Origin first, then the white page, both before any drawing.
        ASSERT_GE(recs.size(), 3u);
        EXPECT_EQ(recs[1].m_nOp, CRecordingCanvas::OP_SetViewportOrg);
        EXPECT_EQ(recs[1].m_args, (std::vector<int>{496, 2268}));
        EXPECT_EQ(recs[2].m_nOp, CRecordingCanvas::OP_FillRect);
        EXPECT_EQ(recs[2].m_args, (std::vector<int>{0, 0, 4960, 7016, 0xFFFFFF}));

        // The page's own layout: the grid's outer horizontal lines span its plot.
        const SPlotLayout layout = graph.CalcLayout(3968, 2480);
        bool bTopLine = false;
        for (const auto& seg : page.m_canvas.Segments())
            bTopLine |= seg.x1 == layout.m_rcPlot.left && seg.y1 == layout.m_rcPlot.top &&
                        seg.y2 == layout.m_rcPlot.top;
        EXPECT_TRUE(bTopLine);
        // Paper has no styled pens: cursor dashes are solid pieces, and only with cursors.
        bool bDashedPen = false;
        for (const auto& rec : page.m_canvas.Find(CRecordingCanvas::OP_SelectPen))
            bDashedPen |= rec.m_pen.m_nStyle == SPen::Dashed;
        EXPECT_FALSE(bDashedPen);
        const auto texts = page.m_canvas.Find(CRecordingCanvas::OP_DrawTextCentered);
        bool bTable = false;
        for (const auto& rec : texts)
            bTable |= rec.m_strText == "Cur1" || rec.m_strText == "Diff";
        EXPECT_EQ(bTable, bCursor);
    }
    // A hidden table also gives the plot more room at the top.
    graph.m_bCursor = true;
    const int nTopShown = graph.CalcLayout(3968, 2480).m_nTopMargin;
    graph.m_bCursor = false;
    EXPECT_LT(graph.CalcLayout(3968, 2480).m_nTopMargin, nTopShown);

    // The screen's geometry and hit rectangles are what the screen paint left.
    EXPECT_EQ(graph.m_Layout.m_rcPlot, screenLayout.m_rcPlot);
    EXPECT_EQ(graph.ThumbRect(), rcThumb);
    EXPECT_EQ(graph.MarkerRect(0), rcMarker0);
    EXPECT_EQ(graph.LegendRect(1), rcLegend1);
}

TEST(Metafile, OwnLayoutWithoutBackground) {
    CkestDoc doc;
    doc.OnNewDocument();
    CGraph graph(&doc);
    graph.OnSize(600, 400);
    CRecordingCanvas screen(600, 400);
    graph.DrawScreen(screen);
    const SRect rcPlot = graph.m_Layout.m_rcPlot;
    CRecordingCanvas emf(1920, 1080);
    graph.DrawMetafile(emf, kMetafileSize);
    EXPECT_TRUE(emf.Find(CRecordingCanvas::OP_FillRect).empty()) << "transparent background";
    EXPECT_TRUE(emf.Find(CRecordingCanvas::OP_SetViewportOrg).empty());
    EXPECT_EQ(graph.m_Layout.m_rcPlot, rcPlot);
    // The picture's grid spans the 1600 x 1000 layout, not the screen's.
    const SRect rcEmf = graph.CalcLayout(1600, 1000).m_rcPlot;
    int nRight = 0;
    for (const auto& seg : emf.Segments())
        nRight = std::max({nRight, seg.x1, seg.x2});
    EXPECT_EQ(nRight, rcEmf.right);
}

} // namespace
