// The measurement summary: the plain-text report of what a FIFF file holds, section by section.
#pragma once

#include <string>
#include <vector>

#include "fiff_f.h"
#include "number_format.h"

// The report of one loaded reader: its load line, then general information, SSP items, digitised
// points, channels, raw data, averages and BEM models, each section only where the file has its
// content. Numbers take the separators handed in (the user's locale's).
class TSummary {
 public:
  explicit TSummary(TFiff& Reader, TNumberSeparators Separators = {})
      : FReader(Reader), FSeparators(std::move(Separators)) {}

  // Fills FReport anew; throws, naming the file, when it changed while it was read.
  void MakeSummary();

  std::vector<std::string> FReport;

 private:
  TFiff& FReader;
  TNumberSeparators FSeparators;
};

// The summary's lines of Reader.
std::vector<std::string> MakeSummary(TFiff& Reader, const TNumberSeparators& Separators = {});
