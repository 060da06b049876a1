// The field splitter and the value rule: ParseFieldValue must give, bit for bit, what the C
// library's strtod gives for the same text read from the first digit, sign or point with d/D as
// the exponent letter; the in-place line parser must give the splitter's row.
#include "acquisition/parse_csv.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

/// strtod under the value rule. The text is cut where a hexadecimal, infinity or NaN form could
/// begin (x, p, i, n): none of those letters can belong to a decimal number, so the cut changes
/// no decimal value, and those forms are exactly what the rule does not accept.
double ReferenceValue(const char* pszField) {
    const char* p = pszField;
    while (*p != '\0' && !((*p >= '0' && *p <= '9') || *p == '+' || *p == '-' || *p == '.'))
        ++p;
    std::string text(p);
    for (char& c : text) {
        if (c == 'd' || c == 'D')
            c = 'e';
        else if (std::strchr("xXpPiInN", c) != nullptr)
            c = '\0';
    }
    return std::strtod(text.c_str(), nullptr);
}

void ExpectSameBits(double a, double b) {
    if (std::memcmp(&a, &b, sizeof a) != 0)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    // The text up to the first NUL, as a line or a field would hold it.
    const std::string text(reinterpret_cast<const char*>(pData),
                           strnlen(reinterpret_cast<const char*>(pData), nSize));

    ExpectSameBits(ParseFieldValue(text.c_str()), ReferenceValue(text.c_str()));

    double rowFast[8];
    double rowSplit[8];
    ParseLineToRow(text.c_str(), 8, rowFast);
    ParseLineToRowSplit(text.c_str(), 8, rowSplit);
    for (int i = 0; i < 8; ++i)
        ExpectSameBits(rowFast[i], rowSplit[i]);

    // A line ended by CR or LF followed by more text parses as the line alone.
    if (text.find_first_of("\r\n") == std::string::npos) {
        const std::string ended = text + (nSize % 2 ? "\r" : "\n") + "9,9,9";
        double rowEnded[8];
        ParseLineToRow(ended.c_str(), 8, rowEnded);
        for (int i = 0; i < 8; ++i)
            ExpectSameBits(rowEnded[i], rowFast[i]);
    }

    // Every field the splitter hands out, at a field size chosen by the input, follows the rule;
    // the splitter always terminates and never writes past the size it is given.
    const int nFieldSize = nSize > 0 ? 2 + pData[0] % 160 : 128; // size 1 never moves on
    CParseCsv parse;
    parse.SetLine(text.c_str());
    std::string field(static_cast<size_t>(nFieldSize), '\0');
    int nFields = 0;
    while (parse.GetNextField(field.data(), nFieldSize)) {
        if (std::strlen(field.c_str()) > static_cast<size_t>(nFieldSize - 1))
            __builtin_trap();
        ExpectSameBits(ParseFieldValue(field.c_str()), ReferenceValue(field.c_str()));
        if (++nFields > static_cast<int>(text.size()) * 2 + 2)
            __builtin_trap(); // no progress
    }
    return 0;
}
