// Pixel rules of the painter canvas on a QImage: end points, exclusive edges, pen widths, clip,
// viewport origin, text placement and measurement.
#include "display/painter_canvas.h"

#include <QImage>
#include <QPicture>
#include <QPainter>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <functional>
#include <utility>
#include <vector>

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlack = 0xFF000000;

SPen Pen(int nWidth, COLORREF cr = 0x000000) {
    SPen pen;
    pen.m_nWidth = nWidth;
    pen.m_crColor = cr;
    return pen;
}

/// Runs draw on a white 40 x 40 image and returns the image.
QImage Render(const std::function<void(CCanvas&)>& draw, int cx = 40, int cy = 40) {
    QImage image(cx, cy, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    CPainterCanvas canvas(&painter, cx, cy);
    draw(canvas);
    painter.end();
    return image;
}

/// Number of non-white pixels.
int Ink(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) != kWhite;
    return n;
}

/// Bounding box of the non-white pixels as (left, top, right, bottom), right and bottom exclusive.
SRect InkBox(const QImage& image) {
    SRect rc{image.width(), image.height(), 0, 0};
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != kWhite) {
                rc.left = std::min(rc.left, x);
                rc.top = std::min(rc.top, y);
                rc.right = std::max(rc.right, x + 1);
                rc.bottom = std::max(rc.bottom, y + 1);
            }
    return rc;
}

} // namespace

TEST(PainterCanvas, LinesLeaveOutTheirEndPoint) {
    struct SCase {
        const char* name;
        SPoint a, b;
        int nInk;
        SRect box;
    };
    const SCase cases[] = {
        {"horizontal", {5, 5}, {15, 5}, 10, {5, 5, 15, 6}},
        {"horizontal leftwards", {15, 5}, {5, 5}, 10, {6, 5, 16, 6}},
        {"vertical", {3, 2}, {3, 12}, 10, {3, 2, 4, 12}},
        {"diagonal", {0, 0}, {8, 8}, 8, {0, 0, 8, 8}},
        {"zero length", {7, 7}, {7, 7}, 0, {40, 40, 0, 0}},
    };
    for (const SCase& c : cases) {
        const QImage image = Render([&](CCanvas& canvas) {
            canvas.SelectPen(Pen(1));
            canvas.MoveTo(c.a.x, c.a.y);
            canvas.LineTo(c.b.x, c.b.y);
        });
        EXPECT_EQ(Ink(image), c.nInk) << c.name;
        EXPECT_EQ(InkBox(image), c.box) << c.name;
    }
}

TEST(PainterCanvas, PolylineMatchesSingleLines) {
    const SPoint pts[] = {{2, 30}, {10, 4}, {11, 35}, {11, 20}, {25, 20}, {38, 1}};
    for (int w : {1, 2, 3, 5}) {
        const QImage one = Render([&](CCanvas& canvas) {
            canvas.SelectPen(Pen(w));
            canvas.Polyline(pts, 6);
        });
        const QImage many = Render([&](CCanvas& canvas) {
            canvas.SelectPen(Pen(w));
            canvas.MoveTo(pts[0].x, pts[0].y);
            for (int i = 1; i < 6; ++i)
                canvas.LineTo(pts[i].x, pts[i].y);
        });
        EXPECT_EQ(one, many) << "width " << w;
        EXPECT_GT(Ink(one), 0);
    }
}

TEST(PainterCanvas, PenWidths) {
    struct SCase {
        int nWidth;
        SRect box; // of a horizontal line from (10, 20) to (30, 20)
    };
    // Width 1 is exactly one pixel row; wider pens are round-ended and reach w/2 around the line.
    const SCase cases[] = {{1, {10, 20, 30, 21}}, {3, {9, 19, 32, 22}}, {9, {6, 16, 35, 25}}};
    for (const SCase& c : cases) {
        const QImage image = Render([&](CCanvas& canvas) {
            canvas.SelectPen(Pen(c.nWidth, 0x0000FF));
            canvas.MoveTo(10, 20);
            canvas.LineTo(30, 20);
        });
        const SRect box = InkBox(image);
        EXPECT_NEAR(box.left, c.box.left, 1) << c.nWidth;
        EXPECT_NEAR(box.right, c.box.right, 1) << c.nWidth;
        EXPECT_EQ(box.bottom - box.top, c.nWidth) << c.nWidth;
        EXPECT_EQ(image.pixel(20, 20), 0xFFFF0000) << "0x00BBGGRR red";
        // Round ends: the corners of the band stay empty for wide pens.
        if (c.nWidth >= 9) {
            EXPECT_EQ(image.pixel(box.left, box.top), kWhite);
        }
    }
}

TEST(PainterCanvas, RectangleAndFillEdgesAreExclusive) {
    const QImage image = Render([](CCanvas& canvas) {
        canvas.FillRect(2, 3, 4, 5, 0x00FF00); // pixels x 2..5, y 3..7
        canvas.SelectPen(Pen(1, 0x000000));
        canvas.SelectBrush(SBrush{false, 0xFF0000});
        canvas.Rectangle(10, 10, 20, 16);
    });
    EXPECT_EQ(InkBox(image), (SRect{2, 3, 20, 16}));
    EXPECT_EQ(image.pixel(5, 7), 0xFF00FF00);
    EXPECT_EQ(image.pixel(6, 7), kWhite);
    EXPECT_EQ(image.pixel(10, 10), kBlack);     // outline
    EXPECT_EQ(image.pixel(19, 15), kBlack);     // right - 1, bottom - 1
    EXPECT_EQ(image.pixel(15, 12), 0xFF0000FF); // interior: blue brush
    EXPECT_EQ(Ink(image), 4 * 5 + 10 * 6);
}

TEST(PainterCanvas, ClipSaveRestoreAndViewport) {
    const QImage image = Render([](CCanvas& canvas) {
        canvas.SelectPen(Pen(1));
        canvas.SaveState();
        canvas.IntersectClip(SRect{5, 5, 15, 15});
        canvas.IntersectClip(SRect{0, 0, 10, 40});
        canvas.MoveTo(0, 8);
        canvas.LineTo(39, 8); // only x 5..9 survive
        canvas.RestoreState();
        canvas.SetViewportOrg(3, 20);
        canvas.MoveTo(0, 10);
        canvas.LineTo(4, 10); // lands at x 3..6, y 30
    });
    EXPECT_EQ(Ink(image), 5 + 4);
    EXPECT_EQ(image.pixel(5, 8), kBlack);
    EXPECT_EQ(image.pixel(9, 8), kBlack);
    EXPECT_EQ(image.pixel(10, 8), kWhite);
    EXPECT_EQ(image.pixel(3, 30), kBlack);
    EXPECT_EQ(image.pixel(6, 30), kBlack);
}

TEST(PainterCanvas, TextPlacementAndExtent) {
    SSize ext;
    const QImage image = Render(
        [&](CCanvas& canvas) {
            SFont font;
            font.m_nHeight = -20;
            canvas.SelectFont(font);
            canvas.SetTextColor(0x000000);
            canvas.SetBkTransparent();
            ext = canvas.GetTextExtent("1000");
            canvas.SetTextAlign(TA_TopCenter);
            canvas.TextOut(100, 10, "1000");
        },
        200, 60);
    // A character height of 20 gives a cell of at least 20 and digits of roughly half that width.
    EXPECT_GE(ext.cy, 20);
    EXPECT_LE(ext.cy, 32);
    EXPECT_GE(ext.cx, 4 * 8);
    EXPECT_LE(ext.cx, 4 * 16);
    const SRect box = InkBox(image);
    EXPECT_GE(box.top, 10); // below the reference point
    EXPECT_LE(box.bottom, 10 + ext.cy);
    EXPECT_NEAR((box.left + box.right) / 2, 100, 3); // centred on x
    // Only the glyphs: the background stays white around them.
    EXPECT_LT(Ink(image), ext.cx * ext.cy / 2);
}

TEST(PainterCanvas, JapaneseTextHasGlyphsAndCenteredTextIsCentred) {
    const QByteArray text = "\xE6\xB8\xA9\xE5\xBA\xA6"; // 温度
    SSize ext;
    const QImage image = Render(
        [&](CCanvas& canvas) {
            SFont font;
            font.m_nHeight = -16;
            canvas.SelectFont(font);
            canvas.SetTextColor(0x0000FF);
            ext = canvas.GetTextExtent(text);
            canvas.DrawTextCentered(SRect{0, 0, 100, 40}, text);
        },
        100, 40);
    EXPECT_GE(ext.cx, 2 * 12); // two wide characters, not two missing-glyph boxes of nothing
    const SRect box = InkBox(image);
    EXPECT_GT(Ink(image), 20);
    EXPECT_NEAR((box.left + box.right) / 2, 50, 3);
    EXPECT_NEAR((box.top + box.bottom) / 2, 20, 4);
}

TEST(PainterCanvas, SolidLinesAreTheSameWrittenDirectlyOrThroughThePainter) {
    // Formats the canvas writes into itself, against one it leaves to the painter; lines run off
    // every edge, through a clip and a shifted origin.
    const SPoint pts[] = {{-7, 12}, {3, -5}, {9, 30}, {20, 18}, {33, 45}, {47, 2}};
    auto draw = [&](QImage::Format fmt, int nWidth, bool bClip, SPoint org) {
        QImage image(40, 40, fmt);
        image.fill(Qt::white);
        QPainter painter(&image);
        CPainterCanvas canvas(&painter, 40, 40);
        canvas.SelectPen(Pen(nWidth, 0x3080F0));
        canvas.SaveState();
        if (bClip)
            canvas.IntersectClip(SRect{4, 6, 31, 27});
        canvas.SetViewportOrg(org.x, org.y);
        canvas.Polyline(pts, 6);
        // Noise: neighbouring columns each nearly as tall as the image, filled row by row.
        std::vector<SPoint> noise;
        for (int x = -3; x < 44; ++x)
            noise.push_back({x, (x * 37 % 11) % 2 ? 1 + x % 3 : 38 - x % 5});
        canvas.Polyline(noise.data(), static_cast<int>(noise.size()));
        // A zigzag whose swing changes every four to six columns: runs of two to four equal
        // neighbouring columns, filled as one span a row at a time.
        std::vector<SPoint> zigzag;
        for (int x = -2, nGroup = 4; x < 42; ++x) {
            const int nSwing = 6 + 4 * ((x + 2) / nGroup % 4);
            zigzag.push_back({x, x % 2 ? 20 - nSwing : 20 + nSwing});
            nGroup = 4 + (x + 2) / 15;
        }
        canvas.Polyline(zigzag.data(), static_cast<int>(zigzag.size()));
        canvas.SetViewportOrg(0, 0);
        canvas.RestoreState();
        canvas.MoveTo(0, 39);
        canvas.LineTo(39, 36); // after the restore: no clip any more
        painter.end();
        return image.convertToFormat(QImage::Format_RGB32);
    };
    for (QImage::Format fmt :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied}) {
        for (int w : {1, 2, 3, 6}) {
            for (bool bClip : {false, true}) {
                for (SPoint org : {SPoint{0, 0}, SPoint{-3, 5}}) {
                    const QImage direct = draw(fmt, w, bClip, org);
                    const QImage painted = draw(QImage::Format_RGBX8888, w, bClip, org);
                    EXPECT_EQ(direct, painted) << "format " << fmt << " width " << w << " clip "
                                               << bClip << " origin " << org.x << "," << org.y;
                    EXPECT_GT(Ink(direct), 0);
                }
            }
        }
    }
}

namespace {

/// Start and end (exclusive) of the inked runs along row y (bRow) or column x of the image.
std::vector<std::pair<int, int>> InkRuns(const QImage& image, bool bRow, int nAt) {
    std::vector<std::pair<int, int>> runs;
    const int n = bRow ? image.width() : image.height();
    for (int i = 0; i < n; ++i) {
        const bool bInk = (bRow ? image.pixel(i, nAt) : image.pixel(nAt, i)) != kWhite;
        if (bInk && (runs.empty() || runs.back().second != i))
            runs.push_back({i, i + 1});
        else if (bInk)
            runs.back().second = i + 1;
    }
    return runs;
}

} // namespace

TEST(PainterCanvas, DashedAxisLinesFollowThePattern) {
    // Images draw dashed horizontal and vertical lines themselves; the dashes must come out where
    // and as long as the painter strokes them (same pixels for widths 1 and 2, where the painter
    // also puts a one-pixel pen's end point, which the canvas leaves out), one unit apart at most
    // for odd widths, whose round dot sits differently.
    struct SCase {
        SPoint a, b;
        int nWidth, nDash, nGap;
        int nRuns;                 // inked runs along the line
        std::pair<int, int> first; // the run at a
        int nLength;               // of every run but a cut one at b
    };
    const SCase cases[] = {
        {{10, 20}, {70, 20}, 1, 3, 3, 10, {10, 13}, 3},
        {{70, 21}, {10, 21}, 1, 3, 5, 8, {68, 71}, 3},
        {{30, 5}, {30, 75}, 2, 6, 6, 6, {4, 12}, 8},
        {{12, 40}, {75, 40}, 2, 12, 12, 3, {11, 25}, 14},
        {{40, 75}, {40, 3}, 3, 6, 4, 8, {68, 77}, 9},
    };
    for (const SCase& c : cases) {
        SPen pen{SPen::Dashed, c.nWidth, 0x000000, c.nDash, c.nGap};
        auto draw = [&](CCanvas& canvas) {
            canvas.SelectPen(pen);
            canvas.MoveTo(c.a.x, c.a.y);
            canvas.LineTo(c.b.x, c.b.y);
        };
        const QImage image = Render(draw, 80, 80);
        // The painter's own stroking of the same pen, through a picture.
        QImage stroked(80, 80, QImage::Format_RGB32);
        stroked.fill(Qt::white);
        {
            QPicture picture;
            {
                QPainter painter(&picture);
                CPainterCanvas canvas(&painter, 80, 80);
                draw(canvas);
            }
            QPainter painter(&stroked);
            painter.drawPicture(0, 0, picture);
        }
        const bool bRow = c.a.y == c.b.y;
        const int nAt = bRow ? c.a.y : c.a.x;
        const int nEnd = bRow ? c.b.x : c.b.y;
        const bool bForward = nEnd > (bRow ? c.a.x : c.a.y);
        const auto runs = InkRuns(image, bRow, nAt);
        auto ref = InkRuns(stroked, bRow, nAt);
        if (c.nWidth == 1 && !ref.empty() && ref.back() == std::make_pair(nEnd, nEnd + 1))
            ref.pop_back();
        const std::string name =
            std::to_string(c.a.x) + "," + std::to_string(c.a.y) + " w" + std::to_string(c.nWidth);
        ASSERT_EQ(static_cast<int>(runs.size()), c.nRuns) << name;
        ASSERT_EQ(ref.size(), runs.size()) << name;
        EXPECT_EQ(bForward ? runs.front() : runs.back(), c.first) << name;
        for (size_t i = 0; i < runs.size(); ++i) {
            const bool bCut = bForward ? i + 1 == runs.size() : i == 0;
            if (!bCut) {
                EXPECT_EQ(runs[i].second - runs[i].first, c.nLength) << name << " run " << i;
            }
            if (c.nWidth <= 2) {
                EXPECT_EQ(runs[i], ref[i]) << name << " run " << i;
            } else {
                EXPECT_LE(std::abs(runs[i].first - ref[i].first), 1) << name << " run " << i;
                EXPECT_LE(std::abs(runs[i].second - ref[i].second), 1) << name << " run " << i;
            }
        }
    }
}

TEST(PainterCanvas, CachedTextsArePaintedAsLaidOutAfresh) {
    // The view keeps fonts and laid-out labels between frames; whatever the size, text and
    // alignment, the pixels must be those of a canvas that lays everything out again. The
    // second pass over the cache draws from what the first one kept.
    CTextCache cache;
    const QByteArray texts[] = {"0", "-12.345", "150000", "CH8", "1.5E+03 mV", "電圧 [V]", "Δ"};
    for (int nHeight : {-7, -10, -13, -17, -22, -33, 12, 19}) {
        SCOPED_TRACE(nHeight);
        const auto draw = [&](CTextCache* pCache) {
            QImage image(260, 150, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            CPainterCanvas canvas(&painter, image.width(), image.height());
            canvas.SetTextCache(pCache);
            SFont font;
            font.m_nHeight = nHeight;
            canvas.SelectFont(font);
            canvas.SetTextColor(0x203040);
            canvas.SetBkTransparent();
            int y = 2;
            for (const QByteArray& text : texts) {
                canvas.SetTextAlign(TA_TopLeft);
                canvas.TextOut(3, y, text);
                canvas.SetTextAlign(TA_TopCenter);
                canvas.TextOut(131, y, text);
                const SSize ext = canvas.GetTextExtent(text);
                canvas.DrawTextCentered(SRect{170, y, 170 + 57 + (y % 3), y + ext.cy + y % 4},
                                        text);
                y += std::abs(nHeight) / 2 + 3;
            }
            painter.end();
            return image;
        };
        const QImage fresh = draw(nullptr);
        EXPECT_TRUE(draw(&cache) == fresh);
        EXPECT_TRUE(draw(&cache) == fresh) << "from the kept texts";
        cache.EndFrame();
    }
}
