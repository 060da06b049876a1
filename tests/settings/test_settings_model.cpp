#include "settings/kest_doc.h"
#include "settings/number_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(SettingsModel, DocumentStartsWithDefaultRecords) {
    const CkestDoc doc;
    EXPECT_EQ(doc.m_nChannels, 2);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(doc.m_ChannelAttr[i], SChannelAttr()) << i;
    const COLORREF crExpected[8] = {0, 16711680, 65280, 8421376, 255, 8388736, 32896, 16384};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(g_crDefaultColor[i], crExpected[i]) << i;
}

TEST(SettingsModel, ChannelIndexClampsToTheEightRecords) {
    const struct {
        int m_nIndex;
        int m_nEntry;
    } cases[] = {{-3, 0}, {0, 0}, {5, 5}, {7, 7}, {8, 7}, {100, 7}};
    for (const auto& c : cases) {
        CkestDoc doc;
        SChannelAttr attr;
        attr.m_strName = "x";
        doc.SetChannelAttr(c.m_nIndex, attr);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(doc.m_ChannelAttr[i].m_strName, i == c.m_nEntry ? "x" : "")
                << c.m_nIndex << " entry " << i;
        EXPECT_EQ(&doc.GetChannelAttr(c.m_nIndex), &doc.m_ChannelAttr[c.m_nEntry]);
    }
}

TEST(SettingsModel, SetChannelAttrCorrectsInvalidValues) {
    struct SCase {
        double m_dVRes, m_dMultiplier, m_dOffset, m_dAddend;
        int m_nPos;
        double m_dVResOut, m_dMultiplierOut, m_dOffsetOut, m_dAddendOut;
        int m_nPosOut;
    };
    const SCase cases[] = {
        {0.0, 0.0, 1.5, -2.5, -5, 10.0, 1.0, 1.5, -2.5, 0},
        {-2.5, -0.0, 0, 0, 1001, 10.0, 1.0, 0, 0, 1000},
        {0.001, -0.5, 0, 0, 1000, 0.001, -0.5, 0, 0, 1000},
        {5.0, 1e-300, 0, 0, 0, 5.0, 1e-300, 0, 0, 0},
        {-0.0, 2.0, 0, 0, 500, 10.0, 2.0, 0, 0, 500},
        // an overflowing number read from a file must not reach the drawing arithmetic
        {kInf, kInf, kInf, -kInf, 1, 10.0, 1.0, 0.0, 0.0, 1},
        {kNaN, kNaN, kNaN, kNaN, 2, 10.0, 1.0, 0.0, 0.0, 2},
    };
    for (const SCase& c : cases) {
        CkestDoc doc;
        SChannelAttr attr;
        attr.m_dVRes = c.m_dVRes;
        attr.m_dMultiplier = c.m_dMultiplier;
        attr.m_dOffset = c.m_dOffset;
        attr.m_dAddend = c.m_dAddend;
        attr.m_nPos = c.m_nPos;
        attr.m_crColor = 0x123456;
        attr.m_strUnit = " mV";
        const SChannelAttr original = attr;
        doc.SetChannelAttr(3, attr);
        const SChannelAttr& stored = doc.m_ChannelAttr[3];
        EXPECT_EQ(stored.m_dVRes, c.m_dVResOut) << c.m_dVRes;
        EXPECT_EQ(stored.m_dMultiplier, c.m_dMultiplierOut) << c.m_dMultiplier;
        EXPECT_EQ(stored.m_dOffset, c.m_dOffsetOut) << c.m_dOffset;
        EXPECT_EQ(stored.m_dAddend, c.m_dAddendOut) << c.m_dAddend;
        EXPECT_EQ(stored.m_nPos, c.m_nPosOut) << c.m_nPos;
        EXPECT_EQ(stored.m_crColor, 0x123456u);
        EXPECT_EQ(stored.m_strUnit, " mV");
        EXPECT_EQ(attr.m_nPos, original.m_nPos); // the caller's record is untouched
    }
}

TEST(SettingsModel, SamplesPerDivClamp) {
    const int cases[][2] = {{0, 1},         {-7, 1},        {1, 1},       {100, 100},
                            {10000, 10000}, {10001, 10000}, {INT_MIN, 1}, {INT_MAX, 10000}};
    for (const auto& c : cases)
        EXPECT_EQ(ClampSamplesPerDiv(c[0]), c[1]) << c[0];
}

TEST(NumberText, AtoiC) {
    const struct {
        const char* m_psz;
        int m_n;
    } cases[] = {
        {"42", 42},
        {"  -17x", -17},
        {"\t+8", 8},
        {"3x", 3},
        {"x3", 0},
        {"", 0},
        {"- 5", 0},
        {"264", 264},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"1.9", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AtoiC(c.m_psz), c.m_n) << '"' << c.m_psz << '"';
}

TEST(NumberText, AtofC) {
    const struct {
        const char* m_psz;
        double m_d;
    } cases[] = {
        {"0.5", 0.5},   {"  -2.25", -2.25},     {"\r\n+3", 3.0}, {"1e+06", 1e6}, {"1e+006", 1e6},
        {"2D2", 200.0}, {"2d-1", 0.2},          {".5", 0.5},     {"5.", 5.0},    {"12.5V", 12.5},
        {"1e", 1.0},    {"1e+", 1.0},           {"abc", 0.0},    {"V3", 0.0},    {"", 0.0},
        {"+", 0.0},     {"- 5", 0.0},           {".", 0.0},      {"0x1A", 0.0},  {"inf", 0.0},
        {"nan", 0.0},   {"0.123457", 0.123457}, {"1e-400", 0.0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AtofC(c.m_psz), c.m_d) << '"' << c.m_psz << '"';
    EXPECT_TRUE(std::isinf(AtofC("1e999")));
}

TEST(NumberText, FormatGMatchesPercentG) {
    const struct {
        double m_d;
        const char* m_psz;
    } cases[] = {
        {10.0, "10"},
        {0.0, "0"},
        {1.0, "1"},
        {-0.5, "-0.5"},
        {0.1234567, "0.123457"},
        {1000000.0, "1e+06"},
        {123456.0, "123456"},
        {1e-5, "1e-05"},
        {0.0001, "0.0001"},
        {1e300, "1e+300"},
        {-0.0, "-0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatG(c.m_d), QByteArray(c.m_psz)) << c.m_d;
}

} // namespace
