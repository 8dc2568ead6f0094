// The summary's sections, each adding its lines to the page where the file has its content.
#pragma once

#include <string>
#include <vector>

#include "fiff_f.h"
#include "number_format.h"

// What a section writes on: the reader it reads, the separators of its numbers, the lines so far.
struct TSummaryPage {
  TFiff& Reader;
  const TNumberSeparators& Separators;
  std::vector<std::string>& Lines;
  std::string Format(double Value, const char* Picture) const { return FormatFloat(Value, Picture, Separators); }
};

// In the order the summary adds them.
void ReportGeneralInfo(TSummaryPage& Page);
void ReportSspItems(TSummaryPage& Page);
void ReportDigitizedPoints(TSummaryPage& Page);
void ReportChannels(TSummaryPage& Page);
void ReportRawData(TSummaryPage& Page);
void ReportAverages(TSummaryPage& Page);
void ReportBemModels(TSummaryPage& Page);
