#include "acquisition/parse_csv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

/// The C library's conversion under the same rule: skip to a digit, sign or point, read d/D
/// as e, and cut the text where a hexadecimal, infinity or NaN form could begin (none of those
/// letters can belong to a decimal number, so the cut never changes a decimal value).
double ReferenceValue(const std::string& field) {
    size_t i = 0;
    while (i < field.size() && !((field[i] >= '0' && field[i] <= '9') || field[i] == '+' ||
                                 field[i] == '-' || field[i] == '.'))
        ++i;
    std::string text = field.substr(i);
    for (char& c : text) {
        if (c == 'd' || c == 'D')
            c = 'e';
        else if (std::strchr("xXpPiInN", c) != nullptr && c != '\0')
            c = '\0';
    }
    return std::strtod(text.c_str(), nullptr);
}

uint64_t Bits(double d) {
    uint64_t n;
    std::memcpy(&n, &d, sizeof n);
    return n;
}

TEST(ParseFieldValue, ValueRuleExamples) {
    const struct {
        const char* pszField;
        double dValue;
    } cases[] = {
        {"12.5V", 12.5},
        {"V=-3", -3.0},
        {"abc", 0.0},
        {"2e2", 200.0},
        {"2D2", 200.0},
        {"2d-2", 0.02},
        {"e5", 5.0},
        {"+", 0.0},
        {"- 5", 0.0},
        {".5", 0.5},
        {"", 0.0},
        {"0x1A", 0.0},
        {"inf", 0.0},
        {"-inf", 0.0},
        {"nan", 0.0},
        {"\"4\"", 4.0},
        {"3 ", 3.0},
        {"1e", 1.0},
        {"1e+", 1.0},
        {"1d+x", 1.0},
        {"5.", 5.0},
        {".", 0.0},
        {"-.", 0.0},
        {".e5", 0.0},
        {"+-5", 0.0},
        {"--5", 0.0},
        {"\xb5V 7", 7.0},
        {"1e400", HUGE_VAL},
        {"-1D400", -HUGE_VAL},
        {"1e-400", 0.0},
        {"4.9e-324", 4.9406564584124654e-324},
    };
    for (const auto& c : cases) {
        const double d = ParseFieldValue(c.pszField);
        EXPECT_EQ(Bits(d), Bits(c.dValue)) << '"' << c.pszField << "\" gave " << d;
    }
    EXPECT_EQ(Bits(ParseFieldValue("-0")), Bits(-0.0));
    EXPECT_EQ(Bits(ParseFieldValue("-1e-400")), Bits(-0.0));
}

/// Random fields built from the pieces that matter to the rule, checked bit for bit.
std::string RandomField(std::mt19937_64& rng) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint64_t>(n)); };
    static const char* const s_junk[] = {"V",    "=",    " ",  "\t", "abc", "e",  "E",  "d",
                                         "D",    "x",    "0x", "i",  "nf",  "n",  "\"", "\xb5",
                                         "\xff", "\x80", "#",  ":",  "inf", "nan"};
    auto digits = [&](int nMax) {
        std::string s;
        const int n = pick(nMax + 1);
        for (int i = 0; i < n; ++i)
            s.push_back(static_cast<char>('0' + pick(10)));
        return s;
    };
    std::string s;
    for (int n = pick(3); n > 0; --n)
        s += s_junk[pick(sizeof s_junk / sizeof *s_junk)];
    for (int n = pick(4) == 0 ? pick(3) : 0; n > 0; --n)
        s += "+- "[pick(3)];
    if (pick(2))
        s += "+-"[pick(2)];
    const int nShape = pick(10);
    if (nShape == 0)
        s += digits(400); // long mantissas need the slow exact path
    else if (nShape == 1)
        s += "0.000000" + digits(30);
    else
        s += digits(20);
    if (pick(2)) {
        s += '.';
        s += digits(nShape == 2 ? 60 : 12);
    }
    if (pick(2)) {
        s += "eEdD"[pick(4)];
        if (pick(2))
            s += "+-"[pick(2)];
        s += pick(8) == 0 ? digits(25) : std::to_string(pick(3) == 0 ? pick(30) : pick(700));
    }
    for (int n = pick(3); n > 0; --n)
        s += s_junk[pick(sizeof s_junk / sizeof *s_junk)];
    return s;
}

TEST(ParseFieldValue, MatchesCLibraryOnRandomFields) {
    std::mt19937_64 rng(20240611);
    int nMismatches = 0;
    for (int i = 0; i < 300000 && nMismatches < 10; ++i) {
        const std::string field = RandomField(rng);
        const double d = ParseFieldValue(field.c_str());
        const double dRef = ReferenceValue(field);
        if (Bits(d) != Bits(dRef)) {
            ++nMismatches;
            ADD_FAILURE() << '"' << field << "\": " << d << " expected " << dRef;
        }
    }
}

TEST(ParseFieldValue, MatchesCLibraryAtRangeBoundaries) {
    const char* const fields[] = {
        "1.7976931348623157e308",
        "1.7976931348623158e308",
        "1.7976931348623159e308",
        "1.797693134862315807e308",
        "1.7976931348623158079e308",
        "179769313486231580793728971405303415079934132710037826936173778980444968292764750946649"
        "017977587207096330286416692887910946555547851940402630657488671505820681908902000708383"
        "676273854845817711531764475730270069855571366959622842914819860834936475292719074168444"
        "365510704342711559699508093042880177904174497792",
        "2.2250738585072011e-308",
        "2.2250738585072014e-308",
        "4.9406564584124654e-324",
        "2.4703282292062327e-324",
        "2.4703282292062328e-324",
        "2.4703282292062327208e-324",
        "1e-323D0",
        "9007199254740993",
        "9007199254740992.5",
        "0.1d1",
        "1e2147483648",
        "1e-2147483649",
        "1e99999999999999999999",
        "0e99999999999999999999",
        "000000000000000000000.5"};
    for (const char* pszField : fields) {
        for (const char* pszSign : {"", "-", "+"}) {
            const std::string field = std::string("V") + pszSign + pszField;
            EXPECT_EQ(Bits(ParseFieldValue(field.c_str())), Bits(ReferenceValue(field))) << field;
        }
    }
}

struct SSplitCase {
    const char* pszName;
    std::string strLine;
    std::vector<std::string> fields; ///< every field until GetNextField returns false
};

TEST(ParseCsv, SplitsFieldsByTheLineGrammar) {
    const std::string s127(127, 'a');
    const std::string s200(200, 'b');
    const SSplitCase cases[] = {
        {"four fields", "1,2,3,4", {"1", "2", "3", "4"}},
        {"leading blanks skipped, trailing kept", " 3 , x", {"3 ", "x"}},
        {"one field", "7", {"7"}},
        {"empty line", "", {""}},
        {"empty middle field", "1,,3", {"1", "", "3"}},
        {"quotes are plain", "\"4\",5", {"\"4\"", "5"}},
        {"trailing comma", "1,", {"1", ""}},
        {"tabs skipped", "\t\t9,\t 8\t", {"9", "8\t"}},
        {"line ends at CR", "1,2\r3,4", {"1", "2"}},
        {"line ends at LF", "1\n,2", {"1"}},
        {"blank field", "  ,2", {"", "2"}},
        {"high bytes are plain", "\xb5,\x80\xff", {"\xb5", "\x80\xff"}},
        {"127 characters then comma", s127 + ",5", {s127, "", "5"}},
        {"200 characters", s200 + ",5", {std::string(127, 'b'), std::string(73, 'b'), "5"}},
        {"126 characters then comma", s127.substr(1) + ",5", {s127.substr(1), "5"}},
    };
    for (const SSplitCase& c : cases) {
        CParseCsv parse;
        parse.SetLine(c.strLine.c_str());
        std::vector<std::string> got;
        char szField[128];
        for (int i = 0; i < 20 && parse.GetNextField(szField, sizeof szField); ++i)
            got.emplace_back(szField);
        EXPECT_EQ(got, c.fields) << c.pszName;
        EXPECT_FALSE(parse.GetNextField(szField, sizeof szField)) << c.pszName;
        EXPECT_STREQ(szField, "") << c.pszName;
    }
}

TEST(ParseCsv, NoLineAttached) {
    CParseCsv parse;
    char sz[8] = "junk";
    EXPECT_FALSE(parse.GetNextField(sz, sizeof sz));
    EXPECT_STREQ(sz, "");
    std::strcpy(sz, "junk");
    EXPECT_FALSE(parse.GetRest(sz, sizeof sz));
    EXPECT_STREQ(sz, "");
}

TEST(ParseCsv, KeyThenRest) {
    CParseCsv parse;
    parse.SetLine("key, a,b");
    char sz[128];
    ASSERT_TRUE(parse.GetNextField(sz, sizeof sz));
    EXPECT_STREQ(sz, "key");
    ASSERT_TRUE(parse.GetRest(sz, sizeof sz));
    EXPECT_STREQ(sz, "a,b");
    EXPECT_FALSE(parse.GetRest(sz, sizeof sz));
    EXPECT_FALSE(parse.GetNextField(sz, sizeof sz));
}

TEST(ParseCsv, RestDetachesEvenWhenCutShort) {
    const struct {
        int nSize;
        const char* pszExpected;
    } cases[] = {{4, "a,b"}, {1, ""}, {6, "a,b,c"}};
    for (const auto& c : cases) {
        CParseCsv parse;
        parse.SetLine("  a,b,c,d");
        char sz[16] = "zzzzzzzzzzzzzzz";
        EXPECT_TRUE(parse.GetRest(sz, c.nSize));
        EXPECT_STREQ(sz, c.pszExpected);
        EXPECT_EQ(parse.m_pszLine, nullptr);
    }
}

TEST(ParseCsv, TinyBuffersConsumeNothing) {
    for (int nSize : {1, 0, -3}) {
        CParseCsv parse;
        parse.SetLine("12,3");
        char sz[4] = "zzz";
        EXPECT_TRUE(parse.GetNextField(sz, nSize));
        EXPECT_EQ(parse.m_nIndex, 0);
        EXPECT_NE(parse.m_pszLine, nullptr);
        EXPECT_EQ(sz[0], nSize == 1 ? '\0' : 'z') << nSize; // nothing written outside the buffer
    }
}

TEST(ParseLineToRow, FillsActiveChannels) {
    const struct {
        int nChannels;
        std::string strLine;
        double row[8];
    } cases[] = {
        {2, "1,2,3,4", {1, 2}},
        {2, " 3 , x", {3, 0}},
        {2, "7", {7, 0}},
        {2, "", {0, 0}},
        {3, "1,,3", {1, 0, 3}},
        {2, "\"4\",5", {4, 5}},
        {4, "1.5,-2e1,3D-1,x", {1.5, -20, 0.3, 0}},
        // A field counts up to its 127th character.
        {2, std::string(200, '1') + ",5", {1.1111111111111111e126, 1.1111111111111111e72}},
        {3, std::string(127, '2') + ",5", {2.2222222222222222e126, 0, 5}},
        {8, "1,2,3,4,5,6,7,8,9", {1, 2, 3, 4, 5, 6, 7, 8}},
        {1, "-2.5e-3V,9", {-0.0025}},
    };
    for (const auto& c : cases) {
        double row[9] = {9, 9, 9, 9, 9, 9, 9, 9, 9};
        ParseLineToRow(c.strLine.c_str(), c.nChannels, row);
        for (int i = 0; i < c.nChannels; ++i)
            EXPECT_DOUBLE_EQ(row[i], c.row[i]) << c.strLine << " channel " << i;
        EXPECT_EQ(row[c.nChannels], 9.0) << "wrote past the active channels";
    }
}

TEST(ParseLineToRow, InPlaceFieldsGiveTheSplittersRow) {
    // The line parser reads fields in place; the splitter copies them out with its 127-character
    // cut. Lines around that cut, lines ended by CR or LF, and random lines must agree bit for bit.
    std::vector<std::string> lines = {
        std::string(126, '1') + ",5,6",
        std::string(127, '1') + ",5,6",
        std::string(128, '2') + ",5",
        std::string(300, ' ') + "7,8", // leading blanks do not count toward the cut
        "abc" + std::string(124, 'x') + "9,4",
        "1e,2d+,3E-,.,-.5e",
        "1,2\r3,4",
        "5\n6",
        "\t-0 ,+0,",
    };
    std::mt19937 rng(3);
    for (int i = 0; i < 3000; ++i) {
        std::string line;
        const size_t nLen = rng() % 400;
        while (line.size() < nLen)
            line += "0123456789,,,..ed+- \tx"[rng() % 23];
        lines.push_back(line);
    }
    for (const std::string& line : lines) {
        for (int nChannels : {1, 3, 8}) {
            double fast[8];
            double split[8];
            ParseLineToRow(line.c_str(), nChannels, fast);
            ParseLineToRowSplit(line.c_str(), nChannels, split);
            for (int i = 0; i < nChannels; ++i)
                ASSERT_EQ(Bits(fast[i]), Bits(split[i])) << '"' << line << "\" channel " << i;
        }
    }
}

} // namespace
