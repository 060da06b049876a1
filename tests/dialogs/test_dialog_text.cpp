#include "dialogs/dialog_text.h"
#include "dialogs/dialog_units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

TEST(DialogText, TextToDoubleReadsTheLongestDecimalPrefix) {
    const struct {
        const char* pszText;
        double dExpected;
    } cases[] = {
        {"1.5", 1.5},   {"  -2.25", -2.25}, {"\t+3", 3.0}, {"12.5V", 12.5}, {"2e2", 200.0},
        {"2D2", 200.0}, {"2d-2", 0.02},     {"2e", 2.0},   {"2e+", 2.0},    {".5", 0.5},
        {"5.", 5.0},    {"-.5e1", -5.0},    {"", 0.0},     {"abc", 0.0},    {"V=3", 0.0},
        {"0x1A", 0.0},  {"inf", 0.0},       {"nan", 0.0},  {"-", 0.0},      {".", 0.0},
        {"1e-9", 1e-9}, {"1 2", 1.0},       {"1,5", 1.0},  {"1e-400", 0.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(TextToDouble(QString::fromUtf8(c.pszText)), c.dExpected) << c.pszText;
    EXPECT_TRUE(std::signbit(TextToDouble(QStringLiteral("-0"))));
    EXPECT_TRUE(std::isinf(TextToDouble(QStringLiteral("1e400"))));
}

TEST(DialogText, TextToIntIsAtoi) {
    const struct {
        const char* pszText;
        int nExpected;
    } cases[] = {
        {"9600bps", 9600},
        {"9600 bps", 9600},
        {"  42", 42},
        {"-7x", -7},
        {"+8", 8},
        {"bps", 0},
        {"", 0},
        {"- 5", 0},
        {"99999999999", INT32_MAX},
        {"-99999999999", INT32_MIN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextToInt(QString::fromUtf8(c.pszText)), c.nExpected) << c.pszText;
}

TEST(DialogText, TextToUnsignedNeedsAWholeNumber) {
    const struct {
        const char* pszText;
        uint32_t nExpected;
    } cases[] = {
        {"00050", 50},
        {" 7 ", 7},
        {"1000", 1000},
        {"", 0},
        {"-5", 0},
        {"+5", 0},
        {"12a", 0},
        {"a12", 0},
        {"1 2", 0},
        {"4294967295", UINT32_MAX},
        {"99999999999", UINT32_MAX},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextToUnsigned(QString::fromUtf8(c.pszText)), c.nExpected) << c.pszText;
}

TEST(DialogText, FormatGMatchesPrintfG) {
    const struct {
        double dValue;
        const char* pszExpected;
    } cases[] = {
        {10.0, "10"},         {1.23456789, "1.23457"},      {1e-9, "1e-09"},
        {-0.5, "-0.5"},       {123456789.0, "1.23457e+08"}, {0.0001, "0.0001"},
        {100000.0, "100000"}, {1000000.0, "1e+06"},         {-0.0, "-0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatGText(c.dValue).toStdString(), c.pszExpected);
}

TEST(DialogUnits, ConvertsThroughBaseUnits) {
    // The classic 8-point shell font: 6 x 13 base units.
    const CDialogUnits du(6, 13);
    EXPECT_EQ(du.ToPixels(186, 47), QSize(279, 76));
    EXPECT_EQ(du.ToPixels(128, 7, 50, 14), QRect(192, 11, 75, 23));
    // Adjacent template rectangles stay adjacent after rounding (edit 66+24 meets spin at 90).
    EXPECT_EQ(du.ToPixels(66, 12, 24, 12).right() + 1, du.ToPixels(90, 12, 11, 12).left());
}
