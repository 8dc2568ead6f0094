// The conventions of BIDS's sidecar tables: channel types from FIFF's codes, numbers in the C locale, cells without
// tabs.
#include "bids.h"

#include <charconv>
#include <clocale>
#include <cstdio>

namespace {

bool AxialGradiometer(int32_t Coil) {
  switch (Coil & 0xffff) {  // CTF keeps its compensation grade in the upper half
    case 4002:
    case 5001:
    case 6001:
    case 7001:
    case 8001: return true;
    default: return false;
  }
}

bool ReferenceGradiometer(int32_t Coil) {
  switch (Coil & 0xffff) {
    case 4004:
    case 4005:
    case 5003:
    case 5004:
    case 8003: return true;
    default: return false;
  }
}

}  // namespace

// BIDS's channel type from the FIFF channel kind, the coil and the unit.
const char* BidsType(int32_t Kind, int32_t Coil, int32_t Unit) {
  switch (Kind) {
    case 1:  // MEG
      if (Unit == 201) return "MEGGRADPLANAR";
      if (AxialGradiometer(Coil)) return "MEGGRADAXIAL";
      return Unit == 112 ? "MEGMAG" : "MEGOTHER";
    case 301: return ReferenceGradiometer(Coil) ? "MEGREFGRADAXIAL" : "MEGREFMAG";
    case 2: return "EEG";
    case 202: return "EOG";
    case 302: return "EMG";
    case 402: return "ECG";
    case 3: return "TRIG";
    case 602: return "RESP";
    case 802: return "SEEG";
    case 803: return "DBS";
    case 902: return "ECOG";
    case 900: return "SYSCLOCK";
    case 1200: return "TEMP";
    case 1300: return "GSR";
    case 1400: return "EYEGAZE";
    case 700:
    case 701:
    case 702:
    case 703:
    case 704:
    case 705:
    case 706: return "HLU";
    case 707:
    case 708: return "FITERR";
    default: return "MISC";  // 502 and every kind without a BIDS type
  }
}

// A number in the C locale, short where it can be, exactly where it must be: %.17g reads back
// to the same double.
std::string Number(double Value, const char* Format) {
  char text[64];
  std::snprintf(text, sizeof text, Format, Value);
  // snprintf follows LC_NUMERIC; the table's decimal point is always a point.
  if (const lconv* c = std::localeconv(); c->decimal_point && c->decimal_point[0] != '.' && c->decimal_point[0])
    for (char* p = text; *p; ++p)
      if (*p == c->decimal_point[0]) *p = '.';
  return text;
}

// Tabs and line breaks would break the table's rows and columns, a zero byte ends a line for many
// readers, and a field that begins with a quote is read as quoted by Python's csv and others.
std::string Cell(std::string Text) {
  for (char& c : Text)
    if (c == '\t' || c == '\n' || c == '\r' || c == '\0') c = ' ';
  if (!Text.empty() && Text[0] == '"') Text[0] = ' ';
  return Text;
}

std::string Shortest(double Value) {
  char text[32];
  const auto [end, err] = std::to_chars(text, text + sizeof text, Value);
  return err == std::errc() ? std::string(text, end) : "n/a";
}
