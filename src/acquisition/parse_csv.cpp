#include "acquisition/parse_csv.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

void CParseCsv::SetLine(const char* line) {
    m_pszLine = line;
    m_nIndex = 0;
}

namespace {

inline bool TakeField(CParseCsv& parse, char* out, int size, bool bStopAtComma) {
    const char* pszLine = parse.m_pszLine;
    if (pszLine == nullptr) {
        if (out != nullptr && size > 0)
            out[0] = '\0';
        return false;
    }
    int n = 0;
    int nIndex = parse.m_nIndex;
    const int limit = size - 1;
    while (n < limit) {
        const char c = pszLine[nIndex];
        if (n == 0 && (c == ' ' || c == '\t')) {
            ++nIndex;
            continue;
        }
        if (c == '\0' || c == '\n' || c == '\r') {
            parse.m_pszLine = nullptr;
            break;
        }
        if (bStopAtComma && c == ',') {
            ++nIndex;
            break;
        }
        out[n++] = c;
        ++nIndex;
    }
    parse.m_nIndex = nIndex;
    if (size > 0)
        out[n] = '\0';
    return true;
}

inline bool IsDigit(char c) {
    return static_cast<unsigned char>(c - '0') <= 9;
}

/// Rare path for values beyond the double range: the C library gives the same infinity or
/// (denormal) zero, with its sign, that the conversion rule promises. The text is plain decimal.
double ConvertOutOfRange(const char* pFrom, const char* pTo, const char* pExpLetter, bool bNeg) {
    std::string text;
    text.reserve(static_cast<size_t>(pTo - pFrom) + 1);
    if (bNeg)
        text.push_back('-');
    text.append(pFrom, pTo);
    if (pExpLetter != nullptr)
        text[static_cast<size_t>(pExpLetter - pFrom) + (bNeg ? 1 : 0)] = 'e';
    const int nSavedErrno = errno;
    const double d = std::strtod(text.c_str(), nullptr);
    errno = nSavedErrno;
    return d;
}

} // namespace

bool CParseCsv::GetNextField(char* out, int size) {
    return TakeField(*this, out, size, true);
}

bool CParseCsv::GetRest(char* out, int size) {
    const bool bOk = TakeField(*this, out, size, false);
    m_pszLine = nullptr;
    return bOk;
}

namespace {

inline bool StartsNumber(char c) {
    return IsDigit(c) || c == '+' || c == '-' || c == '.';
}

inline bool EndsLine(char c) {
    return c == '\0' || c == '\n' || c == '\r';
}

/// The conversion of the value rule from p, which holds a digit, a sign or a point. It stops at
/// the first character that cannot continue the number, so a field need not end in a NUL as long
/// as what follows it (a comma, a line end) is no part of a number.
/// *ppStop, when given, gets where the reading stopped: never past the character that ended the
/// number.
double ConvertNumber(const char* p, const char** ppStop = nullptr) {
    bool bNeg = false;
    if (*p == '+' || *p == '-') {
        bNeg = *p == '-';
        ++p;
    }
    // Find the extent of the decimal number first: from_chars takes neither a '+' nor the d/D
    // exponent letters, and the C conversion accepts both. Short numbers are gathered on the way.
    uint64_t nMantissa = 0;
    int nSignificant = 0; // digits in nMantissa, leading zeros not counted
    int nFracDigits = 0;
    bool bExact = true; // nMantissa holds every digit
    auto takeDigit = [&](char c) {
        const unsigned nDigit = static_cast<unsigned>(c - '0');
        if (nMantissa == 0 && nDigit == 0)
            return;
        if (nSignificant < 19) {
            nMantissa = nMantissa * 10 + nDigit;
            ++nSignificant;
        } else {
            bExact = false;
        }
    };
    const char* q = p;
    while (IsDigit(*q))
        takeDigit(*q++);
    bool bDigits = q != p;
    if (*q == '.') {
        ++q;
        const char* pFrac = q;
        while (IsDigit(*q))
            takeDigit(*q++);
        nFracDigits = static_cast<int>(q - pFrac);
        bDigits = bDigits || q != pFrac;
    }
    if (ppStop != nullptr)
        *ppStop = q;
    if (!bDigits)
        return 0.0;
    const char* pEnd = q;
    const char* pExpLetter = nullptr;
    int nExp = 0;
    if (*q == 'e' || *q == 'E' || *q == 'd' || *q == 'D') {
        const char* s = q + 1;
        bool bExpNeg = false;
        if (*s == '+' || *s == '-')
            bExpNeg = *s++ == '-';
        if (IsDigit(*s)) {
            for (; IsDigit(*s); ++s) {
                if (nExp < 100000)
                    nExp = nExp * 10 + (*s - '0');
            }
            if (bExpNeg)
                nExp = -nExp;
            pEnd = s;
            if (ppStop != nullptr)
                *ppStop = s;
            if (*q == 'd' || *q == 'D')
                pExpLetter = q;
        }
    }

    // Exact fast path: an integer below 2^53 times or over a power of ten up to 1e22 is one
    // correctly rounded operation, because both operands are exact doubles.
    static constexpr double s_dPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (bExact && nFracDigits <= 100000) {
        if (nMantissa == 0)
            return bNeg ? -0.0 : 0.0;
        const int nExp10 = nExp - nFracDigits;
        if (nMantissa <= (uint64_t{1} << 53) && nExp10 >= -22 && nExp10 <= 22) {
            double d = static_cast<double>(nMantissa);
            d = nExp10 < 0 ? d / s_dPow10[-nExp10] : d * s_dPow10[nExp10];
            return bNeg ? -d : d;
        }
    }

    double d = 0.0;
    std::from_chars_result res;
    if (pExpLetter == nullptr) {
        res = std::from_chars(p, pEnd, d, std::chars_format::general);
    } else {
        const size_t nLen = static_cast<size_t>(pEnd - p);
        char szShort[128];
        std::string strLong;
        char* pCopy = szShort;
        if (nLen > sizeof szShort) {
            strLong.resize(nLen);
            pCopy = strLong.data();
        }
        std::memcpy(pCopy, p, nLen);
        pCopy[pExpLetter - p] = 'e';
        res = std::from_chars(pCopy, pCopy + nLen, d, std::chars_format::general);
    }
    if (res.ec == std::errc::result_out_of_range)
        return ConvertOutOfRange(p, pEnd, pExpLetter, bNeg);
    if (res.ec != std::errc())
        return 0.0;
    return bNeg ? -d : d;
}

} // namespace

double ParseFieldValue(const char* field) {
    const char* p = field;
    for (;; ++p) {
        const char c = *p;
        if (c == '\0')
            return 0.0;
        if (StartsNumber(c))
            return ConvertNumber(p);
    }
}

void ParseLineToRowSplit(const char* pszLine, int nChannels, double* pRow) {
    CParseCsv parse;
    parse.SetLine(pszLine);
    char szField[128];
    for (int i = 0; i < nChannels; ++i)
        pRow[i] = parse.GetNextField(szField, sizeof szField) ? ParseFieldValue(szField) : 0.0;
}

void ParseLineToRow(const char* pszLine, int nChannels, double* pRow) {
    // The fields are read in place instead of being copied out one by one. That gives the same
    // values as long as no field reaches the 127 characters at which the splitter cuts it; such
    // a line goes through the splitter.
    constexpr long kFieldLimit = 127;
    const char* p = pszLine;
    int i = 0;
    while (i < nChannels) {
        while (*p == ' ' || *p == '\t')
            ++p;
        const char* pField = p;
        double dValue = 0.0;
        bool bValue = false;
        // The usual field is a number from its first character: converted on the way, and the
        // search for the field's end goes on from where the number stopped, so that the field's
        // characters are read once rather than twice.
        if (StartsNumber(*p)) {
            dValue = ConvertNumber(p, &p);
            bValue = true;
        }
        const char* pStart = nullptr; // first character that can begin a number
        while (*p != ',' && !EndsLine(*p)) {
            if (!bValue && pStart == nullptr && StartsNumber(*p))
                pStart = p;
            ++p;
        }
        if (p - pField >= kFieldLimit) {
            ParseLineToRowSplit(pszLine, nChannels, pRow);
            return;
        }
        if (!bValue && pStart != nullptr)
            dValue = ConvertNumber(pStart);
        pRow[i++] = dValue;
        if (*p != ',')
            break; // the line ended: the remaining channels have no field
        ++p;
    }
    for (; i < nChannels; ++i)
        pRow[i] = 0.0;
}
