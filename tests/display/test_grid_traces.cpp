// Grid lines and labels, traces and the scroll bar, checked by their exact coordinates on the
// recording canvas and, for a real paint, by pixels of the image.
#include "display/graph.h"
#include "display/painter_canvas.h"
#include "recording_canvas.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using CRec = CRecordingCanvas;
const double kInf = std::numeric_limits<double>::infinity();

/// A document with nChannels channels holding the given rows, channel ch at position pos[ch]
/// with 10 per division.
void Fill(CkestDoc& doc, int nChannels, const std::vector<std::vector<double>>& rows) {
    doc.InitLogData(nChannels, 1024, 1024);
    for (const auto& r : rows) {
        double row[8] = {};
        for (size_t i = 0; i < r.size() && i < 8; ++i)
            row[i] = r[i];
        doc.AddRow(row);
    }
}

std::vector<CRec::SSegment> SegmentsWithWidth(const CRec& rec, int nWidth, COLORREF cr) {
    std::vector<CRec::SSegment> out;
    for (const auto& s : rec.Segments())
        if (s.m_pen.m_nWidth == nWidth && s.m_pen.m_crColor == cr)
            out.push_back(s);
    return out;
}

/// Polyline records of DrawTraces in call order as point lists.
std::vector<std::vector<SPoint>> TracePolylines(const CRec& rec) {
    std::vector<std::vector<SPoint>> out;
    for (const auto& r : rec.Find(CRec::OP_Polyline)) {
        std::vector<SPoint> pts;
        for (size_t i = 0; i + 1 < r.m_args.size(); i += 2)
            pts.push_back({r.m_args[i], r.m_args[i + 1]});
        out.push_back(pts);
    }
    return out;
}

} // namespace

TEST(Grid, LinesAndLabelsFollowTheWindow) {
    struct SCase {
        int nDispStart;
        int nFirstK;
        size_t nInner;
        std::vector<int> labelK;
        std::vector<QByteArray> labels;
    };
    const SCase cases[] = {
        {0, 100, 14, {500, 1000}, {"500", "1000"}},
        {130, 70, 15, {370, 870, 1370}, {"500", "1000", "1500"}},
        {1500, 100, 14, {500, 1000}, {"2000", "2500"}},
    };
    for (const SCase& c : cases) {
        CkestDoc doc;
        CGraph graph(&doc);
        graph.m_nSamplesPerDiv = 100;
        graph.SetDisplayWindow(c.nDispStart + 15 * 100, 0);
        const SPlotLayout l = graph.CalcLayout(600, 400); // plot (60, 52, 590, 358)
        CRec rec;
        graph.DrawGrid(rec, l);

        const auto segs = SegmentsWithWidth(rec, 1, 0xA0A0A0);
        ASSERT_EQ(segs.size(), 11u + 2u + c.nInner) << c.nDispStart;
        for (int i = 0; i <= 10; ++i) {
            const int y = 358 - 306 * (i * 100) / 1000;
            EXPECT_EQ(segs[i], (CRec::SSegment{60, y, 590, y, segs[i].m_pen}));
        }
        // Edges reach one pixel above the top line, since end points are not drawn.
        EXPECT_EQ(segs[11], (CRec::SSegment{60, 358, 60, 51, segs[11].m_pen}));
        EXPECT_EQ(segs[12], (CRec::SSegment{590, 358, 590, 51, segs[12].m_pen}));
        for (int j = 0; j < static_cast<int>(c.nInner); ++j) {
            const int k = c.nFirstK + 100 * j;
            const int x = 60 + 530 * k / 1500;
            EXPECT_EQ(segs[13 + j], (CRec::SSegment{x, 358, x, 52, segs[13 + j].m_pen}))
                << c.nDispStart << " k " << k;
        }

        const auto texts = rec.Find(CRec::OP_TextOut);
        ASSERT_EQ(texts.size(), c.labels.size()) << c.nDispStart;
        for (size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(texts[i].m_strText, c.labels[i]);
            EXPECT_EQ(texts[i].m_args, (std::vector<int>{60 + 530 * c.labelK[i] / 1500, 358}));
            EXPECT_EQ(texts[i].m_nAlign, TA_TopCenter);
            EXPECT_EQ(texts[i].m_crText, 0x000000u);
            EXPECT_EQ(texts[i].m_font.m_nHeight, -10);
        }
        // Everything selected is selected back.
        EXPECT_EQ(rec.m_records.back().m_nOp, CRec::OP_SelectPen);
        EXPECT_EQ(rec.m_records.back().m_pen, SPen{});
        EXPECT_EQ(rec.m_records.back().m_nAlign, TA_TopLeft);
    }
}

TEST(Traces, PointsClipAndOrder) {
    CkestDoc doc;
    // CH1 at position 500, CH2 at 200; 10 per division, so value v sits at pos + 10 v.
    Fill(doc, 2, {{0, 0}, {10, 5}, {-10, 0}, {0, 50}});
    for (int ch = 0; ch < 2; ++ch) {
        SChannelAttr a = doc.GetChannelAttr(ch);
        a.m_nPos = ch == 0 ? 500 : 200;
        a.m_crColor = ch == 0 ? 0x0000FF : 0xFF0000;
        doc.SetChannelAttr(ch, a);
    }
    CGraph graph(&doc);
    graph.m_nSamplesPerDiv = 1; // 15 samples across 530 pixels
    graph.UpdateDisplayWindow();
    const SPlotLayout l = graph.CalcLayout(600, 400);
    CRec rec;
    graph.DrawTraces(rec, l);

    const auto clip = rec.Find(CRec::OP_IntersectClip);
    ASSERT_EQ(clip.size(), 1u);
    EXPECT_EQ(clip[0].m_args, (std::vector<int>{60, 52, 591, 359}));
    EXPECT_EQ(rec.m_records.front().m_nOp, CRec::OP_SaveState);
    EXPECT_EQ(rec.m_records.back().m_nOp, CRec::OP_RestoreState);

    const auto lines = TracePolylines(rec);
    ASSERT_EQ(lines.size(), 2u);
    const auto y = [](int pos) { return 358 - 306 * pos / 1000; };
    const auto x = [](int k) { return 60 + 530 * k / 15; };
    // Last channel first, so the first channel lies on top.
    EXPECT_EQ(rec.Find(CRec::OP_Polyline)[0].m_pen.m_crColor, 0xFF0000u);
    EXPECT_EQ(rec.Find(CRec::OP_Polyline)[1].m_pen.m_crColor, 0x0000FFu);
    EXPECT_EQ(rec.Find(CRec::OP_Polyline)[1].m_pen.m_nWidth, 1);
    // CH2: 0, 5, 0, 50 -> 200, 250, 200, 700.
    EXPECT_EQ(lines[0], (std::vector<SPoint>{
                            {x(0), y(200)}, {x(1), y(250)}, {x(2), y(200)}, {x(3), y(700)}}));
    EXPECT_EQ(lines[1], (std::vector<SPoint>{
                            {x(0), y(500)}, {x(1), y(600)}, {x(2), y(400)}, {x(3), y(500)}}));
}

TEST(Traces, SpecialValues) {
    struct SCase {
        const char* what;
        std::vector<double> values; // CH1 samples, position 500, 10 per division
        size_t nPolylines;
        int nDots;
    };
    const double nan = std::nan("");
    const SCase cases[] = {
        {"one sample is a dot", {3}, 0, 1},
        {"far above", {0, 1e6, 0}, 1, 0},
        {"infinities", {0, kInf, -kInf, 0}, 1, 0},
        {"NaN breaks the line", {0, 1, nan, 2, 3}, 2, 0},
        {"lone sample between NaNs", {nan, 1, nan, nan, 2, 3}, 1, 1},
        {"only NaN", {nan, nan}, 0, 0},
    };
    for (const SCase& c : cases) {
        CkestDoc doc;
        std::vector<std::vector<double>> rows;
        for (double v : c.values)
            rows.push_back({v});
        Fill(doc, 1, rows);
        SChannelAttr a = doc.GetChannelAttr(0);
        a.m_nPos = 500;
        doc.SetChannelAttr(0, a);
        CGraph graph(&doc);
        graph.m_nSamplesPerDiv = 1;
        graph.UpdateDisplayWindow();
        const SPlotLayout l = graph.CalcLayout(600, 400);
        CRec rec;
        graph.DrawTraces(rec, l);

        const auto lines = TracePolylines(rec);
        EXPECT_EQ(lines.size(), c.nPolylines) << c.what;
        // Every coordinate handed to the canvas stays within a few plot heights of the plot.
        for (const auto& line : lines)
            for (const SPoint& p : line) {
                EXPECT_GE(p.y, 52 - 2 * 306 - 100) << c.what;
                EXPECT_LE(p.y, 358 + 2 * 306 + 100) << c.what;
            }
        const auto moves = rec.Find(CRec::OP_MoveTo);
        const auto tos = rec.Find(CRec::OP_LineTo);
        ASSERT_EQ(moves.size(), static_cast<size_t>(c.nDots)) << c.what;
        ASSERT_EQ(tos.size(), static_cast<size_t>(c.nDots)) << c.what;
        for (int i = 0; i < c.nDots; ++i)
            EXPECT_EQ(tos[i].m_args, (std::vector<int>{moves[i].m_args[0] + 1, moves[i].m_args[1]}))
                << c.what;
    }
}

TEST(Traces, OneSampleDotAtItsHeightForEveryChannel) {
    CkestDoc doc;
    Fill(doc, 3, {{1, 2, 3}});
    for (int ch = 0; ch < 3; ++ch) {
        SChannelAttr a = doc.GetChannelAttr(ch);
        a.m_nPos = 0;
        doc.SetChannelAttr(ch, a);
    }
    CGraph graph(&doc);
    graph.UpdateDisplayWindow();
    const SPlotLayout l = graph.CalcLayout(600, 400);
    CRec rec;
    graph.DrawTraces(rec, l);
    const auto moves = rec.Find(CRec::OP_MoveTo);
    ASSERT_EQ(moves.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const int ch = 2 - i; // drawn last to first
        // Three channels give the plot (65, 52, 590, 344); value v sits at position 10 v.
        EXPECT_EQ(moves[i].m_args, (std::vector<int>{65, 344 - 292 * (10 * (ch + 1)) / 1000}));
    }
}

TEST(ScrollBar, ThumbShowsShareAndPlace) {
    struct SCase {
        int nDispCount, nScreen, nBack;
        SRect thumb; // 600 x 400: bar (60, 26, 378, 42), 318 wide
    };
    const SCase cases[] = {
        {0, 1500, 0, {60, 26, 379, 43}},        // empty: fills the bar
        {1000, 1500, 0, {60, 26, 379, 43}},     // all fits
        {3000, 1500, 0, {219, 26, 379, 43}},    // half the samples, at the right end
        {3000, 1500, 1500, {60, 26, 220, 43}},  // scrolled fully back
        {2000000, 1500, 0, {375, 26, 379, 43}}, // at least 3 wide
    };
    for (const SCase& c : cases) {
        CkestDoc doc;
        CGraph graph(&doc);
        graph.SetDisplayWindow(c.nDispCount, c.nBack);
        ASSERT_EQ(graph.ScreenSamples(), c.nScreen);
        const SPlotLayout l = graph.CalcLayout(600, 400);
        CRec rec;
        graph.DrawScrollBar(rec, l, false);
        EXPECT_EQ(graph.ThumbRect(), c.thumb) << c.nDispCount << " " << c.nBack;
        const auto rects = rec.Find(CRec::OP_Rectangle);
        ASSERT_EQ(rects.size(), 1u);
        EXPECT_EQ(rects[0].m_args,
                  (std::vector<int>{c.thumb.left, c.thumb.top, c.thumb.right, c.thumb.bottom}));
        EXPECT_EQ(rects[0].m_brush.m_crColor, 0x96B4F0u);
        const auto segs = SegmentsWithWidth(rec, 1, 0x000000);
        ASSERT_EQ(segs.size(), 3u);
        EXPECT_EQ(segs[2], (CRec::SSegment{60, 34, 378, 34, segs[2].m_pen}));

        // Printing leaves the screen's hit rectangle alone.
        graph.SetThumbRect(SRect{});
        CRec print;
        graph.DrawScrollBar(print, l, true);
        EXPECT_TRUE(graph.ThumbRect().IsEmpty());
    }
}

TEST(ScreenPaint, PixelsOfARealPaint) {
    CkestDoc doc;
    std::vector<std::vector<double>> rows;
    for (int i = 0; i < 1000; ++i)
        rows.push_back({i < 500 ? 0.0 : 1e9, 20.0});
    Fill(doc, 2, rows);
    SChannelAttr a = doc.GetChannelAttr(0);
    a.m_nPos = 500;
    a.m_crColor = 0x0000FF; // red
    doc.SetChannelAttr(0, a);
    CGraph graph(&doc);
    graph.m_bCursor = false;
    graph.OnSize(600, 400);
    graph.UpdateDisplayWindow();
    QImage image(600, 400, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        CPainterCanvas canvas(&painter, 600, 400);
        graph.DrawScreen(canvas);
    }
    EXPECT_EQ(graph.m_Layout, graph.CalcLayout(600, 400));
    const QRgb red = 0xFFFF0000;
    const QRgb white = 0xFFFFFFFF;
    // Plot (60, 30, 590, 358); CH1 at position 500 until sample 499, then far above.
    const int y500 = 358 - 328 * 500 / 1000;
    const int x150 = 60 + 530 * 150 / 1500; // between grid lines
    EXPECT_EQ(image.pixel(x150, y500), red);
    EXPECT_EQ(image.pixel(x150, y500 - 2), white);
    const int x499 = 60 + 530 * 499 / 1500;
    const int x500 = 60 + 530 * 500 / 1500;
    // The step to 1e9 leaves through the top edge: red up to row 30, nothing above it.
    EXPECT_EQ(image.pixel(x499, 31), red);
    EXPECT_EQ(image.pixel(x500, 30), red);
    for (int y = 0; y < 30; ++y)
        EXPECT_NE(image.pixel(x500, y), red) << y;
    for (int x = x500 + 2; x < 590; x += 7)
        EXPECT_NE(image.pixel(x, 100), red) << x;
    // White everywhere the graph draws nothing: corners, the margin right of the plot.
    for (const QPoint& p : {QPoint(0, 0), QPoint(599, 0), QPoint(599, 399), QPoint(595, 200),
                            QPoint(30, 200), QPoint(300, 395)})
        EXPECT_EQ(image.pixel(p), white) << p.x() << "," << p.y();
    // Grid: bottom line and the label font's ink below it.
    EXPECT_EQ(image.pixel(300, 358), 0xFFA0A0A0);
}

TEST(ScreenPaint, ThreeChannelPictureShowsEveryTrace) {
    // Sine, square and noise on their own positions and colours; KEST_GRAPH_PNG=<path> also
    // writes the picture (docs/images/graph.png is made this way).
    CkestDoc doc;
    doc.InitLogData(3, 4096, 4096);
    uint32_t seed = 1;
    for (int i = 0; i < 2300; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double row[8] = {2.5 * std::sin(i * 0.021), (i / 150) % 2 == 0 ? 1.0 : -1.0,
                               (static_cast<double>(seed >> 8) / (1 << 24) - 0.5) * 8.0};
        doc.AddRow(row);
    }
    const struct {
        const char* name;
        COLORREF cr;
        int nPos;
        double dVRes;
        const char* unit;
    } attrs[3] = {{"sine", 0x0000C0, 750, 1.0, "V"},
                  {"square", 0xC00000, 450, 1.0, "V"},
                  {"\xE3\x83\x8E\xE3\x82\xA4\xE3\x82\xBA", 0x008000, 200, 5.0, "mA"}};
    for (int ch = 0; ch < 3; ++ch) {
        SChannelAttr a = doc.GetChannelAttr(ch);
        a.m_strName = attrs[ch].name;
        a.m_crColor = attrs[ch].cr;
        a.m_nPos = attrs[ch].nPos;
        a.m_dVRes = attrs[ch].dVRes;
        a.m_strUnit = attrs[ch].unit;
        doc.SetChannelAttr(ch, a);
    }
    CGraph graph(&doc);
    graph.m_nSamplesPerDiv = 100;
    for (int ch = 0; ch < 3; ++ch)
        graph.m_dLatest[ch] = doc.m_LogData[ch].m_pData[2299];
    graph.m_ptCursor[0] = SPoint{300, 800};
    graph.m_ptCursor[1] = SPoint{1100, 300};
    graph.OnSize(900, 600);
    graph.UpdateDisplayWindow();
    QImage image(900, 600, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        CPainterCanvas canvas(&painter, 900, 600);
        graph.DrawScreen(canvas);
    }
    const QByteArray path = qgetenv("KEST_GRAPH_PNG");
    if (!path.isEmpty())
        image.save(QString::fromLocal8Bit(path));

    const SRect& P = graph.m_Layout.m_rcPlot;
    for (int ch = 0; ch < 3; ++ch) {
        const COLORREF cr = attrs[ch].cr;
        const QRgb rgb = qRgb(cr & 0xFF, (cr >> 8) & 0xFF, (cr >> 16) & 0xFF);
        int nInPlot = 0;
        for (int y = P.top; y <= P.bottom; ++y)
            for (int x = P.left + 1; x < P.right; ++x)
                nInPlot += image.pixel(x, y) == rgb;
        // A trace crosses the whole plot: at least one pixel per column.
        EXPECT_GE(nInPlot, P.right - P.left - 2) << attrs[ch].name;
    }
    EXPECT_EQ(graph.DisplayStart(), 800);
}
