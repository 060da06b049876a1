#include "dialogs/dialog_text.h"

#include "settings/number_text.h"

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
    return AtofC(text.toUtf8().constData());
}

int TextToInt(const QString& text) {
    return AtoiC(text.toUtf8().constData());
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
