// The summary's assembly: the load line, then each section in order.
#include "summary.h"
#include "sections.h"

void TSummary::MakeSummary() {
  FReport.clear();
  TSummaryPage page{FReader, FSeparators, FReport};
  const double k = static_cast<double>(FReader.StreamSize()) / 1024;
  if (FReader.UsesFileStream())
    FReport.push_back(FReader.FileName() + " (" + page.Format(k, "#,###,##0,0") + "KB) is loaded on FileStream.");
  else
    FReport.push_back(FReader.FileName() + " (" + page.Format(k, "#,###,##0.0") + "kB) is loaded.");
  ReportGeneralInfo(page);
  ReportSspItems(page);
  ReportDigitizedPoints(page);
  ReportChannels(page);
  ReportRawData(page);
  ReportAverages(page);
  ReportBemModels(page);
  FReader.CheckUnchanged();
}

std::vector<std::string> MakeSummary(TFiff& Reader, const TNumberSeparators& Separators) {
  TSummary summary(Reader, Separators);
  summary.MakeSummary();
  return std::move(summary.FReport);
}
