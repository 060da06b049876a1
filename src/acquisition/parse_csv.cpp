#include "parse_csv.h"

#include <cstdlib>
#include <cstring>
#include <string>

void CParseCsv::SetLine(const char* line) {
    m_pszLine = line;
    m_nIndex = 0;
}

namespace {

bool TakeField(CParseCsv& parse, char* out, int size, bool bStopAtComma) {
    if (parse.m_pszLine == nullptr) {
        if (out != nullptr && size > 0)
            out[0] = '\0';
        return false;
    }
    int n = 0;
    const int limit = size - 1;
    while (n < limit) {
        const char c = parse.m_pszLine[parse.m_nIndex];
        if (n == 0 && (c == ' ' || c == '\t')) {
            ++parse.m_nIndex;
            continue;
        }
        if (c == '\0' || c == '\n' || c == '\r') {
            parse.m_pszLine = nullptr;
            break;
        }
        if (bStopAtComma && c == ',') {
            ++parse.m_nIndex;
            break;
        }
        out[n++] = c;
        ++parse.m_nIndex;
    }
    if (size > 0)
        out[n] = '\0';
    return true;
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

double ParseFieldValue(const char* field) {
    const char* p = field;
    while (*p != '\0' && !((*p >= '0' && *p <= '9') || *p == '+' || *p == '-' || *p == '.'))
        ++p;
    // Reference implementation over strtod; the exponent letter d/D is read as e.
    std::string text(p);
    for (char& c : text) {
        if (c == 'd' || c == 'D')
            c = 'e';
        else if (c == 'x' || c == 'X' || c == 'p' || c == 'P' || c == 'i' || c == 'I' || c == 'n' ||
                 c == 'N')
            c = '\0';
    }
    return std::strtod(text.c_str(), nullptr);
}
