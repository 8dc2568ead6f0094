// The summary's assembly and its first sections: general information, SSP items, digitised points.
#include <string>

#include "checked_size.h"
#include "code_names.h"
#include "measurement.h"
#include "summary.h"

namespace {

// Year, month and day of a date text "yyyy/mm/dd…"; the year is all digits before the first '/'
// (four for every date from 0 to 9999, as the age reads them).
void ParseDate(const std::string& Text, int64_t& Year, int& Month, int& Day) {
  const size_t slash = Text.find('/');
  Year = std::stoll(Text.substr(0, slash));
  Month = std::stoi(Text.substr(slash + 1, 2));
  Day = std::stoi(Text.substr(slash + 4, 2));
}

}  // namespace

void TSummary::MakeSummary() {
  FReport.clear();
  const double k = static_cast<double>(FReader.StreamSize()) / 1024;
  if (FReader.UsesFileStream())
    FReport.push_back(FReader.FileName() + " (" + Format(k, "#,###,##0,0") + "KB) is loaded on FileStream.");
  else
    FReport.push_back(FReader.FileName() + " (" + Format(k, "#,###,##0.0") + "kB) is loaded.");
  ReportGeneralInfo();
  ReportSspItems();
  ReportDigitizedPoints();
  ReportChannels();
  ReportRawData();
  ReportAverages();
  ReportBemModels();
  FReader.CheckUnchanged();
}

void TSummary::ReportGeneralInfo() {
  std::string subject, measDate, birthDate, firstName, middleName, lastName;
  bool ageDone = false;

  // The age, once, from the latest two date texts; 16-bit arithmetic as the summary always had.
  auto ageStep = [&] {
    if (birthDate.empty() || measDate.empty() || ageDone) return;
    int64_t measYear, birthYear;
    int measMonth, measDay, birthMonth, birthDay;
    ParseDate(measDate, measYear, measMonth, measDay);
    ParseDate(birthDate, birthYear, birthMonth, birthDay);
    int16_t age = Wrap16(measYear - birthYear);
    if (measMonth < birthMonth || (measMonth == birthMonth && measDay < birthDay)) age = Wrap16(age - 1);
    subject += std::to_string(age);
    ageDone = true;
  };

  for (int32_t i = 0; i < FReader.TagCount(); ++i) {
    std::string pending;
    const TFiffTag& t = FReader.Tag(i);
    switch (t.Kind) {
      case fiff::kMeasDate:
        FReport.push_back("");
        FReport.push_back("****** general information ******");
        FReader.SeekTagData(i);
        measDate = ReadUnixTimeText(FReader);
        pending = "measured date = " + measDate;
        ageStep();
        break;
      case fiff::kExperimenter: subject += " by " + ReadTextAt(FReader, i); break;
      case fiff::kSubjFirstName: firstName = ReadTextAt(FReader, i); break;
      case fiff::kSubjMiddleName: middleName = ReadTextAt(FReader, i); break;
      case fiff::kSubjLastName: lastName = ReadTextAt(FReader, i); break;
      case fiff::kSubjBirthDay:
        subject += " ";
        FReader.SeekTagData(i);
        birthDate = ReadJulianDateText(FReader);
        ageStep();
        break;
      case fiff::kSubjSex:
        FReader.SeekTagData(i);
        subject += FReader.ReadLongWord() == 1 ? "M" : "F";
        break;
      case fiff::kSubjHand:
        FReader.SeekTagData(i);
        subject += FReader.ReadLongWord() == 1 ? "(R)" : "(L)";
        break;
      default: break;
    }
    if (!pending.empty()) FReport.push_back(pending);
  }

  if (firstName.empty()) return;
  const std::string name =
      middleName.empty() ? firstName + " " + lastName : firstName + " " + middleName + " " + lastName;
  FReport.push_back(name + subject);
}

void TSummary::ReportSspItems() {
  std::string itemName;
  bool vectorsPending = false;
  bool headerPending = true;
  for (int32_t i = 0; i < FReader.TagCount(); ++i) {
    const TFiffTag& t = FReader.Tag(i);
    if (t.Kind == fiff::kSFreq) return;
    if (t.Kind == fiff::kComment || t.Kind == fiff::kName) {
      itemName = ReadTextAt(FReader, i);
    } else if (t.Kind == fiff::kProjItemChList) {
      vectorsPending = true;
    } else if (t.Kind == fiff::kProjItemVectors && vectorsPending) {
      if (headerPending) {
        FReport.push_back("");
        // "informatin" is the system's own text, pinned by tests.
        FReport.push_back("****** SSP informatin ******");
        headerPending = false;
      }
      itemName += " [" + std::to_string((int64_t{t.Size} - 4 * fiff::kMatrixTrailingWords) / 4) + "x1]";
      FReport.push_back(itemName);
      vectorsPending = false;
    }
  }
}

void TSummary::ReportDigitizedPoints() {
  int16_t counts[5] = {0, 0, 0, 0, 0};
  for (const int32_t i : fiff::DigitizedPointEntries(FReader)) {
    uint32_t p = static_cast<uint32_t>(FReader.ReadDigPoint(i).Kind);
    if (p > 4) p = 0;
    counts[p] = Wrap16(counts[p] + 1);
  }
  std::string line;
  if (counts[1] > 0) line += "cardinal=" + std::to_string(counts[1]);
  if (counts[2] > 0) line += ",HPI=" + std::to_string(counts[2]);
  if (counts[3] > 0) line += ",EEG=" + std::to_string(counts[3]);
  if (counts[4] > 0) line += ",extra=" + std::to_string(counts[4]);
  // No comma before "???=": the system's own text, pinned by tests.
  if (counts[0] > 0) line += "???=" + std::to_string(counts[0]);
  if (line.empty()) return;
  FReport.push_back("");
  // "informatin" is the system's own text, pinned by tests.
  FReport.push_back("****** digitized points informatin ******");
  FReport.push_back(line);
}

std::vector<std::string> MakeSummary(TFiff& Reader, const TNumberSeparators& Separators) {
  TSummary summary(Reader, Separators);
  summary.MakeSummary();
  return std::move(summary.FReport);
}
