// Texts of FIFF codes: stored texts, coordinate frames, BEM surfaces, dates in UTC+9 and units.
#include <cstdio>

#include "fiff_f.h"

namespace {

// Civil date of a day count since 1970-01-01 in the proleptic Gregorian calendar
// (H. Hinnant's algorithm): exact for every 64-bit day count we can meet.
void CivilFromDays(int64_t Days, int64_t& Year, int& Month, int& Day) {
  Days += 719468;
  const int64_t era = (Days >= 0 ? Days : Days - 146096) / 146097;
  const int64_t doe = Days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  Year = yoe + era * 400 + (Month <= 2 ? 1 : 0);
}

// Days from 1899-12-30, the origin of the date values, to 1970-01-01.
constexpr int64_t kDaysTo1970 = 25569;

// "yyyy/mm/dd", then " h:mm:ss" unless the time is exactly midnight.
std::string DateTimeText(int64_t DaysSince1899, int64_t SecondsOfDay) {
  int64_t year;
  int month, day;
  CivilFromDays(DaysSince1899 - kDaysTo1970, year, month, day);
  char text[64];
  int n = std::snprintf(text, sizeof text, "%04lld/%02d/%02d", static_cast<long long>(year), month, day);
  if (SecondsOfDay != 0)
    std::snprintf(text + n, sizeof text - n, " %d:%02d:%02d", static_cast<int>(SecondsOfDay / 3600),
                  static_cast<int>(SecondsOfDay / 60 % 60), static_cast<int>(SecondsOfDay % 60));
  return text;
}

}  // namespace

std::string TFiff::ReadText(int32_t Count) {
  std::string text;
  uint8_t chunk[4096];
  while (Count > 0) {
    const int32_t n = Count < static_cast<int32_t>(sizeof chunk) ? Count : static_cast<int32_t>(sizeof chunk);
    ReadBlock(chunk, n);
    for (int32_t i = 0; i < n; ++i)
      if (chunk[i] >= 32 && chunk[i] <= 127) text += static_cast<char>(chunk[i]);
    Count -= n;
  }
  return text;
}

std::string TFiff::ReadCoordFrameName() {
  static const char* const kNames[] = {"unknown", "device", "isotrak",   "HPI",
                                       "head",    "MRI",    "MRI slice", "MRI display"};
  const uint32_t code = ReadLongWord();
  return code < 8 ? kNames[code] : "???";
}

std::string TFiff::ReadBemSurfaceName() {
  switch (ReadLong()) {
    case -1: return "unknown";
    case 1: return "brain";
    case 2: return "CSF";
    case 3: return "skull";
    case 4: return "head";
    case 11: return "blood";
    case 12: return "heart";
    case 13: return "lungs";
    case 14: return "torso";
    case 21: return "NM122";
    case 22: return "unit sphere";
    case 23: return "VV";
    default: return "???";
  }
}

std::string TFiff::ReadUnixTimeText() {
  // Seconds since 1970 UTC, shown in UTC+9; 64-bit, so dates from 2036 on stay exact.
  const int64_t seconds = int64_t{ReadLongWord()} + kDaysTo1970 * 86400 + 9 * 3600;
  return DateTimeText(seconds / 86400, seconds % 86400);
}

std::string TFiff::ReadJulianDateText() {
  // 2,415,019 is the Julian day number of 1899-12-30.
  return DateTimeText(int64_t{ReadLongWord()} - 2415019, 0);
}

const char* fiff::UnitSymbol(int32_t Unit) {
  switch (Unit) {
    case 1: return "m";
    case 2: return "kg";
    case 3: return "s";
    case 4: return "A";
    case 5: return "K";
    case 6: return "mol";
    case 7: return "rad";
    case 8: return "sr";
    case 9: return "cd";
    case 10: return "mol/m^3";
    case 101: return "Hz";
    case 102: return "N";
    case 103: return "Pa";
    case 104: return "J";
    case 105: return "W";
    case 106: return "C";
    case 107: return "V";
    case 108: return "F";
    case 109: return "Ohm";
    case 110: return "S";
    case 111: return "Wb";
    case 112: return "T";
    case 113: return "H";
    case 114: return "oC";
    case 115: return "lm";
    case 116: return "lx";
    case 117: return "V/m^2";
    case 118: return "s^2";
    case 201: return "T/m";
    case 202: return "Am";
    case 203: return "Am/m^2";
    case 204: return "Am/m^3";
    case 210: return "px";
    default: return "n/a";  // none (-1), unitless (0) and codes no table names
  }
}
