#include "display/frame_clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

/// One step of a scripted run: data at a time (nData >= 0) or a paint (nPaint >= 0).
struct SStep {
    int64_t nData;
    int64_t nPaint;
    int nExpected; ///< RequestFrame's answer for a data step
};

TEST(FrameClock, DataPaintsAtMostOncePerInterval) {
    struct SCase {
        const char* pszName;
        std::vector<SStep> steps;
    };
    const SCase cases[] = {
        {"first data paints at once", {{5, -1, 0}}},
        {"more data before the paint joins it", {{5, -1, 0}, {6, -1, -1}, {20, -1, -1}}},
        {"data right after a paint waits for the rest of the frame",
         {{0, -1, 0}, {-1, 2, 0}, {10, -1, 25}, {12, -1, -1}, {-1, 35, 0}, {40, -1, 28}}},
        {"data a whole frame after the last paint paints at once",
         {{0, -1, 0}, {-1, 1, 0}, {34, -1, 0}}},
        {"a command's paint in between restarts the frame",
         {{-1, 100, 0}, {110, -1, 23}, {-1, 115, 0}, {120, -1, 28}}},
        {"a paint that never came stops blocking after four frames",
         {{0, -1, 0}, {100, -1, -1}, {132, -1, 0}}},
        {"a clock that went back paints at once", {{-1, 500, 0}, {400, -1, 0}}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        CFrameClock clock(33);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const SStep& s = c.steps[i];
            if (s.nPaint >= 0)
                clock.OnPainted(s.nPaint);
            else
                EXPECT_EQ(clock.RequestFrame(s.nData), s.nExpected) << "step " << i;
        }
    }
}

} // namespace
