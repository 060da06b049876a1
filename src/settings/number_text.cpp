#include "number_text.h"

#include <charconv>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The process locale may use ',' as decimal point (Qt sets it from the environment), so the
// conversion runs in a private "C" locale object created on first use.
locale_t CLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
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
    // Measure the valid prefix ourselves: strtod would also take hex, inf and nan, which the
    // C runtime this format comes from never did, and it does not know the 'd' exponent.
    std::string text;
    const char* q = p;
    if (*q == '+' || *q == '-')
        text += *q++;
    int nDigits = 0;
    for (; IsDigit(*q); ++q, ++nDigits)
        text += *q;
    if (*q == '.') {
        text += *q++;
        for (; IsDigit(*q); ++q, ++nDigits)
            text += *q;
    }
    if (nDigits == 0)
        return 0.0;
    if (*q == 'e' || *q == 'E' || *q == 'd' || *q == 'D') {
        const char* r = q + 1;
        std::string exponent = "e";
        if (*r == '+' || *r == '-')
            exponent += *r++;
        if (IsDigit(*r)) {
            for (; IsDigit(*r); ++r)
                exponent += *r;
            text += exponent;
        }
    }
    const locale_t loc = CLocale();
    if (loc != static_cast<locale_t>(nullptr))
        return strtod_l(text.c_str(), nullptr, loc);
    double dValue = 0.0;
    std::from_chars(text.data() + (text[0] == '+' ? 1 : 0), text.data() + text.size(), dValue);
    return dValue;
}

QByteArray FormatG(double dValue) {
    // std::to_chars with general format and precision 6 is defined as printf "%g" in the
    // "C" locale, which std::snprintf is not once the process locale has been set.
    char buf[64];
    const auto result =
        std::to_chars(buf, buf + sizeof(buf), dValue, std::chars_format::general, 6);
    return QByteArray(buf, static_cast<int>(result.ptr - buf));
}
