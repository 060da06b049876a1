#include "dialog_text.h"

#include "number_text.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <string>

namespace {

bool IsBlank(QChar c) {
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\n' || u == '\v' || u == '\f' || u == '\r';
}

bool IsDigit(const QString& text, qsizetype i) {
    return i < text.size() && text[i].unicode() >= '0' && text[i].unicode() <= '9';
}

} // namespace

double TextToDouble(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool bNegative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        bNegative = text[i] == u'-';
        ++i;
    }
    std::string number; // the accepted prefix in from_chars' form, without the sign
    bool bDigits = false;
    while (IsDigit(text, i)) {
        number += static_cast<char>(text[i++].unicode());
        bDigits = true;
    }
    if (i < text.size() && text[i] == u'.') {
        number += '.';
        ++i;
        while (IsDigit(text, i)) {
            number += static_cast<char>(text[i++].unicode());
            bDigits = true;
        }
    }
    if (!bDigits)
        return 0.0;
    bool bNegativeExponent = false;
    if (i < text.size()) {
        const char16_t e = text[i].unicode();
        if (e == 'e' || e == 'E' || e == 'd' || e == 'D') {
            qsizetype j = i + 1;
            std::string exponent = "e";
            if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) {
                bNegativeExponent = text[j] == u'-';
                exponent += static_cast<char>(text[j++].unicode());
            }
            if (IsDigit(text, j)) {
                while (IsDigit(text, j))
                    exponent += static_cast<char>(text[j++].unicode());
                number += exponent;
            }
        }
    }
    double dValue = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), dValue);
    if (result.ec == std::errc::result_out_of_range)
        dValue = bNegativeExponent ? 0.0 : HUGE_VAL;
    return bNegative ? -dValue : dValue;
}

int TextToInt(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool bNegative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        bNegative = text[i] == u'-';
        ++i;
    }
    long long nValue = 0;
    while (IsDigit(text, i)) {
        nValue = nValue * 10 + (text[i++].unicode() - '0');
        if (nValue > static_cast<long long>(INT_MAX) + 1)
            nValue = static_cast<long long>(INT_MAX) + 1;
    }
    if (bNegative)
        nValue = -nValue;
    if (nValue > INT_MAX)
        return INT_MAX;
    return static_cast<int>(nValue);
}

uint32_t TextToUnsigned(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (!IsDigit(text, i))
        return 0;
    uint64_t nValue = 0;
    while (IsDigit(text, i)) {
        nValue = nValue * 10 + (text[i++].unicode() - '0');
        if (nValue > UINT32_MAX)
            nValue = static_cast<uint64_t>(UINT32_MAX) + 1;
    }
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i != text.size())
        return 0;
    return nValue > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(nValue);
}

QString FormatGText(double dValue) {
    return QString::fromLatin1(FormatG(dValue));
}
