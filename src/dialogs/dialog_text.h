#pragma once

#include <QString>

#include <cstdint>

/// Text-to-double as the C runtime reads a field: leading blanks, optional sign, digits with an
/// optional point, an optional exponent (e, E, d or D); the longest valid prefix counts, 0.0
/// when there is none. Independent of the locale.
double TextToDouble(const QString& text);

/// Text-to-integer as the C runtime reads it: leading blanks, optional sign, decimal digits up
/// to the first other character, 0 when there are none; saturates instead of overflowing.
int TextToInt(const QString& text);

/// An edit field read as an unsigned decimal number: blanks around digits allowed; anything
/// else (empty text, a sign, other characters) reads as 0. Too large a number reads as
/// UINT32_MAX, so range checks still reject it.
uint32_t TextToUnsigned(const QString& text);

/// "%g" of the value in the C locale (six significant digits).
QString FormatGText(double dValue);
