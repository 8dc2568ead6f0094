// Number pictures: exact decimal rounding, halves away from zero, and digit grouping.
#include "number_format.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

struct TPicture {
  int MinIntDigits = 0;
  int Decimals = 0;
  bool Grouping = false;
};

TPicture ParsePicture(const char* Picture) {
  TPicture p;
  bool fraction = false;
  for (const char* c = Picture; *c; ++c) {
    if (*c == '.') {
      fraction = true;
    } else if (*c == ',') {
      if (!fraction) p.Grouping = true;
    } else if (*c == '0') {
      if (fraction)
        ++p.Decimals;
      else
        ++p.MinIntDigits;
    } else if (*c == '#') {
      if (fraction) ++p.Decimals;
    }
  }
  return p;
}

// Adds one unit in the last place of a string of decimal digits.
void IncrementDigits(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
}

}  // namespace

std::string FormatFloat(double Value, const char* Picture, const TNumberSeparators& Separators) {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value < 0 ? "-INF" : "INF";

  const TPicture pic = ParsePicture(Picture);
  const bool negative = std::signbit(Value);
  // glibc prints the exact binary value; 1100 decimals reach past the last digit of any double.
  char text[1500];
  std::snprintf(text, sizeof text, "%.1100f", std::fabs(Value));
  const char* point = std::strchr(text, '.');
  std::string intDigits(text, point - text);
  const char* frac = point + 1;

  // Integer and shown decimals as one digit string, rounded by the first digit not shown.
  std::string digits = intDigits + std::string(frac, pic.Decimals);
  if (frac[pic.Decimals] >= '5') IncrementDigits(digits);
  const size_t intLen = digits.size() - pic.Decimals;
  std::string whole = digits.substr(0, intLen);
  const std::string decimals = digits.substr(intLen);

  size_t first = whole.find_first_not_of('0');
  whole = first == std::string::npos ? std::string() : whole.substr(first);
  if (static_cast<int>(whole.size()) < pic.MinIntDigits) whole.insert(0, pic.MinIntDigits - whole.size(), '0');

  std::string grouped;
  if (pic.Grouping) {
    for (size_t i = 0; i < whole.size(); ++i) {
      if (i > 0 && (whole.size() - i) % 3 == 0) grouped += Separators.Thousands;
      grouped += whole[i];
    }
  } else {
    grouped = whole;
  }

  const bool zero = digits.find_first_not_of('0') == std::string::npos;
  std::string out = (negative && !zero) ? "-" : "";
  out += grouped;
  if (pic.Decimals > 0) out += Separators.Decimal + decimals;
  return out;
}
