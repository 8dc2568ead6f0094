// The summary's first sections: general information, SSP items, digitised points.
#include <string>

#include "checked_size.h"
#include "code_names.h"
#include "measurement.h"
#include "sections.h"

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

void ReportGeneralInfo(TSummaryPage& Page) {
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

  for (int32_t i = 0; i < Page.Reader.TagCount(); ++i) {
    std::string pending;
    const TFiffTag& t = Page.Reader.Tag(i);
    switch (t.Kind) {
      case fiff::kMeasDate:
        Page.Lines.push_back("");
        Page.Lines.push_back("****** general information ******");
        Page.Reader.SeekTagData(i);
        measDate = ReadUnixTimeText(Page.Reader);
        pending = "measured date = " + measDate;
        ageStep();
        break;
      case fiff::kExperimenter: subject += " by " + ReadTextAt(Page.Reader, i); break;
      case fiff::kSubjFirstName: firstName = ReadTextAt(Page.Reader, i); break;
      case fiff::kSubjMiddleName: middleName = ReadTextAt(Page.Reader, i); break;
      case fiff::kSubjLastName: lastName = ReadTextAt(Page.Reader, i); break;
      case fiff::kSubjBirthDay:
        subject += " ";
        Page.Reader.SeekTagData(i);
        birthDate = ReadJulianDateText(Page.Reader);
        ageStep();
        break;
      case fiff::kSubjSex:
        Page.Reader.SeekTagData(i);
        subject += Page.Reader.ReadLongWord() == 1 ? "M" : "F";
        break;
      case fiff::kSubjHand:
        Page.Reader.SeekTagData(i);
        subject += Page.Reader.ReadLongWord() == 1 ? "(R)" : "(L)";
        break;
      default: break;
    }
    if (!pending.empty()) Page.Lines.push_back(pending);
  }

  if (firstName.empty()) return;
  const std::string name =
      middleName.empty() ? firstName + " " + lastName : firstName + " " + middleName + " " + lastName;
  Page.Lines.push_back(name + subject);
}

void ReportSspItems(TSummaryPage& Page) {
  std::string itemName;
  bool vectorsPending = false;
  bool headerPending = true;
  for (int32_t i = 0; i < Page.Reader.TagCount(); ++i) {
    const TFiffTag& t = Page.Reader.Tag(i);
    if (t.Kind == fiff::kSFreq) return;
    if (t.Kind == fiff::kComment || t.Kind == fiff::kName) {
      itemName = ReadTextAt(Page.Reader, i);
    } else if (t.Kind == fiff::kProjItemChList) {
      vectorsPending = true;
    } else if (t.Kind == fiff::kProjItemVectors && vectorsPending) {
      if (headerPending) {
        Page.Lines.push_back("");
        // "informatin" is the system's own text, pinned by tests.
        Page.Lines.push_back("****** SSP informatin ******");
        headerPending = false;
      }
      itemName += " [" + std::to_string((int64_t{t.Size} - 4 * fiff::kMatrixTrailingWords) / 4) + "x1]";
      Page.Lines.push_back(itemName);
      vectorsPending = false;
    }
  }
}

void ReportDigitizedPoints(TSummaryPage& Page) {
  int16_t counts[5] = {0, 0, 0, 0, 0};
  for (const int32_t i : fiff::DigitizedPointEntries(Page.Reader)) {
    uint32_t p = static_cast<uint32_t>(Page.Reader.ReadDigPoint(i).Kind);
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
  Page.Lines.push_back("");
  // "informatin" is the system's own text, pinned by tests.
  Page.Lines.push_back("****** digitized points informatin ******");
  Page.Lines.push_back(line);
}
