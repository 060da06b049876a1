// Every frame the view puts into its window while data arrives is the picture a full repaint of
// the same state draws from scratch into an image of its own (the view paints straight into its
// window's backing store, at its place in the window, with what it keeps between frames), through
// hold, scroll-back, cursors and drags in progress, at a short and a long horizontal setting.
#include "app_test_util.h"

#include "app/main_frame.h"
#include "display/painter_canvas.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QScreen>
#include <QTest>
#include <cmath>
#include <cstdint>

namespace {

/// A shown main window with an 8-channel view of 800 x 500 whose store grows in steps.
struct SLiveView {
    SLiveView() {
        m_Fx.m_Doc.InitLogData(8, 4096, 4096);
        for (int ch = 0; ch < 8; ++ch) {
            SChannelAttr attr = m_Fx.m_Doc.GetChannelAttr(ch);
            attr.m_nPos = 100 + ch * 100;
            m_Fx.m_Doc.SetChannelAttr(ch, attr);
        }
        m_Fx.m_Doc.m_nChannels = 8;
        m_pView = m_Fx.m_pView.release();
        m_Frame.SetView(m_pView); // the frame owns the view from here
        m_pView->setFixedSize(800, 500);
        m_Frame.show();
        m_Frame.resize(m_Frame.sizeHint());
        m_bShown = QTest::qWaitForWindowExposed(&m_Frame);
    }

    /// nRows more rows of noisy sines, a NaN now and then, the legend's latest values set.
    void Arrive(int nRows) {
        double row[8];
        for (int i = 0; i < nRows; ++i, ++m_nRow) {
            for (int ch = 0; ch < 8; ++ch) {
                m_nSeed = m_nSeed * 1664525u + 1013904223u;
                const double noise = static_cast<double>(m_nSeed >> 8) / (1 << 24) - 0.5;
                row[ch] = 40.0 * std::sin(m_nRow * (ch + 1) * 1e-3 + ch) + 6.0 * noise;
                if ((m_nSeed >> 3) % 9973 == 0)
                    row[ch] = std::nan("");
            }
            m_Fx.m_Doc.AddRow(row);
            for (int ch = 0; ch < 8; ++ch)
                Graph().m_dLatest[ch] = row[ch];
        }
    }

    CGraph& Graph() { return m_pView->m_Graph; }

    /// Paints the view now and returns what its window shows of it.
    QImage Frame() {
        m_pView->repaint();
        QApplication::processEvents();
        const QPoint at = m_pView->mapTo(&m_Frame, QPoint(0, 0));
        return m_Frame.screen()
            ->grabWindow(m_Frame.winId(), at.x(), at.y(), m_pView->width(), m_pView->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    /// The same state drawn from nothing: a copy of the display state into a fresh image.
    QImage FullRepaint() {
        CGraph graph = Graph();
        QImage image(m_pView->size(), QImage::Format_RGB32);
        image.fill(0x123456); // whatever the paint leaves out shows
        QPainter painter(&image);
        CPainterCanvas canvas(&painter, image.width(), image.height());
        graph.DrawScreen(canvas);
        return image;
    }

    SViewFixture m_Fx;
    CMainFrame m_Frame; // destroyed first: the view goes before the document it shows
    CkestView* m_pView = nullptr;
    bool m_bShown = false;
    uint32_t m_nSeed = 777;
    int m_nRow = 0;
};

/// The first pixel where two frames differ, for the failure message.
QString FirstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return QStringLiteral("sizes differ: %1 x %2").arg(a.width()).arg(a.height());
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return QStringLiteral("first at (%1, %2): %3 instead of %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 0, 16)
                    .arg(b.pixel(x, y), 0, 16);
    return {};
}

SPoint Centre(const SRect& rc) {
    return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

TEST(ViewPaint, EveryFrameOfArrivingDataIsTheFullRepaint) {
    for (int nPerDiv : {100, 10000}) {
        SCOPED_TRACE(nPerDiv);
        SLiveView v;
        ASSERT_TRUE(v.m_bShown);
        ASSERT_EQ(v.m_pView->devicePixelRatioF(), 1.0);
        v.Graph().m_nSamplesPerDiv = nPerDiv;
        const int nScreen = nPerDiv * 15;
        // Batches of very different sizes, so that the summaries' blocks are completed partly,
        // wholly and many at once.
        const int nBatch[] = {1, 7, 33, nScreen / 3, 5, nScreen, 2, nScreen / 2 + 13, 100, 1};
        int nFrame = 0;
        auto check = [&](const char* pszWhat) {
            const QImage shown = v.Frame();
            const QImage full = v.FullRepaint();
            EXPECT_TRUE(shown == full)
                << pszWhat << ", frame " << nFrame << ", " << v.Graph().DisplayCount()
                << " rows: " << FirstDifference(shown, full).toStdString();
            ++nFrame;
        };
        for (int n : nBatch) {
            v.Arrive(n);
            check("arriving");
        }
        // Cursors placed in the plot by both buttons.
        const SRect P = v.Graph().m_Layout.m_rcPlot;
        QTest::mouseClick(v.m_pView, Qt::LeftButton, Qt::NoModifier,
                          QPoint(P.left + 40, (P.top + P.bottom) / 2));
        QTest::mouseClick(v.m_pView, Qt::RightButton, Qt::NoModifier,
                          QPoint(P.right - 90, P.top + 30));
        v.Arrive(nScreen / 7);
        check("cursors placed");
        // Held: the rows go on arriving, the picture stays.
        v.Graph().SetHold(true);
        for (int n : {nScreen / 5, 3}) {
            v.Arrive(n);
            check("held");
        }
        v.Graph().SetHold(false);
        v.Arrive(11);
        check("released");
        // A thumb drag in progress scrolls back while rows arrive.
        const SPoint ptThumb = Centre(v.Graph().ThumbRect());
        QTest::mousePress(v.m_pView, Qt::LeftButton, Qt::NoModifier, QPoint(ptThumb.x, ptThumb.y));
        QTest::mouseMove(v.m_pView, QPoint(ptThumb.x - 25, ptThumb.y));
        ASSERT_TRUE(v.Graph().IsThumbDrag());
        ASSERT_GT(v.Graph().ScrollBack(), 0);
        for (int n : {nScreen / 4, 9}) {
            v.Arrive(n);
            check("thumb drag");
        }
        QTest::mouseRelease(v.m_pView, Qt::LeftButton, Qt::NoModifier,
                            QPoint(ptThumb.x - 25, ptThumb.y));
        v.Arrive(5);
        check("scrolled back");
        // A tag drag in progress.
        const SPoint ptTag = Centre(v.Graph().MarkerRect(3));
        QTest::mousePress(v.m_pView, Qt::LeftButton, Qt::NoModifier, QPoint(ptTag.x, ptTag.y));
        QTest::mouseMove(v.m_pView, QPoint(ptTag.x, ptTag.y - 60));
        ASSERT_EQ(v.Graph().DragChannel(), 3);
        v.Arrive(nScreen / 6);
        check("tag drag");
        QTest::mouseRelease(v.m_pView, Qt::LeftButton, Qt::NoModifier,
                            QPoint(ptTag.x, ptTag.y - 60));
        // The store starts again with as many rows as before: in new memory (a new logging run)
        // and in the same memory (rows that only pass through it).
        const int nRows = v.Graph().DisplayCount();
        v.m_Fx.m_Doc.InitLogData(8, 4096, 4096);
        v.Arrive(nRows);
        check("store made again");
        v.m_Fx.m_Doc.ClearRows();
        v.Arrive(nRows);
        check("store emptied and filled again");
        EXPECT_EQ(nFrame, 20);
    }
}

} // namespace
