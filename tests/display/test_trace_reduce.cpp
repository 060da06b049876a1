// The reduced trace (first, lowest, highest, last sample of each pixel column) must paint what the
// trace through every sample paints; checked pixel by pixel on random and adversarial data.
#include "display/painter_canvas.h"
#include "display/trace_reduce.h"

#include <QImage>
#include <QPainter>
#include <QPicture>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr int kWidth = 700; // plot width in pixels
constexpr int kTop = 40;    // plot rows kTop..kBottom
constexpr int kBottom = 440;

struct SData {
    std::string m_strName;
    std::vector<double> m_values;
};

std::vector<SData> MakeData(int n) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> uni(-150.0, 150.0);
    std::vector<SData> sets;
    auto make = [&](const char* name, auto f) {
        SData d{name, std::vector<double>(static_cast<size_t>(n))};
        for (int i = 0; i < n; ++i)
            d.m_values[i] = f(i);
        sets.push_back(std::move(d));
    };
    make("noise", [&](int) { return uni(rng); });
    make("sine", [&](int i) { return 120.0 * std::sin(i * 0.0007) + 0.01 * uni(rng); });
    make("spikes", [&](int i) { return i % 997 == 0 ? 1e6 : (i % 1301 == 0 ? -1e6 : 0.0); });
    make("steps", [&](int i) { return (i / 333) % 2 == 0 ? -100.0 : 100.0; });
    make("constant runs", [&](int i) { return std::floor(i / 5000.0) * 10.0 - 100.0; });
    make("infinities", [&](int i) {
        return i % 50 == 0 ? kInf : (i % 77 == 0 ? -kInf : 20.0 * std::sin(i * 0.01));
    });
    make("NaN gaps", [&](int i) {
        if (i % 211 == 0 || (i / 1000) % 7 == 3)
            return kNaN;
        return uni(rng);
    });
    make("lone samples between NaN", [&](int i) { return i % 2 == 0 ? kNaN : uni(rng); });
    // The run's last sample repeats the column's extreme: the end point is drawn only because
    // the earlier sample at that height starts a segment.
    make("extreme repeated at run end", [&](int i) {
        const int j = i % 211;
        return j == 0 ? kNaN : (j == 5 || j == 210 ? 140.0 : (j % 2 ? -50.0 : 60.0));
    });
    make("beyond the band", [&](int i) { return i % 3 == 0 ? 5000.0 : -5000.0 + i % 11; });
    return sets;
}

/// Device y of a display value: monotonic, huge values held far outside like the graph does.
int ToY(double d) {
    const double y = 240.0 - std::trunc(d);
    return static_cast<int>(std::clamp(y, -1073741824.0, 1073741824.0));
}

/// The polylines to draw for the given window indices (kTraceBreak separates them).
std::vector<std::vector<SPoint>> Polylines(const std::vector<double>& v, double dMul, double dAdd,
                                           const std::vector<int>& indices, int nScreen) {
    std::vector<std::vector<SPoint>> out;
    std::vector<SPoint> run;
    auto flush = [&]() {
        if (run.size() > 1) {
            std::vector<SPoint> clipped;
            ClipPolylineToBand(run.data(), static_cast<int>(run.size()), kTop - 100, kBottom + 100,
                               clipped);
            out.push_back(clipped);
        }
        run.clear();
    };
    for (int k : indices) {
        if (k == kTraceBreak) {
            flush();
            continue;
        }
        const int x = static_cast<int>(int64_t{kWidth} * k / nScreen);
        run.push_back({x + 10, ToY(v[k] * dMul + dAdd)});
    }
    flush();
    return out;
}

/// Draws the polylines clipped to the plot; through a QPicture the painter strokes them
/// instead of taking the image fast path.
QImage Render(const std::vector<std::vector<SPoint>>& lines, int nPen, bool bStroke) {
    QImage image(kWidth + 20, 480, QImage::Format_RGB32);
    image.fill(Qt::white);
    auto draw = [&](QPainter& painter) {
        CPainterCanvas canvas(&painter, image.width(), image.height());
        canvas.IntersectClip(SRect{10, kTop, kWidth + 11, kBottom + 1});
        SPen pen;
        pen.m_nWidth = nPen;
        canvas.SelectPen(pen);
        for (const auto& line : lines)
            canvas.Polyline(line.data(), static_cast<int>(line.size()));
    };
    if (bStroke) {
        QPicture picture;
        {
            QPainter painter(&picture);
            draw(painter);
        }
        QPainter painter(&image);
        painter.drawPicture(0, 0, picture);
    } else {
        QPainter painter(&image);
        draw(painter);
    }
    return image;
}

int DiffPixels(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

int Ink(const QImage& a) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != 0xFFFFFFFF;
    return n;
}

} // namespace

TEST(TraceReduce, KeepsAtMostFourPointsPerColumnInOrder) {
    struct SCase {
        int nScreen;
        int nCount;
    };
    for (const SCase c : {SCase{150000, 150001}, SCase{1500, 1501}, SCase{15, 16}}) {
        for (const SData& d : MakeData(c.nCount)) {
            std::vector<int> idx;
            ReduceTrace(d.m_values.data(), c.nCount, 1.0, 0.0, kWidth, c.nScreen, idx);
            int nPrev = -1;
            std::vector<int> perColumn(kWidth + 1, 0);
            for (int k : idx) {
                if (k == kTraceBreak)
                    continue;
                EXPECT_GT(k, nPrev) << d.m_strName;
                EXPECT_FALSE(std::isnan(d.m_values[k])) << d.m_strName;
                nPrev = k;
                ++perColumn[static_cast<size_t>(int64_t{kWidth} * k / c.nScreen)];
            }
            // Without NaN at most four per column, except the last column, which keeps all of
            // its samples so that the trace's end point comes out exactly.
            if (std::none_of(d.m_values.begin(), d.m_values.end(),
                             [](double v) { return std::isnan(v); })) {
                EXPECT_LE(*std::max_element(perColumn.begin(), perColumn.end() - 2), 4)
                    << d.m_strName;
            }
            if (c.nScreen <= kWidth) { // nothing to merge: every finite sample stays
                EXPECT_EQ(std::count_if(idx.begin(), idx.end(), [](int k) { return k >= 0; }),
                          std::count_if(d.m_values.begin(), d.m_values.end(),
                                        [](double v) { return !std::isnan(v); }))
                    << d.m_strName;
            }
        }
    }
}

// The wide variant must pick the same samples as the reference, which must pick the first lowest
// and first highest: for every length across the 16-value blocks, with the extremes anywhere,
// repeated, as signed zeros or infinities, and NaN anywhere refusing the column.
TEST(TraceReduce, FastColumnExtremesAgreeWithReference) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> small(-3, 3);
    for (int n = 1; n <= 70; ++n) {
        for (int nTrial = 0; nTrial < 40; ++nTrial) {
            std::vector<double> v(static_cast<size_t>(n));
            for (double& d : v)
                d = small(rng); // few distinct values: ties are common
            const size_t i = static_cast<size_t>(nTrial) % v.size();
            switch (nTrial % 5) {
            case 1:
                v[i] = -0.0;
                v[v.size() - 1 - i] = 0.0;
                break;
            case 2:
                v[i] = nTrial % 2 ? kInf : -kInf;
                break;
            case 3:
                v[i] = kNaN;
                break;
            default:
                break;
            }
            SCOPED_TRACE(testing::Message() << "n=" << n << " trial=" << nTrial);
            int iMinRef = -1;
            int iMaxRef = -1;
            int iMin = -1;
            int iMax = -1;
            const bool bRef = ColumnExtremes(v.data(), n, iMinRef, iMaxRef);
            ASSERT_EQ(FastColumnExtremes(v.data(), n, iMin, iMax), bRef);
            ASSERT_EQ(bRef,
                      std::none_of(v.begin(), v.end(), [](double d) { return std::isnan(d); }));
            if (!bRef)
                continue;
            EXPECT_EQ(iMin, iMinRef);
            EXPECT_EQ(iMax, iMaxRef);
            EXPECT_EQ(iMinRef, std::min_element(v.begin(), v.end()) - v.begin());
            EXPECT_EQ(iMaxRef, std::max_element(v.begin(), v.end()) - v.begin());
        }
    }
}

TEST(TraceReduce, ReducedTracePaintsTheSamePixels) {
    struct SScale {
        double dMul, dAdd;
    };
    const int nScreen = 150000;
    const int nCount = nScreen + 1;
    std::vector<int> all(static_cast<size_t>(nCount));
    for (const SData& d : MakeData(nCount)) {
        // Negative multiplier flips the order of extremes; an infinite addend makes every display
        // value infinite or NaN and takes the per-sample path.
        for (const SScale s : {SScale{1.0, 0.0}, SScale{-0.5, 30.0}, SScale{1.0, kInf}}) {
            std::vector<int> idx;
            ReduceTrace(d.m_values.data(), nCount, s.dMul, s.dAdd, kWidth, nScreen, idx);
            all.clear();
            for (int k = 0; k < nCount; ++k)
                all.push_back(std::isnan(d.m_values[k] * s.dMul + s.dAdd) ? kTraceBreak : k);
            const auto full = Polylines(d.m_values, s.dMul, s.dAdd, all, nScreen);
            const auto reduced = Polylines(d.m_values, s.dMul, s.dAdd, idx, nScreen);
            for (int nPen : {1, 2, 3, 5}) {
                const QImage a = Render(full, nPen, false);
                const QImage b = Render(reduced, nPen, false);
                EXPECT_EQ(DiffPixels(a, b), 0)
                    << d.m_strName << " mul " << s.dMul << " pen " << nPen;
            }
            if (s.dMul == 1.0 && s.dAdd == 0.0 && d.m_strName != "lone samples between NaN") {
                EXPECT_GT(Ink(Render(reduced, 1, false)), kWidth / 2) << d.m_strName;
            }
        }
    }
}

TEST(TraceReduce, StrokedWidePensDifferLittle) {
    // Printers and pictures stroke the polyline with round joins instead of the image fast path:
    // the reduced trace may differ from the full one only at a few join pixels. Measured at
    // 15000 samples over 700 columns (stroking every sample is slow); the bound is a fraction of
    // the drawn pixels.
    const int nScreen = 15000;
    const int nCount = nScreen + 1;
    for (const SData& d : MakeData(nCount)) {
        if (d.m_strName != "noise" && d.m_strName != "sine" && d.m_strName != "steps")
            continue;
        std::vector<int> idx;
        ReduceTrace(d.m_values.data(), nCount, 1.0, 0.0, kWidth, nScreen, idx);
        std::vector<int> all(static_cast<size_t>(nCount));
        for (int k = 0; k < nCount; ++k)
            all[k] = k;
        const auto full = Polylines(d.m_values, 1.0, 0.0, all, nScreen);
        const auto reduced = Polylines(d.m_values, 1.0, 0.0, idx, nScreen);
        const QImage a = Render(full, 3, true);
        const QImage b = Render(reduced, 3, true);
        const int nDiff = DiffPixels(a, b);
        const int nInk = Ink(a);
        RecordProperty(d.m_strName + " stroked diff", nDiff);
        std::printf("%s: stroked width 3, %d of %d pixels differ\n", d.m_strName.c_str(), nDiff,
                    nInk);
        EXPECT_LE(nDiff, nInk / 50) << d.m_strName;
        // The image fast path stamps a 3 x 3 dot per pixel where the painter strokes a band of
        // width 3, so edge pixels differ (measured: a quarter of the ink of a thin smooth line,
        // well under that for dense traces); the trace is the same.
        const int nFast = DiffPixels(Render(reduced, 3, false), b);
        std::printf("%s: fast path vs stroke, %d pixels differ\n", d.m_strName.c_str(), nFast);
        EXPECT_LE(nFast, nInk / 3) << d.m_strName;
    }
}

TEST(TraceReduce, BandClipKeepsVisiblePartAndSmallCoordinates) {
    struct SCase {
        std::vector<SPoint> in;
        std::vector<SPoint> out;
    };
    const SCase cases[] = {
        {{{0, 50}, {10, 60}}, {{0, 50}, {10, 60}}},                           // inside
        {{{0, 50}, {10, -1000000}}, {{0, 50}, {0, 0}}},                       // leaves at the top
        {{{0, -1000000}, {10, 50}, {20, 50}}, {{10, 0}, {10, 50}, {20, 50}}}, // enters
        {{{0, -1000000}, {0, 1000000}}, {{0, 0}, {0, 100}}},                  // crosses the band
        {{{0, -5}, {10, -7}}, {}},                                            // wholly above
        {{{0, 50}, {2, -300}, {4, 50}}, {{0, 50}, {0, 0}, {4, 0}, {4, 50}}},  // spike out and back
    };
    for (const SCase& c : cases) {
        std::vector<SPoint> out;
        ClipPolylineToBand(c.in.data(), static_cast<int>(c.in.size()), 0, 100, out);
        EXPECT_EQ(out, c.out) << c.in.size() << " points from y " << c.in[0].y;
    }
}
