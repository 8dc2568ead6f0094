// Number pictures ("0.000", "#,###,##0.0", …) with the separators handed in by the caller.
#pragma once

#include <string>

struct TNumberSeparators {
  std::string Decimal = ".";
  std::string Thousands = ",";
};

// Formats Value with a picture of '0', '#', ',' and '.': the exact binary value is
// rounded to the decimals shown, halves away from zero; ',' in the integer part groups
// by three. A value that rounds to zero has no minus sign. Infinities and NaN give
// "INF", "-INF" and "NAN".
std::string FormatFloat(double Value, const char* Picture, const TNumberSeparators& Separators);
