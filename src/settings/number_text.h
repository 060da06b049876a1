#pragma once

#include <QByteArray>

/// The C library's `atoi`, locale-free: leading white space, optional sign, decimal digits up to
/// the first other byte; 0 when there are none, saturated at the int range on overflow.
int AtoiC(const char* psz);

/// The C library's `atof` in the "C" locale: leading white space, then the longest decimal prefix
/// (sign, digits, '.', exponent introduced by e, E, d or D); 0.0 when there is none.
double AtofC(const char* psz);

/// The text of the C format "%g" in the "C" locale, whatever the process locale is.
QByteArray FormatG(double dValue);

/// Room for any FormatGTo text.
constexpr int kFormatGSize = 32;
/// FormatG into pBuf (kFormatGSize bytes, not NUL-terminated), for loops that format many values;
/// returns the length.
int FormatGTo(double dValue, char* pBuf);
