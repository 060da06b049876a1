// The figures over a stretch of samples against a plain long-double reference, across block and
// lane boundaries, with values that are not finite, ties and negative multipliers.
#include "acquisition/channel_stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

SChannelStats Reference(const std::vector<double>& data, int64_t nFirst, double dMul, double dAdd) {
    SChannelStats s;
    long double sum = 0, sumSq = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        const double v = data[i] * dMul + dAdd;
        if (!std::isfinite(v)) {
            ++s.m_nNonFinite;
            continue;
        }
        if (s.m_nCount == 0 || v < s.m_dMin) {
            s.m_dMin = v;
            s.m_nMinIndex = nFirst + static_cast<int64_t>(i);
        }
        if (s.m_nCount == 0 || v > s.m_dMax) {
            s.m_dMax = v;
            s.m_nMaxIndex = nFirst + static_cast<int64_t>(i);
        }
        sum += v;
        ++s.m_nCount;
    }
    if (s.m_nCount == 0)
        return s;
    const long double mean = sum / s.m_nCount;
    for (double x : data) {
        const double v = x * dMul + dAdd;
        if (std::isfinite(v))
            sumSq += (v - mean) * (v - mean);
    }
    s.m_dMean = static_cast<double>(mean);
    s.m_dStdDev = static_cast<double>(std::sqrt(sumSq / s.m_nCount));
    s.m_dRms = static_cast<double>(std::sqrt(sumSq / s.m_nCount + mean * mean));
    return s;
}

void ExpectNear(double dGot, double dWant, double dScale) {
    EXPECT_NEAR(dGot, dWant, 1e-9 * std::max(1.0, dScale)) << dGot << " vs " << dWant;
}

TEST(ChannelStats, MatchesTheReference) {
    std::mt19937_64 rng(11);
    std::normal_distribution<double> noise(0.0, 1.0);
    auto make = [&](size_t n, double dBase, double dSpread) {
        std::vector<double> v(n);
        for (double& x : v)
            x = dBase + dSpread * noise(rng);
        return v;
    };
    std::vector<double> withInf = make(10007, 3.0, 2.0);
    withInf[0] = kInf; // the first value is not finite: the shift comes from the next one
    withInf[4095] = -kInf;
    withInf[4096] = std::nan("");
    std::vector<double> ties(9000, 5.0);
    ties[5000] = 9.0;
    ties[8000] = 9.0;
    ties[100] = 1.0;
    ties[8191] = 1.0;
    const struct {
        const char* pszName;
        std::vector<double> data;
        double dMul, dAdd;
    } cases[] = {
        {"one value", {2.5}, 1.0, 0.0},
        {"three values, no full lane", {1.0, -2.0, 7.0}, 2.0, 1.0},
        {"block boundary plus a tail", make(4096 * 3 + 5, 0.0, 1.0), 1.0, 0.0},
        {"far from zero, small spread", make(20000, 1e6, 1e-3), 1.0, 0.0},
        {"infinities and NaN left out", withInf, 1.0, 0.0},
        {"negative multiplier swaps the extremes", make(5000, 10.0, 3.0), -0.5, 100.0},
        {"ties: the first index wins", ties, 1.0, 0.0},
        {"ties with a negative multiplier", ties, -1.0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        const int64_t nFirst = 1234;
        const SChannelStats got = ComputeChannelStats(
            c.data.data(), static_cast<int64_t>(c.data.size()), nFirst, c.dMul, c.dAdd);
        const SChannelStats want = Reference(c.data, nFirst, c.dMul, c.dAdd);
        EXPECT_EQ(got.m_nCount, want.m_nCount);
        EXPECT_EQ(got.m_nNonFinite, want.m_nNonFinite);
        EXPECT_EQ(got.m_dMin, want.m_dMin);
        EXPECT_EQ(got.m_dMax, want.m_dMax);
        EXPECT_EQ(got.m_nMinIndex, want.m_nMinIndex);
        EXPECT_EQ(got.m_nMaxIndex, want.m_nMaxIndex);
        ExpectNear(got.m_dMean, want.m_dMean, std::fabs(want.m_dMean));
        ExpectNear(got.m_dStdDev, want.m_dStdDev, want.m_dStdDev);
        ExpectNear(got.m_dRms, want.m_dRms, want.m_dRms);
        EXPECT_EQ(got.PeakToPeak(), want.m_dMax - want.m_dMin);
    }
}

TEST(ChannelStats, NothingFiniteGivesZerosAndNoIndex) {
    const std::vector<double> data = {kInf, -kInf, std::nan("")};
    for (const int64_t n : {int64_t{0}, int64_t{3}}) {
        const SChannelStats s = ComputeChannelStats(data.data(), n, 0, 1.0, 0.0);
        EXPECT_EQ(s.m_nCount, 0);
        EXPECT_EQ(s.m_nNonFinite, n);
        EXPECT_EQ(s.m_nMinIndex, -1);
        EXPECT_EQ(s.m_nMaxIndex, -1);
        EXPECT_EQ(s.m_dMean, 0.0);
    }
    // A finite sample whose display value overflows counts as not finite.
    const double big[] = {1e300, 1.0};
    const SChannelStats s = ComputeChannelStats(big, 2, 0, 1e10, 0.0);
    EXPECT_EQ(s.m_nNonFinite, 1);
    EXPECT_EQ(s.m_nCount, 1);
    EXPECT_EQ(s.m_dMax, 1e10);
    EXPECT_EQ(s.m_nMaxIndex, 1);
}

} // namespace
