// Mouse decisions of the graph driven with client points on a 600 x 400 view with two channels
// (plot 60,52..590,358; tag drag scale Hp = 400 - 42 - 52 = 306).
#include "display/graph.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

void PrintTo(const SPoint& pt, std::ostream* os) {
    *os << "(" << pt.x << ", " << pt.y << ")";
}

namespace {

class MouseLogic : public ::testing::Test {
protected:
    void SetUp() override {
        graph.m_Layout = graph.CalcLayout(600, 400);
        ASSERT_EQ(graph.m_Layout.m_rcPlot, (SRect{60, 52, 590, 358}));
        ASSERT_EQ(graph.m_Layout.m_rcScroll, (SRect{60, 26, 378, 42}));
        // Hit rectangles as a screen paint of this size leaves them.
        graph.SetThumbRect(SRect{100, 26, 379, 43});
        graph.SetMarkerRect(0, SRect{10, 196, 52, 210});
        graph.SetMarkerRect(1, SRect{5, 100, 52, 114});
        graph.SetLegendRect(0, SRect{60, 379, 200, 391});
        graph.SetLegendRect(1, SRect{325, 379, 450, 391});
        doc.GetChannelAttr(0).m_nPos = 500;
    }

    CkestDoc doc;
    CGraph graph{&doc};
};

struct SCursorCase {
    const char* name;
    SPoint pt;
    bool bInside;
    SPoint data; // expected (k, pos) when inside
};

const SCursorCase kCursorCases[] = {
    {"top-left pixel", {60, 52}, true, {0, 1000}},
    {"centre", {325, 205}, true, {750, 500}},
    {"last pixel", {589, 357}, true, {1497, 4}},
    {"right edge is outside", {590, 200}, false, {}},
    {"bottom edge is outside", {200, 358}, false, {}},
    {"left of plot", {59, 200}, false, {}},
    {"above plot", {200, 51}, false, {}},
};

TEST_F(MouseLogic, ClicksPlaceCursorsOnlyInsideThePlot) {
    for (const SCursorCase& c : kCursorCases) {
        SCOPED_TRACE(c.name);
        const SPoint before1{11, 22};
        const SPoint before2{33, 44};
        graph.m_ptCursor[0] = before1;
        graph.m_ptCursor[1] = before2;

        SMouseAction a = graph.OnLButtonDown(MK_LButton, c.pt);
        EXPECT_EQ(graph.DownPoint(), c.pt);
        EXPECT_EQ(a.m_bInvalidate, c.bInside);
        EXPECT_FALSE(a.m_bCapture);
        EXPECT_EQ(graph.m_ptCursor[0], c.bInside ? c.data : before1);
        EXPECT_EQ(graph.m_ptCursor[1], before2);

        graph.m_ptCursor[0] = before1;
        a = graph.OnRButtonDown(MK_RButton, c.pt);
        EXPECT_EQ(a.m_bInvalidate, c.bInside);
        EXPECT_EQ(graph.m_ptCursor[0], before1);
        EXPECT_EQ(graph.m_ptCursor[1], c.bInside ? c.data : before2);
    }
}

TEST_F(MouseLogic, DragsMoveTheCursorOfTheHeldButton) {
    struct {
        const char* name;
        int nFlags;
        bool bMoves1, bMoves2;
    } const cases[] = {
        {"no button", MK_None, false, false},
        {"left", MK_LButton, true, false},
        {"right", MK_RButton, false, true},
        {"both: left wins", MK_LButton | MK_RButton, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        graph.m_ptCursor[0] = SPoint{1, 1};
        graph.m_ptCursor[1] = SPoint{2, 2};
        const SMouseAction a = graph.OnMouseMove(c.nFlags, SPoint{325, 205});
        EXPECT_TRUE(a.m_bSetPointer);
        EXPECT_EQ(a.m_nPointer, PTR_Arrow);
        EXPECT_EQ(a.m_bInvalidate, c.bMoves1 || c.bMoves2);
        EXPECT_EQ(graph.m_ptCursor[0], (c.bMoves1 ? SPoint{750, 500} : SPoint{1, 1}));
        EXPECT_EQ(graph.m_ptCursor[1], (c.bMoves2 ? SPoint{750, 500} : SPoint{2, 2}));

        // Leaving the plot with the button held leaves the cursor where it was.
        const SPoint kept1 = graph.m_ptCursor[0];
        const SPoint kept2 = graph.m_ptCursor[1];
        EXPECT_FALSE(graph.OnMouseMove(c.nFlags, SPoint{595, 205}).m_bInvalidate);
        EXPECT_EQ(graph.m_ptCursor[0], kept1);
        EXPECT_EQ(graph.m_ptCursor[1], kept2);
    }
}

TEST_F(MouseLogic, HiddenCursorsIgnoreThePlotButKeepTheirPlaces) {
    graph.OnViewCursor();
    ASSERT_FALSE(graph.m_bCursor);
    graph.m_ptCursor[0] = SPoint{100, 200};
    graph.m_ptCursor[1] = SPoint{300, 400};
    EXPECT_FALSE(graph.OnLButtonDown(MK_LButton, SPoint{325, 205}).m_bInvalidate);
    EXPECT_FALSE(graph.OnRButtonDown(MK_RButton, SPoint{325, 205}).m_bInvalidate);
    EXPECT_FALSE(graph.OnMouseMove(MK_LButton, SPoint{330, 210}).m_bInvalidate);
    EXPECT_FALSE(graph.OnMouseMove(MK_RButton, SPoint{330, 210}).m_bInvalidate);
    graph.OnViewCursor();
    EXPECT_EQ(graph.m_ptCursor[0], (SPoint{100, 200}));
    EXPECT_EQ(graph.m_ptCursor[1], (SPoint{300, 400}));

    // Tags and legend still react with the cursors hidden.
    graph.OnViewCursor();
    EXPECT_TRUE(graph.OnLButtonDown(MK_LButton, SPoint{330, 385}).m_bInvalidate);
    EXPECT_EQ(graph.m_nSelChannel, 1);
    EXPECT_TRUE(graph.OnLButtonDown(MK_LButton, SPoint{20, 200}).m_bCapture);
    EXPECT_EQ(graph.DragChannel(), 0);
}

TEST_F(MouseLogic, TagDragFollowsThePointerWithinTheScale) {
    struct {
        const char* name;
        int y;
        int nPos;
    } const cases[] = {
        {"no movement", 200, 500},
        {"one pixel up truncates", 199, 503},
        {"one pixel down truncates", 201, 497},
        {"half the plot up reaches the top", 47, 1000},
        {"beyond the top stops at 1000", -500, 1000},
        {"beyond the bottom stops at 0", 900, 0},
        {"back inside", 250, 337},
    };
    const SMouseAction down = graph.OnLButtonDown(MK_LButton, SPoint{20, 200});
    EXPECT_TRUE(down.m_bCapture);
    EXPECT_EQ(graph.DragChannel(), 0);
    EXPECT_EQ(graph.DragPos(), 500);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The pointer may leave the tag: the drag goes on, with the vertical-resize shape.
        const SMouseAction a = graph.OnMouseMove(MK_LButton, SPoint{400, c.y});
        EXPECT_TRUE(a.m_bInvalidate);
        EXPECT_EQ(a.m_nPointer, PTR_SizeNS);
        EXPECT_EQ(doc.GetChannelAttr(0).m_nPos, c.nPos);
    }
    const SMouseAction up = graph.OnLButtonUp(0, SPoint{400, 250});
    EXPECT_TRUE(up.m_bReleaseCapture);
    EXPECT_TRUE(up.m_bSaveChannelAttrs);
    EXPECT_EQ(graph.DragChannel(), -1);
    EXPECT_EQ(doc.GetChannelAttr(0).m_nPos, 337);

    // After release a move no longer drags, and a second release saves nothing.
    graph.OnMouseMove(MK_None, SPoint{400, 0});
    EXPECT_EQ(doc.GetChannelAttr(0).m_nPos, 337);
    const SMouseAction again = graph.OnLButtonUp(0, SPoint{400, 0});
    EXPECT_FALSE(again.m_bReleaseCapture);
    EXPECT_FALSE(again.m_bSaveChannelAttrs);
}

TEST_F(MouseLogic, TagDragWithoutPlotHeightLeavesThePosition) {
    graph.OnLButtonDown(MK_LButton, SPoint{20, 200});
    graph.m_Layout = SPlotLayout{};
    graph.OnMouseMove(MK_LButton, SPoint{20, 100});
    EXPECT_EQ(doc.GetChannelAttr(0).m_nPos, 500);
}

TEST_F(MouseLogic, HitTestsFollowPrecedenceAndChannelCount) {
    struct {
        const char* name;
        SPoint pt;
        int nDrag;       // channel whose tag drag begins, -1 none
        int nSel;        // m_nSelChannel afterwards
        bool bThumb;     // thumb drag begins
        bool bCursorSet; // Cur1 placed
    } const cases[] = {
        {"thumb over a tag", {20, 205}, -1, 0, true, false},
        {"thumb over the plot", {110, 200}, -1, 0, true, false},
        {"tag 1", {5, 105}, 1, 0, false, false},
        {"first tag wins on overlap", {20, 205}, 0, 0, false, false},
        {"legend of channel 2", {400, 385}, -1, 1, false, false},
        {"stale legend of channel 6", {500, 100}, -1, 0, false, true},
        {"stale tag of channel 4", {30, 300}, -1, 0, false, false},
        {"nothing", {595, 395}, -1, 0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        graph.SetThumbRect(SRect{100, 26, 379, 43});
        graph.SetMarkerRect(0, SRect{10, 196, 52, 210});
        graph.SetMarkerRect(1, SRect{5, 100, 52, 214});
        graph.SetMarkerRect(4, SRect{0, 290, 52, 310});
        graph.SetLegendRect(6, SRect{450, 90, 550, 110});
        // An odd thumb laid over tags and plot to test precedence.
        if (c.bThumb)
            graph.SetThumbRect(SRect{0, 150, 120, 250});
        graph.m_nSelChannel = 0;
        graph.m_ptCursor[0] = SPoint{0, 0};

        const SMouseAction a = graph.OnLButtonDown(MK_LButton, c.pt);
        EXPECT_EQ(graph.IsThumbDrag(), c.bThumb);
        EXPECT_EQ(graph.DragChannel(), c.nDrag);
        EXPECT_EQ(graph.m_nSelChannel, c.nSel);
        EXPECT_EQ(graph.m_ptCursor[0] != (SPoint{0, 0}), c.bCursorSet);
        EXPECT_EQ(a.m_bCapture, c.bThumb || c.nDrag >= 0);
        const SMouseAction up = graph.OnLButtonUp(0, c.pt);
        EXPECT_EQ(up.m_bReleaseCapture, c.bThumb || c.nDrag >= 0);
        EXPECT_EQ(up.m_bSaveChannelAttrs, c.nDrag >= 0);
        EXPECT_FALSE(graph.IsThumbDrag());
    }
}

TEST_F(MouseLogic, ThumbDragScrollsBackAndEndsOnRelease) {
    graph.SetDisplayWindow(3000, 50);
    graph.m_ptCursor[0] = SPoint{7, 7};
    ASSERT_TRUE(graph.OnLButtonDown(MK_LButton, SPoint{300, 30}).m_bCapture);
    ASSERT_TRUE(graph.IsThumbDrag());

    // Dragged over the plot with the left button down: the thumb, not a cursor, follows.
    SMouseAction a = graph.OnMouseMove(MK_LButton, SPoint{194, 200});
    EXPECT_EQ(a.m_nPointer, PTR_SizeWE);
    EXPECT_TRUE(a.m_bInvalidate);
    EXPECT_EQ(graph.ScrollBack(), 50 + 106 * 3000 / 318);
    EXPECT_EQ(graph.m_ptCursor[0], (SPoint{7, 7}));
    a = graph.OnMouseMove(MK_LButton, SPoint{599, 30});
    EXPECT_EQ(graph.ScrollBack(), 0);

    const SMouseAction up = graph.OnLButtonUp(0, SPoint{599, 30});
    EXPECT_TRUE(up.m_bReleaseCapture);
    EXPECT_FALSE(up.m_bSaveChannelAttrs);
    EXPECT_FALSE(graph.IsThumbDrag());
}

TEST_F(MouseLogic, PointerShapeFollowsWhatIsUnderIt) {
    struct {
        SPoint pt;
        EPointer nPointer;
    } const cases[] = {
        {{100, 26}, PTR_SizeWE}, {{378, 42}, PTR_SizeWE}, {{379, 30}, PTR_Arrow},
        {{10, 196}, PTR_SizeNS}, {{52, 200}, PTR_Arrow},  {{300, 200}, PTR_Arrow},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pt.x << "," << c.pt.y);
        const SMouseAction a = graph.OnMouseMove(MK_None, c.pt);
        EXPECT_TRUE(a.m_bSetPointer);
        EXPECT_EQ(a.m_nPointer, c.nPointer);
        EXPECT_FALSE(a.m_bInvalidate);
    }
}

TEST_F(MouseLogic, DoubleClickListsEveryLegendLineHitInOrder) {
    // A long left-column line reaching into the right column.
    graph.SetLegendRect(0, SRect{60, 379, 400, 391});
    graph.SetLegendRect(3, SRect{60, 379, 600, 400}); // beyond the channel count: stale
    struct {
        SPoint pt;
        std::vector<int> channels;
    } const cases[] = {
        {{100, 380}, {0}}, {{350, 380}, {0, 1}}, {{420, 390}, {1}},
        {{420, 391}, {}},  {{300, 200}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pt.x << "," << c.pt.y);
        graph.m_nSelChannel = 0;
        const SMouseAction a = graph.OnLButtonDblClk(MK_LButton, c.pt);
        EXPECT_EQ(a.m_OpenAttrDialogFor, c.channels);
    }
    doc.m_nChannels = 4;
    EXPECT_EQ(graph.OnLButtonDblClk(MK_LButton, SPoint{350, 380}).m_OpenAttrDialogFor,
              (std::vector<int>{0, 1, 3}));
}

} // namespace
