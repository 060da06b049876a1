#include "settings/number_text.h"

#include "acquisition/parse_csv.h"

#include <charconv>
#include <climits>

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

int AtoiC(const char* psz) {
    const char* p = psz;
    while (IsSpace(*p))
        ++p;
    bool bNegative = false;
    if (*p == '+' || *p == '-')
        bNegative = *p++ == '-';
    long long nValue = 0;
    for (; IsDigit(*p); ++p) {
        nValue = nValue * 10 + (*p - '0');
        if (nValue > static_cast<long long>(INT_MAX) + 1)
            nValue = static_cast<long long>(INT_MAX) + 1; // saturate, keep scanning
    }
    if (bNegative)
        nValue = -nValue;
    if (nValue > INT_MAX)
        return INT_MAX;
    return static_cast<int>(nValue);
}

double AtofC(const char* psz) {
    const char* p = psz;
    while (IsSpace(*p))
        ++p;
    // From here atof and the field rule agree, except that atof does not skip to the first
    // number character: a letter first means no number at all.
    if (!(IsDigit(*p) || *p == '+' || *p == '-' || *p == '.'))
        return 0.0;
    return ParseFieldValue(p);
}

int FormatGTo(double dValue, char* pBuf) {
    // std::to_chars with general format and precision 6 is defined as printf "%g" in the
    // "C" locale, which std::snprintf is not once the process locale has been set.
    const auto result =
        std::to_chars(pBuf, pBuf + kFormatGSize, dValue, std::chars_format::general, 6);
    return static_cast<int>(result.ptr - pBuf);
}

QByteArray FormatG(double dValue) {
    char buf[kFormatGSize];
    return QByteArray(buf, FormatGTo(dValue, buf));
}
