// The metafile canvas: every record checked by a structural reader, the object table under
// save/restore, text spacing, saving, and the whole graph read back by an independent reader
// (LibreOffice) and compared with the screen canvas's picture.
#include "display/emf_canvas.h"

#include "display/graph.h"
#include "display/painter_canvas.h"
#include "emf_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <cstdio>
#include <string>

namespace {

constexpr uint32_t EMR_POLYLINE16 = 87;
constexpr uint32_t EMR_EXTTEXTOUTW = 84;

std::string Problems(const SEmfSummary& s) {
    std::string str;
    for (const auto& p : s.m_problems)
        str += p + "\n";
    return str;
}

/// Every drawn point lies within the header's bounds.
void ExpectBoundsHoldDrawing(const SEmfSummary& s) {
    int nOutside = 0;
    for (const auto& [x, y] : s.m_drawn)
        nOutside +=
            !(s.m_bounds[0] <= x && x <= s.m_bounds[2] && s.m_bounds[1] <= y && y <= s.m_bounds[3]);
    EXPECT_EQ(nOutside, 0) << "of " << s.m_drawn.size() << " points";
}

bool HasText(const SEmfSummary& s, const QString& str) {
    for (const SEmfText& t : s.m_texts)
        if (t.m_str == str)
            return true;
    return false;
}

/// A full window: eight channels of 3000 samples, each a wave around its own position, a
/// Japanese name and unit on CH2, both cursors placed.
void FillFullWindow(CkestDoc& doc, CGraph& graph) {
    doc.InitLogData(8, 4096, 4096);
    for (int ch = 0; ch < 8; ++ch) {
        SChannelAttr attr = doc.GetChannelAttr(ch);
        attr.m_crColor = g_crDefaultColor[ch];
        attr.m_nPos = 100 + 110 * ch;
        attr.m_dVRes = 1;
        doc.SetChannelAttr(ch, attr);
    }
    doc.GetChannelAttr(1).m_strName = "電圧";
    doc.GetChannelAttr(1).m_strUnit = "V";
    for (int i = 0; i < 3000; ++i) {
        double row[8];
        for (int ch = 0; ch < 8; ++ch)
            row[ch] = 0.8 * std::sin(i * (0.004 + 0.003 * ch) + ch);
        doc.AddRow(row);
        std::copy(row, row + 8, graph.m_dLatest.begin());
    }
    graph.m_ptCursor[0] = {300, 700};
    graph.m_ptCursor[1] = {1100, 250};
    graph.UpdateDisplayWindow();
}

QByteArray DrawGraph(CGraph& graph, int cx = 1600, int cy = 1000) {
    CEmfCanvas canvas(1920, 1080, 96, 96);
    graph.DrawSequence(canvas, graph.CalcLayout(cx, cy), true);
    return canvas.Finish();
}

} // namespace

TEST(EmfCanvas, GraphFilesAreSound) {
    struct SCase {
        const char* name;
        bool bFull;
        bool bCursor;
        int nPolylines;    // trace polylines
        const char* label; // a sample-index label of the window
    };
    const SCase cases[] = {
        {"empty store", false, true, 0, "500"},
        {"empty store, cursors hidden", false, false, 0, "1000"},
        {"eight channels", true, true, 8, "2000"},
        {"eight channels, cursors hidden", true, false, 8, "2500"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        CkestDoc doc;
        CGraph graph(&doc);
        if (c.bFull)
            FillFullWindow(doc, graph);
        graph.m_bCursor = c.bCursor;
        const QByteArray file = DrawGraph(graph);
        const SEmfSummary s = emf_reader::Read(file);
        EXPECT_TRUE(s.m_problems.empty()) << Problems(s);
        EXPECT_EQ(s.m_nPolylines, c.nPolylines);
        EXPECT_EQ(HasText(s, "Cur1"), c.bCursor);
        EXPECT_EQ(HasText(s, "Diff"), c.bCursor);
        EXPECT_TRUE(HasText(s, c.label));
        ExpectBoundsHoldDrawing(s);
        // The picture is the graph's 1600 x 1000, on a 1920 x 1080 reference of 96 dpi.
        EXPECT_GE(s.m_bounds[0], 0);
        EXPECT_GE(s.m_bounds[1], 0);
        EXPECT_LT(s.m_bounds[2], 1600);
        EXPECT_LT(s.m_bounds[3], 1000);
        EXPECT_GT(s.m_bounds[2] - s.m_bounds[0], 1400);
        EXPECT_EQ(s.m_device[0], 1920);
        EXPECT_EQ(s.m_device[1], 1080);
        EXPECT_EQ(s.m_mm[0], 508);
        EXPECT_EQ(s.m_mm[1], 286);
        EXPECT_NEAR(s.m_frame[0], s.m_bounds[0] * 2540 / 96, 1);
        EXPECT_NEAR(s.m_frame[2], (s.m_bounds[2] + 1) * 2540 / 96, 1);
    }
}

TEST(EmfCanvas, BoundsFollowOriginClipAndPens) {
    struct SCase {
        const char* name;
        std::function<void(CEmfCanvas&)> draw;
        int32_t bounds[4];
    };
    const SCase cases[] = {
        {"nothing drawn", [](CEmfCanvas& c) { c.MoveTo(5, 5); }, {0, 0, -1, -1}},
        {"one-pixel line",
         [](CEmfCanvas& c) {
             c.MoveTo(10, 20);
             c.LineTo(30, 20);
         },
         {10, 20, 30, 20}},
        {"wide pen reaches half its width",
         [](CEmfCanvas& c) {
             c.SelectPen(SPen{SPen::Solid, 5, 0xFF, 0, 0});
             c.MoveTo(10, 20);
             c.LineTo(30, 20);
         },
         {7, 17, 33, 23}},
        {"viewport origin shifts",
         [](CEmfCanvas& c) {
             c.SetViewportOrg(100, 200);
             c.Rectangle(0, 0, 10, 10);
         },
         {100, 200, 109, 209}},
        {"clip cuts, restore lifts it",
         [](CEmfCanvas& c) {
             c.SaveState();
             c.IntersectClip(SRect{0, 0, 50, 50});
             const SPoint pts[] = {{-100, 10}, {200, 40}};
             c.Polyline(pts, 2);
             c.RestoreState();
             c.MoveTo(60, 60);
             c.LineTo(61, 61);
         },
         {0, 10, 61, 61}},
        {"fill without outline",
         [](CEmfCanvas& c) { c.FillRect(2, 3, 4, 5, 0x00FF00); },
         {2, 3, 5, 7}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        CEmfCanvas canvas(800, 600, 96, 96);
        c.draw(canvas);
        const SEmfSummary s = emf_reader::Read(canvas.Finish());
        EXPECT_TRUE(s.m_problems.empty()) << Problems(s);
        EXPECT_EQ(std::vector<int32_t>(s.m_bounds, s.m_bounds + 4),
                  std::vector<int32_t>(c.bounds, c.bounds + 4));
        ExpectBoundsHoldDrawing(s);
    }
}

TEST(EmfCanvas, ObjectsStayValidAcrossSaveRestoreAndSelectBack) {
    CEmfCanvas canvas(800, 600, 96, 96);
    const SPen red{SPen::Solid, 3, 0x0000FF, 0, 0};
    const SPen dashed{SPen::Dashed, 2, 0x00FF00, 6, 4};
    const SPen oldPen = canvas.SelectPen(red);
    canvas.SelectBrush(SBrush{false, 0x123456});
    canvas.SelectFont(SFont{-20, "Tahoma"});
    canvas.TextOut(1, 1, "a");
    canvas.SaveState();
    // Objects selected before the save must survive being replaced inside it.
    canvas.SelectPen(dashed);
    canvas.SelectBrush(SBrush{true, 0});
    canvas.SelectFont(SFont{-30, "Tahoma"});
    canvas.TextOut(2, 2, "b");
    canvas.Rectangle(0, 0, 10, 10);
    canvas.SaveState();
    canvas.SelectPen(SPen{SPen::Solid, 1, 0x808080, 0, 0});
    canvas.RestoreState();
    canvas.RestoreState();
    canvas.RestoreState(); // unbalanced: ignored
    canvas.LineTo(5, 5);
    canvas.TextOut(3, 3, "c");
    canvas.SelectPen(oldPen);
    for (int i = 0; i < 20; ++i) { // freed slots are used again
        const SPen prev = canvas.SelectPen(SPen{SPen::Solid, 2, static_cast<COLORREF>(i), 0, 0});
        canvas.SelectPen(prev);
    }
    const SEmfSummary s = emf_reader::Read(canvas.Finish());
    EXPECT_TRUE(s.m_problems.empty()) << Problems(s);
    EXPECT_LE(s.m_nHandles, 8u);
    ASSERT_EQ(s.m_texts.size(), 3u);
    EXPECT_EQ(s.m_texts[2].m_str, "c");
}

TEST(EmfCanvas, PensAsTheDrawingModelDescribesThem) {
    constexpr uint32_t kGeometricRound = 0x00010000; // PS_GEOMETRIC, round ends and joins
    struct SCase {
        SPen pen;
        bool bStock; // a stock object, no record
        SEmfPen expect;
    };
    const SCase cases[] = {
        {SPen{SPen::Solid, 1, 0x0000FF, 0, 0}, false, {0, 1, 0x0000FF, {}}}, // cosmetic solid
        {SPen{SPen::Solid, 0, 0x00FF00, 0, 0}, false, {0, 1, 0x00FF00, {}}},
        {SPen{SPen::Solid, 4, 0xA0A0A0, 0, 0}, false, {kGeometricRound, 4, 0xA0A0A0, {}}},
        {SPen{SPen::Dashed, 3, 0xFF0000, 9, 6}, false, {kGeometricRound | 7, 3, 0xFF0000, {9, 6}}},
        {SPen{SPen::Dashed, 1, 0xFF0000, 3, 3}, false, {kGeometricRound | 7, 1, 0xFF0000, {3, 3}}},
        {SPen{SPen::Solid, 1, 0x000000, 0, 0}, true, {}},
        {SPen{SPen::Null, 1, 0x123456, 0, 0}, true, {}},
    };
    for (const SCase& c : cases) {
        CEmfCanvas canvas(800, 600, 96, 96);
        canvas.SelectPen(SPen{SPen::Solid, 7, 0x010101, 0, 0}); // away from the stock default
        canvas.SelectPen(c.pen);
        canvas.MoveTo(0, 0);
        canvas.LineTo(10, 10);
        const SEmfSummary s = emf_reader::Read(canvas.Finish());
        EXPECT_TRUE(s.m_problems.empty()) << Problems(s);
        ASSERT_EQ(s.m_pens.size(), c.bStock ? 1u : 2u) << c.pen.m_nWidth;
        if (!c.bStock) {
            EXPECT_EQ(s.m_pens[1], c.expect) << c.pen.m_nWidth;
        }
    }
}

TEST(EmfCanvas, TextSpacingIsTheMeasuredWidth) {
    const QByteArray texts[] = {"CH1 10V/div", "電圧 0.5V", "x\xF0\x9D\x91\xA5y" /* astral */};
    for (int nAlign = 0; nAlign < 2; ++nAlign) {
        CEmfCanvas canvas(800, 600, 96, 96);
        canvas.SelectFont(SFont{-24, "Tahoma"});
        canvas.SetTextAlign(nAlign ? TA_TopCenter : TA_TopLeft);
        canvas.SetViewportOrg(7, 9);
        for (const QByteArray& t : texts)
            canvas.TextOut(100, 50, t);
        canvas.DrawTextCentered(SRect{0, 100, 400, 200}, texts[0]);
        const SEmfSummary s = emf_reader::Read(canvas.Finish());
        EXPECT_TRUE(s.m_problems.empty()) << Problems(s);
        ASSERT_EQ(s.m_texts.size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            const SEmfText& t = s.m_texts[i];
            const QByteArray& src = texts[i < 3 ? i : 0];
            SCOPED_TRACE(src.toStdString());
            EXPECT_EQ(t.m_str, QString::fromUtf8(src));
            ASSERT_EQ(t.m_dx.size(), static_cast<size_t>(t.m_str.size()));
            int nSum = 0;
            for (int32_t d : t.m_dx)
                nSum += d;
            const SSize ext = canvas.GetTextExtent(src);
            EXPECT_EQ(nSum, ext.cx);
            if (i < 3) {
                EXPECT_EQ(t.x, 107);
                EXPECT_EQ(t.y, 59);
                EXPECT_EQ(t.m_nAlign, nAlign ? 6u : 0u);
            } else {
                // Centred by the canvas itself, reference at the top left.
                EXPECT_EQ(t.m_nAlign, 0u);
                EXPECT_EQ(t.x, 7 + (400 - ext.cx) / 2);
                EXPECT_EQ(t.y, 9 + 100 + (100 - ext.cy) / 2);
            }
        }
        // The surrogate pair's advance sits on its first unit.
        EXPECT_EQ(s.m_texts[2].m_dx[2], 0);
        EXPECT_GT(s.m_texts[2].m_dx[1], 0);
    }
}

TEST(EmfCanvas, SaveWritesTheFileOrNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CEmfCanvas canvas(800, 600, 96, 96);
    canvas.MoveTo(0, 0);
    canvas.LineTo(10, 10);
    const QString strGood = dir.filePath("graph.emf");
    ASSERT_TRUE(canvas.Save(strGood));
    QFile file(strGood);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), canvas.Finish());
    file.close();

    QDir(dir.path()).mkdir("sub");
    const QString bad[] = {dir.filePath("missing/graph.emf"), dir.filePath("sub")};
    for (const QString& str : bad) {
        SCOPED_TRACE(str.toStdString());
        EXPECT_FALSE(canvas.Save(str));
    }
    // Only what the good save wrote and the directory are there: no temporary files left.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              (QStringList{"graph.emf", "sub"}));
    EXPECT_TRUE(QDir(dir.filePath("sub")).isEmpty());
}

// --- an independent reader ---

namespace {

struct SMatch {
    int nTotal = 0;
    int nHit = 0;
    double Fraction() const { return nTotal > 0 ? double(nHit) / nTotal : 0.0; }
};

/// How strongly p looks like colour c drawn over white, possibly blended by smoothing:
/// the coverage (0..1) when the hue fits, -1 when it does not.
double Coverage(QRgb p, QRgb c) {
    const int pc[3] = {qRed(p), qGreen(p), qBlue(p)};
    const int cc[3] = {qRed(c), qGreen(c), qBlue(c)};
    int nBest = 0;
    for (int i = 1; i < 3; ++i)
        if (255 - cc[i] > 255 - cc[nBest])
            nBest = i;
    if (255 - cc[nBest] < 30)
        return -1;
    const double a = (255.0 - pc[nBest]) / (255.0 - cc[nBest]);
    for (int i = 0; i < 3; ++i)
        if (std::abs(pc[i] - (a * cc[i] + (1 - a) * 255)) > 48)
            return -1;
    return a;
}

bool IsInk(QRgb p) {
    return qRed(p) + qGreen(p) + qBlue(p) < 3 * 200;
}

/// Smallest rectangle holding every ink pixel.
QRect InkBox(const QImage& img) {
    int l = img.width(), t = img.height(), r = -1, b = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (IsInk(img.pixel(x, y))) {
                l = std::min(l, x), r = std::max(r, x);
                t = std::min(t, y), b = std::max(b, y);
            }
    return r < 0 ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
}

/// LibreOffice's PNG of the file (at its own page size when size is empty), put on white since
/// the picture's background is transparent; a null image when the conversion fails.
QImage ConvertEmf(const QString& strSoffice, const QString& strEmf, const QString& strDir,
                  QSize size) {
    QProcess soffice;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", strDir); // its profile goes to a place of its own
    soffice.setProcessEnvironment(env);
    QString strFilter = "png";
    if (!size.isEmpty())
        strFilter = QString("png:draw_png_Export:{\"PixelWidth\":{\"type\":\"long\",\"value\":"
                            "\"%1\"},\"PixelHeight\":{\"type\":\"long\",\"value\":\"%2\"}}")
                        .arg(size.width())
                        .arg(size.height());
    const QString strPng = QDir(strDir).filePath(QFileInfo(strEmf).completeBaseName() + ".png");
    QFile::remove(strPng);
    soffice.start(strSoffice,
                  {"--headless", "--convert-to", strFilter, "--outdir", strDir, strEmf});
    if (!soffice.waitForFinished(240000)) {
        soffice.kill();
        soffice.waitForFinished();
        ADD_FAILURE() << "soffice did not finish";
        return {};
    }
    QImage converted(strPng);
    if (converted.isNull()) {
        ADD_FAILURE() << "no PNG from soffice: " << soffice.readAllStandardError().toStdString();
        return {};
    }
    QImage onWhite(converted.size(), QImage::Format_RGB32);
    onWhite.fill(Qt::white);
    QPainter painter(&onWhite);
    painter.drawImage(0, 0, converted);
    return onWhite;
}

} // namespace

TEST(EmfCanvas, LibreOfficeDrawsWhatTheScreenCanvasDraws) {
    const QString strSoffice = QStandardPaths::findExecutable("soffice");
    if (strSoffice.isEmpty())
        GTEST_SKIP() << "soffice (Debian package libreoffice-draw-nogui) is not installed; "
                        "scripts/setup.sh installs it";
    CkestDoc doc;
    CGraph graph(&doc);
    FillFullWindow(doc, graph);
    const SPlotLayout layout = graph.CalcLayout(1600, 1000);

    QImage render(1600, 1000, QImage::Format_RGB32);
    render.fill(Qt::white);
    {
        QPainter painter(&render);
        CPainterCanvas canvas(&painter, 1600, 1000);
        graph.DrawSequence(canvas, layout, true);
    }

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CEmfCanvas emf(1600, 1000, 96, 96);
    graph.DrawSequence(emf, layout, true);
    const QString strEmf = dir.filePath("graph.emf");
    ASSERT_TRUE(emf.Save(strEmf));
    const SEmfSummary s = emf_reader::Read(emf.Finish());
    ASSERT_TRUE(s.m_problems.empty()) << Problems(s);

    // LibreOffice puts the picture on a page of its own, scaled to fit: a first conversion
    // shows the scale, a second one at a pixel size that makes the picture about 1:1.
    QImage onWhite = ConvertEmf(strSoffice, strEmf, dir.path(), QSize());
    ASSERT_FALSE(onWhite.isNull());
    const QRect rcInk0 = InkBox(onWhite);
    ASSERT_FALSE(rcInk0.isEmpty());
    const double dScale0 = rcInk0.width() / double(s.m_bounds[2] - s.m_bounds[0] + 1);
    onWhite = ConvertEmf(strSoffice, strEmf, dir.path(),
                         QSize(static_cast<int>(onWhite.width() / dScale0),
                               static_cast<int>(onWhite.height() / dScale0)));
    ASSERT_FALSE(onWhite.isNull());
    if (const char* pszKeep = std::getenv("KEST_KEEP_EMF_PNG")) {
        onWhite.save(QString::fromLocal8Bit(pszKeep));
        render.save(QString::fromLocal8Bit(pszKeep) + ".render.png");
        QFile::copy(strEmf, QString::fromLocal8Bit(pszKeep) + ".emf");
    }

    // The ink LibreOffice drew spans the header's bounds.
    const QRect rcInk = InkBox(onWhite);
    const double sx = rcInk.width() / double(s.m_bounds[2] - s.m_bounds[0] + 1);
    const double sy = rcInk.height() / double(s.m_bounds[3] - s.m_bounds[1] + 1);
    auto at = [&](int x, int y, int dx, int dy) -> QRgb {
        const int u =
            rcInk.left() + static_cast<int>(std::floor((x - s.m_bounds[0] + 0.5) * sx)) + dx;
        const int v =
            rcInk.top() + static_cast<int>(std::floor((y - s.m_bounds[1] + 0.5) * sy)) + dy;
        if (u < 0 || v < 0 || u >= onWhite.width() || v >= onWhite.height())
            return qRgb(255, 255, 255);
        return onWhite.pixel(u, v);
    };
    const int R = 3;
    auto nearColour = [&](int x, int y, QRgb c) {
        for (int dy = -R; dy <= R; ++dy)
            for (int dx = -R; dx <= R; ++dx)
                if (Coverage(at(x, y, dx, dy), c) >= 0.35)
                    return true;
        return false;
    };
    auto nearInk = [&](int x, int y) {
        for (int dy = -R; dy <= R; ++dy)
            for (int dx = -R; dx <= R; ++dx)
                if (IsInk(at(x, y, dx, dy)))
                    return true;
        return false;
    };

    const QRgb grid = qRgb(0xA0, 0xA0, 0xA0);
    std::vector<QRgb> traceColours;
    for (int ch = 0; ch < 8; ++ch) {
        const COLORREF cr = doc.GetChannelAttr(ch).m_crColor;
        traceColours.push_back(qRgb(cr & 0xFF, (cr >> 8) & 0xFF, (cr >> 16) & 0xFF));
    }
    const SRect& P = layout.m_rcPlot;
    SMatch gridMatch, traceMatch, legendMatch, legendBack;
    for (int y = 0; y < 1000; ++y) {
        for (int x = 0; x < 1600; ++x) {
            const QRgb c = render.pixel(x, y) | 0xFF000000u;
            const bool bInPlot = P.left < x && x < P.right && P.top < y && y < P.bottom;
            if (c == grid) {
                ++gridMatch.nTotal;
                gridMatch.nHit += nearColour(x, y, c);
            } else if (bInPlot && std::find(traceColours.begin(), traceColours.end(), c) !=
                                      traceColours.end()) {
                ++traceMatch.nTotal;
                traceMatch.nHit += nearColour(x, y, c);
            }
            // Legend text below the plot: ink against ink, both ways.
            if (y > P.bottom + layout.m_nFontHeight * 3 / 2) {
                if (IsInk(c)) {
                    ++legendMatch.nTotal;
                    legendMatch.nHit += nearInk(x, y);
                }
                if (IsInk(at(x, y, 0, 0))) {
                    ++legendBack.nTotal;
                    bool bHit = false;
                    for (int dy = -R; dy <= R && !bHit; ++dy)
                        for (int dx = -R; dx <= R && !bHit; ++dx)
                            bHit = x + dx >= 0 && x + dx < 1600 && y + dy >= 0 && y + dy < 1000 &&
                                   IsInk(render.pixel(x + dx, y + dy));
                    legendBack.nHit += bHit;
                }
            }
        }
    }
    // And the other way: coloured pixels LibreOffice drew in the plot are where the render has
    // the same colour.
    SMatch plotBack;
    for (int v = 0; v < onWhite.height(); ++v) {
        for (int u = 0; u < onWhite.width(); ++u) {
            const QRgb p = onWhite.pixel(u, v);
            const int x = static_cast<int>((u - rcInk.left()) / sx) + s.m_bounds[0];
            const int y = static_cast<int>((v - rcInk.top()) / sy) + s.m_bounds[1];
            if (!(P.left < x && x < P.right && P.top < y && y < P.bottom) || !IsInk(p))
                continue;
            ++plotBack.nTotal;
            bool bHit = false;
            for (int dy = -R; dy <= R && !bHit; ++dy)
                for (int dx = -R; dx <= R && !bHit; ++dx) {
                    if (x + dx < 0 || x + dx >= 1600 || y + dy < 0 || y + dy >= 1000)
                        continue;
                    const QRgb c = render.pixel(x + dx, y + dy) | 0xFF000000u;
                    bHit = c != qRgb(255, 255, 255) && Coverage(p, c) >= 0.35;
                }
            plotBack.nHit += bHit;
        }
    }
    std::printf("converted %dx%d, picture %dx%d at (%d, %d) for bounds %d,%d-%d,%d\n",
                onWhite.width(), onWhite.height(), rcInk.width(), rcInk.height(), rcInk.left(),
                rcInk.top(), s.m_bounds[0], s.m_bounds[1], s.m_bounds[2], s.m_bounds[3]);
    std::printf("grid pixels matched:   %.1f %% of %d\n", 100 * gridMatch.Fraction(),
                gridMatch.nTotal);
    std::printf("trace pixels matched:  %.1f %% of %d\n", 100 * traceMatch.Fraction(),
                traceMatch.nTotal);
    std::printf("plot ink drawn where the render has it: %.1f %% of %d\n",
                100 * plotBack.Fraction(), plotBack.nTotal);
    std::printf("legend ink matched:    %.1f %% of %d (back: %.1f %% of %d)\n",
                100 * legendMatch.Fraction(), legendMatch.nTotal, 100 * legendBack.Fraction(),
                legendBack.nTotal);
    EXPECT_GT(gridMatch.nTotal, 10000);
    EXPECT_GT(traceMatch.nTotal, 10000);
    EXPECT_GE(gridMatch.Fraction(), 0.9);
    EXPECT_GE(traceMatch.Fraction(), 0.9);
    EXPECT_GE(plotBack.Fraction(), 0.9);
    EXPECT_GE(legendMatch.Fraction(), 0.8);
    EXPECT_GE(legendBack.Fraction(), 0.8);
}
