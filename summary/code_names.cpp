// Texts of FIFF codes for the summary: stored texts, coordinate frames, BEM surfaces, dates in UTC+9.
#include <cstdio>

#include "code_names.h"

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

std::string ReadText(TFiff& Reader, int32_t Count) {
  std::string text;
  uint8_t chunk[4096];
  while (Count > 0) {
    const int32_t n = Count < static_cast<int32_t>(sizeof chunk) ? Count : static_cast<int32_t>(sizeof chunk);
    Reader.ReadBlock(chunk, n);
    for (int32_t i = 0; i < n; ++i)
      if (chunk[i] >= 32 && chunk[i] <= 127) text += static_cast<char>(chunk[i]);
    Count -= n;
  }
  return text;
}

std::string ReadCoordFrameName(TFiff& Reader) {
  static const char* const kNames[] = {"unknown", "device", "isotrak",   "HPI",
                                       "head",    "MRI",    "MRI slice", "MRI display"};
  const uint32_t code = Reader.ReadLongWord();
  return code < 8 ? kNames[code] : "???";
}

std::string ReadBemSurfaceName(TFiff& Reader) {
  switch (Reader.ReadLong()) {
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

std::string ReadUnixTimeText(TFiff& Reader) {
  // Seconds since 1970 UTC, shown in UTC+9; 64-bit, so dates from 2036 on stay exact.
  const int64_t seconds = int64_t{Reader.ReadLongWord()} + kDaysTo1970 * 86400 + 9 * 3600;
  return DateTimeText(seconds / 86400, seconds % 86400);
}

std::string ReadJulianDateText(TFiff& Reader) {
  // 2,415,019 is the Julian day number of 1899-12-30.
  return DateTimeText(int64_t{Reader.ReadLongWord()} - 2415019, 0);
}

std::string ReadTextAt(TFiff& Reader, int32_t Index) {
  Reader.SeekTagData(Index);
  return ReadText(Reader, Reader.Tag(Index).Size);
}
