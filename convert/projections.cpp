// PCA_nnnn: one projection vector each, as stored.
#include <cstdio>

#include "variables.h"

std::string Numbered(const char* Prefix, int Number) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%04d", Prefix, Number);
  return text;
}

void WriteProjections(const TMeasurement& M, TSinkSet& Out) {
  TFiff& r = M.First();
  int number = 0;
  for (const int32_t i : M.Projections()) {
    // The matrix's trailing words (dimensions and their count) are not values.
    const int32_t rows = std::max(0, r.Tag(i).Size / 4 - fiff::kMatrixTrailingWords);
    Out.Begin(Numbered("PCA_", ++number), TElement::Double, {rows, 1});
    TDoubleStager out(Out);
    r.SeekTagData(i);
    for (int32_t k = 0; k < rows; ++k) out.Put(r.ReadSingle());
    out.Flush();
  }
}
