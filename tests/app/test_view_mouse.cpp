// Real mouse events on the view inside the main window: cursors, tag drags, legend clicks and
// double-clicks, the scroll-bar thumb, hidden cursors and a cursor beyond a narrowed window.
// The literal points and data coordinates below belong to a 600 x 400 view; each test first
// checks that the screen paint laid the plot out at that size.
#include "app_test_util.h"

#include "app/command_ids.h"
#include "app/main_frame.h"
#include "dialogs/set_input_data_dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

constexpr SPoint kUntouched{-7, -7};

/// A view of a fixed 600 x 400 inside a shown main window, over a store of nRows rows.
struct SFramedView {
    SFramedView(int nChannels, int nRows) {
        m_Fx.m_Doc.InitLogData(nChannels, 65536, 65536);
        for (int i = 0; i < nRows; ++i) {
            const double row[8] = {double(i % 100), double(-(i % 50))};
            m_Fx.m_Doc.AddRow(row);
        }
        m_pView = m_Fx.m_pView.release();
        m_Frame.SetView(m_pView); // the frame owns the view from here
        m_pView->setFixedSize(600, 400);
        m_Frame.show();
        m_bShown = QTest::qWaitForWindowExposed(&m_Frame);
        Paint();
    }
    ~SFramedView() {
        // A failed check must not leave a button held for the events of the next test.
        for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton})
            if (m_Held & b)
                Release(b, {1, 1});
    }

    /// Paints now, so the layout and the hit rectangles are those of the current state.
    void Paint() {
        m_pView->repaint();
        QApplication::processEvents();
    }
    CGraph& Graph() { return m_pView->m_Graph; }

    // The view maps event positions by the device pixel ratio, which is 1 on the offscreen
    // platform: device points and widget points coincide.
    void Press(Qt::MouseButton b, SPoint pt) {
        m_Held |= b;
        QTest::mousePress(m_pView, b, Qt::NoModifier, QPoint(pt.x, pt.y));
    }
    void Move(SPoint pt) { QTest::mouseMove(m_pView, QPoint(pt.x, pt.y)); }
    void Release(Qt::MouseButton b, SPoint pt) {
        m_Held &= ~Qt::MouseButtons(b);
        QTest::mouseRelease(m_pView, b, Qt::NoModifier, QPoint(pt.x, pt.y));
    }
    /// Press, release, double-click, release: what a widget receives for a double-click (the
    /// double-click takes the second press's place, as measured on X11).
    void DoubleClick(SPoint pt, Qt::MouseButton b = Qt::LeftButton, SPoint ptSecond = {-1, -1}) {
        if (ptSecond.x < 0)
            ptSecond = pt;
        Press(b, pt);
        Release(b, pt);
        m_Held |= b;
        QTest::mouseDClick(m_pView, b, Qt::NoModifier, QPoint(ptSecond.x, ptSecond.y));
        Release(b, ptSecond);
    }

    SViewFixture m_Fx;
    CMainFrame m_Frame; // destroyed first: the view goes before the document it shows
    CkestView* m_pView = nullptr;
    bool m_bShown = false;
    Qt::MouseButtons m_Held;
};

SPoint Centre(const SRect& rc) {
    return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

/// The plot of a 600 x 400 view with two channels and the cursors shown.
constexpr SRect kPlot2{60, 52, 590, 358};

#define ASSERT_FRAMED_VIEW(v)                                                                      \
    do {                                                                                           \
        ASSERT_TRUE((v).m_bShown);                                                                 \
        ASSERT_EQ((v).m_pView->devicePixelRatioF(), 1.0);                                          \
        ASSERT_EQ((v).Graph().m_Layout.m_cx, 600);                                                 \
        ASSERT_EQ((v).Graph().m_Layout.m_cy, 400);                                                 \
    } while (0)

TEST(ViewMouse, ButtonsPlaceTheirCursorsInsideThePlot) {
    struct SCase {
        const char* pszName;
        Qt::MouseButton button;
        SPoint ptPress;
        std::vector<SPoint> moves; // with the button held
        SPoint expected[2];        // Cur1, Cur2 afterwards
        SPoint ptInside;           // the last point inside the plot; x -1 for none
    };
    const SCase cases[] = {
        {"left click at the centre",
         Qt::LeftButton,
         {325, 205},
         {},
         {{750, 500}, kUntouched},
         {325, 205}},
        {"right click near the bottom-left corner",
         Qt::RightButton,
         {60, 357},
         {},
         {kUntouched, {0, 4}},
         {60, 357}},
        {"left drag to the top-right corner",
         Qt::LeftButton,
         {100, 100},
         {{300, 80}, {589, 52}},
         {{1497, 1000}, kUntouched},
         {589, 52}},
        {"right drag",
         Qt::RightButton,
         {200, 300},
         {{400, 150}},
         {kUntouched, {962, 680}},
         {400, 150}},
        {"left drag that leaves the plot keeps the last point inside",
         Qt::LeftButton,
         {300, 200},
         {{300, 380}, {595, 200}},
         {{679, 517}, kUntouched},
         {300, 200}},
        {"left press in the right margin",
         Qt::LeftButton,
         {595, 200},
         {},
         {kUntouched, kUntouched},
         {-1, 0}},
        {"right press on the bottom edge (exclusive)",
         Qt::RightButton,
         {60, 358},
         {},
         {kUntouched, kUntouched},
         {-1, 0}},
    };
    SFramedView v(2, 200);
    ASSERT_FRAMED_VIEW(v);
    ASSERT_EQ(v.Graph().m_Layout.m_rcPlot, kPlot2);
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        v.Graph().m_ptCursor[0] = kUntouched;
        v.Graph().m_ptCursor[1] = kUntouched;
        v.Press(c.button, c.ptPress);
        SPoint ptLast = c.ptPress;
        for (SPoint pt : c.moves) {
            v.Move(pt);
            ptLast = pt;
        }
        v.Release(c.button, ptLast);
        for (int n = 0; n < 2; ++n) {
            EXPECT_EQ(v.Graph().m_ptCursor[n].x, c.expected[n].x) << "cursor " << n + 1;
            EXPECT_EQ(v.Graph().m_ptCursor[n].y, c.expected[n].y) << "cursor " << n + 1;
        }
        // The same data point the graph's own mapping gives for the last point inside the plot.
        const int n = c.button == Qt::LeftButton ? 0 : 1;
        if (c.ptInside.x >= 0) {
            EXPECT_EQ(v.Graph().m_ptCursor[n],
                      v.Graph().PointToData(c.ptInside, v.Graph().m_Layout));
        }
        EXPECT_EQ(QWidget::mouseGrabber(), nullptr) << "cursors never capture the mouse";
    }
}

TEST(ViewMouse, TagDragIsClampedAndSavedOnRelease) {
    struct SCase {
        const char* pszName;
        int nChannel;
        int nStartPos;
        int dy; // final pointer offset from the press point, device units
        int nExpected;
    };
    const SCase cases[] = {
        {"CH1 up", 0, 500, -61, 699},       {"CH1 down", 0, 500, 31, 399},
        {"CH1 far up", 0, 500, -400, 1000}, {"CH1 far down", 0, 500, 400, 0},
        {"CH2 up", 1, 200, -30, 298},       {"CH2 from the top", 1, 1000, -5, 1000},
    };
    SFramedView v(2, 0);
    ASSERT_FRAMED_VIEW(v);
    const QString strProfile = v.m_Fx.m_pProfile->GetPath();
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        QFile::remove(strProfile);
        v.m_Fx.m_Doc.GetChannelAttr(0).m_nPos = 500;
        v.m_Fx.m_Doc.GetChannelAttr(1).m_nPos = 200;
        v.m_Fx.m_Doc.GetChannelAttr(c.nChannel).m_nPos = c.nStartPos;
        v.Paint();
        const SRect rcTag = v.Graph().MarkerRect(c.nChannel);
        // The tag's body is centred on the channel's height in the plot.
        EXPECT_EQ(Centre(rcTag).y, v.Graph().DataToPoint(0, c.nStartPos, v.Graph().m_Layout).y);
        const SPoint ptDown = Centre(rcTag);
        v.Press(Qt::LeftButton, ptDown);
        EXPECT_EQ(QWidget::mouseGrabber(), v.m_pView);
        v.Move({ptDown.x, ptDown.y + c.dy / 2});
        const SPoint ptEnd{ptDown.x + 3, ptDown.y + c.dy};
        v.Move(ptEnd);
        EXPECT_EQ(v.m_Fx.m_Doc.GetChannelAttr(c.nChannel).m_nPos, c.nExpected);
        EXPECT_EQ(v.m_Fx.m_pProfile->GetProfileInt("VSetting1", "Pos", -1), -1)
            << "nothing is written while dragging";
        v.Release(Qt::LeftButton, ptEnd);
        EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
        const QByteArray section = "VSetting" + QByteArray::number(c.nChannel + 1);
        EXPECT_EQ(v.m_Fx.m_pProfile->GetProfileInt(section.constData(), "Pos", -1), c.nExpected);
        // The other channel's section is written as well, with its unchanged position.
        const int nOther = 1 - c.nChannel;
        const QByteArray other = "VSetting" + QByteArray::number(nOther + 1);
        EXPECT_EQ(v.m_Fx.m_pProfile->GetProfileInt(other.constData(), "Pos", -1),
                  v.m_Fx.m_Doc.GetChannelAttr(nOther).m_nPos);
        EXPECT_EQ(v.Graph().DragChannel(), -1);
        EXPECT_EQ(v.Graph().m_ptCursor[0], SPoint{}) << "a tag drag is not a cursor drag";
    }
}

TEST(ViewMouse, LegendClickSelectsTheChannel) {
    SFramedView v(4, 10);
    ASSERT_FRAMED_VIEW(v);
    // Four channels: two columns from x 70 and 330, rows at y 362 and 380.
    const SPoint topLeft[4] = {{70, 362}, {330, 362}, {70, 380}, {330, 380}};
    for (int ch = 0; ch < 4; ++ch) {
        EXPECT_EQ(v.Graph().LegendRect(ch).left, topLeft[ch].x) << ch;
        EXPECT_EQ(v.Graph().LegendRect(ch).top, topLeft[ch].y) << ch;
    }
    struct SCase {
        int nStart;
        int nLine; // the legend line clicked, -1 for a point beside every line
        int nExpected;
    };
    const SCase cases[] = {{0, 3, 3}, {3, 0, 0}, {1, 2, 2}, {2, -1, 2}, {0, 1, 1}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.nLine);
        v.Graph().m_nSelChannel = c.nStart;
        v.Graph().m_ptCursor[0] = kUntouched;
        const SPoint pt = c.nLine >= 0 ? Centre(v.Graph().LegendRect(c.nLine)) : SPoint{20, 395};
        v.Press(Qt::LeftButton, pt);
        v.Release(Qt::LeftButton, pt);
        EXPECT_EQ(v.Graph().m_nSelChannel, c.nExpected);
        EXPECT_EQ(v.Graph().m_ptCursor[0], kUntouched);
    }
}

/// Records which channel each channel attributes dialog opened on, then cancels it.
class CAttrDialogCanceller : public QObject {
public:
    CAttrDialogCanceller() {
        connect(&m_Timer, &QTimer::timeout, this, [this] {
            auto* pDlg = qobject_cast<CSetInputDataDlg*>(QApplication::activeModalWidget());
            if (pDlg == nullptr || !pDlg->isVisible())
                return;
            m_Channels.append(pDlg->m_nCurChannel);
            m_SelectorTexts.append(pDlg->m_pEditChannel->text());
            m_Names.append(pDlg->m_pEditName->text());
            pDlg->m_pCancelButton->click();
        });
        m_Timer.start(5);
    }
    QList<int> m_Channels;
    QStringList m_SelectorTexts;
    QStringList m_Names;

private:
    QTimer m_Timer;
};

/// Records the selected channel each time the view paints.
class CPaintedSelection : public QObject {
public:
    CPaintedSelection(const CGraph* pGraph, QWidget* pView) : m_pGraph(pGraph) {
        pView->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::Paint)
            m_nLast = m_pGraph->m_nSelChannel;
        return false;
    }
    int m_nLast = -1;

private:
    const CGraph* m_pGraph;
};

TEST(ViewMouse, LegendDoubleClickOpensTheAttributesOfThatChannel) {
    struct SCase {
        const char* pszName;
        QByteArray strName0; // CH1's name: a long one reaches into the right column
        int nAim;            // aim at the centre of this channel's line, -1 beside them
        QList<int> opened;
        int nSelAfter;
    };
    const SCase cases[] = {
        {"CH2's line", "", 1, {1}, 1},
        {"CH1's line", "", 0, {0}, 0},
        {"beside every line", "", -1, {}, 1},
        {"overlapping lines open one dialog each", QByteArray(70, 'W'), 1, {0, 1}, 1},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        SFramedView v(2, 0);
        v.m_Fx.m_Doc.GetChannelAttr(0).m_strName = c.strName0;
        v.m_Fx.m_Doc.GetChannelAttr(1).m_strName = "Temp";
        v.Paint();
        ASSERT_FRAMED_VIEW(v);
        // Two channels at 600 x 400: both lines at y 379, from x 60 and 325.
        EXPECT_EQ(v.Graph().LegendRect(0).left, 60);
        EXPECT_EQ(v.Graph().LegendRect(1).left, 325);
        EXPECT_EQ(v.Graph().LegendRect(1).top, 379);
        const SPoint pt = c.nAim >= 0 ? Centre(v.Graph().LegendRect(c.nAim)) : SPoint{20, 395};
        if (c.opened.size() == 2) {
            ASSERT_TRUE(v.Graph().LegendRect(0).Contains(pt)) << "the lines must overlap here";
        }
        v.Graph().m_nSelChannel = 1;
        CAttrDialogCanceller canceller;
        CPaintedSelection painted(&v.Graph(), v.m_pView);
        v.DoubleClick(pt);
        QApplication::processEvents();
        if (!c.opened.isEmpty()) {
            EXPECT_EQ(painted.m_nLast, v.Graph().m_nSelChannel)
                << "the picture shows the selection the program holds";
        }
        EXPECT_EQ(canceller.m_Channels, c.opened);
        QStringList selectors;
        for (int ch : c.opened)
            selectors << QString::number(ch + 1);
        EXPECT_EQ(canceller.m_SelectorTexts, selectors);
        if (!c.opened.isEmpty()) {
            EXPECT_EQ(canceller.m_Names.back(), c.opened.back() == 1
                                                    ? QStringLiteral("Temp")
                                                    : QString::fromLatin1(c.strName0));
        }
        EXPECT_EQ(v.Graph().m_nSelChannel, c.nSelAfter);
        EXPECT_FALSE(QFile::exists(v.m_Fx.m_pProfile->GetPath())) << "cancel writes nothing";
    }
}

TEST(ViewMouse, ThumbDragScrollsBack) {
    // 6000 samples, 1500 on screen: the bar from x 60 to 378 (318 wide) and the thumb a
    // quarter of it at the right end.
    struct SCase {
        const char* pszName;
        int dx;
        int nBackWhileDragging;
        int nDispStartAfter;
    };
    const SCase cases[] = {
        {"left by 53 shows 1000 older samples", -53, 1000, 3500},
        {"right from the newest end stays there", 40, 0, 4500},
        {"far left stops at the oldest sample", -1000, 18867, 0},
    };
    SFramedView v(2, 6000);
    ASSERT_FRAMED_VIEW(v);
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        v.Graph().SetDisplayWindow(v.Graph().DisplayCount(), 0);
        v.Paint();
        ASSERT_EQ(v.Graph().DisplayStart(), 4500);
        const SRect rcThumb = v.Graph().ThumbRect();
        ASSERT_EQ(rcThumb.right - rcThumb.left, 80);
        v.Graph().m_ptCursor[0] = kUntouched;
        const SPoint ptDown = Centre(rcThumb);
        v.Press(Qt::LeftButton, ptDown);
        EXPECT_TRUE(v.Graph().IsThumbDrag());
        EXPECT_EQ(QWidget::mouseGrabber(), v.m_pView);
        // The pointer may wander into the plot: the thumb keeps the drag.
        const SPoint ptEnd{ptDown.x + c.dx, 200};
        v.Move(ptEnd);
        EXPECT_EQ(v.Graph().ScrollBack(), c.nBackWhileDragging);
        v.Release(Qt::LeftButton, ptEnd);
        EXPECT_FALSE(v.Graph().IsThumbDrag());
        EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
        EXPECT_EQ(v.Graph().m_ptCursor[0], kUntouched);
        v.Paint();
        EXPECT_EQ(v.Graph().DisplayStart(), c.nDispStartAfter);
    }
}

TEST(ViewMouse, RightDoubleClickIsOnePress) {
    SFramedView v(2, 200);
    ASSERT_FRAMED_VIEW(v);
    ASSERT_EQ(v.Graph().m_Layout.m_rcPlot, kPlot2);
    v.Graph().m_ptCursor[0] = kUntouched;
    v.Graph().m_ptCursor[1] = kUntouched;
    // The second click lands elsewhere: only the first press places Cur2.
    v.DoubleClick({200, 300}, Qt::RightButton, {400, 150});
    EXPECT_EQ(v.Graph().m_ptCursor[1], (SPoint{396, 190})); // not {962, 680}
    EXPECT_EQ(v.Graph().m_ptCursor[0], kUntouched);
}

TEST(ViewMouse, HiddenCursorsIgnoreThePlotButNotTheLegend) {
    SFramedView v(2, 100);
    ASSERT_FRAMED_VIEW(v);
    v.m_Frame.GetAction(ID_VIEW_CURSOR)->trigger();
    ASSERT_FALSE(v.Graph().m_bCursor);
    EXPECT_FALSE(v.m_Frame.GetAction(ID_VIEW_CURSOR)->isChecked());
    v.Paint();
    const SRect rcPlot = v.Graph().m_Layout.m_rcPlot;
    EXPECT_EQ(rcPlot.top, 30) << "hiding the cursors shrinks the top margin";

    const SPoint cur1{400, 300};
    const SPoint cur2{1200, 700};
    v.Graph().m_ptCursor[0] = cur1;
    v.Graph().m_ptCursor[1] = cur2;
    const SPoint ptMid = Centre(rcPlot);
    v.Press(Qt::LeftButton, ptMid);
    v.Move({ptMid.x + 40, ptMid.y + 20});
    v.Release(Qt::LeftButton, {ptMid.x + 40, ptMid.y + 20});
    v.Press(Qt::RightButton, ptMid);
    v.Move({ptMid.x - 40, ptMid.y});
    v.Release(Qt::RightButton, {ptMid.x - 40, ptMid.y});
    EXPECT_EQ(v.Graph().m_ptCursor[0], cur1);
    EXPECT_EQ(v.Graph().m_ptCursor[1], cur2);

    // The legend still reacts.
    const SPoint ptLine = Centre(v.Graph().LegendRect(1));
    v.Press(Qt::LeftButton, ptLine);
    v.Release(Qt::LeftButton, ptLine);
    EXPECT_EQ(v.Graph().m_nSelChannel, 1);

    // Shown again: the old positions come back, and the same click now moves Cur1.
    v.m_Frame.GetAction(ID_VIEW_CURSOR)->trigger();
    ASSERT_TRUE(v.Graph().m_bCursor);
    v.Paint();
    EXPECT_EQ(v.Graph().m_ptCursor[0], cur1);
    EXPECT_EQ(v.Graph().m_ptCursor[1], cur2);
    v.Press(Qt::LeftButton, {325, 205});
    v.Release(Qt::LeftButton, {325, 205});
    EXPECT_EQ(v.Graph().m_ptCursor[0], (SPoint{750, 500}));
}

TEST(ViewMouse, CursorBeyondANarrowedWindowMovesToTheRightEdge) {
    SFramedView v(2, 100);
    ASSERT_FRAMED_VIEW(v);
    ASSERT_EQ(v.Graph().m_Layout.m_rcPlot, kPlot2);
    v.Press(Qt::LeftButton, {589, 100});
    v.Release(Qt::LeftButton, {589, 100});
    v.Press(Qt::RightButton, {100, 100});
    v.Release(Qt::RightButton, {100, 100});
    ASSERT_EQ(v.Graph().m_ptCursor[0].x, 1497);
    ASSERT_EQ(v.Graph().m_ptCursor[1].x, 113);

    struct SStep {
        int nSamplesPerDiv;
        int nCur1;
        int nCur2;
    };
    // 10 per division leaves 150 samples: Cur1 goes to the edge, Cur2 fits; widening again
    // does not bring Cur1 back.
    const SStep steps[] = {{10, 150, 113}, {100, 150, 113}, {5, 75, 75}};
    for (const SStep& s : steps) {
        SCOPED_TRACE(s.nSamplesPerDiv);
        v.Graph().m_nSamplesPerDiv = s.nSamplesPerDiv;
        v.Paint();
        EXPECT_EQ(v.Graph().m_ptCursor[0].x, s.nCur1);
        EXPECT_EQ(v.Graph().m_ptCursor[1].x, s.nCur2);
        EXPECT_EQ(v.Graph().m_ptCursor[0].y, 844) << "the level is kept";
    }
}

/// Counts the paint events of the object it watches.
class CPaintCounter : public QObject {
public:
    bool eventFilter(QObject* pObj, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::Paint)
            ++m_nPaints;
        return QObject::eventFilter(pObj, pEvent);
    }
    int m_nPaints = 0;
};

TEST(ViewFrames, DataPaintsCoalesceButMouseActionsPaintAtOnce) {
    SFramedView v(2, 2000);
    ASSERT_FRAMED_VIEW(v);
    CPaintCounter counter;
    v.m_pView->installEventFilter(&counter);
    QTest::qWait(100); // the last paint is more than a frame old

    for (int i = 0; i < 100; ++i) {
        CCommDataEvent e(1);
        QCoreApplication::sendEvent(v.m_pView, &e);
    }
    EXPECT_EQ(counter.m_nPaints, 0) << "notifications never paint inside their own handler";
    QTest::qWait(300);
    EXPECT_EQ(counter.m_nPaints, 1) << "a hundred notifications within one frame, one paint";

    // Notifications each handled on their own, as the event loop delivers them: at most one
    // paint per started frame, however many of them come.
    counter.m_nPaints = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 40; ++i) {
        CCommDataEvent e(1);
        QCoreApplication::sendEvent(v.m_pView, &e);
        QCoreApplication::processEvents();
    }
    const qint64 nMs = timer.elapsed();
    EXPECT_LE(counter.m_nPaints, 2 + nMs / 33) << nMs << " ms";

    // Data right after a paint waits for the next frame; a mouse action does not wait, and its
    // paint shows that data too, so no second paint follows.
    v.Paint();
    counter.m_nPaints = 0;
    CCommDataEvent e(1);
    QCoreApplication::sendEvent(v.m_pView, &e);
    v.Press(Qt::LeftButton, Centre(kPlot2));
    v.Release(Qt::LeftButton, Centre(kPlot2));
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.m_nPaints, 1);
    QTest::qWait(300);
    EXPECT_EQ(counter.m_nPaints, 1);
}

} // namespace
