// The column rasteriser against a pixel-by-pixel reference: every step of every segment (end
// point left out), with the pen's round dot stamped on each.
#include "display/column_raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

using PixelSet = std::set<std::pair<int, int>>;

/// floor(a / b) for b > 0.
int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && (a < 0));
}

PixelSet Reference(const std::vector<SPoint>& pts, int nWidth) {
    // Dot of diameter w: offsets (dx, dy) with (dx - c)^2 + (dy - c)^2 <= (w / 2)^2, c = 0 for
    // odd w and -0.5 for even w (dot centred on the pixel's top-left corner).
    const int w = std::max(nWidth, 1);
    const double c = w % 2 == 1 ? 0.0 : -0.5;
    std::vector<std::pair<int, int>> dot;
    for (int dx = -w; dx <= w; ++dx)
        for (int dy = -w; dy <= w; ++dy)
            if ((dx - c) * (dx - c) + (dy - c) * (dy - c) <= (w / 2.0) * (w / 2.0))
                dot.push_back({dx, dy});
    PixelSet out;
    for (size_t k = 1; k < pts.size(); ++k) {
        const SPoint a = pts[k - 1];
        const SPoint b = pts[k];
        const int64_t dx = int64_t{b.x} - a.x;
        const int64_t dy = int64_t{b.y} - a.y;
        const int64_t n = std::max(std::abs(dx), std::abs(dy));
        const bool bSteep = std::abs(dy) > std::abs(dx);
        const int64_t sx = dx < 0 ? -1 : 1;
        for (int64_t i = 0; i < n; ++i) {
            // The minor axis at round(d * i / n): a half goes downwards in y on shallow
            // segments, and away from a in x on steep ones.
            const int x = static_cast<int>(
                bSteep ? a.x + sx * FloorDiv(2 * std::abs(dx) * i + n, 2 * n) : a.x + sx * i);
            const int y = static_cast<int>(a.y + FloorDiv(2 * dy * i + n, 2 * n));
            for (const auto& [ox, oy] : dot)
                out.insert({x + ox, y + oy});
        }
    }
    return out;
}

PixelSet FromSpans(const std::vector<SColumnSpan>& spans) {
    PixelSet out;
    for (const SColumnSpan& sp : spans)
        for (int x = sp.x; x < sp.x + sp.cx; ++x)
            for (int y = sp.y0; y <= sp.y1; ++y)
                out.insert({x, y});
    return out;
}

} // namespace

TEST(ColumnRaster, MatchesPixelByPixelReference) {
    struct SCase {
        const char* name;
        std::vector<SPoint> pts;
    };
    std::mt19937 rng(11);
    auto random = [&](int nPoints, int nMaxStep, int nRange) {
        std::vector<SPoint> pts{{0, 0}};
        std::uniform_int_distribution<int> step(0, nMaxStep);
        std::uniform_int_distribution<int> row(-nRange, nRange);
        for (int i = 1; i < nPoints; ++i)
            pts.push_back({pts.back().x + step(rng), row(rng)});
        return pts;
    };
    std::vector<SCase> cases = {
        {"horizontal", {{0, 5}, {30, 5}}},
        {"vertical down and up", {{3, 0}, {3, 20}, {3, -7}}},
        {"steep one column over", {{0, 0}, {1, 17}, {2, -16}, {3, 2}}},
        {"steep several columns", {{0, 0}, {3, 40}, {8, -33}}},
        {"shallow", {{0, 0}, {25, 7}, {50, -9}}},
        {"leftwards", {{40, 0}, {39, 12}, {20, 3}, {20, -5}, {0, 0}}},
        {"repeated points", {{0, 0}, {0, 0}, {5, 5}, {5, 5}, {6, 9}}},
        {"dense trace", random(300, 1, 40)},
        {"sparse trace", random(60, 9, 60)},
    };
    for (const SCase& c : cases) {
        for (int w : {1, 2, 3, 4, 7}) {
            std::vector<SColumnSpan> spans;
            ASSERT_TRUE(
                RasterizeMonotonicPolyline(c.pts.data(), static_cast<int>(c.pts.size()), w, spans))
                << c.name;
            EXPECT_EQ(FromSpans(spans), Reference(c.pts, w)) << c.name << " width " << w;
            // At most one run per column.
            std::set<int> columns;
            for (const SColumnSpan& sp : spans)
                for (int x = sp.x; x < sp.x + sp.cx; ++x)
                    EXPECT_TRUE(columns.insert(x).second) << c.name << " column " << x;
        }
    }
}

TEST(ColumnRaster, DeclinesWhatItCannotDo) {
    struct SCase {
        const char* name;
        std::vector<SPoint> pts;
    };
    const SCase cases[] = {
        {"x turns back", {{0, 0}, {10, 0}, {5, 3}}},
        {"rows beyond its range", {{0, 0}, {10, 1 << 30}}},
        {"too wide", {{0, 0}, {1 << 20, 0}}},
    };
    for (const SCase& c : cases) {
        std::vector<SColumnSpan> spans{{1, 2, 3, 1}};
        EXPECT_FALSE(
            RasterizeMonotonicPolyline(c.pts.data(), static_cast<int>(c.pts.size()), 3, spans))
            << c.name;
        EXPECT_EQ(spans.size(), 1u) << c.name << ": output left unchanged";
    }
}
